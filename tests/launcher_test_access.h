// Test access to the launcher's private run state (Launcher names this class
// its friend): the paths that main() and process() would record.
#ifndef BV_TESTS_LAUNCHER_TEST_ACCESS_H_
#define BV_TESTS_LAUNCHER_TEST_ACCESS_H_

#include "launcher/launcher.h"

class LauncherTestAccess {
 public:
  // Sets the running and the original launcher file name, as process() does.
  static void setLauncherFileName(const SString& path) {
    Launcher::m_launcherFileName = path;
    Launcher::m_origLauncherFileName = path;
  }
  // Sets the original launcher file name only, as -bv:orig does.
  static void setOriginalLauncherFileName(const SString& path) {
    Launcher::m_origLauncherFileName = path;
  }
};

#endif  // BV_TESTS_LAUNCHER_TEST_ACCESS_H_
