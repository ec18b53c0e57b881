#include "launcher/run_outcome.h"

namespace {
bool g_launched = false;
// The last FIND_JVM or VERIFY: 0 none yet, 1 found, -1 not found.
int g_lastJVMResult = 0;
}  // namespace

void noteLaunch() { g_launched = true; }

void noteJVMResult(bool found) { g_lastJVMResult = found ? 1 : -1; }

long scriptExitCode(long scriptResult) {
  if (!g_launched && g_lastJVMResult < 0) return 1;
  return scriptResult;
}

void resetRunOutcome() {
  g_launched = false;
  g_lastJVMResult = 0;
}
