// The digest block read against hand-built files: where the block may lie
// and what the stub length may say. Each file's index digest is right, so
// that only the bound under test can refuse it.
#include "archive/payload_digest.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "archive/archive_format.h"
#include "archive/damaged_launcher.h"
#include "tests/test_util.h"

namespace {

const long kIndexOffset = 20;

std::string bigEndian32(long value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>((value >> (24 - 8 * i)) & 0xff);
  return bytes;
}

// A file with no embedded file: the executable image (kIndexOffset bytes),
// then indexBytes bytes of index (a whole file count takes 4), the digest
// block saying stubLength, and a trailer of zeros.
std::string launcherBytes(long indexBytes, long stubLength) {
  std::string bytes(static_cast<size_t>(kIndexOffset), 's');
  bytes += std::string(static_cast<size_t>(indexBytes), '\0');
  std::string mark(reinterpret_cast<const char*>(digestBlockMark), 4);
  bytes += mark + static_cast<char>(digestAlgorithmSha256) + bigEndian32(stubLength) +
           std::string(static_cast<size_t>(digestSize), 'd');  // the image's digest: not checked here
  size_t indexDigestAt = bytes.size();
  bytes += std::string(static_cast<size_t>(digestSize), '\0');
  bytes += bigEndian32(digestBlockFixedSize) + mark + std::string(static_cast<size_t>(trailerSize), '\0');
  Sha256 hash;
  hash.update(bytes.data() + kIndexOffset, indexDigestAt - static_cast<size_t>(kIndexOffset));
  hash.update(bytes.data() + indexDigestAt + digestSize, bytes.size() - indexDigestAt - digestSize);
  bytes.replace(indexDigestAt, static_cast<size_t>(digestSize), hash.finish());
  return bytes;
}

TEST(PayloadDigestTest, TheBlockFollowsTheFileCountAndTheImageEndsBeforeTheIndex) {
  struct Case {
    const char* what;
    long indexBytes, stubLength;
    const char* detail;  // "" when the block is taken
  } cases[] = {
      {"a whole file count, the image up to the index", indexFileCountSize, kIndexOffset, ""},
      {"the block over the file count's last byte", indexFileCountSize - 1, kIndexOffset,
       "the digest block does not fit the file"},
      {"an image one byte into the index", indexFileCountSize, kIndexOffset + 1,
       "the executable image's length does not fit the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bvtest::TempDir dir;
    std::string bytes = launcherBytes(c.indexBytes, c.stubLength);
    bvtest::writeFile(dir.file("launcher"), bytes);
    int fd = open(dir.file("launcher").c_str(), O_RDONLY);
    ASSERT_LE(0, fd);
    PayloadDigests digests;
    std::string detail;
    try {
      EXPECT_TRUE(readPayloadDigests(fd, static_cast<long>(bytes.size()), kIndexOffset, digests));
    } catch (const DamagedLauncherException& e) {
      detail = e.getDetail().c_str();
    }
    close(fd);
    EXPECT_EQ(c.detail, detail);
    if (*c.detail == '\0') {
      EXPECT_EQ(kIndexOffset + c.indexBytes, digests.blockOffset);
      EXPECT_EQ(c.stubLength, digests.stubLength);
    }
  }
}

}  // namespace
