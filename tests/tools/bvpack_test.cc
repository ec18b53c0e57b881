// bvpack, driven as a program: what it writes, what it lists and what it
// refuses.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/test_util.h"

namespace {

using bvtest::bigEndian;
using bvtest::runBvpack;

class BvpackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bvtest::writeFile(dir.file("stub"), "STUB");
    bvtest::writeFile(dir.file("script.txt"), "INITIALIZE_UI:  1\n");
    bvtest::writeFile(dir.file("lib.jar"), "PK\x03\x04");
  }
  // The names in the temp directory other than the inputs made by SetUp.
  std::vector<std::string> leftovers() {
    std::string listing;
    bvtest::runShell("ls -A " + bvtest::shellQuote(dir.path()), &listing);
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos < listing.size()) {
      size_t end = listing.find('\n', pos);
      std::string name = listing.substr(pos, end - pos);
      if (name != "stub" && name != "script.txt" && name != "lib.jar") names.push_back(name);
      pos = end == std::string::npos ? listing.size() : end + 1;
    }
    return names;
  }

  bvtest::TempDir dir;
};

// The SHA-256 of bytes, as coreutils' sha256sum computes it.
std::string sha256(const std::string& bytes) {
  bvtest::TempDir scratch;
  bvtest::writeFile(scratch.file("bytes"), bytes);
  std::string hex;
  if (bvtest::runShell("sha256sum " + bvtest::shellQuote(scratch.file("bytes")), &hex) != 0 || hex.size() < 64) {
    return "?";
  }
  std::string digest;
  for (size_t i = 0; i < 64; i += 2) digest += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return digest;
}

TEST_F(BvpackTest, WritesTheDocumentedLayoutAndAnExecutableFile) {
  std::string out;
  std::vector<std::string> entries = {"0:" + dir.file("script.txt"), "--id", "-7", "--name", "app.jar",
                                      "--compressed", "3", "4096", "classpath-jar:" + dir.file("lib.jar")};
  std::vector<std::string> plain = {"--stub", dir.file("stub"), "--purpose", "2", "--no-digest", "-o",
                                    dir.file("plain")};
  plain.insert(plain.end(), entries.begin(), entries.end());
  ASSERT_EQ(0, runBvpack(plain, &out)) << out;
  std::string index = bigEndian(2, 4) + bvtest::indexEntryBytes(0, 0, 18, 4, "script.txt") +
                      bvtest::indexEntryBytes(3, -7, 4, 22, "app.jar", 1, 3, 4096);
  std::string trailer = bigEndian(2, 1) + bigEndian(26, 4) + "\xCA\x82\xCA\x82";
  std::string payload = "STUB" + std::string("INITIALIZE_UI:  1\n") + "PK\x03\x04";
  EXPECT_EQ(payload + index + trailer, bvtest::readFile(dir.file("plain")));

  // By default the digest block comes between the index and the trailer:
  // the SHA-256 of the stub and of each file, then that of everything from
  // the index on, the index digest itself left out.
  std::vector<std::string> sealed = {"--stub", dir.file("stub"), "--purpose", "2", "-o", dir.file("l")};
  sealed.insert(sealed.end(), entries.begin(), entries.end());
  ASSERT_EQ(0, runBvpack(sealed, &out)) << out;
  std::string head = "BVDG" + bigEndian(1, 1) + bigEndian(4, 4) + sha256("STUB") +
                     sha256("INITIALIZE_UI:  1\n") + sha256(std::string("PK\x03\x04"));
  std::string end = bigEndian(81 + 2 * 32, 4) + "BVDG";
  std::string indexDigest = sha256(index + head + end + trailer);
  ASSERT_EQ(32u, indexDigest.size());
  EXPECT_EQ(payload + index + head + indexDigest + end + trailer, bvtest::readFile(dir.file("l")));
  struct stat st;
  ASSERT_EQ(0, stat(dir.file("l").c_str(), &st));
  EXPECT_EQ(0755, st.st_mode & 07777);
  EXPECT_EQ((std::vector<std::string>{"l", "plain"}), leftovers());
}

