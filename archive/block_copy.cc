#include "archive/block_copy.h"

#include "archive/archive_format.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Writes all n bytes or reports the failure (a write of 0 bytes counts as a
// full device).
BlockCopyStatus writeAll(int out, const char* data, long n) {
  while (n > 0) {
    ssize_t written = write(out, data, static_cast<size_t>(n));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      return BLOCK_WRITE_FAILED;
    }
    data += written;
    n -= written;
  }
  return BLOCK_COPIED;
}

BlockCopyStatus copyThroughBuffer(int in, long inOffset, int out, char* buffer, long count,
                                  DigestCheck* check = nullptr) {
  while (count > 0) {
    ssize_t got = pread(in, buffer, static_cast<size_t>(count), static_cast<off_t>(inOffset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = 0;
      return BLOCK_READ_FAILED;
    }
    if (check != nullptr) check->update(buffer, static_cast<size_t>(got));
    BlockCopyStatus status = writeAll(out, buffer, got);
    if (status != BLOCK_COPIED) return status;
    inOffset += got;
    count -= got;
  }
  return BLOCK_COPIED;
}

}  // namespace

BlockCopyStatus copyBlock(int in, long inOffset, int out, char* buffer, long count) {
#ifdef __linux__
  // The kernel moves what it can; whatever is left after it declines, stops
  // or fails goes through the buffer, whose read and write then tell a read
  // failure from a write failure.
  while (count > 0) {
    off_t from = static_cast<off_t>(inOffset);
    ssize_t moved = copy_file_range(in, &from, out, nullptr, static_cast<size_t>(count), 0);
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) break;
    inOffset += moved;
    count -= moved;
  }
#endif
  return copyThroughBuffer(in, inOffset, out, buffer, count);
}

BlockCopyStatus copyBlockChecked(int in, long inOffset, int out, char* buffer, long count,
                                 DigestCheck& check) {
  return copyThroughBuffer(in, inOffset, out, buffer, count, &check);
}

long extractionSteps(long copied, long length) {
  if (copied >= length) return (length + extractionBlockSize - 1) / extractionBlockSize;
  return copied / extractionBlockSize;
}
