// bvpack's one way to run a program (tools/process_run.h): its outputs,
// its status, and the limits that stop one that runs or prints without
// end, with the programs it started.
#include "tools/process_run.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>

#include <string>

#include "tests/test_util.h"

namespace bvtest {
namespace {

ToolResult runScript(const std::string& script, int timeoutSeconds = 10, size_t maxOutput = 1 << 20) {
  ToolLimits limits;
  limits.timeoutSeconds = timeoutSeconds;
  limits.maxOutput = maxOutput;
  return runFor({"/bin/sh", "-c", script}, limits);
}

TEST(ProcessRunTest, BothOutputsAndTheStatusComeBack) {
  ToolResult result = runScript("echo out; echo err >&2; read x && echo stdin; exit 7");
  EXPECT_EQ(7, result.status);
  EXPECT_EQ("out\n", result.out);  // standard input is /dev/null
  EXPECT_EQ("err\n", result.err);
  EXPECT_TRUE(result.why.empty());
  EXPECT_EQ(128 + SIGTERM, runScript("kill -TERM $$").status);
  ToolResult missing = runFor({"/nonexistent/tool"}, ToolLimits());
  EXPECT_EQ(-1, missing.status);
  EXPECT_EQ("cannot start /nonexistent/tool: No such file or directory", missing.why);
}

TEST(ProcessRunTest, TheDeadlineAndTheCapStopTheWholeGroup) {
  TempDir dir;
  std::string pidFile = dir.file("pid");
  struct Case {
    const char* what;
    std::string script;
    const char* why;
  } cases[] = {
      // A helper in the background that holds the outputs open.
      {"running on", "sleep 30 & echo $! > " + pidFile + "; wait", " did not end within 1 s"},
      {"outputs closed, running on", "sleep 30 >/dev/null 2>&1 & echo $! > " + pidFile + "; exec >&- 2>&-; wait",
       " did not end within 1 s"},
      {"printing on", "sleep 30 & echo $! > " + pidFile + "; head -c 300000 /dev/zero; wait",
       " printed more than 100000 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    time_t start = time(nullptr);
    ToolResult result = runScript(c.script, 1, 100000);
    EXPECT_LE(time(nullptr) - start, 5);
    EXPECT_EQ(-1, result.status);
    EXPECT_EQ(std::string("/bin/sh") + c.why, result.why);
    // The helper went with the group (gone, or a zombie left to be reaped).
    pid_t helper = static_cast<pid_t>(std::stol(readFile(pidFile)));
    std::string stat = readFile("/proc/" + std::to_string(helper) + "/stat");
    size_t close = stat.rfind(')');
    bool ended = stat.empty() || (close != std::string::npos && stat.compare(close + 2, 1, "Z") == 0);
    for (int i = 0; i < 50 && !ended; ++i) {
      usleep(20000);
      stat = readFile("/proc/" + std::to_string(helper) + "/stat");
      close = stat.rfind(')');
      ended = stat.empty() || (close != std::string::npos && stat.compare(close + 2, 1, "Z") == 0);
    }
    EXPECT_TRUE(ended) << stat;
  }
}

TEST(ProcessRunTest, TheTickComesWhileTheProgramRuns) {
  ToolLimits limits;
  int ticks = 0;
  limits.tick = [&ticks]() { ++ticks; };
  ToolResult result = runFor({"/bin/sh", "-c", "sleep 1"}, limits);
  EXPECT_EQ(0, result.status);
  EXPECT_GE(ticks, 3);
}

// A signal that ends bvpack ends the program it runs first (that program
// has a group of its own, which a Ctrl-C on the terminal does not reach),
// then, once runFor has returned, bvpack itself.
TEST(ProcessRunTest, ASignalToTheRunnerEndsTheProgramItRuns) {
  TempDir dir;
  std::string pidFile = dir.file("pid");
  pid_t runner = fork();
  ASSERT_GE(runner, 0);
  if (runner == 0) {
    stopChildrenOnSignals();
    ToolLimits limits;
    ToolResult result = runFor(
        {"/bin/sh", "-c", "echo $$ > " + pidFile + ".tmp && mv " + pidFile + ".tmp " + pidFile + " && exec sleep 30"},
        limits);
    if (result.why != "/bin/sh was stopped: bvpack was interrupted") _exit(3);
    endIfSignaled();
    _exit(0);
  }
  for (int i = 0; i < 500 && readFile(pidFile).empty(); ++i) usleep(10000);
  pid_t program = static_cast<pid_t>(std::stol(readFile(pidFile)));
  ASSERT_EQ(0, kill(runner, SIGTERM));
  int status = 0;
  ASSERT_EQ(runner, waitpid(runner, &status, 0));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  bool ended = false;
  for (int i = 0; i < 100 && !ended; ++i) {
    std::string stat = readFile("/proc/" + std::to_string(program) + "/stat");
    size_t close = stat.rfind(')');
    ended = stat.empty() || (close != std::string::npos && stat.compare(close + 2, 1, "Z") == 0);
    if (!ended) usleep(20000);
  }
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace bvtest
