#include "archive/launcher_input_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "tagfile/tag_file.h"
#include "tests/archive/archive_test_util.h"
#include "tests/test_util.h"

namespace {

const char kDamaged[] = "The launcher file is damaged or incomplete. Download it again.";

using bvtest::bigEndian;
using bvtest::indexEntryBytes;

// The message of the LauncherException that f throws, or "no exception".
template <class F>
std::string thrownMessage(F f) {
  try {
    f();
  } catch (const LauncherException& e) {
    return e.getMessage().c_str();
  }
  return "no exception";
}

class LauncherInputFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { resetLog(); }
  void TearDown() override { resetLog(); }

  // A tag file of exactly length bytes (length >= 8).
  std::string tagFileText(size_t length) {
    return "DESC: " + std::string(length - 7, 'x') + "\n";
  }
  // Loads the launcher at path into files.
  void loadLauncher(const std::string& path, LauncherInputFiles& files, bool parse = false) {
    files.load(path.c_str(), parse);
  }

  bvtest::TempDir dir;
};

// The launcher of the worked example: an image of 336996 bytes, then four
// files back to back, the index at 339612, 339745 bytes in all (written
// without the digest block, as the format defines the layout).
TEST_F(LauncherInputFilesTest, WorkedExampleLoadsFourEntriesAndListsThem) {
  bvtest::writeFile(dir.file("stub"), std::string(336996, '\x7f'));
  bvtest::writeFile(dir.file("instructions.txt"), tagFileText(174));
  bvtest::writeFile(dir.file("Verify.jar"), std::string(1009, 'J'));
  bvtest::writeFile(dir.file("launch.txt"), tagFileText(753));
  bvtest::writeFile(dir.file("apple_macosx_14X.jvm"), tagFileText(680));
  std::string launcher = dir.file("launcher");
  std::string out;
  ASSERT_EQ(0, bvtest::runBvpack({"--stub", dir.file("stub"), "--no-digest", "-o", launcher,
                                  "instructions:" + dir.file("instructions.txt"),
                                  "verify-jar:" + dir.file("Verify.jar"),
                                  "launch-script:" + dir.file("launch.txt"),
                                  "jvm:" + dir.file("apple_macosx_14X.jvm")},
                                 &out))
      << out;
  std::string bytes = bvtest::readFile(launcher);
  ASSERT_EQ(339745u, bytes.size());
  // Trailer: purpose 0, index offset 339612, CA 82 CA 82.
  EXPECT_EQ(std::string("\x00\x00\x05\x2E\x9C\xCA\x82\xCA\x82", 9), bytes.substr(bytes.size() - 9));
  // The file count, then the first entry's 32 bytes.
  EXPECT_EQ(bigEndian(4, 4) + std::string("\x00\x00\x00\x00\x00\x00\x00\x00\xAE\x00\x05\x24\x64\x00\x10", 15) +
                "instructions.txt" + std::string(1, '\0'),
            bytes.substr(339612, 36));

  setLogFileName(dir.file("log").c_str());
  LauncherInputFiles files;
  loadLauncher(launcher, files);
  ASSERT_TRUE(files.areInternalFilesLoaded());
  ASSERT_EQ(4, files.getEmbeddedFileCount());
  struct Expected {
    long type, id, length, offset;
    const char* name;
  } expected[] = {{0, 0, 174, 336996, "instructions.txt"},
                  {5, 1, 1009, 337170, "Verify.jar"},
                  {2, 2, 753, 338179, "launch.txt"},
                  {1, 3, 680, 338932, "apple_macosx_14X.jvm"}};
  std::string listing = "------------------\n";
  for (long i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const FileIndexEntry* entry = files.getFileAt(i);
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ(expected[i].type, entry->getFileType());
    EXPECT_EQ(expected[i].id, entry->getFileId());
    EXPECT_EQ(expected[i].length, entry->getFileLength());
    EXPECT_EQ(expected[i].offset, entry->getOffsetToBytes());
    EXPECT_STREQ(expected[i].name, entry->getFileName().c_str());
    EXPECT_FALSE(entry->isCompressed());
    EXPECT_EQ(0, entry->getDecompressedFileCount());
    EXPECT_EQ(nullptr, entry->getTagFile());
    EXPECT_EQ(expected[i].type <= 2, entry->isTagFile());
    EXPECT_EQ(entry, files.getFile(expected[i].id));
    listing += "file type: " + std::to_string(expected[i].type) +
               "\n  file id: " + std::to_string(expected[i].id) +
               "\n  length: " + std::to_string(expected[i].length) +
               "\n  offset: " + std::to_string(expected[i].offset) +
               "\n  file name: " + expected[i].name + "\n";
  }
  EXPECT_EQ(listing, bvtest::readFile(dir.file("log")));
  EXPECT_EQ(nullptr, files.getFileAt(-1));
  EXPECT_EQ(nullptr, files.getFileAt(4));
  EXPECT_EQ(nullptr, files.getFile(4));
  EXPECT_EQ(nullptr, files.getFile(-1));
}

