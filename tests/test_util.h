// Helpers shared by the tests: a temporary directory removed on scope exit,
// small file utilities, and the paths of the built programs.
#ifndef BV_TESTS_TEST_UTIL_H_
#define BV_TESTS_TEST_UTIL_H_

#include <functional>
#include <string>
#include <vector>

#include "foundation/sstring.h"

namespace bvtest {

// A fresh directory under $TMPDIR (or /tmp), removed with all its contents
// when the object goes out of scope. Symbolic links are removed, not followed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string m_path;
};

// The language of messages for a scope: LANG set to lang (unset when
// null), and LC_ALL and LC_MESSAGES, which would choose first, unset; all
// three are put back as they were when the scope ends. A test that
// chooses a language uses it, so that the caller's LC_ALL (LC_ALL=C in a
// CI shell) changes nothing. Launchers started meanwhile inherit it.
class ScopedLanguage {
 public:
  explicit ScopedLanguage(const char* lang);
  ~ScopedLanguage();
  ScopedLanguage(const ScopedLanguage&) = delete;
  ScopedLanguage& operator=(const ScopedLanguage&) = delete;

 private:
  struct Saved {
    const char* name;
    bool set;
    std::string value;
  };
  Saved m_saved[3];
};

// The prefix of a shell command that runs it in the language lang alone:
// "env -u LC_ALL -u LC_MESSAGES LANG='lang' ".
std::string languagePrefix(const std::string& lang);

// The names in a directory, sorted, without "." and "..".
std::vector<std::string> listDir(const std::string& path);

// Writes bytes to a file (created or truncated); mode is applied with chmod.
void writeFile(const std::string& path, const std::string& bytes, int mode = 0644);
// The whole file, or an empty string when it cannot be read.
std::string readFile(const std::string& path);
bool pathExists(const std::string& path);
// Removes a tree without following links; missing paths are fine.
void removeTree(const std::string& path);

// Runs a command through /bin/sh, returning its exit status (128 + signal when
// killed); stdout and stderr are captured into *out when out is not null.
int runShell(const std::string& command, std::string* out = nullptr);

// Paths of the built programs and of the source tree.
std::string binaryPath(const std::string& name);  // BV_BINARY_DIR/bin/name
std::string sourcePath(const std::string& rel);   // BV_SOURCE_DIR/rel
std::string buildPath(const std::string& rel);    // BV_BINARY_DIR/rel

// The message of the LauncherException that f throws, or "(no exception)".
std::string launcherErrorOf(const std::function<void()>& f);

}  // namespace bvtest

#endif  // BV_TESTS_TEST_UTIL_H_
