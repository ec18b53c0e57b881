// The input-file actions of a packed launcher (-bv:in) and the exact lines
// that each prints for the calling program; search results survive the run,
// everything else it wrote is removed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

class E2eInputFileTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    writeFakeJvm(dir.file("fake"));
    writeFakeJvm(dir.file("windows"), "Windows 11");
    // No launch script: no title line before the results.
    launcher = pack("setup", {"instructions:" + write("quiet.tag", scriptText({":DONE"})),
                              "verify-jar:" + javaBuildPath("Verify.jar"),
                              "jvm:" + write("jvm.tag", jvmFileText())});
  }
  // Writes an input file of the given tag lines; returns its path.
  std::string input(const std::string& name, const std::string& tags) { return write(name, tags); }
  ProcessResult runInput(const std::string& tags, const std::vector<std::string>& environment) {
    return run(launcher, {"-bv:in", input("input.tag", tags)}, environment);
  }

  std::string launcher;
};

TEST_F(E2eInputFileTest, SearchPrintsTheHomeAndAFileThatSurvives) {
  ProcessResult r = runInput("ACTION: SEARCH\n", env("", dir.file("fake")));
  EXPECT_EQ(0, r.status) << r.err;
  std::vector<std::string> lines = splitLines(r.out);
  ASSERT_EQ(3u, lines.size()) << r.out;
  EXPECT_EQ("1", lines[0]);
  EXPECT_EQ(dir.file("fake"), lines[1]);
  EXPECT_EQ(temp, dirName(lines[2]));
  // The written JVM file is all that the run left.
  EXPECT_EQ(std::vector<std::string>{lines[2].substr(temp.size() + 1)}, leftInTemp());
  EXPECT_EQ(dir.file("fake"), tagValue(lines[2], "JVM_HOME"));
  EXPECT_EQ(lines[2], tagValue(lines[2], "JVM_FILE"));
  EXPECT_EQ("0", tagValue(lines[2], "JVM_TEMP"));
  EXPECT_EQ("Test JVM", tagValue(lines[2], "DESC"));
  removeTree(lines[2]);

  r = runInput("ACTION: SEARCH\n", env("", dir.file("windows")));
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("0\n", r.out);
  EXPECT_TRUE(leftInTemp().empty());

  // With progress shown, the result lines still end the output.
  r = runInput("ACTION: SEARCH\nSHOW_PROGRESS: 1\n", env("", dir.file("fake")));
  EXPECT_NE(std::string::npos, r.out.find("Searching for Java(tm) Virtual Machine...\n")) << r.out;
  size_t result = r.out.find("\n1\n" + dir.file("fake") + "\n" + temp + "/bvj");
  ASSERT_NE(std::string::npos, result) << r.out;
  lines = splitLines(r.out.substr(result + 1));
  EXPECT_EQ(std::vector<std::string>{lines[2].substr(temp.size() + 1)}, leftInTemp());
}

// SEARCH_ALL scans the disks for the executables of the input file's JVM
// file (a name that only this test's homes have), verifies every home found
// and prints them all, each real home once (scan/e's executable is a link
// to scan/a's); the embedded JVM file is not used.
TEST_F(E2eInputFileTest, SearchAllPrintsEveryVerifiedHomeFoundOnTheDisks) {
  std::string exe = "bin/java-" + dir.path().substr(dir.path().rfind('/') + 1);
  writeFakeJvm(dir.file("scan/a"), "Linux", exe);
  writeFakeJvm(dir.file("scan/b/c"), "Linux", exe);
  writeFakeJvm(dir.file("scan/d"), "SunOS", exe);
  write("scan/e/bin/readme", "");
  ASSERT_EQ(0, runShell("ln -s " + shellQuote(dir.file("scan/a/" + exe)) + " " +
                        shellQuote(dir.file("scan/e/" + exe))));
  std::string jvm = write("scan.jvm", jvmFileText(exe));
  ProcessResult r = runInput("ACTION: SEARCH_ALL\nJVM: " + jvm + "\n", env());
  EXPECT_EQ(0, r.status) << r.err;
  std::vector<std::string> lines = splitLines(r.out);
  ASSERT_EQ(5u, lines.size()) << r.out;
  EXPECT_EQ("2", lines[0]);
  std::set<std::string> homes = {lines[1], lines[3]};
  EXPECT_EQ((std::set<std::string>{dir.file("scan/a"), dir.file("scan/b/c")}), homes);
  std::vector<std::string> files = {lines[2].substr(temp.size() + 1),
                                    lines[4].substr(temp.size() + 1)};
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, leftInTemp());
  EXPECT_EQ(lines[1], tagValue(lines[2], "JVM_HOME"));
  EXPECT_EQ(lines[3], tagValue(lines[4], "JVM_HOME"));
}

