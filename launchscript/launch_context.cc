#include "launchscript/launch_context.h"

void LauncherPaths::setLauncherFile(const SString& path) {
  launcherFile = path;
  originalLauncherFile = path;
  executableFile = path;
}

// A backslash is part of a name here, not a separator: the folder of
// "/a/x\\setup" is "/a".
SString LauncherPaths::originalLauncherDir() const {
  unsigned long pos = originalLauncherFile.rfind('/');
  if (pos == SString::npos) return SString();
  return originalLauncherFile.substr(0, pos);
}
