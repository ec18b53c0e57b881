#include "jvm/jvm_identity.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "jvm/verify_cache.h"

namespace {

// The folders below a JVM home that hold what the JVM needs to start (the
// launcher's libraries such as lib/libjli.so, libjvm.so, lib/modules,
// rt.jar, jvm.cfg), for the JDK layouts in use, and the deepest level that
// is looked at inside each.
const char* const kJVMFolders[] = {"bin", "lib", "jre/bin", "jre/lib"};
const int kJVMFolderDepth = 4;
// A JVM with more entries than this in those folders is not cached.
const size_t kMostJVMEntries = 20000;
// The release file tells the version.
const char kReleaseFile[] = "release";

std::string hex16(uint64_t value) {
  char text[17];
  snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// "name dev ino size mtime ctime" of the file at path, or "name -" when it
// cannot be stat'ed.
std::string identity(const std::string& name, const std::string& path) {
  struct stat st;
  std::string line = name;
  if (stat(path.c_str(), &st) != 0) return line + " -\n";
  char numbers[160];
  snprintf(numbers, sizeof numbers, " %llu %llu %lld %lld.%09ld %lld.%09ld\n",
           static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
           static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
           static_cast<long>(st.st_mtim.tv_nsec), static_cast<long long>(st.st_ctim.tv_sec),
           static_cast<long>(st.st_ctim.tv_nsec));
  return line + numbers;
}

// The numbers of a stat that change with the file: type and mode, device,
// inode, size, modification and change time.
void appendStat(std::string& out, const struct stat& st) {
  char numbers[160];
  snprintf(numbers, sizeof numbers, " %o %llu %llu %lld %lld.%09ld %lld.%09ld",
           static_cast<unsigned>(st.st_mode), static_cast<unsigned long long>(st.st_dev),
           static_cast<unsigned long long>(st.st_ino), static_cast<long long>(st.st_size),
           static_cast<long long>(st.st_mtim.tv_sec), static_cast<long>(st.st_mtim.tv_nsec),
           static_cast<long long>(st.st_ctim.tv_sec), static_cast<long>(st.st_ctim.tv_nsec));
  out += numbers;
}

// Adds every entry below folder (relative path, its lstat and, for a link,
// what it leads to) to the digest, names in byte order, folders to depth;
// false when there are more than budget entries. A folder that cannot be
// read adds its error.
bool digestTree(const std::string& folder, const std::string& relative, int depth, size_t& budget,
                uint64_t& digest) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    std::string line = relative + " unreadable " + std::to_string(errno) + "\n";
    digest = fnv1a64(line.data(), line.size(), digest);
    return true;
  }
  std::vector<std::string> names;
  while (struct dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    if (budget == 0) {
      closedir(dir);
      return false;
    }
    --budget;
    names.emplace_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = folder + "/" + name;
    std::string line = relative + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      line += " -";
    } else {
      appendStat(line, st);
      struct stat target;
      if (S_ISLNK(st.st_mode)) {
        line += " ->";
        if (stat(path.c_str(), &target) == 0) appendStat(line, target);
      }
    }
    line += '\n';
    digest = fnv1a64(line.data(), line.size(), digest);
    if (S_ISDIR(st.st_mode) && depth > 1 &&
        !digestTree(path, relative + "/" + name, depth - 1, budget, digest)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool resolveJVMExecutable(const std::string& exePath, const std::string& jvmExe, std::string& exe,
                          std::string& home) {
  char resolved[PATH_MAX];
  if (realpath(exePath.c_str(), resolved) == nullptr) return false;
  exe = resolved;
  home = exe;
  size_t parts = 0;
  for (size_t i = 0; i < jvmExe.size(); ++i) {
    if (jvmExe[i] != '/' && (i == 0 || jvmExe[i - 1] == '/')) ++parts;
  }
  for (; parts > 0; --parts) {
    size_t slash = home.rfind('/');
    if (slash == std::string::npos) return false;
    home.erase(slash);
  }
  return true;
}

bool jvmIdentity(const std::string& exe, const std::string& home, std::string& state) {
  state = identity("exe", exe);
  state += identity(kReleaseFile, home + "/" + kReleaseFile);
  size_t budget = kMostJVMEntries;
  for (const char* folder : kJVMFolders) {
    uint64_t tree = fnv1a64(nullptr, 0);
    std::string path = home + "/" + folder;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      state += std::string(folder) + " -\n";
      continue;
    }
    if (!digestTree(path, folder, kJVMFolderDepth, budget, tree)) return false;
    state += std::string(folder) + " " + hex16(tree) + "\n";
  }
  return true;
}

std::string jvmIdentityDigest(const std::string& identity) {
  return identity.empty() ? std::string() : hex16(fnv1a64(identity.data(), identity.size()));
}