// The default stub is the build's stripped copy of bvlauncher: the same
// program without its symbols and debug information, a fraction of its size.
TEST_F(BvpackTest, SameInputsGiveTheSameBytesAndTheDefaultStubIsTheStrippedBvlauncher) {
  std::vector<std::string> args = {"1:" + dir.file("script.txt"), "5:" + dir.file("lib.jar")};
  std::vector<std::string> first = {"-o", dir.file("a")}, second = {"-o", dir.file("b")};
  first.insert(first.end(), args.begin(), args.end());
  second.insert(second.end(), args.begin(), args.end());
  ASSERT_EQ(0, runBvpack(first));
  ASSERT_EQ(0, runBvpack(second));
  std::string a = bvtest::readFile(dir.file("a"));
  EXPECT_EQ(a, bvtest::readFile(dir.file("b")));
  std::string stub = bvtest::readFile(bvtest::binaryPath("bvlauncher-stripped"));
  ASSERT_FALSE(stub.empty());
  EXPECT_EQ(stub, a.substr(0, stub.size()));
  std::string full = bvtest::readFile(bvtest::binaryPath("bvlauncher"));
  EXPECT_LT(stub.size(), full.size());
  std::string sections;
  ASSERT_EQ(0, bvtest::runShell("LC_ALL=C readelf -S " + bvtest::shellQuote(dir.file("a")), &sections));
  EXPECT_EQ(std::string::npos, sections.find(".debug_info")) << sections;
  EXPECT_EQ(std::string::npos, sections.find(".symtab")) << sections;
  // Packing over an existing launcher replaces it.
  ASSERT_EQ(0, runBvpack({"--stub", dir.file("stub"), "--no-digest", "-o", dir.file("a")}));
  EXPECT_EQ("STUB" + bigEndian(0, 4) + bigEndian(0, 1) + bigEndian(4, 4) + "\xCA\x82\xCA\x82",
            bvtest::readFile(dir.file("a")));
}

TEST_F(BvpackTest, TypesByNameAndNumberAndTheListing) {
  const char* types[][2] = {
      {"instructions", "0"}, {"JVM", "1"},           {"FILE_LAUNCH_SCRIPT", "2"},
      {"classpath_jar", "3"}, {"jvm-installer", "4"}, {"Verify-Jar", "5"},
      {"application-archive", "6"}, {"embedded-launcher", "7"},
  };
  std::vector<std::string> byName = {"--stub", dir.file("stub"), "-o", dir.file("n")};
  std::vector<std::string> byNumber = {"--stub", dir.file("stub"), "-o", dir.file("m")};
  for (int i = 0; i < 8; ++i) {
    std::string file = i <= 2 ? dir.file("script.txt") : dir.file("lib.jar");
    std::string name = "f" + std::to_string(i);
    byName.insert(byName.end(), {"--name", name, std::string(types[i][0]) + ":" + file});
    byNumber.insert(byNumber.end(), {"--name", name, std::string(types[i][1]) + ":" + file});
  }
  std::string out;
  ASSERT_EQ(0, runBvpack(byName, &out)) << out;
  ASSERT_EQ(0, runBvpack(byNumber, &out)) << out;
  EXPECT_EQ(bvtest::readFile(dir.file("n")), bvtest::readFile(dir.file("m")));

  ASSERT_EQ(0, runBvpack({"--list", dir.file("n")}, &out));
  EXPECT_EQ(
      "launcher purpose: 0\n"
      "file index offset: 78\n"
      "file count: 8\n"
      "0 type 0 (instructions) id 0 length 18 offset 4 name f0\n"
      "1 type 1 (jvm) id 1 length 18 offset 22 name f1\n"
      "2 type 2 (launch-script) id 2 length 18 offset 40 name f2\n"
      "3 type 3 (classpath-jar) id 3 length 4 offset 58 name f3\n"
      "4 type 4 (jvm-installer) id 4 length 4 offset 62 name f4\n"
      "5 type 5 (verify-jar) id 5 length 4 offset 66 name f5\n"
      "6 type 6 (application-archive) id 6 length 4 offset 70 name f6\n"
      "7 type 7 (embedded-launcher) id 7 length 4 offset 74 name f7\n"
      "digests: SHA-256, executable image of 4 bytes, index and every file whole\n",
      out);
}

TEST_F(BvpackTest, CompressedFlagsAndTheirListing) {
  std::string out;
  ASSERT_EQ(0, runBvpack({"--stub", dir.file("stub"), "--no-digest", "-o", dir.file("l"), "--compressed", "2",
                          "100", "3:" + dir.file("lib.jar"), "--compressed-flag", "2", "--name",
                          "lib2.jar", "3:" + dir.file("lib.jar"), "--compressed-flag", "1",
                          "6:" + dir.file("lib.jar")},
                         &out))
      << out;
  // Flag 2 is stored as it is and adds no counts (a classpath archive with
  // it goes to the user's cache); flag 1 alone has counts 0.
  std::string bytes = bvtest::readFile(dir.file("l"));
  std::string index = bytes.substr(16, bytes.size() - 16 - 9);
  EXPECT_EQ(bigEndian(3, 4) + bvtest::indexEntryBytes(3, 0, 4, 4, "lib.jar", 1, 2, 100) +
                bvtest::indexEntryBytes(3, 1, 4, 8, "lib2.jar", 2) +
                bvtest::indexEntryBytes(6, 2, 4, 12, "lib.jar", 1, 0, 0),
            index);
  ASSERT_EQ(0, runBvpack({"--list", dir.file("l")}, &out));
  EXPECT_NE(std::string::npos, out.find("0 type 3 (classpath-jar) id 0 length 4 offset 4 name "
                                        "lib.jar compressed 2 files 100 bytes\n"));
  EXPECT_NE(std::string::npos, out.find("1 type 3 (classpath-jar) id 1 length 4 offset 8 name lib2.jar cached\n"));
}