// A failed search prints nothing (SEARCH) or a count of 0 (SEARCH_ALL) on
// standard output; the error goes to standard error and the log, silent or
// not, and the run ends with 255. Here the temporary directory does not
// exist.
TEST_F(E2eInputFileTest, FailedSearchesSayWhyOnStandardError) {
  std::string log = dir.file("search.log");
  std::string missing = dir.file("missing");
  const std::string why = "Cannot use " + missing + " as the temp directory because it does not exist.";
  struct Case {
    const char* action;
    std::string printed, error;
  } cases[] = {
      {"SEARCH", "", why},
      {"SEARCH_ALL", "0\n", "Unable to search for all JVMs. " + why},
  };
  for (const Case& c : cases) {
    for (bool silent : {false, true}) {
      SCOPED_TRACE(std::string(c.action) + (silent ? " silent" : ""));
      removeTree(log);
      std::vector<std::string> args = {"-bv:tempdir", missing, "-bv:in",
                                       input("failing.tag", std::string("ACTION: ") + c.action +
                                                                "\nLOGFILE: " + log + "\n")};
      if (silent) args.insert(args.begin(), "-bv:silent");
      ProcessResult r = run(launcher, args, env("", dir.file("fake")));
      EXPECT_EQ(255, r.status);
      EXPECT_EQ(c.printed, r.out);
      EXPECT_EQ(c.error + "\n", r.err);
      EXPECT_NE(std::string::npos, readFile(log).find("ERROR: " + c.error + "\n")) << readFile(log);
      EXPECT_FALSE(pathExists(missing));
    }
  }
}

TEST_F(E2eInputFileTest, VerifyJvmPrintsOneOrZero) {
  std::string jvm = write("verify.jvm", jvmFileText());
  struct Case {
    const char* name;
    std::string home, printed;
  } cases[] = {
      {"real JDK", javaHome, "1\n"},
      {"fake Linux JVM", dir.file("fake"), "1\n"},
      {"JVM of another system", dir.file("windows"), "0\n"},
      {"no JVM there", dir.file("nothing"), "0\n"},
  };
  for (const Case& c : cases) {
    if (c.home.empty()) continue;  // no Java on this machine
    SCOPED_TRACE(c.name);
    ProcessResult r = runInput(
        "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + jvm + "\nVERIFY_JVM_HOME: " + c.home + "\n",
        env());
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(c.printed, r.out);
    EXPECT_TRUE(leftInTemp().empty());
  }
}

