#include "launcher/launcher_entry.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/deque.h"
#include "launcher/launcher.h"
#include "platform/platform_impl.h"

SString makeLauncherPath(const char* programName) {
  if (programName == nullptr) programName = "";
  if (programName[0] == '/') return SString(programName);
  SString path;
  char* buffer = static_cast<char*>(calloc(1024, 1));
  if (buffer != nullptr) {
    if (getcwd(buffer, 1024) != nullptr) path = buffer;
    free(buffer);
  }
  if (!path.empty() && path[path.length() - 1] != '/') path += '/';
  path += programName;
  // A name without any "/" was found through PATH by the shell, not in the
  // current directory; then the running program itself tells where it is.
  if (strchr(programName, '/') == nullptr && access(path.c_str(), F_OK) != 0) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) path.assign(self, static_cast<unsigned long>(n));
  }
  return path;
}

int launcherMain(int argc, char** argv) {
  StringDeque args;
  for (int i = 1; i < argc; ++i) args.push_back(SString(argv[i]));
  SString launcherPath = makeLauncherPath(argc > 0 ? argv[0] : "");
  long exitCode;
  // Cancel signals end the run after a running child has ended; the
  // temporary files still go (platform_signals.cc).
  PlatformImpl::installCancelHandlers();
  {
    Launcher launcher;
    exitCode = Launcher::process(args, launcherPath);
    if (PlatformImpl::getCancelSignal() != 0) exitCode = PlatformImpl::getCanceledExitCode();
    long purpose = Launcher::getLauncherPurpose(launcherPath.c_str());
    bool show = exitCode != 0 && ((purpose != 0 && purpose != 2) || exitCode != 232);
    if (show && !Launcher::getErrOutput().empty()) PlatformImpl::showUIMessage(Launcher::getErrOutput());
  }
  PlatformImpl::removeCancelHandlers();
  return static_cast<int>(exitCode);
}
