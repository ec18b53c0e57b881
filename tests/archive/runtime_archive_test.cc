// The runtime entry's reader on crafted entries: what it unpacks and keeps,
// and the hostile or damaged member lists it refuses.
#include "archive/runtime_archive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/test_util.h"

namespace {

using bvtest::TempDir;

// The entry bytes of a member list: header with its digest, one frame.
std::string entryOf(const std::string& stream, int use = RUNTIME_USE_FALLBACK) {
  XXH128_hash_t digest = XXH3_128bits(stream.data(), stream.size());
  RuntimeHeader header;
  header.digestHigh = digest.high64;
  header.digestLow = digest.low64;
  header.use = static_cast<RuntimeUse>(use);
  std::string frame(ZSTD_compressBound(stream.size()), '\0');
  size_t n = ZSTD_compress(&frame[0], frame.size(), stream.data(), stream.size(), 3);
  frame.resize(n);
  return encodeRuntimeHeader(header) + frame;
}

std::string member(char kind, int mode, const std::string& name, const std::string& data = "") {
  std::string stream;
  appendRuntimeMember(stream, kind, mode, name, data);
  return stream;
}

std::string ended(const std::string& members) {
  std::string stream = members;
  appendRuntimeEnd(stream);
  return stream;
}

class RuntimeArchiveTest : public ::testing::Test {
 protected:
  // Unpacks entry bytes into a new folder "out"; the error message, or "".
  std::string unpack(const std::string& entry) {
    std::string file = dir.file("entry");
    bvtest::writeFile(file, std::string(7, 'x') + entry + "tail");  // at an offset, like in a launcher
    out = dir.file("out" + std::to_string(++count));
    mkdir(out.c_str(), 0700);
    int fd = open(file.c_str(), O_RDONLY);
    std::string message;
    long steps = 0;
    try {
      unpackRuntimeArchive(fd, 7, static_cast<long>(entry.size()), out, [&](long n) { steps += n; },
                           [] { return false; });
    } catch (const LauncherException& e) {
      message = e.getMessage().c_str();
    }
    close(fd);
    progressSteps = steps;
    return message;
  }

