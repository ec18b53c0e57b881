// The body of main(), kept in the library so that tests can reach it.
#ifndef BV_LAUNCHER_LAUNCHER_ENTRY_H_
#define BV_LAUNCHER_LAUNCHER_ENTRY_H_

#include "launcher/launcher_path.h"

// Collects the arguments, runs the launcher (its payload read from the
// running executable, its path from makeLauncherPath), shows the captured standard
// error of a failed launch, removes the temporary files and returns the
// exit code. SIGINT, SIGTERM and SIGHUP cancel the run meanwhile
// (PlatformImpl::installCancelHandlers); a canceled run returns
// PlatformImpl::getCanceledExitCode().
int launcherMain(int argc, char** argv);

#endif  // BV_LAUNCHER_LAUNCHER_ENTRY_H_
