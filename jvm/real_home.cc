#include "jvm/real_home.h"

#include <vector>

#include "platform/real_path.h"
#include "tagfile/text_utils.h"

SString realJVMHome(const SString& home, const SString& jvmExe) {
  SString exePath(home);
  appendPathSeparator(exePath);
  exePath += jvmExe;
  SString real;
  if (!resolveRealPath(exePath, real)) return home;

  // The components of jvmExe that a real path shows: "./bin//java" is
  // bin, java.
  std::vector<SString> components;
  unsigned long pos = 0;
  while (pos <= jvmExe.length()) {
    unsigned long slash = jvmExe.find('/', pos);
    if (slash == SString::npos) slash = jvmExe.length();
    SString component(jvmExe, pos, slash - pos);
    pos = slash + 1;
    if (component.empty() || component.compare(".") == 0) continue;
    if (component.compare("..") == 0) return home;
    components.push_back(component);
  }
  if (components.empty()) return home;

  // Cut them off the end, last first; each must be a whole component.
  for (auto it = components.rbegin(); it != components.rend(); ++it) {
    unsigned long start = stringEndsWith(real, it->c_str());
    if (start == SString::npos || start == 0 || real[start - 1] != '/') return home;
    real.erase(start - 1, SString::npos);
  }
  if (real.empty()) real = "/";
  return real;
}