  TempDir dir;
  std::string out;
  int count = 0;
  long progressSteps = 0;
};

TEST_F(RuntimeArchiveTest, UnpacksFoldersFilesAndLinksWithTheirModes) {
  std::string big(3 * runtimeProgressStep + 5, 'b');
  std::string stream = ended(member('d', 0777, "bin") + member('f', 0775, "bin/java", "#!/bin/sh\n") +
                             member('d', 0700, "lib") + member('f', 0666, "lib/modules", big) +
                             member('l', 0777, "lib/link", "../bin/java") + member('l', 0777, "top", "lib"));
  ASSERT_EQ("", unpack(entryOf(stream)));
  EXPECT_EQ((std::vector<std::string>{"bin", "lib", "top"}), bvtest::listDir(out));
  EXPECT_EQ(big, bvtest::readFile(out + "/lib/modules"));
  EXPECT_EQ("#!/bin/sh\n", bvtest::readFile(out + "/lib/link"));
  struct stat st;
  ASSERT_EQ(0, stat((out + "/bin/java").c_str(), &st));
  EXPECT_EQ(0555u, st.st_mode & 07777);
  ASSERT_EQ(0, stat((out + "/lib/modules").c_str(), &st));
  EXPECT_EQ(0444u, st.st_mode & 07777);
  ASSERT_EQ(0, stat((out + "/lib").c_str(), &st));
  EXPECT_EQ(0755u, st.st_mode & 07777);
  EXPECT_EQ(3, progressSteps);

  // The header tells how the runtime is used.
  RuntimeHeader header;
  std::string always = entryOf(stream, RUNTIME_USE_ALWAYS);
  ASSERT_TRUE(parseRuntimeHeader(reinterpret_cast<const unsigned char*>(always.data()), header));
  EXPECT_EQ(RUNTIME_USE_ALWAYS, header.use);
  EXPECT_EQ(32u, header.digestText().size());
}

TEST_F(RuntimeArchiveTest, HostileMembersAreRefused) {
  const std::string unsafe = "The Java runtime in the launcher file holds an unsafe member ";
  const std::string leaves = "its name leaves the runtime's folder.";
  const std::string outside = "its link points out of the runtime's folder.";
  struct Case {
    const char* what;
    std::string members;
    std::string message;
  };
  std::vector<Case> cases = {
      {"absolute name", member('f', 0644, "/tmp/evil", "x"), unsafe + "\"/tmp/evil\": " + leaves},
      {"dot-dot name", member('f', 0644, "../evil", "x"), unsafe + "\"../evil\": " + leaves},
      {"dot-dot inside a name", member('d', 0755, "a") + member('f', 0644, "a/../../evil", "x"),
       unsafe + "\"a/../../evil\": " + leaves},
      {"dot part", member('f', 0644, "./a", "x"), unsafe + "\"./a\": " + leaves},
      {"empty part", member('d', 0755, "a") + member('f', 0644, "a//b", "x"), unsafe + "\"a//b\": " + leaves},
      {"trailing slash", member('d', 0755, "a/"), unsafe + "\"a/\": " + leaves},
      {"line feed", member('f', 0644, "a\nb", "x"), unsafe + "\"a\nb\": " + leaves},
      {"absolute link", member('l', 0777, "etc", "/etc"), unsafe + "\"etc\": " + outside},
      {"link climbing out", member('d', 0755, "a") + member('l', 0777, "a/up", "../.."),
       unsafe + "\"a/up\": " + outside},
      {"link climbing after a name", member('l', 0777, "me", ".") + member('l', 0777, "x", "me/me/.."),
       unsafe + "\"me\": " + outside},
      {"dot-dot after a name", member('d', 0755, "a") + member('l', 0777, "b", "a/../.."),
       unsafe + "\"b\": " + outside},
      {"file through a link", member('d', 0755, "real") + member('l', 0777, "via", "real") +
                                  member('f', 0644, "via/file", "x"),
       unsafe + "\"via/file\": it lies under something that is not a folder."},
      {"file under a missing folder", member('f', 0644, "nowhere/file", "x"),
       unsafe + "\"nowhere/file\": its folder was not made before it."},
      {"a member twice", member('f', 0644, "a", "x") + member('f', 0644, "a", "y"),
       unsafe + "\"a\": it is there twice."},
      {"a link over a file", member('f', 0644, "a", "x") + member('l', 0777, "a", "b"),
       unsafe + "\"a\": it is there twice."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.message, unpack(entryOf(ended(c.members))));
  }
  // Nothing was written outside the folders.
  EXPECT_FALSE(bvtest::pathExists(dir.file("evil")));
  EXPECT_FALSE(bvtest::pathExists("/tmp/evil"));
}

TEST_F(RuntimeArchiveTest, DamagedEntriesAreRefused) {
  const std::string damaged = "The launcher file is damaged or incomplete. Download it again.";
  std::string stream = ended(member('f', 0644, "a", std::string(100000, 'a')));
  std::string good = entryOf(stream);
  ASSERT_EQ("", unpack(good));

  std::string wrongDigest = good;
  wrongDigest[10] ^= 1;
  std::string flipped = good;
  flipped[good.size() / 2] ^= 0x40;
  std::string badUse = good;
  badUse[24] = 7;
  XXH128_hash_t digest = XXH3_128bits(stream.data(), stream.size());
  RuntimeHeader header;
  header.digestHigh = digest.high64;
  header.digestLow = digest.low64;
  std::string twoFrames = good + entryOf(stream).substr(runtimeHeaderSize);
  struct Case {
    const char* what;
    std::string entry;
  };
  std::vector<Case> cases = {
      {"another digest", wrongDigest},
      {"a flipped byte", flipped},
      {"cut short", good.substr(0, good.size() - 9)},
      {"only the header", good.substr(0, runtimeHeaderSize)},
      {"shorter than the header", good.substr(0, 20)},
      {"no end member", entryOf(member('f', 0644, "a", "x"))},
      {"bytes after the end member", entryOf(stream + "x")},
      {"a second frame", twoFrames},
      {"an unknown kind", entryOf(ended(member('x', 0644, "a")))},
      {"mode bits beyond 0777", entryOf(ended(member('f', 04755, "a", "x")))},
      {"use byte 7", badUse},
      {"no frame", encodeRuntimeHeader(header) + stream},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(damaged, unpack(c.entry));
  }
}

TEST(RuntimeLinkTargetTest, TargetsStayInsideTheImage) {
  EXPECT_TRUE(isSafeRuntimeLinkTarget("lib/a", "../bin/java"));
  EXPECT_TRUE(isSafeRuntimeLinkTarget("lib/a", "b/c"));
  EXPECT_TRUE(isSafeRuntimeLinkTarget("a/b/c", "../../d"));
  EXPECT_FALSE(isSafeRuntimeLinkTarget("a/b/c", "../../../d"));
  EXPECT_FALSE(isSafeRuntimeLinkTarget("a", "../a"));
  EXPECT_FALSE(isSafeRuntimeLinkTarget("a/b", "c/../d"));
  EXPECT_FALSE(isSafeRuntimeLinkTarget("a", "/a"));
  EXPECT_FALSE(isSafeRuntimeLinkTarget("a", ""));
  EXPECT_FALSE(isSafeRuntimeLinkTarget("a/b", "./c"));
}

}  // namespace