// An input file that lacks what its action needs, or names a JVM file that
// is not there: the error on standard error and in the log, silent or not,
// nothing on standard output, 255.
TEST_F(E2eInputFileTest, ActionsWithoutWhatTheyNeedSayWhatIsMissing) {
  std::string log = dir.file("action.log");
  std::string installer = write("installer.sh", installerText(dir.file("fake/bin/java")), 0755);
  std::string inputPath = dir.file("input.tag");
  struct Case {
    const char* name;
    std::string tags, error;
  } cases[] = {
      {"VERIFY_JVM without a home", "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + write("v.jvm", jvmFileText()) + "\n",
       "The action VERIFY_JVM of the input file " + inputPath +
           " needs both VERIFY_JVM_FILE and VERIFY_JVM_HOME."},
      {"VERIFY_JVM without a file", "ACTION: VERIFY_JVM\nVERIFY_JVM_HOME: " + dir.file("fake") + "\n",
       "The action VERIFY_JVM of the input file " + inputPath +
           " needs both VERIFY_JVM_FILE and VERIFY_JVM_HOME."},
      {"VERIFY_JVM_FILE missing",
       "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + dir.file("none.jvm") + "\nVERIFY_JVM_HOME: " +
           dir.file("fake") + "\n",
       "Cannot read the JVM file " + dir.file("none.jvm") +
           " that VERIFY_JVM_FILE names: No such file or directory."},
      {"INSTALL_JVM without a destination", "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: " + installer + "\n",
       "The action INSTALL_JVM of the input file " + inputPath +
           " needs both INSTALL_JVM_EXE and INSTALL_JVM_DEST."},
  };
  for (const Case& c : cases) {
    for (bool silent : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (silent ? " silent" : ""));
      removeTree(log);
      std::vector<std::string> args = {"-bv:in", input("input.tag", c.tags + "LOGFILE: " + log + "\n")};
      if (silent) args.insert(args.begin(), "-bv:silent");
      ProcessResult r = run(launcher, args, env());
      EXPECT_EQ(255, r.status);
      EXPECT_EQ("", r.out);
      EXPECT_EQ(c.error + "\n", r.err);
      EXPECT_NE(std::string::npos, readFile(log).find("ERROR: " + c.error + "\n")) << readFile(log);
      EXPECT_TRUE(leftInTemp().empty());
    }
  }
}

TEST_F(E2eInputFileTest, InstallJvmRunsTheCommandAndPrintsTheCompletedJvmFile) {
  std::string installer = write("installer.sh", installerText(dir.file("fake/bin/java")), 0755);
  std::string dest = dir.file("dest");
  mkdir(dest.c_str(), 0755);
  ProcessResult r = runInput(
      "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: " + installer + "\nINSTALL_JVM_DEST: " + dest + "\n",
      env());
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(dest + "/jvm\n", r.out);
  EXPECT_EQ(dest, tagValue(dest + "/jvm", "JVM_HOME"));
  EXPECT_EQ(dest + "/jvm", tagValue(dest + "/jvm", "JVM_FILE"));
  EXPECT_EQ("0", tagValue(dest + "/jvm", "JVM_TEMP"));
  EXPECT_EQ("bin/java", tagValue(dest + "/jvm", "JVM_EXE")) << readFile(dest + "/jvm");
  EXPECT_TRUE(leftInTemp().empty());

  // The completed file verifies the installed home.
  std::string log = dir.file("verify.log");
  r = run(launcher,
          {"-bv:log", log, "-bv:in",
           input("verify.tag", "VERIFY_JVM_FILE: " + dest + "/jvm\nVERIFY_JVM_HOME: " + dest +
                                   "\n" + "ACTION: VERIFY_JVM\n")},
          env());
  EXPECT_EQ("1\n", r.out) << readFile(log);

  // An installer that leaves no "jvm" file fails the run.
  std::string empty = dir.file("empty");
  mkdir(empty.c_str(), 0755);
  std::string bad = write("bad.sh", installerText(dir.file("fake/bin/java"), false), 0755);
  r = runInput(
      "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: " + bad + "\nINSTALL_JVM_DEST: " + empty + "\n",
      env());
  EXPECT_EQ(255, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ("The JVM installer " + bad + " left no JVM description file " + empty + "/jvm.\n", r.err);
  EXPECT_TRUE(leftInTemp().empty());
}

// RUN_INSTRUCTIONS with the input file's own instruction script, launch
// script, JVM file and title: they win over the embedded ones.
TEST_F(E2eInputFileTest, RunInstructionsUsesTheFilesThatTheInputFileNames) {
  std::string log = dir.file("input.log");
  std::string jvm = write("input.jvm", jvmFileText("bin/java", "SYSTEM: -X\n"));
  std::string launchScript = write("input-launch.tag", launchScriptText(true));
  ProcessResult r =
      runInput("ACTION: RUN_INSTRUCTIONS\nSHOW_PROGRESS: 1\nINSTRUCTIONS: " + typicalScriptPath() +
                   "\nLAUNCHSCRIPT: " + launchScript + "\nUI_TITLE: Input Title\nJVM: " + jvm +
                   "\nLOGFILE: " + log + "\n",
               env("", dir.file("fake")));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  std::vector<std::string> lines = splitLines(r.out);
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "Initializing Input Title..."))
      << r.out;
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "Running Input Title...")) << r.out;
  // The input file's JVM file spells system properties its own way.
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "arg=-Xtemp.dir=" + temp)) << r.out;
  EXPECT_NE(std::string::npos, readFile(log).find("Matching JVM home is " + dir.file("fake")))
      << readFile(log);
  EXPECT_TRUE(leftInTemp().empty());
}

