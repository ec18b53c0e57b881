#include "launcher/launcher_entry.h"

#include "foundation/deque.h"
#include "foundation/log.h"
#include "launcher/launcher.h"
#include "platform/desktop_start.h"
#include "platform/desktop_ui.h"
#include "platform/platform_impl.h"
#include "platform/run_console.h"

namespace {

// Installs the desktop mode's windows (desktop_ui.h) for a run that a
// person started from a desktop (desktop_start.h), for the object's
// lifetime.
class DesktopMode {
 public:
  explicit DesktopMode(Console& console) : m_console(console), m_windows(&logLine) {
    SString reason;
    if (isDesktopStart(reason)) {
      m_windows.setStartReason(reason);
      m_console.setWindow(&m_windows);
    }
  }
  ~DesktopMode() { m_console.setWindow(nullptr); }
  DesktopMode(const DesktopMode&) = delete;
  DesktopMode& operator=(const DesktopMode&) = delete;

 private:
  static void logLine(const SString& text, bool warning) {
    logMessage(text, warning ? LOG_WARNING : LOG_INFO);
  }

  Console& m_console;
  DesktopUI m_windows;
};

// Makes the run's console the one that PlatformImpl's interface asks, for
// the object's lifetime.
class InstalledConsole {
 public:
  explicit InstalledConsole(Console& console) { PlatformImpl::setConsole(&console); }
  ~InstalledConsole() { PlatformImpl::setConsole(nullptr); }
  InstalledConsole(const InstalledConsole&) = delete;
  InstalledConsole& operator=(const InstalledConsole&) = delete;
};

// Removes the run's temporary files when the run ends, by a return or a
// throw.
class TemporaryFilesCleanup {
 public:
  TemporaryFilesCleanup() {}
  ~TemporaryFilesCleanup() { PlatformImpl::cleanup(); }
  TemporaryFilesCleanup(const TemporaryFilesCleanup&) = delete;
  TemporaryFilesCleanup& operator=(const TemporaryFilesCleanup&) = delete;
};

}  // namespace

int launcherMain(int argc, char** argv) {
  StringDeque args;
  for (int i = 1; i < argc; ++i) args.push_back(SString(argv[i]));
  SString executablePath = PlatformImpl::getExecutablePath();
  SString launcherPath = makeLauncherPath(argc > 0 ? argv[0] : "", executablePath);
  if (executablePath.empty()) executablePath = launcherPath;
  long exitCode;
  // Cancel signals end the run after a running child has ended; the
  // temporary files still go (platform_signals.cc).
  PlatformImpl::installCancelHandlers();
  {
    RunState state;
    InstalledConsole installed(state.console);
    DesktopMode desktop(state.console);
    TemporaryFilesCleanup cleanup;
    Launcher launcher(state);
    exitCode = launcher.process(args, launcherPath, executablePath);
    if (PlatformImpl::getCancelSignal() != 0) exitCode = PlatformImpl::getCanceledExitCode();
    long purpose = state.paths.purpose;
    bool show = exitCode != 0 && ((purpose != 0 && purpose != 2) || exitCode != 232);
    // The error output of a failed application whose output was captured.
    if (show && !state.errOutput.empty()) state.console.applicationErrorOutput(state.errOutput);
  }
  PlatformImpl::removeCancelHandlers();
  return static_cast<int>(exitCode);
}
