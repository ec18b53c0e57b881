// FileIndexEntry::extract: copying one embedded file out of the launcher.
#include "archive/file_index_entry.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "archive/block_copy.h"
#include "archive/extraction_error.h"
#include "foundation/launcher_exception.h"
#include "platform/platform_impl.h"
#include "platform/replacement_file.h"
#include "tagfile/text_utils.h"

namespace {

// Closes a file descriptor on every path out of extract.
class FdCloser {
 public:
  explicit FdCloser(int fd) : m_fd(fd) {}
  ~FdCloser() {
    if (m_fd >= 0) close(m_fd);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

 private:
  int m_fd;
};

// The program at target cannot be run where it was written.
LauncherException cannotRunError(const SString& target, const SString& directory) {
  SString text("Cannot run ");
  text.append(target).append(": programs cannot be run from ");
  text.append(directory.empty() ? SString("the current directory") : directory);
  text.append(" (its file system may be mounted noexec). Please run the program again using the option "
              "-bv:tempdir <temp dir> to specify a different directory to use.");
  return LauncherException(text);
}

}  // namespace

SString FileIndexEntry::extract(const SString& directory) const {
  long bytesNeeded = m_fileLength + (m_compressed ? m_decompressedSize : 0);
  long filesNeeded = 1 + (m_compressed ? m_decompressedFileCount : 0);
  if (!PlatformImpl::checkFreeSpace(directory, bytesNeeded, filesNeeded)) {
    throw fileWriteError(0, directory);
  }

  SString target = directory;
  appendPathSeparator(target);
  target.append(m_fileName);

  int in = open(m_launcherFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throw LauncherException("Cannot open launcher file.");
  FdCloser inCloser(in);
  // A damaged index must not leave a silently short copy behind.
  struct stat launcherStat;
  if (fstat(in, &launcherStat) != 0 || !liesWithin(static_cast<long>(launcherStat.st_size))) {
    throw outsideError();
  }

  // Extracting over the launcher itself would truncate the bytes being read.
  struct stat targetStat;
  if (stat(target.c_str(), &targetStat) == 0 && targetStat.st_dev == launcherStat.st_dev &&
      targetStat.st_ino == launcherStat.st_ino) {
    throw LauncherException(
        SString("Embedded file ").append(m_fileName).append(" would replace the launcher file."));
  }

  // A new private file replaces the target when it is complete; nothing is
  // written through a link or into a file that was there before.
  bool executable = m_fileType == FILE_JVM_INSTALLER || m_fileType == FILE_EMBEDDED_LAUNCHER;
  ReplacementFile output(target, executable ? 0700 : 0600);
  int out = output.fd();
  int errorNumber = output.error();
  bool readFailed = false;
  long done = 0;
  long length = m_fileLength;
  // Bytes not checked yet are checked as they are copied, through the
  // buffer, so that what was checked is what was written.
  bool checking = !isCheckedIn(in);
  DigestCheck digest = digestCheck();
  // A large file may take a while: a window can show how far the copy is.
  UIWork work(extractionSteps(length, length));
  // The fallback buffer is used only when the kernel cannot move a piece.
  std::unique_ptr<char[]> buffer(new char[extractionBufferSize]);
  // One piece per round: the kernel moves whole MiBs at once, and between
  // pieces the progress display moves and a cancel request stops the copy.
  while (done < length && errorNumber == 0 && !readFailed && !PlatformImpl::isCanceled()) {
    long n = length - done < extractionPieceSize ? length - done : extractionPieceSize;
    BlockCopyStatus status =
        checking ? copyBlockChecked(in, m_offsetToBytes + done, out, buffer.get(), extractionBufferSize, n, digest)
                 : copyBlock(in, m_offsetToBytes + done, out, buffer.get(), extractionBufferSize, n);
    if (status == BLOCK_WRITE_FAILED) {
      errorNumber = errno != 0 ? errno : EIO;
    } else if (status == BLOCK_READ_FAILED) {
      readFailed = true;
    } else {
      long stepsBefore = extractionSteps(done, length);
      done += n;
      PlatformImpl::advanceUIProgress(extractionSteps(done, length) - stepsBefore);
    }
  }
  buffer.reset();

  if (errorNumber != 0) throw fileWriteError(errorNumber, target);
  if (readFailed) {
    throw LauncherException(SString("Unable to read embedded file ")
                                .append(m_fileName)
                                .append(" from the launcher file."));
  }
  if (PlatformImpl::isCanceled()) {
    throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
  }
  if (checking) {
    digest.finish();
    markChecked(in);
  }
  if (!output.commit()) throw fileWriteError(output.error(), target);
  // A file system mounted noexec takes the file but would never run it.
  if (executable && access(target.c_str(), X_OK) != 0) throw cannotRunError(target, directory);
  return target;
}
