// Extraction of embedded files from real launchers built with bvpack.
#include <gtest/gtest.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "archive/block_copy.h"
#include "archive/launcher_input_files.h"
#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "platform/console.h"
#include "platform/platform_impl.h"
#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/test_util.h"

namespace {

template <class F>
std::string thrownMessage(F f) {
  try {
    f();
  } catch (const LauncherException& e) {
    return e.getMessage().c_str();
  }
  return "no exception";
}

// The prefix, the number and the system's text, the file; the space hint
// only for a full disk (and when the cause is unknown, number 0, after the
// folder).
std::string writeErrorText(int number, const std::string& path) {
  std::string text = PlatformImpl::getMessageText(MSG_FILE_WRITE_ERROR).c_str();
  if (number != 0) text += std::to_string(number) + " (" + strerror(number) + "): " + path;
  if (number == 0) text += path + ":";
  if (number == 0 || number == ENOSPC) text += PlatformImpl::getMessageText(MSG_TEMP_SPACE_HINT).c_str();
  return text;
}

// Bytes that differ from block to block, so that a lost or repeated block
// shows.
std::string patternBytes(size_t n) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + i / 61439) & 0xFF);
  return bytes;
}

// The current directory changed for one scope.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& dir) {
    char buffer[4096];
    m_saved = getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
    if (chdir(dir.c_str()) != 0) ADD_FAILURE() << "cannot enter " << dir;
  }
  ~WorkingDirectory() {
    if (chdir(m_saved.c_str()) != 0) ADD_FAILURE() << "cannot return to " << m_saved;
  }

 private:
  std::string m_saved;
};

class FileExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetLog();
    PlatformImpl::setCanceled(false);
    PlatformImpl::hideUI(0);
    mkdir(dir.file("in").c_str(), 0755);
    mkdir(dir.file("out").c_str(), 0755);
  }
  void TearDown() override {
    PlatformImpl::setCanceled(false);
    PlatformImpl::hideUI(0);
    ui_progress = 0;
    ui_progressBlock = 0;
    resetLog();
  }
  // Packs each (type, name, bytes) with bvpack and loads the index.
  struct Input {
    std::string type, name, bytes;
    std::vector<std::string> options = {};
  };
  void build(const std::vector<Input>& inputs) {
    // Exactly these files: no built-in verification archive.
    std::vector<std::string> args = {"-o", launcher, "--no-verify-jar"};
    args.insert(args.end(), packOptions.begin(), packOptions.end());
    for (const Input& input : inputs) {
      bvtest::writeFile(dir.file("in/" + input.name), input.bytes);
      args.insert(args.end(), input.options.begin(), input.options.end());
      args.push_back(input.type + ":" + dir.file("in/" + input.name));
    }
    std::string out;
    ASSERT_EQ(0, bvtest::runBvpack(args, &out)) << out;
    files.load(launcher.c_str(), false);
  }
  // Extracts with the progress display on, from a counter of 0; returns the
  // dots it printed.
  long extractCountingSteps(const FileIndexEntry& entry, const std::string& directory,
                            std::string& target) {
    std::string printed = extractPrinting(entry, directory, target);
    long dots = 0;
    for (char c : printed) dots += c == '.';
    return dots;
  }
  std::string extractPrinting(const FileIndexEntry& entry, const std::string& directory,
                              std::string& target) {
    ui_progress = 0;
    ui_progressBlock = 0;
    PlatformImpl::showUI();
    testing::internal::CaptureStdout();
    target = entry.extract(directory.c_str()).c_str();
    std::string printed = testing::internal::GetCapturedStdout();
    PlatformImpl::hideUI(0);
    return printed;
  }

  bvtest::TempDir dir;
  std::string launcher = dir.file("launcher");
  std::vector<std::string> packOptions;  // bvpack options before the entries
  LauncherInputFiles files;
};

