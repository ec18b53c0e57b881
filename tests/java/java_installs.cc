#include "tests/java/java_installs.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace bvtest {

namespace {

bool isExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string realPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// Adds path when it is an executable not seen yet under another name.
void addCandidate(const std::string& path, std::vector<std::string>& found,
                  std::vector<std::string>& seen) {
  if (!isExecutableFile(path)) return;
  std::string real = realPath(path);
  if (std::find(seen.begin(), seen.end(), real) != seen.end()) return;
  seen.push_back(real);
  found.push_back(path);
}

}  // namespace

std::vector<std::string> findJavaExecutables() {
  std::vector<std::string> found;
  std::vector<std::string> seen;

  const char* pathVar = getenv("PATH");
  std::string path = pathVar ? pathVar : "";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    if (dir.empty()) dir = ".";
    if (isExecutableFile(dir + "/java")) {
      addCandidate(dir + "/java", found, seen);
      break;  // only the one that the shell would run
    }
    start = end + 1;
  }

  const char* javaHome = getenv("JAVA_HOME");
  if (javaHome && *javaHome) addCandidate(std::string(javaHome) + "/bin/java", found, seen);

  std::vector<std::string> homes;
  if (DIR* dir = opendir("/usr/lib/jvm")) {
    while (struct dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") homes.push_back("/usr/lib/jvm/" + name);
    }
    closedir(dir);
  }
  std::sort(homes.begin(), homes.end());
  for (const std::string& home : homes) addCandidate(home + "/bin/java", found, seen);
  return found;
}

std::string findJava() {
  std::vector<std::string> all = findJavaExecutables();
  return all.empty() ? std::string() : all.front();
}

std::string javaHomeOf(const std::string& javaExecutable) {
  std::string real = realPath(javaExecutable);
  const std::string suffix = "/bin/java";
  if (real.size() > suffix.size() && real.compare(real.size() - suffix.size(), suffix.size(), suffix) == 0)
    return real.substr(0, real.size() - suffix.size());
  return real;
}

std::string javaBuildPath(const std::string& name) { return std::string(BV_BINARY_DIR) + "/java/" + name; }

}  // namespace bvtest
