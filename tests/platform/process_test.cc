#include "platform/platform_impl.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "platform/child_limits.h"
#include "platform/console.h"
#include "platform/group_guardian.h"
#include "platform/platform_process.h"
#include "tests/platform/console_capture.h"
#include "tests/test_util.h"

namespace {

using bvtest::pathExists;
using bvtest::readFile;
using bvtest::writeFile;

// Counts progress from 0 with the output switched off, and puts the
// console state back afterwards.
class UIQuiet {
 public:
  UIQuiet() : m_enabled(g_enableOutput), m_progress(ui_progress), m_block(ui_progressBlock) {
    PlatformImpl::setSilent(false);
    g_enableOutput = 0;
    ui_progress = 0;
    ui_progressBlock = 0;
  }
  ~UIQuiet() {
    g_enableOutput = m_enabled;
    ui_progress = m_progress;
    ui_progressBlock = m_block;
  }

 private:
  int m_enabled;
  long m_progress;
  long m_block;
};

// Runs command with both streams captured.
long capture(const std::string& command, SString* out, SString* err,
             const std::string& workingDirectory = "") {
  return PlatformImpl::executeProcess(command.c_str(), workingDirectory.c_str(), false, true, true,
                                      out, err, false);
}

std::string currentDirectory() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
}

// Runs body in a forked process whose standard output is a pipe, and
// returns everything that process printed. The process ends when body
// returns.
template <class Body>
std::string outputOfForkedProcess(Body body) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], 1);
    close(fds[1]);
    body();
    fflush(nullptr);
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return text;
}

TEST(ExecuteProcessTest, CapturesBothStreamsInOrderAfterWhatTheStringsHeld) {
  SString out("old out|");
  SString err("old err|");
  long code = capture("printf 'a\\n'; printf e1 >&2; printf 'b\\n'; printf e2 >&2; exit 3", &out,
                      &err);
  EXPECT_EQ(3, code);
  EXPECT_STREQ("old out|a\nb\n", out.c_str());
  EXPECT_STREQ("old err|e1e2", err.c_str());
}

