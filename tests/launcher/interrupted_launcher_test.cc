// The built launcher interrupted by signals: during the disk scan of a JVM
// search and while the application runs. Payloads are packed with bvpack;
// the launcher runs as its own process with a temporary directory of the
// test's (-bv:tempdir), which must be empty when it has ended.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/test_util.h"

namespace {

using bvtest::pathExists;
using bvtest::readFile;
using bvtest::writeFile;

class InterruptedLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(0, mkdir(tempDir().c_str(), 0700)); }

  std::string tempDir() const { return dir.file("tmp"); }

  // Packs the entries (TYPE:PATH) onto the launcher stub as dir/setup.
  void pack(const std::vector<std::string>& entries) {
    std::vector<std::string> args = {"-o", launcher};
    args.insert(args.end(), entries.begin(), entries.end());
    std::string out;
    ASSERT_EQ(0, bvtest::runBvpack(args, &out)) << out;
  }

  // Starts the launcher with its output going to dir/out, in English and
  // with a plain PATH (the JVM files of these tests name programs that no
  // JVM has).
  pid_t start() {
    std::string out = dir.file("out");
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
      FILE* file = freopen(out.c_str(), "w", stdout);
      if (file == nullptr || dup2(fileno(stdout), 2) < 0) _exit(98);
      std::string tempArg = tempDir();
      const char* argv[] = {launcher.c_str(), "-bv:tempdir", tempArg.c_str(), nullptr};
      const char* envp[] = {"PATH=/usr/bin:/bin", "BV_VERIFY_CACHE=0", nullptr};
      execve(launcher.c_str(), const_cast<char**>(argv), const_cast<char**>(envp));
      _exit(99);
    }
    return pid;
  }

  // Waits (within a generous bound) until the launcher's output holds text.
  bool waitForOutput(const std::string& text) {
    for (int i = 0; i < 3000; ++i) {
      if (readFile(dir.file("out")).find(text) != std::string::npos) return true;
      usleep(10 * 1000);
    }
    return false;
  }
  bool waitForFile(const std::string& path) {
    for (int i = 0; i < 3000 && !pathExists(path); ++i) usleep(10 * 1000);
    return pathExists(path);
  }

  static int exitCodeOf(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  }

  std::vector<std::string> tempEntries() {
    std::string out;
    bvtest::runShell("ls -A '" + tempDir() + "'", &out);
    std::vector<std::string> names;
    for (size_t start = 0, end; start < out.size(); start = end + 1) {
      end = out.find('\n', start);
      if (end == std::string::npos) end = out.size();
      if (end > start) names.push_back(out.substr(start, end - start));
    }
    return names;
  }

  bvtest::TempDir dir;
  std::string launcher = dir.file("setup");
};

TEST_F(InterruptedLauncherTest, DuringTheDiskScanItStopsAndLeavesNoTemporaryFile) {
  std::string verifyJar = bvtest::buildPath("java/Verify.jar");
  if (!pathExists(verifyJar)) GTEST_SKIP() << "no " << verifyJar << " (the Java parts were not built)";
  // A JVM that only the scan can find: its program says when it is being
  // verified and then waits for the test, so whether the signal comes during
  // the walk or during that verification, the run is still in the scan.
  std::string exe = "bin/bvtest-scan-only-java";
  std::string home = dir.file("scanhome");
  ASSERT_EQ(0, mkdir(home.c_str(), 0755));
  ASSERT_EQ(0, mkdir((home + "/bin").c_str(), 0755));
  writeFile(home + "/" + exe,
            "#!/bin/sh\n: > '" + dir.file("verifying") + "'\n"
            "i=0; while [ ! -e '" + dir.file("go") + "' ] && [ $i -lt 500 ]; do sleep 0.02; i=$((i+1)); done\n"
            "exit 1\n",
            0755);
  writeFile(dir.file("instructions.tag"), "INSTRUCTIONS:\n  FIND_JVM 1 1\n  :END\n/:\n");
  writeFile(dir.file("scan.jvm"),
            "DESC: scan test\nJVM_EXE: " + exe + "\nSEARCH_ALL: 1\nJVM_PROPERTIES:\n  \"java.version=1.*\"\n/:\n");
  pack({"instructions:" + dir.file("instructions.tag"), "verify-jar:" + verifyJar,
        "launch-script:" + bvtest::sourcePath("examples/setup/launch.tag"), "jvm:" + dir.file("scan.jvm")});

  pid_t pid = start();
  ASSERT_TRUE(waitForOutput("Scanning disk(s)")) << readFile(dir.file("out"));
  // The verification archive was extracted before the scan began.
  EXPECT_FALSE(tempEntries().empty());
  kill(pid, SIGINT);
  writeFile(dir.file("go"), "");
  EXPECT_EQ(128 + SIGINT, exitCodeOf(pid));
  EXPECT_NE(std::string::npos, readFile(dir.file("out")).find("Canceled by the user.")) << readFile(dir.file("out"));
  EXPECT_EQ(std::vector<std::string>{}, tempEntries());
}

