#include "tests/test_util.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "foundation/launcher_exception.h"

namespace bvtest {

// The tests never read or write the user's own cache of JVM verifications:
// it is off for this process and the launchers it starts with its
// environment, unless a test turns it on with a cache folder of its own.
const bool verifyCacheOffForTests = setenv("BV_VERIFY_CACHE", "0", 1) == 0;

// Nor do the launchers that the tests start open windows on the display of
// whoever runs the tests: a test that wants windows names a display itself.
const bool noDisplayForTests = unsetenv("DISPLAY") == 0 && unsetenv("WAYLAND_DISPLAY") == 0;

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/bvtest.XXXXXX";
  if (mkdtemp(&templ[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = templ;
}

TempDir::~TempDir() { removeTree(m_path); }

std::string TempDir::file(const std::string& name) const { return m_path + "/" + name; }

ScopedLanguage::ScopedLanguage(const char* lang)
    : m_saved{{"LANG", false, ""}, {"LC_ALL", false, ""}, {"LC_MESSAGES", false, ""}} {
  for (Saved& saved : m_saved) {
    const char* value = getenv(saved.name);
    saved.set = value != nullptr;
    if (value != nullptr) saved.value = value;
    unsetenv(saved.name);
  }
  if (lang != nullptr) setenv("LANG", lang, 1);
}

ScopedLanguage::~ScopedLanguage() {
  for (const Saved& saved : m_saved) {
    if (saved.set) {
      setenv(saved.name, saved.value.c_str(), 1);
    } else {
      unsetenv(saved.name);
    }
  }
}

std::string languagePrefix(const std::string& lang) {
  return "env -u LC_ALL -u LC_MESSAGES LANG='" + lang + "' ";
}

std::vector<std::string> listDir(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* d = opendir(path.c_str())) {
    while (struct dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void writeFile(const std::string& path, const std::string& bytes, int mode) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
  chmod(path.c_str(), static_cast<mode_t>(mode));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool pathExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

void removeTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    chmod(path.c_str(), 0700);
    if (DIR* dir = opendir(path.c_str())) {
      while (struct dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        removeTree(path + "/" + name);
      }
      closedir(dir);
    }
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

int runShell(const std::string& command, std::string* out) {
  fflush(nullptr);
  std::string full = command;
  if (out) full = "( " + command + " ) 2>&1";
  FILE* pipe = popen(full.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
  int status = pclose(pipe);
  if (out) *out = text;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

std::string binaryPath(const std::string& name) { return std::string(BV_BINARY_DIR) + "/bin/" + name; }
std::string sourcePath(const std::string& rel) { return std::string(BV_SOURCE_DIR) + "/" + rel; }
std::string buildPath(const std::string& rel) { return std::string(BV_BINARY_DIR) + "/" + rel; }

std::string launcherErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const LauncherException& e) {
    return std::string(e.getMessage().data(), e.getMessage().length());
  }
  return "(no exception)";
}

}  // namespace bvtest
