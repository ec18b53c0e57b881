// End-to-end tests: launchers packed with the built bvpack and run as
// processes, with an environment, standard input and working directory of
// the test's choosing. Every run gets -bv:tempdir pointing into the test's
// own temporary directory, so that what a run leaves behind can be checked.
#ifndef BV_TESTS_E2E_E2E_FIXTURE_H_
#define BV_TESTS_E2E_E2E_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_util.h"

namespace bvtest {

struct ProcessResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs argv (argv[0] is the program path) with exactly the environment env
// (NAME=VALUE entries), the text input on standard input and the working
// directory cwd (the current one when empty); waits for it.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& input = "", const std::string& cwd = "");

// The text split at line feeds; a last line without one counts too.
std::vector<std::string> splitLines(const std::string& text);


// The directory part of a path (everything before the last "/").
std::string dirName(const std::string& path);

// A JVM home whose bin/java is a shell script. Run on the verification
// class it prints the marker and, per requested property, the value of
// os.name given here, what real JVMs report for
// java.vm.specification.name, and "null" for anything else. Run as an
// application it prints "fakejava" with JAVA_HOME and one "arg=" line per
// argument on standard output, writes the text of an argument --stderr=TEXT
// to standard error, and exits with the status of an argument --exit=N
// (default 0). exe names the executable inside the home.
void writeFakeJvm(const std::string& home, const std::string& osName = "Linux",
                  const std::string& exe = "bin/java");

// A fake JDK home whose bin/java reports os.name Linux and the given
// java.specification.version to the verification class, and prints
// "fakejdk", its JAVA_HOME and its own path ("java=...") when run as the
// application, then one "arg=" line per argument.
// It carries a release file as a real JDK's (writeReleaseFile).
void writeVersionedJvm(const std::string& home, const std::string& version);

// The release file of a JDK home of the given java.specification.version
// ("1.8", "17"), as a real JDK of this machine carries it: JAVA_VERSION
// ("1.8.0_402", "17"), JAVA_RUNTIME_VERSION for 9 and later, OS_NAME Linux
// and OS_ARCH this machine's (uname). The launcher reads it where it needs
// the version and the JVM file did not ask it (class-data sharing).
void writeReleaseFile(const std::string& home, const std::string& version);

// A JVM description file for Linux JVMs whose only hint is JAVA_HOME (and,
// as for every JVM file, the PATH directories); extra is appended.
std::string jvmFileText(const std::string& exe = "bin/java", const std::string& extra = "");

// A launch script that runs PrintArgs (or the fake java) with the launch
// properties; the console is shown when displayConsole is set.
std::string launchScriptText(bool displayConsole);

// The example's typical instruction script.
std::string typicalScriptPath();
// The same script with UNIX_COMMAND: 1 (the conventions of a Unix command),
// as text.
std::string typicalUnixScriptText();

// An instruction script of the given statements, one per line, that sets
// UNIX_COMMAND (the conventions of a Unix command: messages on standard
// error, exit 1 when no Java is found).
std::string scriptText(const std::vector<std::string>& statements);
// The same without UNIX_COMMAND: a launcher as a setup program drives it,
// its messages on standard output (tests/e2e/transcript_test.cc pins them).
std::string setupScriptText(const std::vector<std::string>& statements);

// A JVM installer: a shell script that lays a JVM home in its working
// directory, bin/java being a symbolic link to java, and writes the JVM
// description file "jvm" there unless writeJvmFile is false.
std::string installerText(const std::string& java, bool writeJvmFile = true);

// Value 0 of a tag of a tag file on disk, "(unreadable)" when the file
// cannot be loaded.
std::string tagValue(const std::string& path, const char* tag);

class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Writes a file into the test directory and returns its path.
  std::string write(const std::string& name, const std::string& text, int mode = 0644);
  // Packs a launcher named name in the test directory from bvpack entries
  // ("type:path", possibly preceded by entry options); returns its path.
  std::string pack(const std::string& name, const std::vector<std::string>& entries,
                   int purpose = 0);
  // typicalUnixScriptText() written into the test directory; its path.
  std::string typicalUnixScriptPath();
  // The usual payload: the given instruction script, the verification
  // archive, the launch script, a JVM file and PrintArgs.jar.
  std::vector<std::string> payload(const std::string& instructions, bool displayConsole = true);

  // Runs the launcher with "-bv:tempdir <temp>" followed by args.
  ProcessResult run(const std::string& launcher, const std::vector<std::string>& args,
                    const std::vector<std::string>& env, const std::string& input = "",
                    const std::string& cwd = "");

  // An environment whose PATH is path (a directory that does not exist
  // when empty) and that holds JAVA_HOME only when javaHome is not empty.
  // HOME is the test directory, so the verification cache of the launchers
  // lies in <dir>/.cache, never in the user's own.
  std::vector<std::string> env(const std::string& path = "", const std::string& javaHome = "");

  // What the runs left in the temporary directory.
  std::vector<std::string> leftInTemp() const { return listDir(temp); }

  TempDir dir;
  std::string temp;      // the launchers' -bv:tempdir
  std::string javaExe;   // the JDK's java found on PATH, or empty
  std::string javaHome;  // its home
};

// Skips the test when the machine has no Java.
#define BV_REQUIRE_JAVA()                                                      \
  do {                                                                         \
    if (javaExe.empty()) GTEST_SKIP() << "no java on PATH or in /usr/lib/jvm"; \
  } while (0)

}  // namespace bvtest

#endif  // BV_TESTS_E2E_E2E_FIXTURE_H_