TEST_F(LauncherInputFilesTest, AFileWithoutTheIdentificationLoadsNothingWithoutError) {
  const std::string cases[] = {
      std::string("#!/bin/sh\nexit 0\n"),
      std::string("12345678"),  // exactly 8 bytes
      // A real index with the last byte changed.
      bigEndian(0, 4) + bigEndian(0, 1) + bigEndian(0, 4) + std::string("\xCA\x82\xCA\x83", 4),
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes);
    bvtest::writeFile(dir.file("plain"), bytes);
    LauncherInputFiles files;
    loadLauncher(dir.file("plain"), files, true);
    EXPECT_TRUE(files.areInternalFilesLoaded());
    EXPECT_EQ(0, files.getEmbeddedFileCount());
    EXPECT_EQ(nullptr, files.getFileAt(0));
  }
}

TEST_F(LauncherInputFilesTest, AnEmptyIndexLogsNothingAndTheFileIsReadOnce) {
  std::string launcher = dir.file("empty");
  ASSERT_EQ(0, bvtest::runBvpack({"-o", launcher}));
  setLogFileName(dir.file("log").c_str());
  LauncherInputFiles files;
  loadLauncher(launcher, files);
  EXPECT_TRUE(files.areInternalFilesLoaded());
  EXPECT_EQ(0, files.getEmbeddedFileCount());
  EXPECT_FALSE(bvtest::pathExists(dir.file("log")));

  // Once loaded, a second load does not look at the file at all.
  EXPECT_EQ("no exception", thrownMessage([&] { files.load(dir.file("missing").c_str(), true); }));
}

TEST_F(LauncherInputFilesTest, TagFilesAreParsedOnlyWhenAsked) {
  bvtest::writeFile(dir.file("instructions.txt"), "INITIALIZE_UI:  1\n");
  bvtest::writeFile(dir.file("app.jar"), "PK");
  std::string launcher = dir.file("launcher");
  ASSERT_EQ(0, bvtest::runBvpack({"-o", launcher, "0:" + dir.file("instructions.txt"),
                                  "3:" + dir.file("app.jar")}));
  LauncherInputFiles unparsed;
  loadLauncher(launcher, unparsed, false);
  ASSERT_EQ(2, unparsed.getEmbeddedFileCount());
  EXPECT_EQ(nullptr, unparsed.getFileAt(0)->getTagFile());
  // Already read: asking again for the tag files reads nothing.
  unparsed.load(launcher.c_str(), true);
  EXPECT_EQ(nullptr, unparsed.getFileAt(0)->getTagFile());

  // The embedded tag file is read from its own stretch of the launcher.
  FILE* file = fopen(launcher.c_str(), "rb");
  ASSERT_NE(nullptr, file);
  unparsed.getFileAt(0)->loadTagFile(file);
  unparsed.getFileAt(1)->loadTagFile(file);
  fclose(file);
  ASSERT_NE(nullptr, unparsed.getFileAt(0)->getTagFile());
  EXPECT_STREQ("1", unparsed.getFileAt(0)->getTagFile()->getTagValue("INITIALIZE_UI", 0).c_str());
  EXPECT_STREQ("instructions.txt", unparsed.getFileAt(0)->getTagFile()->getName().c_str());
  EXPECT_EQ(nullptr, unparsed.getFileAt(1)->getTagFile());
}

