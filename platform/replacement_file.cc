#include "platform/replacement_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "foundation/launcher_exception.h"
#include "platform/platform_signals.h"

namespace {

// The directory part of target with its trailing "/", or "" for a bare name.
SString directoryOf(const SString& target) {
  unsigned long slash = target.rfind('/');
  return slash == SString::npos ? SString() : target.substr(0, slash + 1);
}

}  // namespace

ReplacementFile::ReplacementFile(const SString& target, mode_t mode)
    : m_target(target), m_fd(-1), m_error(0) {
  struct stat st;
  if (lstat(target.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      throw LauncherException(
          SString("Refusing to write through the symbolic link ").append(target).append("."));
    }
    // A directory cannot be replaced; say so before anything is written.
    if (S_ISDIR(st.st_mode)) {
      m_error = EISDIR;
      return;
    }
  }
  // mkostemp makes the name unique and the file new (O_EXCL, so never
  // through a link), private to the user.
  SString path = directoryOf(target);
  path.append(".bvjXXXXXX");
  std::vector<char> name(path.c_str(), path.c_str() + path.length() + 1);
  // Signals wait while the file is made and recorded: a second signal that
  // removes the temporary files at once must find it recorded.
  CancelSignalBlocker blocked;
  m_fd = mkostemp(name.data(), O_CLOEXEC);
  if (m_fd < 0) {
    m_error = errno;
    return;
  }
  m_tempPath = SString(name.data());
  registerTempPathForSignals(m_tempPath);
  if (fchmod(m_fd, mode) != 0) {
    m_error = errno;
    discard();
  }
}

ReplacementFile::~ReplacementFile() { discard(); }

bool ReplacementFile::writeAll(const SString& text) {
  if (m_fd < 0) return false;
  const char* data = text.data();
  unsigned long left = text.length();
  while (left > 0) {
    ssize_t n = write(m_fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      m_error = n < 0 ? errno : EIO;
      return false;
    }
    data += n;
    left -= static_cast<unsigned long>(n);
  }
  return true;
}

bool ReplacementFile::commit() {
  if (m_fd < 0) return false;
  int fd = m_fd;
  m_fd = -1;
  if (close(fd) != 0 && errno != EINTR) {
    m_error = errno;
  } else if (rename(m_tempPath.c_str(), m_target.c_str()) != 0) {
    m_error = errno;
  } else {
    unregisterTempPathForSignals(m_tempPath);
    m_tempPath.erase();
    return true;
  }
  discard();
  return false;
}

void ReplacementFile::discard() {
  if (m_fd >= 0) {
    close(m_fd);
    m_fd = -1;
  }
  if (!m_tempPath.empty()) {
    CancelSignalBlocker blocked;
    unlink(m_tempPath.c_str());
    unregisterTempPathForSignals(m_tempPath);
    m_tempPath.erase();
  }
}
