#include "platform/real_path.h"

#include <stdlib.h>
#include <sys/stat.h>

bool resolveRealPath(const SString& path, SString& resolved) {
  if (path.empty()) return false;
  // With a null buffer realpath allocates one of the length it needs.
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return false;
  resolved = real;
  free(real);
  return true;
}

SString normalisedPath(const SString& path) {
  bool absolute = !path.empty() && path[0] == '/';
  SString result = absolute ? SString("/") : SString();
  // How many parts of a relative result are "..": they are never removed.
  long upward = 0;
  long parts = 0;
  unsigned long start = 0;
  while (start <= path.length()) {
    unsigned long end = path.find('/', start);
    if (end == SString::npos) end = path.length();
    SString part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part.compare(".") == 0) continue;
    if (part.compare("..") == 0) {
      if (parts > upward) {
        struct stat st;
        SString real;
        if (absolute && lstat(result.c_str(), &st) == 0 && resolveRealPath(result, real)) result = real;
        unsigned long slash = result.rfind('/');
        if (slash == SString::npos) {
          result.erase();
        } else {
          result.erase(slash == 0 ? 1 : slash);
        }
        --parts;
        if (absolute) {
          // A resolved folder may be deeper or shallower than the text.
          parts = 0;
          for (unsigned long i = 1; i < result.length(); ++i) parts += result[i] == '/' ? 1 : 0;
          if (result.length() > 1) ++parts;
        }
        continue;
      }
      if (absolute) continue;  // "/.." is "/"
      ++upward;
    }
    if (!result.empty() && result[result.length() - 1] != '/') result += '/';
    result += part;
    ++parts;
  }
  if (result.empty()) result = ".";
  return result;
}
