// The runtime entry's reader on crafted entries: what it unpacks and keeps,
// and the hostile or damaged member lists it refuses.
#include "archive/runtime_archive.h"
#include "archive/runtime_entry_builder.h"

#include <fcntl.h>
#include <sched.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/test_util.h"

namespace {

using bvtest::TempDir;

// A member as the tests describe it: kind 'd', 'f' or 'l', mode, name,
// and a file's bytes or a link's target.
struct M {
  char kind;
  int mode;
  std::string name;
  std::string data;
};

// The entry bytes of a member list, as bvpack makes them.
std::string entryOf(const std::vector<M>& members, RuntimeUse use = RUNTIME_USE_FALLBACK,
                    const std::vector<RuntimeAnswer>& answers = std::vector<RuntimeAnswer>()) {
  RuntimeEntryBuilder builder(answers);
  for (const M& m : members) {
    if (m.kind == 'd') builder.addFolder(m.mode, m.name);
    if (m.kind == 'l') builder.addLink(m.name, m.data);
    if (m.kind == 'f') builder.addFileBytes(m.mode, m.name, m.data);
  }
  return builder.finish(use);
}

// An entry whose table bytes are given whole; the header's digest and
// length fit them, the pieces follow.
std::string entryWithTable(const std::string& table, const std::string& pieces = "") {
  XXH128_hash_t digest = XXH3_128bits(table.data(), table.size());
  RuntimeHeader header;
  header.digestHigh = digest.high64;
  header.digestLow = digest.low64;
  header.tableLength = static_cast<uint32_t>(table.size());
  return encodeRuntimeHeader(header) + table + pieces;
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
  // Larger than two pieces, so that its pieces are written on several
  // threads; its bytes differ along the way, so a piece written at the
  // wrong place shows.
  std::string big;
  for (long i = 0; big.size() < static_cast<size_t>(2 * runtimeChunkSize + 12345); ++i) {
    big += std::to_string(i * 7919) + ",";
  }
  std::vector<M> members = {{'d', 0777, "bin", ""},          {'f', 0775, "bin/java", "#!/bin/sh\n"},
                            {'d', 0700, "lib", ""},          {'f', 0666, "lib/modules", big},
                            {'f', 0644, "lib/empty", ""},    {'l', 0777, "lib/link", "../bin/java"},
                            {'l', 0777, "top", "lib"}};
  ASSERT_EQ("", unpack(entryOf(members)));
  EXPECT_EQ((std::vector<std::string>{"bin", "lib", "top"}), bvtest::listDir(out));
  EXPECT_EQ(big, bvtest::readFile(out + "/lib/modules"));
  EXPECT_EQ("", bvtest::readFile(out + "/lib/empty"));
  EXPECT_EQ("#!/bin/sh\n", bvtest::readFile(out + "/lib/link"));
  struct stat st;
  ASSERT_EQ(0, stat((out + "/bin/java").c_str(), &st));
  EXPECT_EQ(0555u, st.st_mode & 07777);
  ASSERT_EQ(0, stat((out + "/lib/modules").c_str(), &st));
  EXPECT_EQ(0444u, st.st_mode & 07777);
  ASSERT_EQ(0, stat((out + "/lib").c_str(), &st));
  EXPECT_EQ(0755u, st.st_mode & 07777);
  EXPECT_EQ(static_cast<long>((big.size() + 10) / runtimeProgressStep), progressSteps);

  // The header tells how the runtime is used; the table's digest names it.
  RuntimeHeader header;
  std::string always = entryOf(members, RUNTIME_USE_ALWAYS);
  ASSERT_TRUE(parseRuntimeHeader(reinterpret_cast<const unsigned char*>(always.data()), header));
  EXPECT_EQ(RUNTIME_USE_ALWAYS, header.use);
  EXPECT_EQ(32u, header.digestText().size());
}

TEST_F(RuntimeArchiveTest, ManyFilesAreWrittenOnOneProcessorOrMany) {
  // More files than are open at once, a big one among them.
  std::vector<M> members = {{'d', 0755, "legal", ""}};
  for (int i = 0; i < 600; ++i) members.push_back({'f', 0644, "legal/f" + std::to_string(i), std::to_string(i)});
  members.push_back({'f', 0644, "legal/big", std::string(runtimeChunkSize + 7, 'b')});
  std::string entry = entryOf(members);
  cpu_set_t all;
  ASSERT_EQ(0, sched_getaffinity(0, sizeof all, &all));
  struct rlimit files;
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &files));
  struct Case {
    const char* what;
    bool oneProcessor;  // else every processor
    rlim_t openFiles;   // the process's limit of open files, 0: as it is
  } cases[] = {
      {"one processor", true, 0},
      {"every processor", false, 0},
      // Fewer open files allowed than the writer keeps open at most (a
      // shell's limit of 256, or less): it keeps fewer open.
      {"one processor, 64 open files allowed", true, 64},
      {"every processor, 64 open files allowed", false, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.oneProcessor) {
      // The thread that makes the files writes every piece.
      cpu_set_t one;
      CPU_ZERO(&one);
      for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &all)) {
          CPU_SET(cpu, &one);
          break;
        }
      }
      ASSERT_EQ(0, sched_setaffinity(0, sizeof one, &one));
    }
    if (c.openFiles != 0) {
      struct rlimit low = files;
      low.rlim_cur = c.openFiles;
      ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
    }
    std::string message = unpack(entry);
    setrlimit(RLIMIT_NOFILE, &files);
    sched_setaffinity(0, sizeof all, &all);
    ASSERT_EQ("", message);
    EXPECT_EQ(601u, bvtest::listDir(out + "/legal").size());
    EXPECT_EQ("599", bvtest::readFile(out + "/legal/f599"));
    EXPECT_EQ(static_cast<size_t>(runtimeChunkSize + 7), bvtest::readFile(out + "/legal/big").size());
  }
  // No descriptor left for a member's folder (the launcher file, the top
  // folder and its copy take the last ones) is a write error, not a fault
  // of the member.
  int lowest = dup(0);
  ASSERT_GE(lowest, 0);
  close(lowest);
  struct rlimit tight = files;
  tight.rlim_cur = static_cast<rlim_t>(lowest + 3);
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &tight));
  std::string message = unpack(entry);
  setrlimit(RLIMIT_NOFILE, &files);
  EXPECT_NE(std::string::npos, message.find("Too many open files")) << message;
}

