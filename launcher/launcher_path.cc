#include "launcher/launcher_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

// What execvp and the shells search when PATH is unset.
const char kDefaultPathList[] = "/bin:/usr/bin";

SString currentDirectory() {
  SString path;
  if (char* cwd = getcwd(nullptr, 0)) {
    path = cwd;
    free(cwd);
  }
  return path;
}

// dir, a "/" when it does not end in one, and name.
SString joinPath(SString dir, const char* name) {
  if (!dir.empty() && dir[dir.length() - 1] != '/') dir += '/';
  dir += name;
  return dir;
}

bool isExecutableFile(const SString& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool isSameFile(const SString& a, const SString& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

SString resolveProgramName(const char* programName, const SString& pathList) {
  if (programName == nullptr || programName[0] == '\0') return SString();
  if (programName[0] == '/') return SString(programName);
  SString cwd = currentDirectory();
  if (strchr(programName, '/') != nullptr) return joinPath(cwd, programName);
  unsigned long start = 0;
  for (;;) {
    unsigned long colon = pathList.find(':', start);
    unsigned long end = colon == SString::npos ? pathList.length() : colon;
    SString dir(pathList, start, end - start);
    if (dir.empty() || dir.compare(".") == 0) {
      dir = cwd;
    } else if (dir[0] != '/') {
      dir = joinPath(cwd, dir.c_str());
    }
    SString candidate = joinPath(dir, programName);
    if (isExecutableFile(candidate)) return candidate;
    if (colon == SString::npos) return SString();
    start = colon + 1;
  }
}

SString makeLauncherPath(const char* programName, const SString& executablePath) {
  const char* pathList = getenv("PATH");
  SString named = resolveProgramName(programName, pathList != nullptr ? pathList : kDefaultPathList);
  if (executablePath.empty()) {
    if (!named.empty() || programName == nullptr) return named;
    return joinPath(currentDirectory(), programName);
  }
  if (!named.empty() && isSameFile(named, executablePath)) return named;
  return executablePath;
}
