// Runs a built launcher as a process of its own and reports how it ended:
// by exit, by a signal or not at all (a hang), for tests that give it bad
// files and inputs, optionally under a file size limit.
#ifndef BV_TESTS_E2E_LAUNCHER_PROCESS_H_
#define BV_TESTS_E2E_LAUNCHER_PROCESS_H_

#include <string>
#include <vector>

namespace bvtest {

struct LauncherProcessOptions {
  std::string workingDirectory;  // empty: the test's own
  long fileSizeLimit = -1;       // RLIMIT_FSIZE in bytes; -1: none
  int hangSeconds = 120;         // killed and reported as hung after this
};

struct LauncherProcessResult {
  bool exited = false;  // ended by exit (not by a signal, not killed as hung)
  int exitCode = -1;    // when exited
  int signal = 0;       // the signal that ended it, when not exited
  bool hung = false;
  std::string output;   // standard output and standard error, interleaved
};

// Runs program with args and LANG=C (English messages), standard input from
// /dev/null. With a file size limit, SIGXFSZ is ignored so that a write past
// the limit fails with EFBIG, as on a full disk.
LauncherProcessResult runLauncherProcess(const std::string& program,
                                         const std::vector<std::string>& args,
                                         const LauncherProcessOptions& options = {});

}  // namespace bvtest

#endif  // BV_TESTS_E2E_LAUNCHER_PROCESS_H_