TEST(ExecuteProcessTest, ExitCodesAndSignalsAreReportedAsTheShellDoes) {
  struct Case {
    const char* command;
    long code;
  } cases[] = {
      {"true", 0},
      {"exit 255", 255},
      {"no-such-command-anywhere 2>/dev/null", 127},
      {"kill -TERM $$", 128 + SIGTERM},
      {"kill -KILL $$", 128 + SIGKILL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    SString out;
    SString err;
    EXPECT_EQ(c.code, capture(c.command, &out, &err));
    EXPECT_EQ(c.code, PlatformImpl::executeProcess(c.command, "", false, false, false, nullptr,
                                                   nullptr, false));
  }
}

// The size limits of a new program are checked on the words as the program
// receives them: 70,000 double quotes are 140,002 bytes of command text but
// one argument of 70,000 bytes. One past the limit is refused first.
TEST(ExecuteProcessTest, ArgumentsAreMeasuredAsTheProgramReceivesThem) {
  std::string escaped = "\"";
  for (int i = 0; i < 70000; ++i) escaped += "\\\"";
  escaped += "\"";
  std::string tooLong = "'" + std::string(140000, 'x') + "'";
  // Started directly, and through the shell from a command file.
  for (const char* tail : {"", " | /bin/cat"}) {
    SCOPED_TRACE(tail);
    SString out, err;
    EXPECT_EQ(0, capture("/usr/bin/printf %s " + escaped + tail, &out, &err)) << err.c_str();
    EXPECT_EQ(std::string(70000, '"'), std::string(out.c_str(), out.length()));
    std::string error = bvtest::launcherErrorOf([&] { capture("/usr/bin/printf %s " + tooLong + tail, &out, &err); });
    EXPECT_EQ(0u, error.find("The command to run holds an argument of 140000 bytes, more than")) << error;
  }
}

// A program started without the shell gets what the shell would give it:
// the same environment (PWD naming the working directory, names that the
// shell drops dropped), and for a long command whose program cannot be
// started directly, the shell's own run of it and its own message.
TEST(ExecuteProcessTest, AProgramStartedDirectlyGetsWhatTheShellWouldGiveIt) {
  bvtest::TempDir dir;
  static char dotted[] = "BV.DOTTED=1";
  putenv(dotted);
  setenv("BV_TEST_PLAIN", "a b", 1);
  std::string before = currentDirectory();
  setenv("PWD", before.c_str(), 1);
  SString direct, throughShell, err;
  // "/usr/bin/env" alone starts directly; with ";" the shell runs it.
  EXPECT_EQ(0, capture("/usr/bin/env", &direct, &err, dir.path()));
  EXPECT_EQ(0, capture("/usr/bin/env;", &throughShell, &err, dir.path()));
  unsetenv("BV.DOTTED");
  unsetenv("BV_TEST_PLAIN");
  auto sortedLines = [](const SString& text) {
    std::vector<std::string> lines;
    std::string all(text.c_str(), text.length());
    for (size_t pos = 0, end; pos < all.size(); pos = end + 1) {
      end = all.find('\n', pos);
      if (end == std::string::npos) end = all.size();
      lines.push_back(all.substr(pos, end - pos));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  std::vector<std::string> lines = sortedLines(direct);
  std::vector<std::string> shellLines = sortedLines(throughShell);
  // Only the entries that differ are shown.
  std::vector<std::string> onlyDirect, onlyShell;
  std::set_difference(lines.begin(), lines.end(), shellLines.begin(), shellLines.end(),
                      std::back_inserter(onlyDirect));
  std::set_difference(shellLines.begin(), shellLines.end(), lines.begin(), lines.end(),
                      std::back_inserter(onlyShell));
  EXPECT_EQ(std::vector<std::string>{}, onlyDirect);
  EXPECT_EQ(std::vector<std::string>{}, onlyShell);
  EXPECT_TRUE(std::binary_search(lines.begin(), lines.end(), "PWD=" + dir.path()));
  EXPECT_TRUE(std::binary_search(lines.begin(), lines.end(), "BV_TEST_PLAIN=a b"));
  EXPECT_FALSE(std::binary_search(lines.begin(), lines.end(), "BV.DOTTED=1"));

  // Over 128 KiB of words, more than "sh -c" can take in one argument.
  std::string words;
  for (int i = 0; i < 3; ++i) words += " " + std::string(50000, 'x');
  writeFile(dir.file("no-interpreter-line"), "printf 'ran with %s' \"$#\"\n", 0755);
  SString out;
  err = "";
  EXPECT_EQ(0, capture(dir.file("no-interpreter-line") + words, &out, &err)) << err.c_str();
  EXPECT_STREQ("ran with 3", out.c_str());
  out = "";
  err = "";
  EXPECT_EQ(127, capture("/nonexistent-bv/java" + words, &out, &err));
  EXPECT_NE(std::string::npos, std::string(err.c_str()).find("/nonexistent-bv/java: not found")) << err.c_str();
}

TEST(ExecuteProcessTest, OutputOfEverySizeIsReadCompletely) {
  UIQuiet quiet;
  // 60000 bytes fit in the pipe and are still there when the child has been
  // collected; the larger outputs must be read while it runs.
  for (long size : {1L, 4096L, 60000L, 3000000L}) {
    SCOPED_TRACE(size);
    SString out;
    SString err;
    std::string command = "head -c " + std::to_string(size) + " /dev/zero | tr '\\0' x; " +
                          "head -c " + std::to_string(size / 2) + " /dev/zero | tr '\\0' y >&2";
    EXPECT_EQ(0, capture(command, &out, &err));
    ASSERT_EQ(static_cast<unsigned long>(size), out.length());
    ASSERT_EQ(static_cast<unsigned long>(size / 2), err.length());
    EXPECT_EQ(std::string(size, 'x'), std::string(out.c_str(), out.length()));
    // At least one progress dot per chunk of each stream.
    EXPECT_GE(ui_progress, (size + kReadChunkSize - 1) / kReadChunkSize);
    ui_progress = 0;
  }
}

TEST(ExecuteProcessTest, OutputWithoutAStringIsReadAndDropped) {
  SString err;
  long code = PlatformImpl::executeProcess(
      "head -c 2000000 /dev/zero; printf done >&2", "", false, true, true, nullptr, &err, false);
  EXPECT_EQ(0, code);
  EXPECT_STREQ("done", err.c_str());
}

TEST(ExecuteProcessTest, ADescendantHoldingThePipesDoesNotHoldTheLauncher) {
  bvtest::TempDir dir;
  std::string pidFile = dir.file("pid");
  // The call runs in a forked process, so that a wait for the pipes without
  // end fails the test at a bound (the give-up comes within 5.5 s) instead
  // of lasting as long as the descendant.
  int fds[2];
  ASSERT_EQ(0, pipe2(fds, O_CLOEXEC));
  fflush(nullptr);
  pid_t caller = fork();
  if (caller == 0) {
    close(fds[0]);
    SString out;
    SString err;
    long code = capture("sleep 600 & echo $! > " + pidFile + "; echo started", &out, &err);
    std::string result = std::to_string(code) + " " + out.c_str();
    ssize_t written = write(fds[1], result.data(), result.size());
    _exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
  }
  close(fds[1]);
  int status = 0;
  pid_t r = 0;
  for (int i = 0; i < 1500 && (r = waitpid(caller, &status, WNOHANG)) == 0; ++i) usleep(10 * 1000);
  pid_t sleeper = static_cast<pid_t>(std::atol(readFile(pidFile).c_str()));
  if (r == 0) {
    kill(caller, SIGKILL);
    waitpid(caller, &status, 0);
    ADD_FAILURE() << "the call did not come back within 15 s";
  }
  std::string result;
  char buffer[256];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) result.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  ASSERT_GT(sleeper, 0);
  // The call came back while the descendant still held the pipes open.
  EXPECT_EQ(0, kill(sleeper, 0));
  kill(sleeper, SIGKILL);
  EXPECT_EQ("0 started\n", result);
}

// The bound of a JVM check: a positive number of milliseconds from the
// environment, else the default; nothing switches the bound off.
TEST(ChildLimitsTest, OnlyAPositiveNumberChangesTheVerificationBound) {
  struct Case {
    const char* value;  // null: unset
    long millis;
  } cases[] = {
      {nullptr, kVerifyTimeoutMillis}, {"700", 700},
      {"1", 1},                        {"0", kVerifyTimeoutMillis},
      {"-5", kVerifyTimeoutMillis},    {"", kVerifyTimeoutMillis},
      {"12x", kVerifyTimeoutMillis},   {"abc", kVerifyTimeoutMillis},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value == nullptr ? "(unset)" : c.value);
    bvtest::ScopedVariable variable("BV_VERIFY_TIMEOUT_MS", c.value);
    EXPECT_EQ(c.millis, ChildLimits::verifyTimeoutMillis());
    VerificationLimits limits;
    EXPECT_EQ(c.millis, limits.timeoutMillis());
    EXPECT_EQ(&limits, ChildLimits::current());
  }
  EXPECT_EQ(nullptr, ChildLimits::current());
}

TEST(ExecuteProcessTest, RunsInTheWorkingDirectoryAndComesBack) {
  bvtest::TempDir dir;
  std::string before = currentDirectory();
  SString out;
  SString err;
  EXPECT_EQ(0, capture("pwd -P", &out, &err, dir.path()));
  char resolved[4096];
  ASSERT_NE(nullptr, realpath(dir.path().c_str(), resolved));
  EXPECT_EQ(std::string(resolved) + "\n", out.c_str());
  EXPECT_EQ(before, currentDirectory());
}

TEST(ExecuteProcessTest, AMissingWorkingDirectoryStartsNoChild) {
  bvtest::TempDir dir;
  std::string missing = dir.file("missing");
  std::string marker = dir.file("marker");
  std::string before = currentDirectory();
  for (bool captureOutput : {true, false}) {
    SCOPED_TRACE(captureOutput);
    try {
      SString out;
      PlatformImpl::executeProcess(("touch " + marker).c_str(), missing.c_str(), false,
                                   captureOutput, true, &out, nullptr, false);
      ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
      EXPECT_EQ("Error setting working directory: " + missing + " No such file or directory",
                e.getMessage().c_str());
    }
    EXPECT_FALSE(pathExists(marker));
    EXPECT_EQ(before, currentDirectory());
  }
}

TEST(ExecuteProcessTest, WhatTheLauncherPrintedBeforeAChildStaysInOrderAndSingle) {
  // Standard output is a pipe here, so it is fully buffered.
  std::string text = outputOfForkedProcess([] {
    PlatformImpl::hideUI(0);  // no progress dots in between
    printf("before\n");
    PlatformImpl::executeProcess("echo child", "", false, false, false, nullptr, nullptr, false);
    printf("between\n");
    SString out;
    PlatformImpl::executeProcess("echo captured", "", false, true, true, &out, nullptr, false);
    printf("after %s", out.c_str());
  });
  EXPECT_EQ("before\nchild\nbetween\nafter captured\n", text);
}

TEST(ExecuteProcessTest, ReplacingTheProcessSplitsTheCommandAndRunsItFromPath) {
  std::string text = outputOfForkedProcess([] {
    printf("launcher\n");
    PlatformImpl::executeProcess("sh -c \"echo [$1] [$2]\" zero \"one two\" three\\\"", "/nowhere",
                                 false, true, true, nullptr, nullptr, true);
    printf("not replaced\n");
  });
  EXPECT_EQ("launcher\n[one two] [three\"]\n", text);

  text = outputOfForkedProcess([] {
    long code = PlatformImpl::executeProcess("no-such-program-anywhere arg", "", true, false, false,
                                             nullptr, nullptr, true);
    printf("returned %ld\n", code);
  });
  EXPECT_EQ("returned 0\n", text);
}

TEST(ReadFromFileTest, ReportsDataEndAndNothingReadyWithOneDotPerChunk) {
  UIQuiet quiet;
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  SString out("x");
  EXPECT_EQ(-1, readFromFile(fds[0], &out));
  EXPECT_EQ(0, ui_progress);
  std::string big(kReadChunkSize + 10, 'b');
  ASSERT_EQ(static_cast<ssize_t>(big.size()), write(fds[1], big.data(), big.size()));
  EXPECT_EQ(kReadChunkSize, readFromFile(fds[0], &out));
  EXPECT_EQ(10, readFromFile(fds[0], nullptr));
  EXPECT_EQ(static_cast<unsigned long>(kReadChunkSize + 1), out.length());
  EXPECT_EQ(2, ui_progress);
  close(fds[1]);
  EXPECT_EQ(0, readFromFile(fds[0], &out));
  EXPECT_EQ(2, ui_progress);
  close(fds[0]);
}

TEST(EnvironmentTest, VariablesSetAreSeenByLaterChildren) {
  EXPECT_STREQ("", PlatformImpl::getEnvironmentVariable("BV_TEST_NEVER_SET").c_str());
  PlatformImpl::setEnvironmentVariable("BV_TEST_VARIABLE", "a value=with equals");
  EXPECT_STREQ("a value=with equals", PlatformImpl::getEnvironmentVariable("BV_TEST_VARIABLE").c_str());
  SString out;
  SString err;
  EXPECT_EQ(0, capture("printf %s \"$BV_TEST_VARIABLE\"", &out, &err));
  EXPECT_STREQ("a value=with equals", out.c_str());
  unsetenv("BV_TEST_VARIABLE");
}

TEST(SetFileExecutableTest, AddsExecuteForTheOwnerOnlyOrFails) {
  bvtest::TempDir dir;
  struct Case {
    int before;
    int after;
  } cases[] = {{0644, 0744}, {0600, 0700}, {0750, 0750}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    std::string file = dir.file("f" + std::to_string(c.before));
    writeFile(file, "#!/bin/sh\n", c.before);
    EXPECT_EQ(0, PlatformImpl::setFileExecutable(file.c_str()));
    struct stat st;
    ASSERT_EQ(0, stat(file.c_str(), &st));
    EXPECT_EQ(c.after, static_cast<int>(st.st_mode & 07777));
  }
  EXPECT_LT(PlatformImpl::setFileExecutable(dir.file("missing").c_str()), 0);
}

}  // namespace

