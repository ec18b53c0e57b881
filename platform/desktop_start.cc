#include "platform/desktop_start.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

const char* const kWindowsVariable = "BV_WINDOWS";

namespace {

bool isSet(const char* name) {
  const char* value = getenv(name);
  return value != nullptr && value[0] != '\0';
}

// What BV_WINDOWS asks for: -1 never, 1 always, 0 nothing (unset or
// another value).
int windowsVariable() {
  const char* value = getenv(kWindowsVariable);
  if (value == nullptr) return 0;
  if (strcmp(value, "0") == 0 || strcmp(value, "never") == 0) return -1;
  if (strcmp(value, "1") == 0 || strcmp(value, "always") == 0) return 1;
  return 0;
}

// Whether st is the journal stream that JOURNAL_STREAM names
// ("DEVICE:INODE", both decimal).
bool isJournalStream(const struct stat& st) {
  const char* value = getenv("JOURNAL_STREAM");
  if (value == nullptr) return false;
  unsigned long long device = 0, inode = 0;
  char rest = '\0';
  if (sscanf(value, "%llu:%llu%c", &device, &inode, &rest) != 2) return false;
  return static_cast<unsigned long long>(st.st_dev) == device && static_cast<unsigned long long>(st.st_ino) == inode;
}

// The path that the descriptor was opened with, where the system tells;
// "" otherwise.
SString pathOfDescriptor(int fd) {
#ifdef __linux__
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[4096];
  ssize_t n = readlink(link, target, sizeof target - 1);
  if (n <= 0) return SString();
  return SString(target, static_cast<unsigned long>(n));
#else
  (void)fd;
  return SString();
#endif
}

// Whether path is the session's log that the X session gives the programs
// it starts: ~/.xsession-errors.
bool isSessionLog(const SString& path) {
  const char* home = getenv("HOME");
  if (home == nullptr || home[0] != '/') return false;
  SString expected(home);
  while (expected.length() > 1 && expected[expected.length() - 1] == '/') expected.erase(expected.length() - 1);
  expected.append("/.xsession-errors");
  return path.compare(expected) == 0;
}

}  // namespace

bool streamGoesNowhere(int fd, SString& what) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    what = "closed";
    return errno == EBADF;
  }
  if (S_ISCHR(st.st_mode)) {
    struct stat null;
    if (stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) && null.st_rdev == st.st_rdev) {
      what = "/dev/null";
      return true;
    }
    what = "a device";
    return false;
  }
  if (S_ISSOCK(st.st_mode)) {
    if (isJournalStream(st)) {
      what = "the journal";
      return true;
    }
    what = "a socket";
    return false;
  }
  if (S_ISFIFO(st.st_mode)) {
    what = "a pipe";
    return false;
  }
  SString path = pathOfDescriptor(fd);
  if (S_ISREG(st.st_mode) && isSessionLog(path)) {
    what = "the session's log";
    return true;
  }
  what = path.empty() ? SString("a file") : SString("the file ").append(path);
  return false;
}

bool isDesktopStart(SString& reason) {
  int asked = windowsVariable();
  if (asked < 0) {
    reason = SString(kWindowsVariable).append(" turns windows off");
    return false;
  }
  if (asked > 0) {
    reason = SString(kWindowsVariable).append(" asks for windows");
    return true;
  }
#ifndef __APPLE__
  if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
    reason = "no display is named";
    return false;
  }
#endif
  int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (terminal >= 0) {
    close(terminal);
    reason = "the launcher has a terminal";
    return false;
  }
  if (isatty(1) || isatty(2)) {
    reason = "its output goes to a terminal";
    return false;
  }
  if (isSet("INVOCATION_ID")) {
    reason = "it runs as a service (INVOCATION_ID is set)";
    return false;
  }
  static const char* const kNames[] = {"standard output", "standard error"};
  SString where[2];
  for (int fd = 1; fd <= 2; ++fd) {
    SString what;
    if (!streamGoesNowhere(fd, what)) {
      reason = SString(kNames[fd - 1]).append(" is ").append(what).append(", which its caller reads");
      return false;
    }
    where[fd - 1] = what;
  }
  reason = SString("standard output: ").append(where[0]).append(", standard error: ").append(where[1]);
  return true;
}
