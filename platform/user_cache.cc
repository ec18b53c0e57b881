#include "platform/user_cache.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/platform_impl.h"

namespace {

// The effective user's own, and nobody else may write to it.
bool isPrivate(const struct stat& st) {
  return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// path is a folder that only the effective user can change, nor anything
// above it (a sticky or root's folder above is fine).
bool isPrivateBase(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !isPrivate(st)) return false;
  SString reason;
  return PlatformImpl::isTrustedFile(SString(path.c_str()), reason);
}

std::string homeFolder() {
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  struct passwd* entry = getpwuid(geteuid());
  if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') return entry->pw_dir;
  return std::string();
}

// Without trailing "/" (the root stays "/").
std::string trimmed(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The components of name, empty ones and "." left out; false for "..".
bool componentsOf(const std::string& name, std::vector<std::string>& parts) {
  size_t start = 0;
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    if (slash == std::string::npos) slash = name.size();
    std::string part = name.substr(start, slash - start);
    start = slash + 1;
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts.push_back(part);
  }
  return !parts.empty();
}

}  // namespace

std::string userCacheFolder(const std::string& name, bool create) {
  std::vector<std::string> parts;
  std::string base;
  const char* xdg = getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = trimmed(xdg);
    struct stat st;
    if (lstat(base.c_str(), &st) != 0 && errno == ENOENT && base != "/") {
      // Not made yet: the folder it would be made in is the base.
      size_t slash = base.rfind('/');
      parts.push_back(base.substr(slash + 1));
      base = slash == 0 ? "/" : base.substr(0, slash);
    }
  } else {
    base = homeFolder();
    if (base.empty()) return std::string();
    base = trimmed(base);
    parts.push_back(".cache");
  }
  if (!componentsOf(name, parts) || !isPrivateBase(base)) return std::string();

  std::string path = base;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (path != "/") path += '/';
    path += parts[i];
    bool last = i + 1 == parts.size();
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      if (errno != ENOENT || !create) return std::string();
      // Another process may make it meanwhile; what is there is checked.
      if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return std::string();
      if (lstat(path.c_str(), &st) != 0) return std::string();
    }
    if (S_ISLNK(st.st_mode)) {
      // A link of the user's own on the way (a ~/.cache kept elsewhere)
      // leads to a folder that must pass the same checks.
      if (last || st.st_uid != geteuid() || stat(path.c_str(), &st) != 0) return std::string();
    }
    if (!S_ISDIR(st.st_mode) || !isPrivate(st)) return std::string();
  }
  return path;
}
