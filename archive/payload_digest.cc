#include "archive/payload_digest.h"

#include <errno.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "archive/archive_format.h"
#include "archive/damaged_launcher.h"

namespace {

// Pieces in which bytes are read to be hashed.
const size_t kReadPieceSize = 256 * 1024;

// Reads exactly size bytes at offset; false on an error or an early end.
bool readAt(int fd, long offset, void* buffer, size_t size) {
  char* out = static_cast<char*>(buffer);
  while (size > 0) {
    ssize_t got = pread(fd, out, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    offset += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

long bigEndian32(const unsigned char* p) {
  unsigned long value = (static_cast<unsigned long>(p[0]) << 24) | (static_cast<unsigned long>(p[1]) << 16) |
                        (static_cast<unsigned long>(p[2]) << 8) | static_cast<unsigned long>(p[3]);
  return static_cast<long>(static_cast<int32_t>(value));
}

// Hashes bytes offset to offset + length - 1 of fd into hash; false when
// they cannot all be read.
bool hashBytes(int fd, long offset, long length, Sha256& hash) {
  std::unique_ptr<char[]> buffer(new char[kReadPieceSize]);
  while (length > 0) {
    size_t piece = static_cast<unsigned long>(length) < kReadPieceSize ? static_cast<size_t>(length) : kReadPieceSize;
    if (!readAt(fd, offset, buffer.get(), piece)) return false;
    hash.update(buffer.get(), piece);
    offset += static_cast<long>(piece);
    length -= static_cast<long>(piece);
  }
  return true;
}

}  // namespace

bool readPayloadDigests(int fd, long fileSize, long indexOffset, PayloadDigests& digests) {
  long trailerStart = fileSize - trailerSize;
  unsigned char end[digestBlockSizeFromTrailer];
  if (trailerStart < digestBlockSizeFromTrailer ||
      !readAt(fd, trailerStart - digestBlockSizeFromTrailer, end, sizeof end) ||
      memcmp(end + 4, digestBlockMark, 4) != 0) {
    return false;
  }
  long blockSize = bigEndian32(end);
  long blockOffset = trailerStart - blockSize;
  // The block lies between the index (at least its file count) and the
  // trailer and holds whole digests.
  if (blockSize < digestBlockFixedSize || (blockSize - digestBlockFixedSize) % digestSize != 0 ||
      indexOffset < 0 || blockOffset < indexOffset + indexFileCountSize) {
    throw DamagedLauncherException("the digest block does not fit the file");
  }
  std::string block(static_cast<size_t>(blockSize), '\0');
  if (!readAt(fd, blockOffset, &block[0], block.size())) {
    throw DamagedLauncherException("the digest block cannot be read");
  }
  const unsigned char* b = reinterpret_cast<const unsigned char*>(block.data());
  if (memcmp(b, digestBlockMark, 4) != 0 || b[4] != digestAlgorithmSha256) {
    throw DamagedLauncherException("the digest block's mark or algorithm is unknown");
  }

  // The index digest first: it vouches for everything after the index
  // offset, the index itself included.
  long indexDigestAt = trailerStart - digestBlockIndexDigestFromTrailer;
  Sha256 hash;
  if (!hashBytes(fd, indexOffset, indexDigestAt - indexOffset, hash) ||
      !hashBytes(fd, indexDigestAt + digestSize, fileSize - indexDigestAt - digestSize, hash)) {
    throw DamagedLauncherException("the file index cannot be read");
  }
  if (hash.finish() != block.substr(static_cast<size_t>(indexDigestAt - blockOffset), digestSize)) {
    throw DamagedLauncherException("the digest of the file index differs");
  }

  long stubLength = bigEndian32(b + 5);
  if (stubLength < 0 || stubLength > indexOffset) {
    throw DamagedLauncherException("the executable image's length does not fit the file");
  }
  digests.blockOffset = blockOffset;
  digests.stubLength = stubLength;
  digests.stubDigest = block.substr(digestBlockStubDigestOffset, digestSize);
  digests.entryDigests.clear();
  for (long at = digestBlockEntryDigestsOffset; at < indexDigestAt - blockOffset; at += digestSize) {
    digests.entryDigests.push_back(block.substr(static_cast<size_t>(at), digestSize));
  }
  return true;
}

DigestCheck::DigestCheck(const std::string& expected, const SString& what)
    : m_expected(expected), m_what(what) {}

void DigestCheck::update(const void* data, size_t size) {
  if (!m_expected.empty()) m_hash.update(data, size);
}

void DigestCheck::finish() {
  if (m_expected.empty()) return;
  if (m_hash.finish() != m_expected) {
    throw DamagedLauncherException(SString("the digest of ").append(m_what).append(" differs"));
  }
}

bool bytesMatch(int fd, long offset, long length, const std::string& expected) {
  if (expected.empty()) return true;
  Sha256 hash;
  try {
    return offset >= 0 && length >= 0 && hashBytes(fd, offset, length, hash) && hash.finish() == expected;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void checkBytes(int fd, long offset, long length, const std::string& expected, const SString& what) {
  if (expected.empty()) return;
  Sha256 hash;
  if (offset < 0 || length < 0 || !hashBytes(fd, offset, length, hash)) {
    throw DamagedLauncherException(SString(what).append(" cannot be read whole"));
  }
  if (hash.finish() != expected) {
    throw DamagedLauncherException(SString("the digest of ").append(what).append(" differs"));
  }
}