// The writer keeps at most a quarter of the allowed descriptors open as
// files being written (openFilesAllowed): counted in /proc/self/fd each
// time it asks whether to stop (before each member), with files whose
// pieces take long enough to be open together.
TEST_F(RuntimeArchiveTest, NoMoreFilesAreOpenThanTheLimitAllows) {
  std::vector<M> members;
  uint64_t x = 88172645463325252ull;
  for (int i = 0; i < 16; ++i) {
    std::string bytes(2 << 20, '\0');
    for (char& b : bytes) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      b = static_cast<char>(x);
    }
    members.push_back({'f', 0644, "f" + std::to_string(i), bytes});
  }
  std::string entry = entryOf(members);
  std::string file = dir.file("many");
  bvtest::writeFile(file, entry);
  std::string target = dir.file("many-out");
  mkdir(target.c_str(), 0700);
  size_t most = 0;
  auto count = [&]() {
    size_t open = 0;
    for (const std::string& name : bvtest::listDir("/proc/self/fd")) {
      char link[4096];
      ssize_t n = readlink(("/proc/self/fd/" + name).c_str(), link, sizeof link - 1);
      if (n <= 0) continue;
      std::string path(link, static_cast<size_t>(n));
      struct stat st;
      if (path.compare(0, target.size() + 1, target + "/") == 0 &&
          stat(("/proc/self/fd/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        ++open;
      }
    }
    most = std::max(most, open);
    return false;
  };
  struct rlimit files;
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &files));
  struct rlimit low = files;
  low.rlim_cur = 32;  // a quarter: 8 files
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
  int fd = open(file.c_str(), O_RDONLY);
  std::string message;
  try {
    unpackRuntimeArchive(fd, 0, static_cast<long>(entry.size()), target, nullptr, count);
  } catch (const LauncherException& e) {
    message = e.getMessage().c_str();
  }
  close(fd);
  setrlimit(RLIMIT_NOFILE, &files);
  EXPECT_EQ("", message);
  EXPECT_LE(most, 8u);  // reached here: the first files are opened before a piece is done
  EXPECT_EQ(16u, bvtest::listDir(target).size());
}

