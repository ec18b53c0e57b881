#include "platform/shared_cache.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/cache_store.h"
#include "platform/platform_impl.h"

namespace {

// Owned by root or the user running the launcher, and not writable by
// group or others.
bool isAdministered(const struct stat& st) {
  return (st.st_uid == 0 || st.st_uid == geteuid()) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::string findSharedCacheEntry(const std::string& folder, const std::string& name, std::string* why) {
  std::string ignored;
  std::string& reason = why != nullptr ? *why : ignored;
  std::string entry = folder + (folder.empty() || folder.back() != '/' ? "/" : "") + name;
  struct stat st;
  if (lstat(entry.c_str(), &st) != 0) {
    reason = entry + ": " + strerror(errno);
    return std::string();
  }
  if (!S_ISDIR(st.st_mode)) {
    reason = entry + " is not a folder";
    return std::string();
  }
  if (!isAdministered(st)) {
    reason = entry + " belongs to another user than root, or others may write it";
    return std::string();
  }
  SString trust;
  if (!PlatformImpl::isTrustedFile(SString(entry.c_str()), trust)) {
    reason = entry + " is not safe: " + trust.c_str();
    return std::string();
  }
  std::string marker = entry + "/" + cacheMarkerName;
  int fd = open(marker.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    reason = entry + " is not complete (" + cacheMarkerName + ": " + strerror(errno) + ")";
    return std::string();
  }
  // The name and a line feed; a byte more shows a longer file.
  std::string want = name + "\n";
  std::string text(want.size() + 1, '\0');
  ssize_t got = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && isAdministered(st) ? read(fd, &text[0], text.size()) : -1;
  close(fd);
  if (got != static_cast<ssize_t>(want.size()) || text.compare(0, want.size(), want) != 0) {
    reason = entry + " holds another runtime than its name says, or its marker is not safe";
    return std::string();
  }
  return entry;
}
