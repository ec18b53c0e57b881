#include "platform/platform_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "platform/platform_impl.h"
#include "tests/test_util.h"

namespace {

std::vector<std::string> toVector(const StringDeque& d) {
  std::vector<std::string> v;
  for (long i = 0; i < d.size(); ++i) v.push_back(d.at(i).c_str());
  return v;
}

TEST(DiskSpaceTest, NeededSpaceCountsPartialBlocksPerFile) {
  struct Case {
    long size;
    long fileCount;
    unsigned long blockSize;
    double needed;
  } cases[] = {
      {10000, 1, 4096, 3 * 4096.0},  // one file: its partial block
      {10000, 5, 4096, 7 * 4096.0},  // 2 whole blocks + one partial per file
      {10000, 0, 4096, 2 * 4096.0},  // no files: whole blocks only
      {8192, 1, 4096, 2 * 4096.0},   // an exact multiple needs no extra block
      {8192, 2, 4096, 4 * 4096.0},
      {0, 1, 4096, 0.0},
      {100, 1, 512, 512.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes in " + std::to_string(c.fileCount));
    EXPECT_EQ(c.needed, neededDiskSpace(c.size, c.fileCount, c.blockSize));
  }
}

TEST(DiskSpaceTest, ChecksTheFileSystemOfThePathOrOfTheCurrentDirectory) {
  bvtest::TempDir dir;
  EXPECT_TRUE(PlatformImpl::checkFreeSpace(dir.path().c_str(), 0, 1));
  EXPECT_TRUE(PlatformImpl::checkFreeSpace(dir.path().c_str(), 1000, 1));
  EXPECT_FALSE(PlatformImpl::checkFreeSpace(dir.path().c_str(), LONG_MAX, 1));
  // Relative and empty paths examine the current directory, even when they
  // name nothing.
  EXPECT_TRUE(PlatformImpl::checkFreeSpace("relative/missing", 1000, 1));
  EXPECT_TRUE(PlatformImpl::checkFreeSpace("", 1000, 1));
  try {
    PlatformImpl::checkFreeSpace(dir.file("missing").c_str(), 1000, 1);
    ADD_FAILURE() << "no exception";
  } catch (const LauncherException& e) {
    EXPECT_STREQ("No such file or directory", e.getMessage().c_str());
  }
}

TEST(PlatformHintTest, SplitsTheVariableOnColonsKeepingEmptyPieces) {
  struct Case {
    const char* value;  // null: unset
    std::vector<std::string> pieces;
  } cases[] = {
      {"/a::/b:", {"/a", "", "/b", ""}},
      {"/only", {"/only"}},
      {":", {"", ""}},
      {"", {}},
      {nullptr, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value == nullptr ? "unset" : c.value);
    if (c.value == nullptr) {
      unsetenv("BV_TEST_HINT");
    } else {
      setenv("BV_TEST_HINT", c.value, 1);
    }
    StringDeque out;
    out.push_back("stale");
    PlatformImpl::getPlatformHint(out, "BV_TEST_HINT");
    EXPECT_EQ(c.pieces, toVector(out));
  }
  unsetenv("BV_TEST_HINT");
  StringDeque out;
  out.push_back("stale");
  PlatformImpl::getPlatformHint(out, "");
  EXPECT_TRUE(out.empty());

  StringDeque path;
  PlatformImpl::getPlatformJVMPaths(path);
  std::string joined;
  for (long i = 0; i < path.size(); ++i) joined += (i > 0 ? ":" : "") + std::string(path.at(i).c_str());
  EXPECT_EQ(getenv("PATH") != nullptr ? getenv("PATH") : "", joined);
}

TEST(PlatformFilesTest, PartitionsSeparatorAndExistence) {
  StringDeque partitions;
  partitions.push_back("kept");
  PlatformImpl::getJVMSearchPartitions(partitions);
  EXPECT_EQ((std::vector<std::string>{"kept", "/"}), toVector(partitions));
  EXPECT_STREQ("/", PlatformImpl::getPathSeparator().c_str());

  bvtest::TempDir dir;
  bvtest::writeFile(dir.file("file"), "x");
  ASSERT_EQ(0, symlink(dir.file("file").c_str(), dir.file("link").c_str()));
  ASSERT_EQ(0, symlink(dir.file("missing").c_str(), dir.file("dangling").c_str()));
  EXPECT_TRUE(PlatformImpl::fileExists(dir.file("file").c_str()));
  EXPECT_TRUE(PlatformImpl::fileExists(dir.path().c_str()));
  EXPECT_TRUE(PlatformImpl::fileExists(dir.file("link").c_str()));
  EXPECT_FALSE(PlatformImpl::fileExists(dir.file("dangling").c_str()));
  EXPECT_FALSE(PlatformImpl::fileExists(dir.file("missing").c_str()));
}

TEST(PlatformFilesTest, BigEndianIntegersKeepTheirSign) {
  struct Case {
    const char bytes[4];
    long asLong;
    short asShort;  // the first two bytes
  } cases[] = {
      {{0x00, 0x00, 0x00, 0x01}, 1, 0},
      {{0x12, 0x34, 0x56, 0x78}, 0x12345678, 0x1234},
      {{'\xff', '\xff', '\xff', '\xff'}, -1, -1},
      {{'\x80', 0x00, 0x00, 0x00}, -2147483647L - 1, -32768},
      {{0x7f, '\xff', '\x80', 0x01}, 0x7fff8001, 32767},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asLong);
    char bytes[4] = {c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3]};
    EXPECT_EQ(c.asLong, PlatformImpl::convertToLong(bytes));
    EXPECT_EQ(c.asShort, PlatformImpl::convertToShort(bytes));
  }
}

TEST(PlatformFilesTest, WideTextConvertsUpToTheFirstCharacterTheLocaleLacks) {
  // The process runs in the C locale, which has only ASCII.
  EXPECT_STREQ("Setup 1.0", PlatformImpl::wideToMultiByte(L"Setup 1.0").c_str());
  EXPECT_STREQ("", PlatformImpl::wideToMultiByte(L"").c_str());
  EXPECT_STREQ("Caf", PlatformImpl::wideToMultiByte(L"Caf\u00e9 Noir").c_str());
  EXPECT_STREQ("", PlatformImpl::wideToMultiByte(nullptr).c_str());
}

}  // namespace