// Errors of the command line: exact output, error output and exit status,
// silent or not. The launcher runs a script that prints nothing; standard
// output carries only what was asked for (the version, the action results).
TEST_F(E2eInputFileTest, CommandLineErrorsAndOptionOrder) {
  std::string noAction = input("none.tag", "SHOW_PROGRESS: 0\n");
  std::string bogus = input("bogus.tag", "ACTION: FLY\n");
  std::string broken = input("broken.tag", "ACTION: SEARCH\nJVM:\n  x\n");
  std::string search = input("search.tag", "ACTION: SEARCH\n");
  const std::string loadError = "Could not load the input file. ";
  const std::string openError =
      "Unable to open input file specified on the command line after the -bv:in option.";
  const std::string missingName = "An input file name must follow the '-bv:in' command line option.\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  } cases[] = {
      {{"-bv:version"}, 0, "2.51\n", ""},
      {{"-bv:in"}, 255, "", missingName},
      {{"-bv:in", ""}, 255, "", loadError + openError + "\n"},
      {{"-bv:in", dir.file("missing.tag")},
       255,
       "",
       loadError + openError + " (" + dir.file("missing.tag") + ": No such file or directory)\n"},
      {{"-bv:in", noAction}, 255, "", "Invalid action in input file: \n"},
      {{"-bv:in", bogus}, 255, "", "Invalid action in input file: FLY\n"},
      // A missing -bv:log or -bv:orig value: the script still runs, and its
      // result is the exit status.
      // (The empty line ends the progress row of the script run.)
      {{"-bv:log"},
       0,
       "\n",
       "A log file name must be specified after the -bv:log option on the command line.\n"},
      {{"-bv:orig"}, 0, "\n", "Missing original launcher file name.\n"},
      {{"-bv:tempdir"}, 0, "\n", ""},
      // Options act left to right and none stops the others.
      {{"-bv:version", "-bv:in", search}, 0, "2.51\n0\n", ""},
      {{"-bv:in", search, "-bv:in", search, "-bv:version"}, 0, "0\n0\n2.51\n", ""},
      {{"-bv:in", "\"" + search + "\""}, 0, "0\n", ""},
      {{"-bv:in", search, "-bv:in"}, 255, "0\n", missingName},
  };
  for (const Case& c : cases) {
    for (bool silent : {false, true}) {
      std::string trace = silent ? "[-bv:silent] " : "";
      for (const std::string& a : c.args) trace += "[" + a + "] ";
      SCOPED_TRACE(trace);
      std::vector<std::string> args = c.args;
      if (silent) args.insert(args.begin(), "-bv:silent");
      ProcessResult r = run(launcher, args, env());
      EXPECT_EQ(c.status, r.status);
      // Silent, the script's progress row prints nothing.
      EXPECT_EQ(silent && c.out == "\n" ? "" : c.out, r.out);
      EXPECT_EQ(c.err, r.err);
      EXPECT_TRUE(leftInTemp().empty());
    }
  }
  // A syntax error in the input file: the catalogued sentence, a blank and
  // the reason, once.
  ProcessResult r = run(launcher, {"-bv:in", broken}, env());
  EXPECT_EQ(255, r.status);
  EXPECT_EQ("", r.out);
  std::vector<std::string> lines = splitLines(r.err);
  ASSERT_EQ(1u, lines.size()) << r.err;
  EXPECT_EQ(0u, lines[0].find(loadError + "Syntax error in " + broken)) << r.err;
}

}  // namespace
}  // namespace bvtest
