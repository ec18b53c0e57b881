#include "jvm/jvm_identity.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>

#include "jvm/verify_cache.h"

namespace {

// Files below a JVM home that make the JVM, for the JDK layouts in use.
const char* const kJVMFiles[] = {
    "lib/modules",          "lib/server/libjvm.so",         "lib/client/libjvm.so",
    "lib/rt.jar",           "lib/amd64/server/libjvm.so",   "lib/aarch64/server/libjvm.so",
    "jre/lib/rt.jar",       "jre/lib/amd64/server/libjvm.so", "jre/lib/aarch64/server/libjvm.so",
    "lib/libjava.so",       "release"};

}  // namespace

std::string fileIdentityLine(const std::string& name, const std::string& path) {
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

std::string jvmIdentity(const std::string& exe, const std::string& home) {
  std::string state = fileIdentityLine("exe", exe);
  for (const char* name : kJVMFiles) state += fileIdentityLine(name, home + "/" + name);
  return state;
}

std::string jvmIdentityDigest(const std::string& exe, const std::string& home) {
  std::string state = jvmIdentity(exe, home);
  char text[17];
  snprintf(text, sizeof text, "%016llx",
           static_cast<unsigned long long>(fnv1a64(state.data(), state.size())));
  return text;
}