namespace {

// Whether process pid has ended: gone, or a zombie nobody reaped yet.
bool processEnded(pid_t pid) {
  std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  if (stat.empty()) return true;
  size_t paren = stat.rfind(')');
  return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] == 'Z';
}

}  // namespace

#ifdef __linux__
// A launcher killed with SIGKILL (an OOM killer, a supervisor's last
// resort) takes its program with it, also one that a shell started: the
// program never runs on, adopted by another process.
TEST(ExecuteProcessTest, TheProgramEndsWhenTheLauncherIsKilled) {
  bvtest::TempDir dir;
  std::string pidFile = dir.file("pid");
  std::string script = dir.file("child.sh");
  writeFile(script, "echo $$ > " + pidFile + ".new && mv " + pidFile + ".new " + pidFile + "\nexec /bin/sleep 60\n");
  struct Case {
    const char* name;
    std::string command;
    bool wholeGroup;  // the launcher's process group is killed ("kill -9 %1")
  } cases[] = {
      {"started directly", "/bin/sh " + script, false},
      {"started by a shell", "/bin/sh " + script + "; echo after", false},
      {"started by a shell, the launcher's group killed", "/bin/sh " + script + "; echo after", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(pidFile.c_str());
    fflush(nullptr);
    pid_t launcher = fork();
    if (launcher == 0) {
      setpgid(0, 0);
      SString out, err;
      capture(c.command, &out, &err);
      _exit(0);
    }
    for (int i = 0; i < 1000 && !pathExists(pidFile); ++i) usleep(10 * 1000);
    pid_t program = static_cast<pid_t>(atoi(readFile(pidFile).c_str()));
    ASSERT_GT(program, 0);
    kill(c.wholeGroup ? -launcher : launcher, SIGKILL);
    waitpid(launcher, nullptr, 0);
    bool ended = false;
    for (int i = 0; i < 500 && !ended; ++i) {
      ended = processEnded(program);
      if (!ended) usleep(10 * 1000);
    }
    EXPECT_TRUE(ended) << "the program outlived the killed launcher";
    if (!ended) kill(program, SIGKILL);
  }
}

// A guardian that the launcher ends itself (the child ended as usual)
// signals nothing; it is reaped.
TEST(GroupGuardianTest, AGuardianEndedByTheLauncherSignalsNothing) {
  fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    setpgid(0, 0);
    pause();
    _exit(0);
  }
  setpgid(child, child);
  pid_t guardianPid;
  {
    GroupGuardian guardian(child);
    guardianPid = guardian.pid();
    ASSERT_GT(guardianPid, 0);
    usleep(50 * 1000);
  }
  EXPECT_EQ(0, kill(child, 0)) << "the guarded group was signalled";
  EXPECT_NE(0, kill(guardianPid, 0)) << "the guardian was not reaped";
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

// The race after the fork is closed: a child whose launcher is no longer
// its parent (it ended before the child asked to be ended with it) ends at
// once instead of running the program.
TEST(ExecuteProcessTest, AChildWhoseLauncherIsGoneAlreadyEndsAtOnce) {
  struct Case {
    bool parentIsLauncher;
    int status;
  } cases[] = {{true, 0}, {false, 127}};
  for (const Case& c : cases) {
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
      endWithLauncher(c.parentIsLauncher ? getppid() : getppid() + 100000);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(c.status, WEXITSTATUS(status)) << c.parentIsLauncher;
  }
}
#endif
