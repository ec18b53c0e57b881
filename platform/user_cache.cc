#include "platform/user_cache.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/platform_impl.h"

namespace {

bool fail(std::string* reason, const std::string& text) {
  if (reason != nullptr) *reason = text;
  return false;
}

// The effective user's own folder, and nobody else may write to it.
bool isPrivateFolder(const std::string& path, const struct stat& st, std::string* reason) {
  if (!S_ISDIR(st.st_mode)) return fail(reason, path + " is not a folder.");
  if (st.st_uid != geteuid()) return fail(reason, path + " belongs to another user.");
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return fail(reason, path + " is writable by other users.");
  return true;
}

// path is a folder that only the effective user can change, nor anything
// above it (a sticky or root's folder above is fine).
bool isPrivateBase(const std::string& path, std::string* reason) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return fail(reason, path + " cannot be examined.");
  if (!isPrivateFolder(path, st, reason)) return false;
  SString why;
  if (!PlatformImpl::isTrustedFile(SString(path.c_str()), why)) {
    return fail(reason, path + " cannot hold a cache: " + std::string(why.c_str()));
  }
  return true;
}

// HOME, else the user's entry in the user database. On Linux /etc/passwd
// is read directly (fgetpwent), not through the name service: the launcher
// carries its own C library there, and the name service would load the
// system's modules into it.
std::string homeFolder() {
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  std::string result;
  uid_t uid = geteuid();
#if defined(__linux__)
  FILE* passwd = fopen("/etc/passwd", "r");
  if (passwd == nullptr) return result;
  while (struct passwd* entry = fgetpwent(passwd)) {
    if (entry->pw_uid != uid) continue;
    if (entry->pw_dir != nullptr && entry->pw_dir[0] == '/') result = entry->pw_dir;
    break;
  }
  fclose(passwd);
#else
  struct passwd* entry = getpwuid(uid);
  if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') result = entry->pw_dir;
#endif
  return result;
}

// Without trailing "/" (the root stays "/").
std::string trimmed(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Splits off the components of base that do not exist yet (at the front of
// parts, in order) until base names a folder that exists or is "/"; false
// when a component is "..".
bool existingBase(std::string& base, std::vector<std::string>& parts) {
  std::vector<std::string> missing;
  struct stat st;
  while (base != "/" && lstat(base.c_str(), &st) != 0 && errno == ENOENT) {
    size_t slash = base.rfind('/');
    std::string part = base.substr(slash + 1);
    if (part == "..") return false;
    if (!part.empty() && part != ".") missing.insert(missing.begin(), part);
    base = slash == 0 ? std::string("/") : base.substr(0, slash);
  }
  parts.insert(parts.begin(), missing.begin(), missing.end());
  return true;
}

}  // namespace

std::string userCacheFolder(bool create, std::string* reason) {
  std::vector<std::string> parts;
  std::string base;
  const char* xdg = getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = trimmed(xdg);
    if (!existingBase(base, parts)) {
      fail(reason, std::string(xdg) + " holds \"..\".");
      return std::string();
    }
  } else {
    base = homeFolder();
    if (base.empty()) {
      fail(reason, "There is no home folder.");
      return std::string();
    }
    base = trimmed(base);
    parts.push_back(".cache");
  }
  parts.push_back("bvlauncher");
  if (!isPrivateBase(base, reason)) return std::string();

  std::string path = base;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (path != "/") path += '/';
    path += parts[i];
    bool last = i + 1 == parts.size();
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      if (errno != ENOENT || !create) {
        fail(reason, path + " does not exist.");
        return std::string();
      }
      // Another process may make it meanwhile; what is there is checked.
      if ((mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) || lstat(path.c_str(), &st) != 0) {
        fail(reason, path + " cannot be made.");
        return std::string();
      }
    }
    if (S_ISLNK(st.st_mode)) {
      // A link of the user's own on the way (a ~/.cache kept elsewhere)
      // leads to a folder that must pass the same checks.
      if (last || st.st_uid != geteuid() || stat(path.c_str(), &st) != 0) {
        fail(reason, path + " is not a folder.");
        return std::string();
      }
    }
    if (!isPrivateFolder(path, st, reason)) return std::string();
  }
  return path;
}
