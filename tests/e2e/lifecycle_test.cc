// The end of a run as its caller sees it: the exit status of a run that
// finds no JVM, the diagnostics on standard error, the bounds of a JVM check
// (time and output), long command lines, an embedded launcher's arguments,
// a console that goes away and list files that never end.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

long countOf(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; });
}

// Whether the process whose ID the file holds is gone.
bool processGone(const std::string& pidFile) {
  if (!pathExists(pidFile)) return false;
  pid_t pid = static_cast<pid_t>(std::stol(readFile(pidFile)));
  return kill(pid, 0) != 0 && errno == ESRCH;
}

class LifecycleTest : public E2eTest {
 protected:
  // A launcher with the example's script and the usual payload.
  std::string typical() { return pack("setup", payload(typicalScriptPath())); }
  // The same with UNIX_COMMAND: 1, for the conventions of a Unix command
  // (exit 1 when no JVM is found, every message on standard error).
  std::string typicalUnix() { return pack("setup", payload(typicalUnixScriptPath())); }
};

// Silent or not, the message and the diagnostics go to standard error;
// standard output gets no word of them.
TEST_F(LifecycleTest, NoJvmFoundExitsOneAndSaysWhatWasTriedOnStandardError) {
  std::string launcher = typicalUnix();
  write("broken/readme", "not a JVM");
  writeFakeJvm(dir.file("windows"), "Windows 11");
  // 25 PATH directories without a JVM, then one with the wrong kind.
  std::string path;
  for (int i = 0; i < 25; ++i) path += dir.file("p" + std::to_string(i) + "/bin") + ":";
  path += dir.file("windows/bin");
  std::string log = dir.file("run.log");
  ProcessResult r = run(launcher, {"-bv:log", log}, env(path, dir.file("broken")));
  EXPECT_EQ(1, r.status) << r.out << r.err;
  EXPECT_FALSE(contains(r.out, "could not be found")) << r.out;
  std::vector<std::string> lines = splitLines(r.err);
  ASSERT_GE(lines.size(), 6u) << r.err;
  EXPECT_EQ("No suitable Java was found. Set JAVA_HOME to the folder of a Java installation, or run again "
            "with -bv:javahome DIR.",
            lines[0]);
  EXPECT_EQ("The program needs Test JVM.", lines[1]);
  EXPECT_EQ("Looked for:", lines[2]);
  EXPECT_EQ(
      "  Test JVM (bin/java) with os.name=Linux, "
      "java.vm.specification.name=Java Virtual Machine Specification",
      lines[3]);
  EXPECT_EQ("Candidates examined:", lines[4]);
  EXPECT_EQ("  " + dir.file("broken") + "/bin/java: no executable", lines[5]);
  // 27 candidates: the first 20 by name, then the count of the others (the
  // Windows JVM, the last one tried, among them). The variable that can
  // name a Java is in the first line.
  EXPECT_EQ(20, countOf(lines, "  /"));
  EXPECT_EQ("  ... and 7 more", lines.back()) << r.err;
  // The same lines are in the log (what the program needs aside).
  std::string logText = readFile(log);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i != 1) {
      EXPECT_TRUE(contains(logText, lines[i])) << lines[i];
    }
  }
  EXPECT_TRUE(leftInTemp().empty());

  // The reason for a JVM of the wrong kind names the property.
  r = run(launcher, {}, env(dir.file("windows/bin")));
  EXPECT_EQ(1, r.status);
  EXPECT_TRUE(contains(r.err, "/bin/java: property os.name is \"Windows 11\", not \"Linux\"")) << r.err;

  // Silent: no status lines, the same errors.
  std::string loud = run(launcher, {}, env(path, dir.file("broken"))).err;
  for (const char* silent : {"-bv:silent", "-silent"}) {
    SCOPED_TRACE(silent);
    r = run(launcher, {silent}, env(path, dir.file("broken")));
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(loud, r.err);
  }
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(LifecycleTest, AJavaHomeOptionThatDoesNotVerifyIsReportedAndTheSearchGoesOn) {
  std::string launcher = typical();
  writeFakeJvm(dir.file("fake"));
  writeFakeJvm(dir.file("windows"), "Windows 11");
  struct Case {
    std::string home, reason;
  } cases[] = {
      {dir.file("nothing-here"), "no executable"},
      {dir.file("windows"), "property os.name is \"Windows 11\", not \"Linux\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.home);
    ProcessResult r = run(launcher, {"-bv:javahome", c.home}, env("", dir.file("fake")));
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(contains(r.out, "fakejava")) << r.out;
    EXPECT_EQ("The Java home given with -bv:javahome, " + c.home + ", cannot be used: " + c.reason + "\n", r.err);
  }
}

// A JVM whose program never answers: after the bound (shortened here with
// BV_VERIFY_TIMEOUT_MS) it and what it started are ended, and it counts as
// a failed candidate.
TEST_F(LifecycleTest, AVerificationThatHangsIsEndedAndTurnedDown) {
  std::string launcher = typicalUnix();
  write("hang/bin/java", "#!/bin/sh\n/bin/sleep 1000 & echo $! > " + shellQuote(dir.file("sleeper")) + "\nwait\n",
        0755);
  std::vector<std::string> environment = env("", dir.file("hang"));
  environment.push_back("BV_VERIFY_TIMEOUT_MS=700");
  auto start = std::chrono::steady_clock::now();
  ProcessResult r = run(launcher, {}, environment);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(1, r.status);
  EXPECT_TRUE(contains(r.err, dir.file("hang") + "/bin/java: did not answer within 700 ms")) << r.err;
  EXPECT_TRUE(processGone(dir.file("sleeper")));
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(LifecycleTest, VerificationOutputBeyondOneMebibyteIsNotKept) {
  std::string launcher = typical();
  // Answers correctly, then goes on for 40 MB.
  write("chatty/bin/java",
        "#!/bin/sh\ncase \"$*\" in *Verify*) ;; *) echo app ran; exit 0 ;; esac\n"
        "echo 1739021872; echo Linux; echo Java Virtual Machine Specification\n"
        "/usr/bin/head -c 40000000 /dev/zero | /usr/bin/tr '\\000' x\n",
        0755);
  std::string log = dir.file("run.log");
  ProcessResult r = run(launcher, {"-bv:log", log}, env("", dir.file("chatty")));
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(contains(r.out, "app ran"));
  struct stat st;
  ASSERT_EQ(0, stat(log.c_str(), &st));
  EXPECT_LT(st.st_size, 2 * 1024 * 1024);
  EXPECT_TRUE(contains(readFile(log), "output beyond the limit")) << "no warning in the log";
}

TEST_F(LifecycleTest, LongArgumentListsReachTheApplicationAndTooLongOnesFailFirst) {
  writeFakeJvm(dir.file("fake"));
  std::string launcher = typicalUnix();
  // 200 arguments of 1 KiB: more than one argument of the shell may hold.
  std::vector<std::string> args;
  for (int i = 0; i < 200; ++i) args.push_back(std::to_string(i) + std::string(1020, 'a'));
  ProcessResult r = run(launcher, args, env("", dir.file("fake")));
  EXPECT_EQ(0, r.status) << r.err.substr(0, 500);
  std::vector<std::string> lines = splitLines(r.out);
  auto first = std::find(lines.begin(), lines.end(), "arg=" + args[0]);
  ASSERT_LE(200, lines.end() - first) << r.out.substr(0, 500);
  for (int i = 0; i < 200; ++i) EXPECT_EQ("arg=" + args[i], first[i]);
  EXPECT_TRUE(leftInTemp().empty());

  // Beyond what the system passes to a program: nearly as much in arguments
  // as the launcher itself can get, and a classpath file next to it.
  long argMax = sysconf(_SC_ARG_MAX);
  if (argMax <= 0 || argMax > 3 * 1024 * 1024) GTEST_SKIP() << "the system's limit is " << argMax;
  args.clear();
  for (long size = 0; size < argMax - 40 * 1024; size += 1033) args.push_back(std::string(1024, 'b'));
  std::string entries;
  for (int i = 0; i < 100; ++i) entries += std::string(1000, 'c') + "\n";
  write("setup.cp1", entries);
  r = run(launcher, args, env("", dir.file("fake")));
  EXPECT_EQ(255, r.status) << r.err.substr(0, 300);
  EXPECT_TRUE(contains(r.err, "more than this system can pass to a program")) << r.err.substr(0, 500);
  // One argument longer than the system takes, from a classpath file.
  if (sysconf(_SC_ARG_MAX) > 0) {
    entries.clear();
    for (int i = 0; i < 140; ++i) entries += std::string(1000, 'c') + "\n";
    write("setup.cp1", entries);
    r = run(launcher, {}, env("", dir.file("fake")));
    EXPECT_EQ(255, r.status) << r.err.substr(0, 300);
    EXPECT_TRUE(contains(r.err, "more than this system can pass to a program")) << r.err.substr(0, 500);
  }
  EXPECT_FALSE(contains(r.out, "fakejava"));
  EXPECT_TRUE(leftInTemp().empty());
}

// The embedded launcher is a shell script here, so what arrives is seen
// exactly: every argument and what is left in the temporary directory.
TEST_F(LifecycleTest, EmbeddedLauncherGetsEveryArgumentExactlyAndTheOuterFilesAreGone) {
  writeFakeJvm(dir.file("fake"));
  std::string report = dir.file("report");
  std::string inner = write("inner.sh",
                            "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > " + shellQuote(report) +
                                "\n/bin/ls -A " + shellQuote(temp) + " > " + shellQuote(report + ".temp") +
                                "\n/bin/rm -rf \"${0%/*}\"\n",
                            0755);
  // The outer run first finds a JVM, which leaves its JVM file and the
  // verification archive in the temporary directory.
  std::vector<std::string> entries = payload(write("outer.tag", scriptText({"FIND_JVM 0 0", "EXECUTE_LAUNCHER 5"})));
  entries.push_back("embedded-launcher:" + inner);
  std::string outer = pack("setup", entries);
  std::vector<std::string> args = {"", "g h", "C:\\dir\\", "next", "say \"hi\"", "$HOME `x`", "a\nb"};
  ProcessResult r = run(outer, args, env("", dir.file("fake")));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  std::string expected = "[-bv:orig]\n[" + outer + "]\n[-bv:tempdir]\n[" + temp + "]\n";
  for (const std::string& a : args) expected += "[" + a + "]\n";
  EXPECT_EQ(expected, readFile(report));
  // Only the embedded launcher's own directory was there when it ran.
  std::vector<std::string> left = splitLines(readFile(report + ".temp"));
  EXPECT_EQ(1u, left.size()) << readFile(report + ".temp");
  EXPECT_TRUE(leftInTemp().empty());
}

// The console is a pipe whose reader has gone (as with "setup | head -c 20"):
// the launcher is not ended by SIGPIPE, the run goes on and cleans up.
TEST_F(LifecycleTest, AConsoleThatGoesAwayDoesNotEndTheRun) {
  writeFakeJvm(dir.file("fake"));
  std::string launcher = pack(
      "setup", {"instructions:" + typicalScriptPath(), "verify-jar:" + javaBuildPath("Verify.jar"),
                "launch-script:" + write("launch.tag",
                                         "DESC: Test Setup\nDISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 1\n"
                                         "COMMAND: : %CP%(); echo ran > ran; exit 5\n"),
                "jvm:" + write("jvm.tag", jvmFileText())});
  int out[2];
  ASSERT_EQ(0, pipe(out));
  close(out[0]);  // nobody will read
  std::vector<std::string> vars = env("", dir.file("fake"));
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);
    dup2(out[1], 1);
    std::vector<char*> envp;
    for (std::string& v : vars) envp.push_back(&v[0]);
    envp.push_back(nullptr);
    std::string tempCopy = temp;
    char* argv[] = {&launcher[0], const_cast<char*>("-bv:tempdir"), &tempCopy[0], nullptr};
    execve(argv[0], argv, envp.data());
    _exit(99);
  }
  close(out[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(5, WEXITSTATUS(status));
  EXPECT_EQ("ran\n", readFile(dir.file("ran")));
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(LifecycleTest, AClasspathListFileThatNeverEndsIsAnError) {
  writeFakeJvm(dir.file("fake"));
  std::string launcher = typicalUnix();
  auto start = std::chrono::steady_clock::now();
  ProcessResult r = run(launcher, {"-cp:p", "@/dev/zero"}, env("", dir.file("fake")));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(255, r.status);
  EXPECT_TRUE(contains(r.err, "The file /dev/zero is larger than 1 MiB")) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

}  // namespace
}  // namespace bvtest
