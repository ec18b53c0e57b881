// Test helpers for the console: LANG set for one scope, standard output
// captured into a file, standard input fed from a file.
#ifndef BV_TESTS_PLATFORM_CONSOLE_CAPTURE_H_
#define BV_TESTS_PLATFORM_CONSOLE_CAPTURE_H_

#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/test_util.h"

namespace bvtest {

// Sets an environment variable (or unsets it, for a null value) and
// restores it at scope exit.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : m_name(name) {
    const char* old = getenv(name);
    m_hadOld = old != nullptr;
    if (m_hadOld) m_old = old;
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  }
  ~ScopedVariable() {
    if (m_hadOld) {
      setenv(m_name.c_str(), m_old.c_str(), 1);
    } else {
      unsetenv(m_name.c_str());
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::string m_name;
  bool m_hadOld;
  std::string m_old;
};

// Sets LANG (or unsets it, for a null value) for the scope, with LC_ALL,
// LC_MESSAGES and LC_CTYPE unset, so that LANG alone chooses.
class ScopedLang {
 public:
  explicit ScopedLang(const char* value)
      : m_all("LC_ALL", nullptr),
        m_messages("LC_MESSAGES", nullptr),
        m_ctype("LC_CTYPE", nullptr),
        m_lang("LANG", value) {}

 private:
  ScopedVariable m_all;
  ScopedVariable m_messages;
  ScopedVariable m_ctype;
  ScopedVariable m_lang;
};

// Redirects descriptor 1 (or 2) into a temporary file until take() or
// scope exit.
class StdoutCapture {
 public:
  // fd 2 captures standard error instead.
  explicit StdoutCapture(int target = 1) : m_path(m_dir.file("captured")), m_target(target) {
    fflush(stdout);
    fflush(stderr);
    m_saved = dup(m_target);
    int fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, m_target);
    close(fd);
  }
  ~StdoutCapture() { restore(); }
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  // Everything printed so far; ends the capture.
  std::string take() {
    restore();
    return readFile(m_path);
  }

 private:
  void restore() {
    if (m_saved < 0) return;
    fflush(stdout);
    fflush(stderr);
    dup2(m_saved, m_target);
    close(m_saved);
    m_saved = -1;
  }

  TempDir m_dir;
  std::string m_path;
  int m_target;
  int m_saved;
};

// Feeds standard input from the given bytes until scope exit; what the
// test left unread is dropped.
class StdinFeed {
 public:
  explicit StdinFeed(const std::string& bytes) : m_path(m_dir.file("stdin")) {
    writeFile(m_path, bytes);
    m_saved = dup(0);
    int fd = open(m_path.c_str(), O_RDONLY);
    dup2(fd, 0);
    close(fd);
    __fpurge(stdin);
    clearerr(stdin);
  }
  ~StdinFeed() {
    __fpurge(stdin);
    clearerr(stdin);
    dup2(m_saved, 0);
    close(m_saved);
  }
  StdinFeed(const StdinFeed&) = delete;
  StdinFeed& operator=(const StdinFeed&) = delete;

 private:
  TempDir m_dir;
  std::string m_path;
  int m_saved;
};

}  // namespace bvtest

#endif  // BV_TESTS_PLATFORM_CONSOLE_CAPTURE_H_
