#include "platform/user_cache.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

std::string homeFolder() {
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  struct passwd* entry = getpwuid(geteuid());
  if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') return entry->pw_dir;
  return std::string();
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

bool isPrivateStatus(const struct stat& st) {
  return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string privateSubFolder(const std::string& parent, const char* sub, bool create) {
  if (parent.empty()) return std::string();
  std::string path = parent == "/" ? "/" + std::string(sub) : parent + "/" + sub;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT || !create) return std::string();
    // mkdir never follows a link at the name: one planted meanwhile makes
    // it fail with EEXIST, and the lstat below turns it down.
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return std::string();
    if (lstat(path.c_str(), &st) != 0) return std::string();
  }
  if (!S_ISDIR(st.st_mode) || !isPrivateStatus(st)) return std::string();
  return path;
}

std::string userCacheFolder(bool create) {
  std::string base;
  const char* xdg = getenv("XDG_CACHE_HOME");
  bool fromXdg = xdg != nullptr && xdg[0] == '/';
  base = withoutTrailingSlashes(fromXdg ? std::string(xdg) : homeFolder());
  if (base.empty()) return std::string();
  // The base is looked at through links (a home folder may be one), but it
  // must be the user's own; a missing one is made when its parent is.
  struct stat st;
  if (stat(base.c_str(), &st) != 0) {
    size_t slash = base.rfind('/');
    std::string parent = slash == 0 ? std::string("/") : base.substr(0, slash);
    if (errno != ENOENT || !create || stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != geteuid()) {
      return std::string();
    }
    if (mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) return std::string();
    if (stat(base.c_str(), &st) != 0) return std::string();
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return std::string();
  std::string folder = fromXdg ? base : privateSubFolder(base, ".cache", create);
  return privateSubFolder(folder, "bvlauncher", create);
}
