#include "launchscript/launch_context.h"

void LauncherPaths::setLauncherFile(const SString& path) {
  launcherFile = path;
  originalLauncherFile = path;
  executableFile = path;
}

SString LauncherPaths::originalLauncherDir() const {
  unsigned long pos = originalLauncherFile.find_last_of("/\\");
  if (pos == SString::npos) return SString();
  return originalLauncherFile.substr(0, pos);
}
