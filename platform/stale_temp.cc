#include "platform/stale_temp.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "platform/platform_impl.h"
#include "platform/unique_fd.h"

const char* const kOwnerMarkerName = ".bvowner";

namespace {

const char kMarkerFirstLine[] = "bvlauncher temporary folder";
// A marker is a few short lines; anything longer is not one.
const long kMarkerLimit = 512;

SString decimal(unsigned long long n) {
  char buffer[32];
  snprintf(buffer, sizeof buffer, "%llu", n);
  return SString(buffer);
}

// The first kilobyte of a file of the system (/proc); "" when it cannot be
// read.
SString startOf(const char* path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return SString();
  char buffer[1024];
  ssize_t n = read(fd, buffer, sizeof buffer);
  close(fd);
  return n > 0 ? SString(buffer, static_cast<unsigned long>(n)) : SString();
}

// The first line of a small file, without its line end; "" when it cannot
// be read.
SString firstLineOf(const char* path) {
  SString text = startOf(path);
  unsigned long end = text.find('\n');
  return end == SString::npos ? text : text.substr(0, end);
}

// The machine: its machine ID (/etc/machine-id, "" without one) and its
// host name, in one line. A temporary folder on a file system that several
// machines share (a TMPDIR in an NFS home, a cluster's scratch space) holds
// folders of launchers that run on the others: their boot is another, yet
// they run.
SString machineOf() {
  struct utsname names;
  SString host = uname(&names) == 0 ? SString(names.nodename) : SString();
  SString id = firstLineOf("/etc/machine-id");
  if (host.empty() && id.empty()) return SString();
  return id.append(" ").append(host);
}

#ifdef __linux__
SString bootId() { return firstLineOf("/proc/sys/kernel/random/boot_id"); }

SString pidNamespace() {
  struct stat st;
  if (stat("/proc/self/ns/pid", &st) != 0) return SString();
  return decimal(static_cast<unsigned long long>(st.st_ino));
}

// The start time of process pid (field 22 of /proc/PID/stat, after the
// name in parentheses, which may hold anything); "" when there is no such
// process.
SString startTimeOf(const SString& pid) {
  SString text = startOf(SString("/proc/").append(pid).append("/stat").c_str());
  unsigned long paren = text.rfind(')');
  if (paren == SString::npos) return SString();
  // After ") ": field 3 (the state) is the first; field 22 the twentieth.
  unsigned long pos = paren + 2;
  for (int field = 3; field < 22; ++field) {
    pos = text.find(' ', pos);
    if (pos == SString::npos) return SString();
    ++pos;
  }
  unsigned long end = text.find(' ', pos);
  return text.substr(pos, end == SString::npos ? SString::npos : end - pos);
}
#endif

// The value of the line "NAME VALUE" of the marker, or "".
SString field(const SString& text, const char* name) {
  SString prefix = SString(name).append(" ");
  unsigned long start = 0;
  while (start < text.length()) {
    unsigned long end = text.find('\n', start);
    if (end == SString::npos) end = text.length();
    if (text.compare(start, prefix.length(), prefix) == 0) {
      return text.substr(start + prefix.length(), end - start - prefix.length());
    }
    start = end + 1;
  }
  return SString();
}

bool isDecimal(const SString& text) {
  if (text.empty() || text.length() > 19) return false;
  for (unsigned long i = 0; i < text.length(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// The marker of the folder name in the open folder dirFd, when it is the
// user's own small regular file; "" otherwise.
SString readMarker(int dirFd) {
  int fd = openat(dirFd, kOwnerMarkerName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return SString();
  Fd closer(fd);
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_size > kMarkerLimit) {
    return SString();
  }
  char buffer[kMarkerLimit + 1];
  ssize_t n = read(fd, buffer, sizeof buffer);
  if (n <= 0 || n > kMarkerLimit) return SString();
  return SString(buffer, static_cast<unsigned long>(n));
}

}  // namespace

SString ownerMarkerText() {
  SString pid = decimal(static_cast<unsigned long long>(getpid()));
  SString text = SString(kMarkerFirstLine).append("\n");
  text.append("machine ").append(machineOf()).append("\n");
#ifdef __linux__
  text.append("boot ").append(bootId()).append("\n");
  text.append("pidns ").append(pidNamespace()).append("\n");
  text.append("pid ").append(pid).append("\n");
  text.append("start ").append(startTimeOf(pid)).append("\n");
#else
  text.append("pid ").append(pid).append("\n");
#endif
  return text;
}

bool writeOwnerMarker(const SString& dir) {
  SString path = SString(dir).append("/").append(kOwnerMarkerName);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  SString text = ownerMarkerText();
  bool ok = write(fd, text.data(), text.length()) == static_cast<ssize_t>(text.length());
  if (close(fd) != 0) ok = false;
  if (!ok) unlink(path.c_str());
  return ok;
}

bool isOwnerGone(const SString& text) {
  if (text.compare(0, sizeof kMarkerFirstLine - 1, kMarkerFirstLine) != 0) return false;
  SString pid = field(text, "pid");
  if (!isDecimal(pid) || pid.compare("0") == 0) return false;
  SString machine = field(text, "machine");
  SString ourMachine = machineOf();
  // Another machine's launcher (a temporary folder on a file system that
  // machines share) may run, whatever this machine knows of its process.
  if (machine.empty() || ourMachine.empty() || machine.compare(ourMachine) != 0) return false;
#ifdef __linux__
  SString boot = field(text, "boot");
  SString ourBoot = bootId();
  if (boot.empty() || ourBoot.empty()) return false;
  // Another boot of this machine: every process of it has gone.
  if (boot.compare(ourBoot) != 0) return true;
  SString pidns = field(text, "pidns");
  if (pidns.empty() || pidns.compare(pidNamespace()) != 0) return false;
  SString start = field(text, "start");
  if (!isDecimal(start)) return false;
  SString running = startTimeOf(pid);
  // No such process, or another one under the same number.
  return running.empty() || running.compare(start) != 0;
#else
  pid_t number = static_cast<pid_t>(strtol(pid.c_str(), nullptr, 10));
  return kill(number, 0) != 0 && errno == ESRCH;
#endif
}

long removeStaleTempFolders(const SString& tempDir) {
  DIR* folder = opendir(tempDir.c_str());
  if (folder == nullptr) return 0;
  long removed = 0;
  while (struct dirent* entry = readdir(folder)) {
    if (strncmp(entry->d_name, "bvj", 3) != 0) continue;
    // A folder itself (a link is not opened), the user's own.
    int dirFd = openat(dirfd(folder), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (dirFd < 0) continue;
    struct stat st;
    bool own = fstat(dirFd, &st) == 0 && st.st_uid == geteuid();
    SString marker = own ? readMarker(dirFd) : SString();
    close(dirFd);
    if (marker.empty() || !isOwnerGone(marker)) continue;
    SString path(tempDir);
    if (path.empty() || path[path.length() - 1] != '/') path.append("/");
    path.append(entry->d_name);
    // The folder is the user's own (mode 0700) in a folder where others
    // cannot rename it (sticky, or the user's): the tree is removed by
    // path without following links.
    PlatformImpl::deleteFile(path);
    ++removed;
  }
  closedir(folder);
  return removed;
}
