#include "platform/user_cache.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string homeFolder() {
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  struct passwd* entry = getpwuid(geteuid());
  if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') return entry->pw_dir;
  return std::string();
}

bool fail(std::string* reason, const std::string& text) {
  if (reason != nullptr) *reason = text;
  return false;
}

// A folder of the user's own that nobody else may write to. With
// followLink false a symbolic link is no such folder.
bool isPrivateFolder(const std::string& path, bool followLink, std::string* reason) {
  struct stat st;
  int rc = followLink ? stat(path.c_str(), &st) : lstat(path.c_str(), &st);
  if (rc != 0) return fail(reason, path + " cannot be examined.");
  if (!S_ISDIR(st.st_mode)) return fail(reason, path + " is not a folder.");
  if (st.st_uid != geteuid()) return fail(reason, path + " belongs to another user.");
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return fail(reason, path + " is writable by other users.");
  return true;
}

// Makes the missing folders of base when the deepest folder above them that
// exists belongs to the user.
void makeMissingBase(const std::string& base) {
  std::string existing = base;
  struct stat st;
  while (existing.size() > 1) {
    size_t slash = existing.rfind('/');
    existing = slash == 0 ? std::string("/") : existing.substr(0, slash);
    if (stat(existing.c_str(), &st) == 0) break;
  }
  if (stat(existing.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return;
  size_t from = existing.size() == 1 ? 1 : existing.size() + 1;
  for (size_t slash = base.find('/', from); slash != std::string::npos; slash = base.find('/', slash + 1)) {
    mkdir(base.substr(0, slash).c_str(), 0700);
  }
  mkdir(base.c_str(), 0700);
}

}  // namespace

std::string userCacheFolder(bool create, std::string* reason) {
  std::string base;
  std::string below;  // the folders under the base, without "bvlauncher"
  const char* xdg = getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    base = homeFolder();
    if (base.empty()) {
      fail(reason, "There is no home folder.");
      return std::string();
    }
    below = ".cache";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();

  // The base may be a link (a home under /home -> /usr/home); what it leads
  // to must be the user's. A missing base is made (0700) only under a
  // folder of the user's own.
  struct stat st;
  if (create && stat(base.c_str(), &st) != 0 && errno == ENOENT) makeMissingBase(base);
  if (stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    fail(reason, base + " is not a folder.");
    return std::string();
  }
  if (st.st_uid != geteuid()) {
    fail(reason, base + " belongs to another user.");
    return std::string();
  }
  std::string folder = base == "/" ? std::string() : base;
  std::string parts = below.empty() ? std::string("bvlauncher") : below + "/bvlauncher";
  size_t start = 0;
  for (;;) {
    size_t slash = parts.find('/', start);
    folder += "/" + parts.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (create && mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      fail(reason, folder + " cannot be made.");
      return std::string();
    }
    // ~/.cache may lead elsewhere; bvlauncher itself is never a link.
    if (!isPrivateFolder(folder, slash != std::string::npos, reason)) return std::string();
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return folder;
}
