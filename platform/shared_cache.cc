#include "platform/shared_cache.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/cache_store.h"
#include "platform/platform_impl.h"

namespace {

// How many folders deep a shared entry may go (a runtime goes a few).
const int kDeepestSharedFolder = 64;

// Owned by root or the user running the launcher, and not writable by
// group or others.
bool isAdministered(const struct stat& st) {
  return (st.st_uid == 0 || st.st_uid == geteuid()) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// What another user could change in the open folder dirFd (path, relative
// to the entry, names it for the reason), "" when nothing: every member,
// links included, belongs to root or the user running the launcher, and
// none but a link is writable by group or others. Links are not followed.
std::string problemInTree(int dirFd, const std::string& path, int depth) {
  if (depth > kDeepestSharedFolder) return path + " lies deeper than the folders of a runtime do";
  DIR* folder = fdopendir(dirFd);
  if (folder == nullptr) {
    close(dirFd);
    return path + " cannot be read: " + strerror(errno);
  }
  std::string problem;
  errno = 0;
  while (struct dirent* member = readdir(folder)) {
    if (strcmp(member->d_name, ".") == 0 || strcmp(member->d_name, "..") == 0) continue;
    std::string name = path + "/" + member->d_name;
    struct stat st;
    if (fstatat(dirfd(folder), member->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      problem = name + " cannot be examined: " + strerror(errno);
    } else if (st.st_uid != 0 && st.st_uid != geteuid()) {
      problem = name + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    } else if (!S_ISLNK(st.st_mode) && (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
      problem = name + " may be written by group or others";
    } else if (S_ISDIR(st.st_mode)) {
      int inner = openat(dirfd(folder), member->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      struct stat opened;
      if (inner < 0 || fstat(inner, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
        problem = name + " cannot be examined" + (inner < 0 ? std::string(": ") + strerror(errno) : std::string());
        if (inner >= 0) close(inner);
      } else {
        problem = problemInTree(inner, name, depth + 1);
      }
    }
    if (!problem.empty()) break;
    errno = 0;
  }
  if (problem.empty() && errno != 0) problem = path + " cannot be read: " + strerror(errno);
  closedir(folder);
  return problem;
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
  // Nor may anybody else change what the runtime holds: a library or a
  // module file of theirs would run in every user's Java.
  int top = open(entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  std::string inside = top < 0 ? entry + " cannot be read: " + strerror(errno) : problemInTree(top, ".", 0);
  if (!inside.empty()) {
    reason = entry + " is not safe: " + (inside.compare(0, 2, "./") == 0 ? inside.substr(2) : inside);
    return std::string();
  }
  return entry;
}