TEST_F(FileExtractionTest, CopiesInBlocksOf61439BytesIntoEveryFormOfDirectory) {
  build({{"3", "empty.jar", ""},
         {"3", "one.jar", patternBytes(61439)},
         {"3", "two.jar", patternBytes(61440)},
         {"6", "big.jar", patternBytes(3 * 61439 + 5)}});
  struct Case {
    long position;
    long steps;
  } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 4}};
  std::string out = dir.file("out");
  for (const Case& c : cases) {
    const FileIndexEntry* entry = files.getFileAt(c.position);
    std::string name = entry->getFileName().c_str();
    std::string expected = bvtest::readFile(dir.file("in/" + name));
    SCOPED_TRACE(name);
    std::string target;
    EXPECT_EQ(c.steps, extractCountingSteps(*entry, out, target));
    EXPECT_EQ(out + "/" + name, target);
    EXPECT_EQ(expected, bvtest::readFile(target));
    unlink(target.c_str());
    // A directory given with its separator gives the same path.
    EXPECT_EQ(out + "/" + name, entry->extract((out + "/").c_str()).c_str());
    EXPECT_EQ(expected, bvtest::readFile(out + "/" + name));
    // An empty directory means the current one: the bare name.
    WorkingDirectory here(out);
    unlink(name.c_str());
    EXPECT_EQ(name, entry->extract(SString()).c_str());
    EXPECT_EQ(expected, bvtest::readFile(out + "/" + name));
  }
}

// The copy moves pieces of whole MiBs, but the display moves as if it
// moved 61439-byte blocks: one step per block, the last partial one too,
// and a row of dots ends after every 70th, however many a piece covers.
TEST_F(FileExtractionTest, LargeEntriesAdvanceTheProgressOncePer61439Bytes) {
  const long sizes[] = {extractionPieceSize - 1, extractionPieceSize, 2 * extractionPieceSize + 12345,
                        61439L * 69, 61439L * 71};
  std::vector<Input> inputs;
  for (long size : sizes) {
    inputs.push_back({"6", "big" + std::to_string(size) + ".jar", patternBytes(size)});
  }
  build(inputs);
  std::string out = dir.file("out");
  for (long i = 0; i < 5; ++i) {
    const FileIndexEntry* entry = files.getFileAt(i);
    SCOPED_TRACE(sizes[i]);
    std::string target;
    long steps = (sizes[i] + 61438) / 61439;
    std::string rows;
    for (long step = 1; step <= steps; ++step) rows += step % 70 == 0 ? ".\n" : ".";
    EXPECT_EQ(rows, extractPrinting(*entry, out, target));
    EXPECT_EQ(bvtest::readFile(dir.file("in/" + inputs[i].name)), bvtest::readFile(target));
    unlink(target.c_str());
  }
  struct Case {
    long copied, length, steps;
  } cases[] = {{0, 0, 0},       {0, 5, 0},          {5, 5, 1},           {61438, 61440, 0},
               {61439, 61440, 1}, {61440, 61440, 2}, {122878, 122878, 2}, {122877, 122878, 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.steps, extractionSteps(c.copied, c.length)) << c.copied << " of " << c.length;
  }
}

TEST_F(FileExtractionTest, IntoTmpWithAndWithoutTheSeparator) {
  build({{"5", "bvtest-extract-" + std::to_string(getpid()) + ".jar", "verify"}});
  const FileIndexEntry* entry = files.getFileAt(0);
  std::string expected = "/tmp/" + std::string(entry->getFileName().c_str());
  EXPECT_EQ(expected, entry->extract("/tmp").c_str());
  EXPECT_EQ(expected, entry->extract("/tmp/").c_str());
  EXPECT_EQ("verify", bvtest::readFile(expected));
  unlink(expected.c_str());
}