TEST_F(BvpackTest, RefusesBadPayloadsAndLeavesNothingBehind) {
  bvtest::writeFile(dir.file("nocolon.txt"), "A:  1\nB 2\n");
  bvtest::writeFile(dir.file("noend.txt"), "A:\n  1\n");
  bvtest::writeFile(dir.file("quote.txt"), "A:  \"open\n");
  bvtest::writeFile(dir.file("nolf.txt"), "A:  1");
  const std::vector<std::string> inputs = leftovers();
  struct Case {
    std::vector<std::string> args;
    const char* message;  // what bvpack prints after "bvpack: "
  } cases[] = {
      {{"--name", "instructions.txt", "0:" + dir.file("nocolon.txt")},
       "Syntax error in instructions.txt at line 2 ==> Missing colon at the end of the tag name."},
      {{"2:" + dir.file("noend.txt")},
       "Syntax error in noend.txt at line 1 ==> Missing /: tag completer."},
      {{"1:" + dir.file("quote.txt")}, "Expected double quote to end argument near 5"},
      {{"0:" + dir.file("nolf.txt")}, "a tag file must end with a line feed"},
      {{"3:" + dir.file("missing.jar")}, "cannot read"},
      {{"3:" + dir.path()}, "not a regular file"},
      {{"--name", "..", "3:" + dir.file("lib.jar")}, "invalid stored name \"..\""},
      {{"--name", "a/b", "3:" + dir.file("lib.jar")}, "invalid stored name \"a/b\""},
      {{"--name", "a\nb", "3:" + dir.file("lib.jar")}, "invalid stored name"},
      {{"--name", std::string(32768, 'n'), "3:" + dir.file("lib.jar")}, "longer than 32767 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args = {"--stub", dir.file("stub"), "-o", dir.file("l")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::string out;
    EXPECT_EQ(1, runBvpack(args, &out));
    EXPECT_NE(std::string::npos, out.find(c.message)) << out;
    EXPECT_EQ(0u, out.find("bvpack: ")) << out;
    EXPECT_EQ(inputs, leftovers());
  }
}

// The output is written to a temporary file beside it and renamed into
// place; when the rename fails (the name is taken by a directory), the
// temporary file goes too.
TEST_F(BvpackTest, AFailedRenameLeavesNoTemporaryOutput) {
  ASSERT_EQ(0, mkdir(dir.file("taken").c_str(), 0755));
  bvtest::writeFile(dir.file("taken/inside"), "kept");
  std::string out;
  EXPECT_EQ(1, runBvpack({"--stub", dir.file("stub"), "-o", dir.file("taken"), "3:" + dir.file("lib.jar")}, &out));
  EXPECT_NE(std::string::npos, out.find("cannot create")) << out;
  EXPECT_EQ(std::vector<std::string>{"taken"}, leftovers());
  EXPECT_EQ("kept", bvtest::readFile(dir.file("taken/inside")));
}

TEST_F(BvpackTest, RefusesPayloadsPastSigned32BitOffsets) {
  // Sparse files: their size counts, not their disk use.
  std::string big = dir.file("big.bin");
  ASSERT_EQ(0, bvtest::runShell("truncate -s 2147483000 " + bvtest::shellQuote(big)));
  std::string out;
  // 4 + 2147483000 + 4 ends below 2^31 - 1: the index fits.
  // One more kilobyte does not.
  bvtest::writeFile(dir.file("kb.jar"), std::string(1024, 'k'));
  EXPECT_EQ(1, runBvpack({"--stub", dir.file("stub"), "-o", dir.file("l"), "6:" + big,
                          "3:" + dir.file("kb.jar")},
                         &out));
  EXPECT_NE(std::string::npos, out.find("signed 32-bit")) << out;
  ASSERT_EQ(0, bvtest::runShell("truncate -s 2147483648 " + bvtest::shellQuote(big)));
  EXPECT_EQ(1, runBvpack({"--stub", dir.file("stub"), "-o", dir.file("l"), "6:" + big}, &out));
  EXPECT_NE(std::string::npos, out.find("larger than 2147483647 bytes")) << out;
  unlink(big.c_str());
  unlink(dir.file("kb.jar").c_str());
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(BvpackTest, UsageErrorsExitWithTwo) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "no output file given"},
      {{"-o"}, "-o needs a value"},
      {{"-o", "x", "--bogus"}, "unknown option --bogus"},
      {{"-o", "x", "lib.jar"}, "is not TYPE:PATH"},
      {{"-o", "x", "10:lib.jar"}, "unknown file type \"10\""},
      {{"-o", "x", "jar:lib.jar"}, "unknown file type \"jar\""},
      {{"-o", "x", "--purpose", "256"}, "--purpose needs a number from 0 to 255"},
      {{"-o", "x", "--id", "2147483648", "3:lib.jar"}, "--id needs a number"},
      {{"-o", "x", "--compressed", "1", "-1", "3:lib.jar"}, "--compressed needs a number"},
      {{"-o", "x", "3:lib.jar", "--id", "4"}, "apply to no file"},
      {{"--list", "x", "3:lib.jar"}, "--list takes no other arguments"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::string out;
    EXPECT_EQ(2, runBvpack(c.args, &out));
    EXPECT_NE(std::string::npos, out.find(c.message)) << out;
  }
}

