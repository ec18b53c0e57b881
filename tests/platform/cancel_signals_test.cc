// Cancel signals with real processes: a forked copy of the test plays the
// launcher (it installs the handlers and runs a child through
// executeProcess), the test sends it signals and looks at its exit code and
// at what is left on disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "platform/child_supervisor.h"
#include "platform/run_console.h"
#include "platform/platform_impl.h"
#include "platform/platform_signals.h"
#include "tests/test_util.h"

namespace {

using bvtest::pathExists;
using bvtest::TempDir;

// Runs body in a forked process that ends with its result.
pid_t forkLauncher(const std::function<int()>& body) {
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int code = 99;
    try {
      code = body();
    } catch (...) {
    }
    _exit(code);
  }
  return pid;
}

// The exit code of pid, or 128 + the signal that ended it.
int exitCodeOf(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

// Waits until path exists (it is made by a process that runs alongside);
// gives up after a generous bound so that a broken test does not hang.
bool waitForFile(const std::string& path) {
  for (int i = 0; i < 2000; ++i) {
    if (pathExists(path)) return true;
    usleep(10 * 1000);
  }
  return false;
}

// Runs command as the launcher would run a Java application, with the
// cancel handlers installed; the result is the launcher's exit code.
int launchAndExit(const std::string& command, const std::string& dir, bool capture) {
  PlatformImpl::setSilent(true);
  PlatformImpl::installCancelHandlers();
  SString out;
  SString err;
  long result = PlatformImpl::executeProcess(SString(command.c_str()), SString(dir.c_str()), false,
                                             capture, true, &out, &err, false);
  if (PlatformImpl::getCancelSignal() != 0) result = PlatformImpl::getCanceledExitCode();
  return static_cast<int>(result);
}

std::vector<std::string> entriesOf(const std::string& dir) {
  std::vector<std::string> names;
  std::string out;
  bvtest::runShell("ls -A '" + dir + "'", &out);
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    if (end > start) names.push_back(out.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

TEST(CancelSignals, EachCancelSignalSetsTheFlag) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
    SCOPED_TRACE(strsignal(sig));
    pid_t pid = forkLauncher([sig] {
      PlatformImpl::installCancelHandlers();
      raise(sig);
      bool ok = PlatformImpl::isCanceled() && PlatformImpl::getCancelSignal() == sig &&
                PlatformImpl::getCanceledExitCode() == 128 + sig;
      return ok ? 0 : 1;
    });
    EXPECT_EQ(0, exitCodeOf(pid));
  }
}

// A launcher that is a Unix command names the signal from outside that
// stopped it, in place of "Canceled by the user."; a cancel asked for in a
// window, and every other launcher, keep the catalogued text.
TEST(CancelSignals, AUnixCommandNamesTheSignalFromOutside) {
  // The catalogued text, in the language of the test's environment.
  const std::string canceled = PlatformImpl::getMessageText(MSG_CANCELED).c_str();
  struct Case {
    bool unixCommand;
    int sig;
    bool inWindow;
    std::string expected;
  } cases[] = {
      {true, SIGTERM, false, "Stopped by signal TERM."},
      {true, SIGINT, false, "Stopped by signal INT."},
      {true, SIGUSR2, false, "Stopped by signal USR2."},
      {true, SIGTERM, true, canceled},
      {false, SIGTERM, false, canceled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    pid_t pid = forkLauncher([&c] {
      PlatformImpl::console().configure(c.unixCommand, false);
      PlatformImpl::installCancelHandlers();
      if (c.inWindow) {
        cancelLikeSignal(c.sig);
      } else {
        raise(c.sig);
      }
      return PlatformImpl::getMessageText(MSG_CANCELED).compare(c.expected.c_str()) == 0 ? 0 : 1;
    });
    EXPECT_EQ(0, exitCodeOf(pid));
  }
}

// The program that the launch command starts: an inner shell that notes
// which signal it got, so the test sees what reached the command's own
// children (the outer /bin/sh passes nothing on).
const char* kRecordingCommand =
    "sh -c 'for s in INT TERM HUP; do trap \"echo $s > got; exit 0\" $s; done; "
    "echo $$ > pid; : > ready; while :; do sleep 0.02; done'; echo after";

bool processGone(const std::string& pidFile) {
  pid_t child = static_cast<pid_t>(std::stol(bvtest::readFile(pidFile)));
  return kill(child, 0) != 0 && errno == ESRCH;
}

TEST(CancelSignals, EverySignalReachesTheWholeGroupAndTheExitCodeIsTheLaunchers) {
  struct Case {
    int sig;
    const char* received;  // what the command's program got
  };
  const Case cases[] = {
      {SIGTERM, "TERM"}, {SIGHUP, "HUP"},   {SIGINT, "INT"},   {SIGQUIT, "TERM"},
      {SIGUSR1, "TERM"}, {SIGUSR2, "TERM"}, {SIGALRM, "TERM"},
  };
  for (const Case& c : cases) {
    for (bool capture : {false, true}) {
      SCOPED_TRACE(std::string(strsignal(c.sig)) + (capture ? ", captured" : ""));
      TempDir dir;
      pid_t pid = forkLauncher([&] { return launchAndExit(kRecordingCommand, dir.path(), capture); });
      ASSERT_TRUE(waitForFile(dir.file("ready")));
      kill(pid, c.sig);
      EXPECT_EQ(128 + c.sig, exitCodeOf(pid));
      EXPECT_EQ(std::string(c.received) + "\n", bvtest::readFile(dir.file("got")));
      EXPECT_TRUE(processGone(dir.file("pid")));
    }
  }
}

// A program of the group that is stopped still hears of the cancel and ends
// through its own handler: SIGCONT follows the signal.
TEST(CancelSignals, AStoppedProgramOfTheGroupGetsTheSignalAndRunsItsHandler) {
  TempDir dir;
  pid_t pid = forkLauncher([&] {
    return launchAndExit("sh -c 'trap \"echo TERM > got; exit 0\" TERM; echo $$ > pid; : > ready; kill -STOP $$; "
                         "while :; do sleep 0.02; done'; echo after",
                         dir.path(), false);
  });
  ASSERT_TRUE(waitForFile(dir.file("ready")));
  pid_t program = static_cast<pid_t>(std::stol(bvtest::readFile(dir.file("pid"))));
  std::string stat = "/proc/" + std::to_string(program) + "/stat";
  bool stopped = false;
  for (int i = 0; i < 2000 && !stopped; ++i) {
    std::string text = bvtest::readFile(stat);
    size_t close = text.rfind(')');
    stopped = close != std::string::npos && text.compare(close, 3, ") T") == 0;
    if (!stopped) usleep(10 * 1000);
  }
  ASSERT_TRUE(stopped);
  kill(pid, SIGTERM);
  EXPECT_EQ(128 + SIGTERM, exitCodeOf(pid));
  EXPECT_EQ("TERM\n", bvtest::readFile(dir.file("got")));
  EXPECT_TRUE(processGone(dir.file("pid")));
}

TEST(CancelSignals, AGroupThatIgnoresTheSignalIsKilledAfterTheGrace) {
  TempDir dir;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = forkLauncher([&] {
    setKillGraceMillisForTest(300);
    return launchAndExit(
        "trap '' TERM; sh -c 'trap \"\" TERM; echo $$ > pid; : > ready; while :; do sleep 0.02; done'; exit 3",
        dir.path(), false);
  });
  ASSERT_TRUE(waitForFile(dir.file("ready")));
  kill(pid, SIGTERM);
  usleep(50 * 1000);
  // A second signal is passed on too; it does not end the launcher early.
  kill(pid, SIGTERM);
  EXPECT_EQ(128 + SIGTERM, exitCodeOf(pid));
  EXPECT_TRUE(processGone(dir.file("pid")));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
}

TEST(CancelSignals, SecondSignalWithoutAChildRemovesTheTemporaryFilesAtOnce) {
  TempDir dir;
  std::string temp = dir.file("tmp");
  ASSERT_EQ(0, mkdir(temp.c_str(), 0700));
  pid_t pid = forkLauncher([&] {
    PlatformImpl::setSystemTempDir(SString(temp.c_str()));
    std::string tree = PlatformImpl::createTempSubDirectory().c_str();
    mkdir((tree + "/sub").c_str(), 0700);
    bvtest::writeFile(tree + "/sub/file", "x");
    PlatformImpl::createTempFile();
    PlatformImpl::removeFileFromCleanupList(PlatformImpl::createTempFile());
    PlatformImpl::installCancelHandlers();
    bvtest::writeFile(dir.file("ready"), "");
    // A loop that does not look at the cancel flag.
    for (;;) pause();
    return 0;
  });
  ASSERT_TRUE(waitForFile(dir.file("ready")));
  kill(pid, SIGTERM);
  usleep(100 * 1000);
  kill(pid, SIGUSR1);
  EXPECT_EQ(128 + SIGUSR1, exitCodeOf(pid));
  // Only the file taken off the list is left.
  std::vector<std::string> left = entriesOf(temp);
  ASSERT_EQ(1u, left.size());
  EXPECT_EQ(0u, left[0].find("bvj"));
  struct stat st;
  EXPECT_TRUE(stat((temp + "/" + left[0]).c_str(), &st) == 0 && S_ISREG(st.st_mode));
}

// The cancel flag as the long operations see it.
class CancelFlag : public ::testing::Test {
 protected:
  void TearDown() override { PlatformImpl::setCanceled(false); }
};

TEST_F(CancelFlag, NoNewProcessStarts) {
  TempDir dir;
  PlatformImpl::setCanceled(true);
  std::string error = bvtest::launcherErrorOf([&] {
    PlatformImpl::executeProcess(": > ran", SString(dir.path().c_str()), false, false, false, nullptr,
                                 nullptr, false);
  });
  EXPECT_EQ(PlatformImpl::getMessageText(MSG_CANCELED).c_str(), error);
  EXPECT_FALSE(pathExists(dir.file("ran")));
}

}  // namespace