// The digest check's verdict counts however late it comes: the unpacking
// waits for it (one that answers after the members are written too).
TEST_F(RuntimeArchiveTest, TheDigestCheckRunsBesideTheUnpackingAndComesFirst) {
  std::string entry = entryOf({{'f', 0644, "a", std::string(100000, 'a')}});
  std::string file = dir.file("checked");
  bvtest::writeFile(file, entry);
  for (int lateMillis : {0, 300}) {
    SCOPED_TRACE(lateMillis);
    int fd = open(file.c_str(), O_RDONLY);
    std::string target = dir.file("checked-out" + std::to_string(lateMillis));
    mkdir(target.c_str(), 0700);
    std::string message;
    try {
      unpackRuntimeArchive(fd, 0, static_cast<long>(entry.size()), target, nullptr, nullptr, [lateMillis] {
        usleep(static_cast<useconds_t>(lateMillis) * 1000);
        return false;
      });
    } catch (const LauncherException& e) {
      message = e.getMessage().c_str();
    }
    close(fd);
    EXPECT_EQ("The launcher file is damaged or incomplete. Download it again.", message);
  }
}

// A cancel, or a progress report that throws, ends the unpacking on every
// thread: the call returns with its error, no thread is left running.
TEST_F(RuntimeArchiveTest, ACancelOrAFailingReportStopsEveryThread) {
  std::vector<M> members;
  for (int i = 0; i < 8; ++i) members.push_back({'f', 0644, "f" + std::to_string(i), std::string(runtimeChunkSize * 2, 'c')});
  std::string entry = entryOf(members);
  std::string file = dir.file("stopped");
  bvtest::writeFile(file, entry);
  struct Case {
    const char* what;
    std::function<void(long)> progress;
    std::function<bool()> cancel;
    std::string message;
  } cases[] = {
      {"cancel", nullptr, [] { return true; }, "Canceled by the user."},
      {"a report that throws", [](long) { throw LauncherException("report failed"); }, nullptr, "report failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int fd = open(file.c_str(), O_RDONLY);
    std::string target = dir.file(std::string("stopped-") + c.what);
    mkdir(target.c_str(), 0700);
    std::string message;
    try {
      unpackRuntimeArchive(fd, 0, static_cast<long>(entry.size()), target, c.progress, c.cancel);
    } catch (const LauncherException& e) {
      message = e.getMessage().c_str();
    }
    close(fd);
    EXPECT_EQ(c.message, message);
  }
}

// A cancel is seen before each member, so a table without pieces stops
// too; a member whose path would reach PATH_MAX is refused, as its tree
// could not be removed by path.
TEST_F(RuntimeArchiveTest, MembersWithoutPiecesStopForACancelAndPathsStayRemovable) {
  std::vector<M> folders;
  for (int i = 0; i < 50; ++i) folders.push_back({'d', 0755, "d" + std::to_string(i), ""});
  std::string entry = entryOf(folders);
  std::string file = dir.file("folders");
  bvtest::writeFile(file, entry);
  int fd = open(file.c_str(), O_RDONLY);
  std::string target = dir.file("folders-out");
  mkdir(target.c_str(), 0700);
  std::string message;
  try {
    unpackRuntimeArchive(fd, 0, static_cast<long>(entry.size()), target, nullptr, [] { return true; });
  } catch (const LauncherException& e) {
    message = e.getMessage().c_str();
  }
  close(fd);
  EXPECT_EQ("Canceled by the user.", message);
  EXPECT_TRUE(bvtest::listDir(target).empty());

  // Folders whose joined path in "out<n>" reaches PATH_MAX.
  std::string part(200, 'p');
  std::vector<M> deep;
  std::string name;
  while (name.size() + part.size() + 1 < static_cast<size_t>(maxRuntimeNameLength)) {
    name += (name.empty() ? "" : "/") + part;
    deep.push_back({'d', 0755, name, ""});
  }
  // The longest name a member may have: with its folder before it, the
  // path reaches PATH_MAX.
  name += "/" + std::string(static_cast<size_t>(maxRuntimeNameLength) - name.size() - 1, 'q');
  deep.push_back({'d', 0755, name, ""});
  std::string message2 = unpack(entryOf(deep));
  EXPECT_NE(std::string::npos, message2.find("its path is longer than the system takes.")) << message2;
}

// The bound is exact: a member whose path in the target folder is
// PATH_MAX long is refused, one a byte shorter is unpacked.
TEST_F(RuntimeArchiveTest, AMemberPathOfExactlyPathMaxIsRefused) {
  struct Case {
    long shorter;  // bytes below PATH_MAX
    bool refused;
  } cases[] = {{0, true}, {1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shorter);
    std::string next = dir.file("out" + std::to_string(count + 1));
    size_t length = static_cast<size_t>(PATH_MAX - c.shorter) - next.size() - 1;  // of the member's name
    std::vector<M> chain;
    std::string name;
    // Parts of 100 bytes, the last of 100 to 200 (below NAME_MAX).
    while (length - name.size() > 201) {
      name += (name.empty() ? "" : "/") + std::string(100, 'p');
      chain.push_back({'d', 0755, name, ""});
    }
    name += "/" + std::string(length - name.size() - 1, 'q');
    ASSERT_EQ(length, name.size());
    chain.push_back({'d', 0755, name, ""});
    std::string message = unpack(entryOf(chain));
    ASSERT_EQ(next, out);
    EXPECT_EQ(c.refused, message.find("its path is longer than the system takes.") != std::string::npos) << message;
    if (!c.refused) {
      EXPECT_EQ("", message);
    }
  }
}

TEST_F(RuntimeArchiveTest, HostileMembersAreRefused) {
  const std::string unsafe = "The Java runtime in the launcher file holds an unsafe member ";
  const std::string leaves = "its name leaves the runtime's folder.";
  const std::string outside = "its link points out of the runtime's folder.";
  struct Case {
    const char* what;
    std::vector<M> members;
    std::string message;
  };
  std::vector<Case> cases = {
      {"absolute name", {{'f', 0644, "/tmp/evil", "x"}}, unsafe + "\"/tmp/evil\": " + leaves},
      {"dot-dot name", {{'f', 0644, "../evil", "x"}}, unsafe + "\"../evil\": " + leaves},
      {"dot-dot inside a name", {{'d', 0755, "a", ""}, {'f', 0644, "a/../../evil", "x"}},
       unsafe + "\"a/../../evil\": " + leaves},
      {"dot part", {{'f', 0644, "./a", "x"}}, unsafe + "\"./a\": " + leaves},
      {"empty part", {{'d', 0755, "a", ""}, {'f', 0644, "a//b", "x"}}, unsafe + "\"a//b\": " + leaves},
      {"trailing slash", {{'d', 0755, "a/", ""}}, unsafe + "\"a/\": " + leaves},
      {"line feed", {{'f', 0644, "a\nb", "x"}}, unsafe + "\"a\nb\": " + leaves},
      {"absolute link", {{'l', 0777, "etc", "/etc"}}, unsafe + "\"etc\": " + outside},
      {"link climbing out", {{'d', 0755, "a", ""}, {'l', 0777, "a/up", "../.."}}, unsafe + "\"a/up\": " + outside},
      {"link climbing after a name", {{'l', 0777, "me", "."}, {'l', 0777, "x", "me/me/.."}},
       unsafe + "\"me\": " + outside},
      {"dot-dot after a name", {{'d', 0755, "a", ""}, {'l', 0777, "b", "a/../.."}}, unsafe + "\"b\": " + outside},
      {"file through a link", {{'d', 0755, "real", ""}, {'l', 0777, "via", "real"}, {'f', 0644, "via/file", "x"}},
       unsafe + "\"via/file\": it lies under something that is not a folder."},
      {"file under a missing folder", {{'f', 0644, "nowhere/file", "x"}},
       unsafe + "\"nowhere/file\": its folder was not made before it."},
      {"a member twice", {{'f', 0644, "a", "x"}, {'f', 0644, "a", "y"}}, unsafe + "\"a\": it is there twice."},
      {"a link over a file", {{'f', 0644, "a", "x"}, {'l', 0777, "a", "b"}}, unsafe + "\"a\": it is there twice."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.message, unpack(entryOf(c.members)));
  }
  // Nothing was written outside the folders.
  EXPECT_FALSE(bvtest::pathExists(dir.file("evil")));
  EXPECT_FALSE(bvtest::pathExists("/tmp/evil"));
}

TEST_F(RuntimeArchiveTest, DamagedEntriesAreRefused) {
  const std::string damaged = "The launcher file is damaged or incomplete. Download it again.";
  std::string data(100000, 'a');
  std::string good = entryOf({{'f', 0644, "a", data}});
  ASSERT_EQ("", unpack(good));
  RuntimeHeader header;
  ASSERT_TRUE(parseRuntimeHeader(reinterpret_cast<const unsigned char*>(good.data()), header));
  uint32_t tableLength = header.tableLength;
  std::string table = good.substr(runtimeHeaderSize, tableLength);
  std::string pieces = good.substr(runtimeHeaderSize + tableLength);

  std::string wrongDigest = good;
  wrongDigest[10] ^= 1;
  std::string flippedPiece = good;
  flippedPiece[good.size() - 3] ^= 0x40;
  std::string badUse = good;
  badUse[24] = 7;
  std::string longTable = good;
  longTable[28] = 0x7f;
  // A piece whose digest fits but that holds other bytes than its part.
  std::string otherBytes = compressRuntimePiece(data.data(), data.size() - 1, 3);
  RuntimeEntryBuilder shortPiece;
  shortPiece.addFile(0644, "a", data.size(), {otherBytes});
  std::string tooLarge = compressRuntimePiece(std::string(data + "x").data(), data.size() + 1, 3);
  RuntimeEntryBuilder longPiece;
  longPiece.addFile(0644, "a", data.size(), {tooLarge});
  RuntimeEntryBuilder noEnd;
  noEnd.addFileBytes(0644, "a", "x");
  RuntimeEntryBuilder unknownKind;
  unknownKind.addRawTableBytes(std::string("x\0\x01\0\x01a", 6));
  RuntimeEntryBuilder highMode;
  highMode.addFileBytes(04755, "a", "x");
  struct Case {
    const char* what;
    std::string entry;
  };
  std::vector<Case> cases = {
      {"another digest", wrongDigest},
      {"a flipped byte in a piece", flippedPiece},
      {"cut short", good.substr(0, good.size() - 9)},
      {"only the header and the table", good.substr(0, runtimeHeaderSize + tableLength)},
      {"shorter than the header", good.substr(0, 20)},
      {"a table longer than the entry", longTable},
      {"bytes after the last piece", good + "x"},
      {"no end member", noEnd.finish(RUNTIME_USE_FALLBACK, false)},
      {"bytes after the end member", entryWithTable(table + "x", pieces)},
      {"a piece that holds less than its part", shortPiece.finish(RUNTIME_USE_FALLBACK)},
      {"a piece that holds more than its part", longPiece.finish(RUNTIME_USE_FALLBACK)},
      {"an unknown kind", unknownKind.finish(RUNTIME_USE_FALLBACK)},
      {"mode bits beyond 0777", highMode.finish(RUNTIME_USE_FALLBACK)},
      {"use byte 7", badUse},
      {"no table", entryWithTable("")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(damaged, unpack(c.entry));
  }
}

TEST_F(RuntimeArchiveTest, AnswersAreReadBackAndCheckedWithTheTable) {
  std::vector<RuntimeAnswer> answers = {{"os.name", "Linux"}, {"java.specification.version", "17"}};
  std::string entry = entryOf({{'f', 0644, "a", "x"}}, RUNTIME_USE_FALLBACK, answers);
  std::string file = dir.file("launcher");
  auto answersIn = [&](const std::string& bytes) {
    bvtest::writeFile(file, "stub" + bytes);
    int fd = open(file.c_str(), O_RDONLY);
    std::vector<RuntimeAnswer> read;
    try {
      read = readRuntimeAnswers(fd, 4, static_cast<long>(bytes.size()));
    } catch (const LauncherException&) {
      read = {{"damaged", ""}};
    }
    close(fd);
    return read;
  };
  EXPECT_EQ(answers, answersIn(entry));
  EXPECT_EQ(std::vector<RuntimeAnswer>(), answersIn(entryOf({{'f', 0644, "a", "x"}})));
  entry[runtimeHeaderSize + 5] ^= 1;  // inside the answers
  EXPECT_EQ((std::vector<RuntimeAnswer>{{"damaged", ""}}), answersIn(entry));
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