// The application is a program started by the launch command's shell: it
// writes "ready" in the launcher's directory, then waits for "go" and exits
// with 3; a SIGTERM or SIGHUP makes it note the signal in "got" (after
// checking that the classpath archive is still there) and exit with 7. A
// classpath archive puts a temporary directory in use meanwhile.
class InterruptedApplicationTest : public InterruptedLauncherTest {
 protected:
  void SetUp() override {
    InterruptedLauncherTest::SetUp();
    writeFile(dir.file("instructions.tag"), "INSTRUCTIONS:\n  ILAUNCH 1 0\n  :END\n/:\n");
    writeFile(dir.file("app.jvm"), "DESC: app\nJVM_EXE: bin/java\nCLASSPATH: \"-cp \"\nCLASSPATH_SEPARATOR: :\n");
    writeFile(dir.file("launch.tag"),
              "DESC: interrupted app\nDISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 1\n"
              "COMMAND: sh ./app.sh %CP%(); echo after\n");
    writeFile(dir.file("app.sh"),
              "for s in TERM HUP; do trap \"sleep 0.2; ls \\\"\\$2\\\" >/dev/null && echo $s > got; exit 7\" $s; done\n"
              "echo $$ > pid; : > ready\n"
              "i=0; while [ ! -e go ] && [ $i -lt 500 ]; do sleep 0.02; i=$((i+1)); done; exit 3\n");
    writeFile(dir.file("lib.jar"), "PK\003\004");
    pack({"instructions:" + dir.file("instructions.tag"), "--id", "1", "jvm:" + dir.file("app.jvm"),
          "launch-script:" + dir.file("launch.tag"), "classpath-jar:" + dir.file("lib.jar")});
  }
};

TEST_F(InterruptedApplicationTest, InterruptWaitsForTheApplicationThenCleansUp) {
  pid_t pid = start();
  ASSERT_TRUE(waitForFile(dir.file("ready"))) << readFile(dir.file("out"));
  EXPECT_FALSE(tempEntries().empty());
  kill(pid, SIGINT);
  writeFile(dir.file("go"), "");
  EXPECT_EQ(128 + SIGINT, exitCodeOf(pid));
  EXPECT_NE(std::string::npos, readFile(dir.file("out")).find("Canceled by the user.")) << readFile(dir.file("out"));
  EXPECT_EQ(std::vector<std::string>{}, tempEntries());
}

TEST_F(InterruptedApplicationTest, TermAndHupReachTheApplicationBeforeTheCleanUp) {
  for (int sig : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    unlink(dir.file("ready").c_str());
    unlink(dir.file("got").c_str());
    pid_t pid = start();
    ASSERT_TRUE(waitForFile(dir.file("ready"))) << readFile(dir.file("out"));
    kill(pid, sig);
    EXPECT_EQ(128 + sig, exitCodeOf(pid));
    // The application still found its archive when it got the signal.
    EXPECT_EQ(std::string(sig == SIGTERM ? "TERM" : "HUP") + "\n", readFile(dir.file("got")));
    pid_t app = static_cast<pid_t>(std::stol(readFile(dir.file("pid"))));
    EXPECT_TRUE(kill(app, 0) != 0 && errno == ESRCH);
    EXPECT_EQ(std::vector<std::string>{}, tempEntries());
  }
}

}  // namespace