TEST_F(LauncherInputFilesTest, ASyntaxErrorInAnEmbeddedTagFileNamesTheEntry) {
  bvtest::writeFile(dir.file("script.txt"), "A:  1\nB:  2\n");
  std::string launcher = dir.file("launcher");
  ASSERT_EQ(0, bvtest::runBvpack({"--no-digest", "-o", launcher, "--name", "instructions.txt",
                                  "0:" + dir.file("script.txt")}));
  // Damage the second line after packing: "B:" becomes "B;" (a launcher
  // with digests would refuse the damaged file as a whole).
  std::string bytes = bvtest::readFile(launcher);
  size_t at = bytes.find("B:  2\n");
  ASSERT_NE(std::string::npos, at);
  bytes[at + 1] = ';';
  bvtest::writeFile(launcher, bytes);
  LauncherInputFiles files;
  EXPECT_EQ("Syntax error in instructions.txt at line 2 ==> Missing colon at the end of the tag name.",
            thrownMessage([&] { loadLauncher(launcher, files, true); }));
  EXPECT_FALSE(files.areInternalFilesLoaded());
}

TEST_F(LauncherInputFilesTest, TrailerAndIndexOffsetErrors) {
  std::string launcher = dir.file("launcher");
  bvtest::writeFile(dir.file("a.jar"), "abc");
  bvtest::writeFile(dir.file("stub"), "#!/bin/sh\n");
  ASSERT_EQ(0, bvtest::runBvpack({"--stub", dir.file("stub"), "--no-digest", "-o", launcher,
                                  "3:" + dir.file("a.jar")}));
  std::string good = bvtest::readFile(launcher);
  std::string body = good.substr(0, good.size() - 8);  // up to the purpose byte
  const std::string id = "\xCA\x82\xCA\x82";
  struct Case {
    const char* what;
    std::string bytes;  // empty: no file at all
    const char* message;
  } cases[] = {
      {"missing file", "", "Cannot open launcher file."},
      {"seven bytes", "\xCA\x82\xCA\x82\xCA\x82\xCA", "Invalid launcher format."},
      {"negative index offset", body + bigEndian(-1, 4) + id, "Invalid file index offset."},
      {"index offset past the end", body + bigEndian(good.size() + 10, 4) + id,
       "Unable to read the file count."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bvtest::removeTree(launcher);
    if (!c.bytes.empty()) bvtest::writeFile(launcher, c.bytes);
    LauncherInputFiles files;
    EXPECT_EQ(c.message, thrownMessage([&] { loadLauncher(launcher, files); }));
    EXPECT_FALSE(files.areInternalFilesLoaded());
  }

  // An index offset that points at the identification value reads a
  // negative file count there, an empty index that ends inside the
  // trailer: not a whole file.
  bvtest::writeFile(launcher, body + bigEndian(good.size() - 4, 4) + id);
  LauncherInputFiles files;
  EXPECT_EQ(kDamaged, thrownMessage([&] { loadLauncher(launcher, files); }));
  EXPECT_EQ(0, files.getEmbeddedFileCount());
}

TEST_F(LauncherInputFilesTest, DamagedIndexBytesLoadOrFailCleanly) {
  bvtest::writeFile(dir.file("a.jar"), "abc");
  bvtest::writeFile(dir.file("s.txt"), "A:  1\n");
  std::string launcher = dir.file("launcher");
  bvtest::writeFile(dir.file("stub"), "#!/bin/sh\n");
  ASSERT_EQ(0, bvtest::runBvpack({"--stub", dir.file("stub"), "--no-digest", "-o", launcher, "--compressed", "1",
                                  "2", "3:" + dir.file("a.jar"),
                                  "0:" + dir.file("s.txt"), "7:" + dir.file("a.jar")}));
  const std::string good = bvtest::readFile(launcher);
  const size_t indexStart = good.size() - 9 - 4 - 3 * 16 - 5 - 5 - 8 - 5;
  std::mt19937 random(20261210);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = good;
    for (int n = 1 + round % 4; n > 0; --n) {
      size_t at = indexStart + random() % (bytes.size() - indexStart - 4);
      bytes[at] = static_cast<char>(random());
    }
    bvtest::writeFile(launcher, bytes);
    LauncherInputFiles files;
    std::string message = thrownMessage([&] { loadLauncher(launcher, files); });
    SCOPED_TRACE(message);
    // Whatever loads names files inside the target directory.
    for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
      std::string name = files.getFileAt(i)->getFileName().c_str();
      EXPECT_TRUE(!name.empty() && name != "." && name != ".." &&
                  name.find_first_of("/\n") == std::string::npos)
          << name;
    }
  }
}

