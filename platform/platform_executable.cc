// Where the running executable lies, as the system knows it. The launcher
// reads its payload from this file, never from a file that merely has the
// name it was started by: a caller chooses argv[0] freely (exec -a), and a
// bare name was found through PATH, not in the current directory.
//
// Linux names the running executable in /proc/self/exe; macOS gives its path
// through _NSGetExecutablePath. Both are resolved to a path without symbolic
// links. Elsewhere the answer is empty and the caller falls back to argv[0].
#include <limits.h>
#include <stdlib.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "platform/platform_impl.h"

#ifdef __APPLE__
#include <mach-o/dyld.h>

#include <cstdint>
#include <vector>

namespace {

SString systemExecutablePath() {
  uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::vector<char> buffer(size + 1, '\0');
  if (_NSGetExecutablePath(buffer.data(), &size) != 0) return SString();
  char* resolved = realpath(buffer.data(), nullptr);
  if (resolved == nullptr) return SString();
  SString path(resolved);
  free(resolved);
  return path;
}

}  // namespace

#else

namespace {

SString systemExecutablePath() {
  char buffer[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0 || buffer[0] != '/') return SString();
  return SString(buffer, static_cast<unsigned long>(n));
}

}  // namespace

#endif

SString PlatformImpl::getExecutablePath() { return systemExecutablePath(); }

SString PlatformImpl::getSystemName() {
  struct utsname names;
  if (uname(&names) != 0) return SString();
  return SString(names.sysname);
}