TEST_F(BvpackTest, ListRefusesFilesWithoutAnIndexOrWithADamagedOne) {
  std::string out;
  EXPECT_EQ(1, runBvpack({"--list", dir.file("stub")}, &out));
  EXPECT_NE(std::string::npos, out.find("carries no launcher archive")) << out;
  EXPECT_EQ(1, runBvpack({"--list", dir.file("missing")}, &out));
  EXPECT_NE(std::string::npos, out.find("cannot open")) << out;
  ASSERT_EQ(0, runBvpack({"--stub", dir.file("stub"), "--no-digest", "-o", dir.file("l"),
                          "3:" + dir.file("lib.jar")}));
  std::string bytes = bvtest::readFile(dir.file("l"));
  bytes[12] = 10;  // the first entry's type byte
  bvtest::writeFile(dir.file("l"), bytes);
  EXPECT_EQ(1, runBvpack({"--list", dir.file("l")}, &out));
  EXPECT_NE(std::string::npos, out.find("Invalid file type in file index.")) << out;
  ASSERT_EQ(0, runBvpack({"--stub", dir.file("stub"), "--no-digest", "-o", dir.file("p"),
                          "3:" + dir.file("lib.jar")}));
  EXPECT_EQ(0, runBvpack({"--list", dir.file("p")}, &out)) << out;
  EXPECT_NE(std::string::npos, out.find("\ndigests: none\n")) << out;

  // With digests every byte counts, the stub's and a compressed file's too.
  ASSERT_EQ(0, runBvpack({"--stub", dir.file("stub"), "-o", dir.file("d"), "3:" + dir.file("lib.jar"),
                          "--compressed", "1", "10", "6:" + dir.file("lib.jar")}));
  const std::string good = bvtest::readFile(dir.file("d"));
  ASSERT_EQ(0, runBvpack({"--list", dir.file("d")}, &out)) << out;
  struct Case {
    size_t at;
    const char* what;
  } cases[] = {{1, "the digest of the executable image differs"},
               {5, "the digest of lib.jar differs"},
               {9, "the digest of lib.jar differs"},
               {12, "the digest of the file index differs"},
               {good.size() - 9, "the digest of the file index differs"},  // the purpose byte
               {good.size() - 6, "the digest block does not fit the file"},  // the index offset
               // The block's last mark: no block, and the index does not end
               // at the trailer.
               {good.size() - 12, "the file index does not end where the trailer or digest block begins"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at);
    bytes = good;
    bytes[c.at] ^= 0x20;
    bvtest::writeFile(dir.file("d"), bytes);
    EXPECT_EQ(1, runBvpack({"--list", dir.file("d")}, &out));
    EXPECT_NE(std::string::npos,
              out.find("The launcher file is damaged or incomplete. Download it again. (" + std::string(c.what) + ")"))
        << out;
  }
}

TEST_F(BvpackTest, HelpExplainsEveryOptionAndType) {
  std::string out;
  ASSERT_EQ(0, runBvpack({"--help"}, &out));
  for (const char* word : {"--stub", "--purpose", "-o", "--list", "--id", "--name", "--compressed ",
                           "--compressed-flag", "TYPE:PATH", "instructions", "jvm",
                           "launch-script", "classpath-jar", "jvm-installer", "verify-jar",
                           "application-archive", "embedded-launcher", "line feed", "--main-class",
                           "--jar", "--min-java", "--java-option", "--emit", "--no-verify-jar",
                           "--no-digest"}) {
    EXPECT_NE(std::string::npos, out.find(word)) << word;
  }
}

}  // namespace