TEST_F(FileExtractionTest, ExtractedFilesArePrivateWhateverTheUmaskAndProgramsRunOnlyForTheOwner) {
  std::vector<Input> inputs;
  for (int type = 0; type < 8; ++type) {
    inputs.push_back({std::to_string(type), "f" + std::to_string(type), "A:  1\n"});
  }
  build(inputs);
  for (mode_t mask : {0000, 0022, 0077, 0177}) {
    mode_t saved = umask(mask);
    for (long i = 0; i < 8; ++i) {
      SCOPED_TRACE(testing::Message() << "umask " << std::oct << mask << ", type " << i);
      std::string target = files.getFileAt(i)->extract(dir.file("out").c_str()).c_str();
      struct stat st;
      ASSERT_EQ(0, stat(target.c_str(), &st));
      EXPECT_EQ(i == 4 || i == 7 ? 0700u : 0600u, st.st_mode & 07777u);
    }
    umask(saved);
  }
}

// The names in a directory, "." and ".." left out, sorted.
std::vector<std::string> namesIn(const std::string& path) { return bvtest::listDir(path); }

TEST_F(FileExtractionTest, APlantedLinkIsRefusedAndAnOldFileIsReplacedByANewOne) {
  build({{"3", "lib.jar", "new bytes"}, {"7", "setup", "#!/bin/sh\n"}});
  std::string out = dir.file("out");
  // Links named like an entry, to a file and to a device, stay as they are
  // and so does what they point to.
  bvtest::writeFile(dir.file("victim"), "precious");
  ASSERT_EQ(0, symlink(dir.file("victim").c_str(), (out + "/lib.jar").c_str()));
  ASSERT_EQ(0, symlink("/dev/full", (out + "/setup").c_str()));
  for (long i = 0; i < 2; ++i) {
    std::string target = out + "/" + files.getFileAt(i)->getFileName().c_str();
    SCOPED_TRACE(target);
    EXPECT_EQ("Refusing to write through the symbolic link " + target + ".",
              thrownMessage([&] { files.getFileAt(i)->extract(out.c_str()); }));
    struct stat st;
    ASSERT_EQ(0, lstat(target.c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
  }
  EXPECT_EQ("precious", bvtest::readFile(dir.file("victim")));
  EXPECT_EQ((std::vector<std::string>{"lib.jar", "setup"}), namesIn(out));

  // An old file, read-only and with a second name, is replaced by a new
  // file: the second name keeps the old bytes.
  unlink((out + "/lib.jar").c_str());
  bvtest::writeFile(out + "/lib.jar", "old bytes", 0444);
  ASSERT_EQ(0, link((out + "/lib.jar").c_str(), dir.file("second-name").c_str()));
  struct stat before, after;
  ASSERT_EQ(0, stat((out + "/lib.jar").c_str(), &before));
  files.getFileAt(0)->extract(out.c_str());
  ASSERT_EQ(0, stat((out + "/lib.jar").c_str(), &after));
  EXPECT_NE(before.st_ino, after.st_ino);
  EXPECT_EQ("new bytes", bvtest::readFile(out + "/lib.jar"));
  EXPECT_EQ("old bytes", bvtest::readFile(dir.file("second-name")));
  EXPECT_EQ(0600u, after.st_mode & 07777u);
  EXPECT_EQ((std::vector<std::string>{"lib.jar", "setup"}), namesIn(out));
}

// A small tmpfs mounted noexec for one scope (needs root; mounted() tells).
class NoexecMount {
 public:
  explicit NoexecMount(const std::string& path) : m_path(path) {
    mkdir(path.c_str(), 0755);
    std::string out;
    m_mounted = bvtest::runShell("mount -t tmpfs -o noexec,size=1m tmpfs '" + path + "'", &out) == 0;
  }
  ~NoexecMount() {
    if (m_mounted) bvtest::runShell("umount '" + m_path + "'");
  }
  bool mounted() const { return m_mounted; }

 private:
  std::string m_path;
  bool m_mounted;
};

TEST_F(FileExtractionTest, ProgramsThatCannotRunWhereTheyLandNameTheTempdirOption) {
  build({{"3", "lib.jar", "PK"}, {"4", "installer", "#!/bin/sh\n"}, {"7", "setup", "#!/bin/sh\n"}});
  NoexecMount noexec(dir.file("noexec"));
  if (!noexec.mounted()) GTEST_SKIP() << "cannot mount a noexec tmpfs here (needs root)";
  std::string target = dir.file("noexec");
  // Plain files are fine there; programs are refused with a pointer to
  // -bv:tempdir instead of failing later when they are started.
  EXPECT_EQ(target + "/lib.jar", files.getFileAt(0)->extract(target.c_str()).c_str());
  for (long i = 1; i <= 2; ++i) {
    const FileIndexEntry& entry = *files.getFileAt(i);
    SCOPED_TRACE(entry.getFileName().c_str());
    std::string message = thrownMessage([&] { entry.extract(target.c_str()); });
    std::string path = target + "/" + entry.getFileName().c_str();
    EXPECT_EQ(0u, message.find("Cannot run " + path + ": programs cannot be run from " + target)) << message;
    EXPECT_NE(std::string::npos, message.find("-bv:tempdir <temp dir>")) << message;
  }
}

TEST_F(FileExtractionTest, ACompressedEntryIsCopiedAsStoredAndReplacesAnOldCopy) {
  build({{"3", "lib.jar", patternBytes(1000), {"--compressed", "12", "50000"}}});
  const FileIndexEntry* entry = files.getFileAt(0);
  ASSERT_TRUE(entry->isCompressed());
  bvtest::writeFile(dir.file("out/lib.jar"), std::string(5000, 'o'));
  entry->extract(dir.file("out").c_str());
  EXPECT_EQ(patternBytes(1000), bvtest::readFile(dir.file("out/lib.jar")));
}

TEST_F(FileExtractionTest, NoRoomForTheDecompressedFilesStopsBeforeWriting) {
  // More files than any file system has room for.
  build({{"3", "lib.jar", "x", {"--compressed", "2147483647", "0"}}});
  EXPECT_EQ(writeErrorText(0, dir.file("out")),
            thrownMessage([&] { files.getFileAt(0)->extract(dir.file("out").c_str()); }));
  EXPECT_FALSE(bvtest::pathExists(dir.file("out/lib.jar")));
}

TEST_F(FileExtractionTest, WriteErrorsCarryTheErrorNumberAndTheFile) {
  build({{"3", "lib.jar", patternBytes(3 * 61439)}});
  const FileIndexEntry* entry = files.getFileAt(0);
  // The target cannot be created: the "directory" is a plain file.
  bvtest::writeFile(dir.file("out/plain"), "");
  EXPECT_EQ(writeErrorText(ENOTDIR, dir.file("out/plain/lib.jar")),
            thrownMessage([&] { entry->extract(dir.file("out/plain").c_str()); }));
  // A directory in the way.
  mkdir(dir.file("out/lib.jar").c_str(), 0755);
  EXPECT_EQ(writeErrorText(EISDIR, dir.file("out/lib.jar")),
            thrownMessage([&] { entry->extract(dir.file("out").c_str()); }));
  EXPECT_EQ((std::vector<std::string>{"lib.jar", "plain"}), namesIn(dir.file("out")));
}

TEST_F(FileExtractionTest, ACancelStopsTheCopyAfterTheCurrentBlock) {
  build({{"4", "setup.bin", patternBytes(2 * 61439)}});
  PlatformImpl::setCanceled(true);
  EXPECT_EQ(PlatformImpl::getMessageText(MSG_CANCELED).c_str(),
            thrownMessage([&] { files.getFileAt(0)->extract(dir.file("out").c_str()); }));
  // Nothing was copied and nothing is left behind, not even a part.
  EXPECT_EQ(std::vector<std::string>{}, namesIn(dir.file("out")));
  // An old copy stays as it was.
  bvtest::writeFile(dir.file("out/setup.bin"), "old");
  EXPECT_EQ(PlatformImpl::getMessageText(MSG_CANCELED).c_str(),
            thrownMessage([&] { files.getFileAt(0)->extract(dir.file("out").c_str()); }));
  EXPECT_EQ("old", bvtest::readFile(dir.file("out/setup.bin")));
  EXPECT_EQ(std::vector<std::string>{"setup.bin"}, namesIn(dir.file("out")));
}

// A cancel that comes while a piece is being copied stops the copy after
// that piece. The console is a full pipe, so the extraction waits in the
// write of the first piece's dots until the test has asked to cancel.
TEST_F(FileExtractionTest, ACancelDuringTheCopyStopsItAfterThePiece) {
  build({{"3", "big.jar", patternBytes(3 * extractionPieceSize)}});
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  fcntl(fds[1], F_SETFL, O_NONBLOCK);
  std::string filler(4096, 'f');
  long filled = 0;
  for (ssize_t n; (n = write(fds[1], filler.data(), filler.size())) > 0;) filled += n;
  fcntl(fds[1], F_SETFL, 0);
  std::string printed;
  std::thread console([&] {
    // Once a whole piece is in the target, the extraction is at the write of
    // its dots or in it.
    bool pieceDone = false;
    for (int i = 0; i < 3000 && !pieceDone; ++i) {
      for (const std::string& name : namesIn(dir.file("out"))) {
        struct stat st;
        pieceDone |= stat(dir.file("out/" + name).c_str(), &st) == 0 && st.st_size >= extractionPieceSize;
      }
      if (!pieceDone) usleep(10 * 1000);
    }
    PlatformImpl::setCanceled(true);
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) printed.append(buffer, n);
  });
  ui_progress = 0;
  ui_progressBlock = 0;
  PlatformImpl::showUI();
  fflush(stdout);
  int saved = dup(1);
  dup2(fds[1], 1);
  close(fds[1]);
  std::string error = thrownMessage([&] { files.getFileAt(0)->extract(dir.file("out").c_str()); });
  dup2(saved, 1);
  close(saved);
  console.join();
  close(fds[0]);
  EXPECT_EQ(PlatformImpl::getMessageText(MSG_CANCELED).c_str(), error);
  // The dots of the first piece and no more, and no part of the copy left.
  std::string rows;
  for (long step = 1; step <= extractionPieceSize / 61439; ++step) rows += step % 70 == 0 ? ".\n" : ".";
  EXPECT_EQ(rows, printed.substr(static_cast<size_t>(filled)));
  EXPECT_EQ(std::vector<std::string>{}, namesIn(dir.file("out")));
}

TEST_F(FileExtractionTest, AnEntryReachingPastTheEndOfTheLauncherIsAnError) {
  // Without digests: with them the damaged index would not load at all.
  packOptions = {"--no-digest"};
  build({{"3", "a.jar", "abc"}, {"3", "b.jar", "defg"}});
  // Damage the second entry's length: 4 becomes 400.
  std::string bytes = bvtest::readFile(launcher);
  std::string entry = bvtest::indexEntryBytes(3, 1, 4, 0, "b.jar");
  size_t at = bytes.find(entry.substr(0, 9));  // type, id, length
  ASSERT_NE(std::string::npos, at);
  bytes[at + 8] = static_cast<char>(400 & 0xFF);
  bytes[at + 7] = static_cast<char>(400 >> 8);
  bvtest::writeFile(launcher, bytes);
  LauncherInputFiles damaged;
  damaged.load(launcher.c_str(), false);
  ASSERT_EQ(400, damaged.getFileAt(1)->getFileLength());
  EXPECT_EQ("Embedded file b.jar lies outside the launcher file.",
            thrownMessage([&] { damaged.getFileAt(1)->extract(dir.file("out").c_str()); }));
  EXPECT_FALSE(bvtest::pathExists(dir.file("out/b.jar")));
  // The launcher file gone: it cannot be opened again.
  unlink(launcher.c_str());
  EXPECT_EQ("Cannot open launcher file.",
            thrownMessage([&] { damaged.getFileAt(0)->extract(dir.file("out").c_str()); }));
}

// An entry is not checked when the launcher file is loaded but as it is
// copied out: a damaged one leaves no file behind, an intact one is then
// known to be checked.
TEST_F(FileExtractionTest, AnEntryIsCheckedAsItIsCopied) {
  std::string big = patternBytes(3 * extractionPieceSize + 5);
  build({{"3", "plain.jar", "plain"}, {"3", "big.jar", big}});
  ASSERT_FALSE(files.getFileAt(0)->getDigest().empty());
  int fd = open(launcher.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_FALSE(files.getFileAt(1)->isCheckedIn(fd));
  std::string target = files.getFileAt(1)->extract(dir.file("out").c_str()).c_str();
  EXPECT_EQ(big, bvtest::readFile(target));
  EXPECT_TRUE(files.getFileAt(1)->isCheckedIn(fd));
  close(fd);

  // Another file in its place, the same bytes but for one in the entry's
  // last piece: the check was for the other file, so it is made again. The
  // first file stays open, as a running launcher's own file stays in use,
  // so the new one cannot take its inode.
  int old = open(launcher.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(old, 0);
  std::string bytes = bvtest::readFile(launcher);
  // The entry's bytes are found through the index: a search for them would
  // take quadratic time on such a repeating pattern.
  size_t start = static_cast<size_t>(files.getFileAt(1)->getOffsetToBytes());
  ASSERT_EQ(0, bytes.compare(start, big.size(), big));
  size_t at = start + big.size() - 2;
  bytes[at] ^= 1;
  ASSERT_EQ(0, unlink(launcher.c_str()));
  bvtest::writeFile(launcher, bytes);
  mkdir(dir.file("again").c_str(), 0755);
  EXPECT_EQ("The launcher file is damaged or incomplete. Download it again.",
            thrownMessage([&] { files.getFileAt(1)->extract(dir.file("again").c_str()); }));
  EXPECT_EQ(std::vector<std::string>(), namesIn(dir.file("again")));
  fd = open(launcher.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_FALSE(files.getFileAt(1)->isCheckedIn(fd));
  close(fd);
  // The other entry is whole and is extracted.
  EXPECT_EQ("plain", bvtest::readFile(files.getFileAt(0)->extract(dir.file("again").c_str()).c_str()));
  close(old);
}

TEST_F(FileExtractionTest, AnEntryNamedLikeTheLauncherDoesNotReplaceIt) {
  launcher = dir.file("out/setup");
  build({{"7", "setup", "inner launcher"}});
  std::string before = bvtest::readFile(launcher);
  EXPECT_EQ("Embedded file setup would replace the launcher file.",
            thrownMessage([&] { files.getFileAt(0)->extract(dir.file("out").c_str()); }));
  EXPECT_EQ(before, bvtest::readFile(launcher));
  // Anywhere else it is extracted as usual.
  EXPECT_EQ("inner launcher", bvtest::readFile(files.getFileAt(0)->extract(dir.path().c_str()).c_str()));
}

class ExtractAllTest : public FileExtractionTest {
 protected:
  // Runs extractAll in out/ and returns the input.tag written there.
  std::string extractAll() {
    WorkingDirectory here(dir.file("out"));
    files.extractAll();
    return bvtest::readFile(dir.file("out/input.tag"));
  }
};

TEST_F(ExtractAllTest, OneJVMFileGivesFourOneValueTags) {
  build({{"instructions", "instructions.txt", "INITIALIZE_UI:  1\n"},
         {"verify-jar", "Verify.jar", "PK"},
         {"launch-script", "launch.txt", "DESC:  App\n"},
         {"jvm", "apple_macosx_14X.jvm", "JVM_EXE:  bin/java\n"}});
  EXPECT_EQ(
      "ACTION:  RUN_INSTRUCTIONS\n"
      "INSTRUCTIONS:  instructions.txt\n"
      "LAUNCHSCRIPT:  launch.txt\n"
      "JVM:  apple_macosx_14X.jvm\n",
      extractAll());
  for (const char* name : {"instructions.txt", "Verify.jar", "launch.txt", "apple_macosx_14X.jvm"}) {
    EXPECT_EQ(bvtest::readFile(dir.file(std::string("in/") + name)),
              bvtest::readFile(dir.file(std::string("out/") + name)))
        << name;
  }
}

TEST_F(ExtractAllTest, SeveralJVMFilesMakeABlockAndTheFirstScriptsAreNamed) {
  build({{"jvm", "a.jvm", "JVM_EXE:  a\n"},
         {"launch-script", "launch1.txt", "DESC:  One\n"},
         {"instructions", "first.txt", "A:  1\n"},
         {"jvm", "b.jvm", "JVM_EXE:  b\n"},
         {"instructions", "second.txt", "B:  1\n"},
         {"launch-script", "launch2.txt", "DESC:  Two\n"},
         {"jvm", "c.jvm", "JVM_EXE:  c\n"}});
  EXPECT_EQ(
      "ACTION:  RUN_INSTRUCTIONS\n"
      "JVM:\n"
      "  a.jvm\n"
      "  b.jvm\n"
      "  c.jvm\n"
      "/:\n"
      "LAUNCHSCRIPT:  launch1.txt\n"
      "INSTRUCTIONS:  first.txt\n",
      extractAll());
  EXPECT_EQ("B:  1\n", bvtest::readFile(dir.file("out/second.txt")));
}

TEST_F(ExtractAllTest, AnEmptyIndexWritesOnlyTheAction) {
  build({});
  EXPECT_EQ("ACTION:  RUN_INSTRUCTIONS\n", extractAll());
}

TEST_F(ExtractAllTest, AnInputFileThatCannotBeWrittenIsAnError) {
  build({{"jvm", "a.jvm", "JVM_EXE:  a\n"}});
  mkdir(dir.file("out/input.tag").c_str(), 0755);
  EXPECT_EQ(writeErrorText(EISDIR, "input.tag"), thrownMessage([&] { extractAll(); }));
  EXPECT_EQ("JVM_EXE:  a\n", bvtest::readFile(dir.file("out/a.jvm")));
}

TEST_F(ExtractAllTest, APlantedInputTagLinkIsRefusedAndAnOldInputTagReplaced) {
  build({{"jvm", "a.jvm", "JVM_EXE:  a\n"}});
  bvtest::writeFile(dir.file("victim"), "precious");
  ASSERT_EQ(0, symlink(dir.file("victim").c_str(), dir.file("out/input.tag").c_str()));
  EXPECT_EQ("Refusing to write through the symbolic link input.tag.",
            thrownMessage([&] { extractAll(); }));
  EXPECT_EQ("precious", bvtest::readFile(dir.file("victim")));
  EXPECT_EQ((std::vector<std::string>{"a.jvm", "input.tag"}), namesIn(dir.file("out")));

  unlink(dir.file("out/input.tag").c_str());
  bvtest::writeFile(dir.file("out/input.tag"), "OLD:  1\n");
  ASSERT_EQ(0, link(dir.file("out/input.tag").c_str(), dir.file("second-name").c_str()));
  EXPECT_EQ("ACTION:  RUN_INSTRUCTIONS\nJVM:  a.jvm\n", extractAll());
  EXPECT_EQ("OLD:  1\n", bvtest::readFile(dir.file("second-name")));
  EXPECT_EQ((std::vector<std::string>{"a.jvm", "input.tag"}), namesIn(dir.file("out")));
}

TEST_F(ExtractAllTest, AFailingEntryStopsBeforeTheInputFile) {
  build({{"3", "a.jar", "a"}, {"3", "b.jar", "b"}, {"3", "c.jar", "c"}});
  // b.jar cannot be created: a directory of that name is in the way.
  mkdir(dir.file("out/b.jar").c_str(), 0755);
  EXPECT_EQ(writeErrorText(EISDIR, "b.jar"), thrownMessage([&] { extractAll(); }));
  EXPECT_TRUE(bvtest::pathExists(dir.file("out/a.jar")));
  EXPECT_FALSE(bvtest::pathExists(dir.file("out/c.jar")));
  EXPECT_FALSE(bvtest::pathExists(dir.file("out/input.tag")));
}

}  // namespace
