// The digest block of a launcher file (layout in archive/archive_format.h):
// reading it, checking the index against it, and checking the bytes of the
// executable image and of embedded files, all at once or as a reader goes
// through them. Every failure is a DamagedLauncherException.
#ifndef BV_ARCHIVE_PAYLOAD_DIGEST_H_
#define BV_ARCHIVE_PAYLOAD_DIGEST_H_

#include <cstddef>
#include <string>
#include <vector>

#include "foundation/sha256.h"
#include "foundation/sstring.h"

struct PayloadDigests {
  long blockOffset = 0;  // where the block begins: the index ends there
  long stubLength = 0;   // the executable image is bytes 0 to stubLength - 1
  std::string stubDigest;                 // digestSize bytes
  std::vector<std::string> entryDigests;  // digestSize bytes each, in index order
};

// Reads the digest block of the open launcher file fd of fileSize bytes,
// whose trailer gives indexOffset. Returns false when the file carries none
// (the 4 bytes before the trailer are not the block mark). Otherwise checks
// the block's form (its marks, algorithm, size and stub length, all within
// the file and after the index offset) and the index digest, fills digests
// and returns true. Throws DamagedLauncherException when any of it is wrong
// or cannot be read.
bool readPayloadDigests(int fd, long fileSize, long indexOffset, PayloadDigests& digests);

// Checks a stretch of bytes as a reader goes through them, in order: update
// with each piece, then finish. With an empty expected digest nothing is
// checked (a launcher without a digest block).
class DigestCheck {
 public:
  // what names the bytes in the log ("app.jar", "the executable image").
  DigestCheck(const std::string& expected, const SString& what);

  void update(const void* data, size_t size);
  // Throws DamagedLauncherException "the digest of <what> differs" when
  // the bytes given were not the ones recorded.
  void finish();

 private:
  std::string m_expected;
  SString m_what;
  Sha256 m_hash;
};

// Reads bytes offset to offset + length - 1 of fd and checks them against
// expected (nothing when it is empty). Throws DamagedLauncherException when
// they differ or cannot all be read.
void checkBytes(int fd, long offset, long length, const std::string& expected, const SString& what);
// Whether the length bytes at offset of fd can be read and have the SHA-256
// expected (true when expected is empty). Throws nothing and touches no
// shared state: it may run on any thread.
bool bytesMatch(int fd, long offset, long length, const std::string& expected);

#endif  // BV_ARCHIVE_PAYLOAD_DIGEST_H_
