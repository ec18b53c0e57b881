#include "launchscript/application_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "archive/archive_format.h"
#include "archive/file_index_entry.h"
#include "archive/launcher_input_files.h"
#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "platform/open_file_trust.h"
#include "platform/platform_impl.h"
#include "platform/write_error.h"
#include "tagfile/read_open.h"
#include "tagfile/text_utils.h"

const SString& ApplicationArchive::archivePath(const LauncherInputFiles& files) {
  if (!m_path.empty()) return m_path;
  SString dir = PlatformImpl::createTempSubDirectory();
  for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
    FileIndexEntry* entry = files.getFileAt(i);
    if (entry != nullptr && entry->getFileType() == FILE_APPLICATION_ARCHIVE) {
      m_path = entry->extract(dir);
    }
  }
  return m_path;
}

// The file next to the launcher is read under the rules of the side files:
// opened without waiting (a FIFO never holds the run), used only when it is
// a regular file that passes the ownership check; otherwise the launch
// stops with a message that names it. A missing file gives no archive.
const SString& ApplicationArchive::archivePath(const SString& fileName, const SString& launcherDir) {
  if (!m_path.empty()) return m_path;
  SString source = launcherDir;
  if (!source.empty() && source[source.length() - 1] != '/') source += '/';
  source += fileName;

  bool regular = false;
  FILE* in = openForReading(source, &regular);
  if (in == nullptr) {
    logMessage(SString("No application archive: the file ")
                   .append(source)
                   .append(" cannot be opened: ")
                   .append(strerror(errno)),
               LOG_WARNING);
    return m_path;
  }
  FileCloser closeIn(in);
  SString reason;
  if (!regular) {
    reason = "it is not a regular file.";
  } else {
    isTrustedOpenFile(fileno(in), source, reason);  // reason: which step and why
  }
  if (!reason.empty()) {
    throw LauncherException(SString("The file ")
                                .append(source)
                                .append(" next to the launcher cannot be the application archive: ")
                                .append(reason));
  }

  SString target = PlatformImpl::createTempSubDirectory();
  target += '/';
  unsigned long slash = fileName.rfind('/');
  target += slash == SString::npos ? fileName : fileName.substr(slash + 1);
  int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw LauncherException(writeErrorText(errno, target));
  int error = 0;
  bool readError = false;
  char buffer[65536];
  for (;;) {
    if (PlatformImpl::isCanceled()) {
      close(fd);
      unlink(target.c_str());
      throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
    }
    size_t n = fread(buffer, 1, sizeof buffer, in);
    if (n == 0) {
      if (ferror(in)) {
        error = errno != 0 ? errno : EIO;
        readError = true;
      }
      break;
    }
    size_t done = 0;
    while (done < n) {
      ssize_t written = write(fd, buffer + done, n - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        error = written < 0 ? errno : ENOSPC;
        break;
      }
      done += static_cast<size_t>(written);
    }
    if (error != 0) break;
  }
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    // A short copy must not be used by a later launch.
    unlink(target.c_str());
    if (readError) {
      throw LauncherException(
          SString("Error reading the file ").append(source).append(": ").append(strerror(error)));
    }
    throw LauncherException(writeErrorText(error, target));
  }
  m_path = target;
  return m_path;
}