// A stream that claims to be size bytes long but delivers only its first
// available bytes: reads past them find the end of the file.
struct ShortStream {
  std::string bytes;
  long size;
  long pos;
};

ssize_t shortRead(void* cookie, char* buffer, size_t n) {
  ShortStream* s = static_cast<ShortStream*>(cookie);
  long available = static_cast<long>(s->bytes.size()) - s->pos;
  if (available <= 0) return 0;
  size_t count = n < static_cast<size_t>(available) ? n : static_cast<size_t>(available);
  s->bytes.copy(buffer, count, static_cast<size_t>(s->pos));
  s->pos += static_cast<long>(count);
  return static_cast<ssize_t>(count);
}

int shortSeek(void* cookie, off64_t* offset, int whence) {
  ShortStream* s = static_cast<ShortStream*>(cookie);
  long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? s->pos : s->size;
  if (base + *offset < 0) return -1;
  s->pos = static_cast<long>(base + *offset);
  *offset = s->pos;
  return 0;
}

TEST_F(LauncherInputFilesTest, TrailerFieldsThatCannotBeRead) {
  struct Case {
    long delivered;  // bytes of the trailer that arrive
    const char* message;
  } cases[] = {{2, "Unable to read file index offset."},
               {6, "Unable to read launcher identification value."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.delivered);
    // A 20-byte file whose last 8 bytes are the index offset and the id.
    ShortStream stream{std::string(12, 'x') + std::string(c.delivered, '\0'), 20, 0};
    cookie_io_functions_t io = {shortRead, nullptr, shortSeek, nullptr};
    FILE* file = fopencookie(&stream, "rb", io);
    ASSERT_NE(nullptr, file);
    long indexOffset = 0;
    EXPECT_EQ(c.message, thrownMessage([&] { LauncherInputFiles::readTrailer(file, indexOffset); }));
    fclose(file);
  }
}

// Reads index bytes given by hand with loadFileIndex.
class FileIndexBytesTest : public ::testing::Test {
 protected:
  // The message that loading bytes as an index throws, or "no exception".
  std::string load(const std::string& bytes) {
    // One byte before the index, so that even an empty index has a buffer.
    m_bytes = "#" + bytes;
    FILE* file = fmemopen(&m_bytes[0], m_bytes.size(), "rb");
    std::string message = thrownMessage([&] { m_files.loadFileIndex(file, 1); });
    fclose(file);
    return message;
  }
  LauncherInputFiles m_files;
  std::string m_bytes;
};


TEST_F(FileIndexBytesTest, EachMissingOrInvalidFieldHasItsMessage) {
  const std::string count1 = bigEndian(1, 4);
  const std::string head = count1 + bigEndian(3, 1) + bigEndian(7, 4) + bigEndian(10, 4) +
                           bigEndian(20, 4);  // type, id, length, offset
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"no file count", "", "Unable to read the file count."},
      {"three count bytes", bigEndian(1, 3), "Unable to read the file count."},
      {"no type byte", count1, "Invalid file type in file index."},
      {"type 10", count1 + bigEndian(10, 1) + std::string(20, '\0'), "Invalid file type in file index."},
      {"type 255", count1 + bigEndian(255, 1) + std::string(20, '\0'), "Invalid file type in file index."},
      {"short id", count1 + bigEndian(0, 1) + bigEndian(7, 3), "Unable to load file id."},
      {"short length", count1 + bigEndian(0, 1) + bigEndian(7, 4) + bigEndian(1, 2),
       "Unable to load file length."},
      {"short offset", head.substr(0, head.size() - 1), "Unable to load offset to file bytes."},
      {"short name length", head + bigEndian(4, 1), "Unable to load the string value."},
      {"short name", head + bigEndian(4, 2) + "abc", "Unable to load the string value."},
      {"negative name length", head + bigEndian(-1, 2) + "abc" + bigEndian(0, 1),
       "Invalid file name length in file index."},
      {"empty name", head + bigEndian(0, 2) + bigEndian(0, 1), "Invalid file name in file index."},
      {"name of NULs", head + bigEndian(2, 2) + std::string(2, '\0') + bigEndian(0, 1),
       "Invalid file name in file index."},
      {"name .", head + bigEndian(1, 2) + "." + bigEndian(0, 1), "Invalid file name in file index."},
      {"name ..", head + bigEndian(2, 2) + ".." + bigEndian(0, 1), "Invalid file name in file index."},
      {"name with a slash", head + bigEndian(5, 2) + "../up" + bigEndian(0, 1),
       "Invalid file name in file index."},
      {"absolute name", head + bigEndian(7, 2) + "/etc/pw" + bigEndian(0, 1),
       "Invalid file name in file index."},
      {"name with a line feed", head + bigEndian(3, 2) + "a\nb" + bigEndian(0, 1),
       "Invalid file name in file index."},
      {"no decompressed count", head + bigEndian(1, 2) + "a" + bigEndian(1, 1) + bigEndian(0, 2),
       "Unable to load decompressed file count."},
      {"no decompressed size", head + bigEndian(1, 2) + "a" + bigEndian(1, 1) + bigEndian(2, 4),
       "Unable to load decompressed size."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.message, load(c.bytes));
  }
}

