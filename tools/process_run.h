// bvpack's one way to run another program (jdeps, jlink, jimage, a runtime's
// java): an argument vector (argv[0] a path, no PATH search, no shell), in a
// process group of its own, its standard output and standard error read
// into memory up to a cap, for at most a deadline. A program that runs
// past the deadline or prints past the cap is killed with its whole group
// (a JVM's helpers included) and reported as such, never waited for
// without end. Both pipe ends are close-on-exec in bvpack, so no other
// program it starts holds them open.
#ifndef BV_TOOLS_PROCESS_RUN_H_
#define BV_TOOLS_PROCESS_RUN_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct ToolLimits {
  int timeoutSeconds = 60;
  size_t maxOutput = 1 << 20;  // bytes of standard output and error together
  // The environment of the program ("NAME=value" each); null: bvpack's own.
  const std::vector<std::string>* environment = nullptr;
  // Called about four times a second while the program runs (progress on
  // a terminal); may be empty.
  std::function<void()> tick;
};

struct ToolResult {
  // The exit status, 128 + the signal for one that a signal ended, or -1
  // when it could not be started, ran past the deadline or printed past
  // the cap (why then says which, naming argv[0]).
  int status = -1;
  std::string out;
  std::string err;
  std::string why;
};

// Runs argv within limits and returns what it did. Never throws for the
// program's sake. REQUIRES: argv is not empty.
ToolResult runFor(const std::vector<std::string>& argv, const ToolLimits& limits);

// For bvpack's main: on SIGINT, SIGTERM or SIGHUP, the group of the program
// that runFor runs at that moment is killed at once (it has a group of its
// own, so a Ctrl-C on the terminal does not reach it) and the signal is
// recorded: runFor returns (why: "... was stopped: bvpack was
// interrupted"), the long loops stop at throwIfInterrupted, the owners of
// temporary files remove them as the error travels up, and main ends with
// endIfSignaled.
void stopChildrenOnSignals();

// The signal recorded since stopChildrenOnSignals, or 0.
int pendingSignal();

// Throws PackError("interrupted") when a signal was recorded.
void throwIfInterrupted();

// Ends bvpack by the recorded signal, as the signal would have ended it
// (the default action); returns when none was recorded.
void endIfSignaled();

#endif  // BV_TOOLS_PROCESS_RUN_H_
