#include "platform/path_pattern.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <vector>

namespace {

SString joinPath(const SString& directory, const SString& name) {
  SString path(directory);
  if (!path.empty() && path[path.length() - 1] != '/') path += '/';
  path += name;
  return path;
}

bool isDirectoryOrLinkToOne(const SString& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Appends to next the entries of directory whose names match component,
// up to maxPaths in all; false when more would have matched.
bool listMatches(const SString& directory, const SString& component, long maxPaths,
                 std::vector<SString>& next) {
  DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return true;
  bool complete = true;
  while (struct dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    if (fnmatch(component.c_str(), name, FNM_PERIOD) != 0) continue;
    if (static_cast<long>(next.size()) >= maxPaths) {
      complete = false;
      break;
    }
    next.push_back(joinPath(directory, name));
  }
  closedir(dir);
  return complete;
}

}  // namespace

bool hasPathPatternChars(const SString& text) {
  return text.find_first_of("*?[", 0) != SString::npos;
}

bool expandPathPattern(const SString& base, const SString& pattern, long maxPaths,
                       StringDeque& matches) {
  std::vector<SString> paths{base};
  bool complete = true;
  unsigned long pos = 0;
  while (pos <= pattern.length() && !paths.empty()) {
    unsigned long slash = pattern.find('/', pos);
    if (slash == SString::npos) slash = pattern.length();
    SString component(pattern, pos, slash - pos);
    pos = slash + 1;
    if (component.empty()) continue;
    std::vector<SString> next;
    if (hasPathPatternChars(component)) {
      for (const SString& path : paths) {
        if (!listMatches(path, component, maxPaths, next)) complete = false;
      }
    } else {
      for (const SString& path : paths) next.push_back(joinPath(path, component));
    }
    paths.swap(next);
  }
  for (const SString& path : paths) {
    if (isDirectoryOrLinkToOne(path)) matches.push_back(path);
  }
  return complete;
}