TEST_F(FileIndexBytesTest, EntriesReadBeforeAnErrorStay) {
  EXPECT_EQ("Invalid file type in file index.",
            load(bigEndian(3, 4) + indexEntryBytes(6, 5, 1, 2, "app.jar") + bigEndian(10, 1)));
  ASSERT_EQ(1, m_files.getEmbeddedFileCount());
  EXPECT_STREQ("app.jar", m_files.getFileAt(0)->getFileName().c_str());
}

TEST_F(FileIndexBytesTest, CountsOfZeroOrBelowGiveAnEmptyIndex) {
  for (long count : {0L, -1L, -2147483647L - 1}) {
    SCOPED_TRACE(count);
    EXPECT_EQ("no exception", load(bigEndian(count, 4) + indexEntryBytes(0, 0, 0, 0, "x")));
    EXPECT_EQ(0, m_files.getEmbeddedFileCount());
  }
}

TEST_F(FileIndexBytesTest, FlagsNamesAndSignedFieldsReadBackExactly) {
  std::string bytes = bigEndian(5, 4) +
                      // compressed: 8 more bytes
                      indexEntryBytes(3, 10, 100, 200, "lib.jar", 1, 12, 34567) +
                      // flag 2: not compressed, no counts follow
                      indexEntryBytes(4, -2, 2147483647, 0, "setup.bin", 2) +
                      // a NUL ends the name, but all 8 name bytes are consumed
                      indexEntryBytes(7, 0, 0, 5, std::string("abc\0\ndef", 8)) +
                      // the name is not cut at a carriage return or blank
                      indexEntryBytes(5, 3, 1, 2, "a b\r") +
                      indexEntryBytes(2, 10, 1, 2, "again.txt", 1, -1, -2);
  ASSERT_EQ("no exception", load(bytes));
  ASSERT_EQ(5, m_files.getEmbeddedFileCount());
  const FileIndexEntry* e = m_files.getFileAt(0);
  EXPECT_TRUE(e->isCompressed());
  EXPECT_EQ(12, e->getDecompressedFileCount());
  EXPECT_EQ(34567, e->getDecompressedSize());
  e = m_files.getFileAt(1);
  EXPECT_EQ(4, e->getFileType());
  EXPECT_EQ(-2, e->getFileId());
  EXPECT_EQ(2147483647, e->getFileLength());
  EXPECT_FALSE(e->isCompressed());
  EXPECT_EQ(0, e->getDecompressedFileCount());
  EXPECT_STREQ("setup.bin", e->getFileName().c_str());
  EXPECT_STREQ("abc", m_files.getFileAt(2)->getFileName().c_str());
  EXPECT_EQ(5, m_files.getFileAt(2)->getOffsetToBytes());
  EXPECT_STREQ("a b\r", m_files.getFileAt(3)->getFileName().c_str());
  e = m_files.getFileAt(4);
  EXPECT_EQ(-1, e->getDecompressedFileCount());
  EXPECT_EQ(-2, e->getDecompressedSize());
  // Two entries share id 10: the first in index order is found.
  EXPECT_EQ(m_files.getFileAt(0), m_files.getFile(10));
  EXPECT_EQ(m_files.getFileAt(1), m_files.getFile(-2));
}

}  // namespace
