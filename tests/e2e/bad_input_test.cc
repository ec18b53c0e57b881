// Bad launcher files and bad inputs, run as real launcher processes: each
// ends with its message, a non-zero exit code and no signal, and leaves no
// temporary file behind.
//
// The launchers are packed with bvpack onto the bvlauncher stub from a small
// payload whose JVM is a fake home (a sh script that answers the
// verification), then damaged byte by byte where a case needs it.
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/e2e/launcher_process.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

const std::string kIndexLoadError = "Unable to load the launcher file index. ";
const std::string kNoInstructions = "The launcher file carries no instruction script.";
const std::string kDamaged = "The launcher file is damaged or incomplete. Download it again.";
const std::string kOutsideInstructions =
    kIndexLoadError + "Embedded file instructions.tag lies outside the launcher file.";
const std::string kInputLoadError = "Could not load the input file. ";
const std::string kInputOpenError =
    "Unable to open input file specified on the command line after the -bv:in option.";
const std::string kWriteError = "Error writing file = ";
const std::string kSpaceHint =
    " There may not be enough temporary disk space. Try using -bv:tempdir to use a temporary "
    "directory on a partition with more disk space.";

const char kInstructions[] =
    "DESC: Bad input instructions\n"
    "INSTRUCTIONS:\n"
    "  INITIALIZE_UI\n"
    "  FIND_JVM 1 1\n"
    "  JMP0 @N1@ NOT_FOUND\n"
    "  LAUNCH @S2@ 5\n"
    "  :NOT_FOUND\n"
    "/:\n";
const char kLaunchScript[] =
    "DESC: Bad input test\n"
    "DISPLAY_CONSOLE: 1\n"
    "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() App\"\n";

// Reads a big-endian signed field.
long fieldAt(const std::string& bytes, long pos, int size) {
  unsigned long value = 0;
  for (int i = 0; i < size; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[pos + i]);
  unsigned long sign = 1UL << (size * 8 - 1);
  return static_cast<long>(value ^ sign) - static_cast<long>(sign);
}

// Replaces bytes at pos with data, keeping the length.
std::string patched(std::string bytes, long pos, const std::string& data) {
  bytes.replace(static_cast<size_t>(pos), data.size(), data);
  return bytes;
}

// Replaces the last occurrence of text (a byte string of the same length).
std::string patchedText(const std::string& bytes, const std::string& text,
                        const std::string& replacement) {
  size_t pos = bytes.rfind(text);
  if (pos == std::string::npos || text.size() != replacement.size()) {
    ADD_FAILURE() << "cannot patch " << text;
    return bytes;
  }
  return patched(bytes, static_cast<long>(pos), replacement);
}

class BadInputTest : public ::testing::Test {
 protected:
  // Entries of the payload, in index order.
  enum { kInstructionsEntry, kVerifyEntry, kLaunchEntry, kJVMEntry, kAppEntry };

  void SetUp() override {
    mkdir(m_dir.file("tmp").c_str(), 0755);
    mkdir(m_dir.file("work").c_str(), 0755);
    mkdir(m_dir.file("payload").c_str(), 0755);
    std::string home = m_dir.file("home");
    mkdir(home.c_str(), 0755);
    mkdir((home + "/bin").c_str(), 0755);
    // Answers the verification (os.name) and says when it runs the application.
    writeFile(home + "/bin/java",
              "#!/bin/sh\n"
              "for a in \"$@\"; do [ \"$a\" = App ] && echo application-ran; done\n"
              "printf '1739021872\\nLinux\\n'\n",
              0755);
    writeFile(payload("instructions.tag"), kInstructions);
    writeFile(payload("unix-instructions.tag"), std::string("UNIX_COMMAND: 1\n") + kInstructions);
    writeFile(payload("Verify.jar"), "PK verification archive");
    writeFile(payload("launch.tag"), kLaunchScript);
    writeFile(payload("jvm.tag"),
              "DESC: Fake JVM\n"
              "JVM_EXE: bin/java\n"
              "PATH_HINT:\n"
              "  " + home + "\n"
              "/:\n"
              "JVM_PROPERTIES:\n"
              "  \"os.name=Linux\"\n"
              "/:\n"
              "CLASSPATH: \"-cp \"\n"
              "CLASSPATH_SEPARATOR: :\n");
    writeFile(payload("App.jar"), "PK application archive");
    std::string out;
    // Without the digest block, so that each damage meets the check that
    // the index reader itself makes; with it, every one gives kDamaged
    // (DamageToALauncherWithDigestsIsRefusedAsAWhole).
    std::vector<std::string> entries = {"instructions:" + payload("instructions.tag"),
                                        "verify-jar:" + payload("Verify.jar"),
                                        "launch-script:" + payload("launch.tag"),
                                        "jvm:" + payload("jvm.tag"), "classpath-jar:" + payload("App.jar")};
    for (bool digests : {false, true}) {
      std::vector<std::string> args = {"--stub", binaryPath("bvlauncher"), "-o", m_dir.file("intact")};
      if (!digests) args.push_back("--no-digest");
      args.insert(args.end(), entries.begin(), entries.end());
      ASSERT_EQ(0, runBvpack(args, &out)) << out;
      (digests ? m_sealed : m_intact) = readFile(m_dir.file("intact"));
    }
    entries[0] = "instructions:" + payload("unix-instructions.tag");
    std::vector<std::string> args = {"--stub", binaryPath("bvlauncher"), "-o", m_dir.file("intact"), "--no-digest"};
    args.insert(args.end(), entries.begin(), entries.end());
    ASSERT_EQ(0, runBvpack(args, &out)) << out;
    m_unixIntact = readFile(m_dir.file("intact"));
    m_indexOffset = fieldAt(m_intact, static_cast<long>(m_intact.size()) - 8, 4);
    long pos = m_indexOffset + 4;
    for (long i = fieldAt(m_intact, m_indexOffset, 4); i > 0; --i) {
      m_entries.push_back(pos);
      pos += 16 + fieldAt(m_intact, pos + 13, 2);
    }
    ASSERT_EQ(5u, m_entries.size());
  }

  std::string payload(const std::string& name) const { return m_dir.file("payload/" + name); }
  std::string tempDir() const { return m_dir.file("tmp"); }
  // Position of a field of an index entry (offsets as in the entry layout).
  long entryField(int entry, long fieldOffset) const { return m_entries[entry] + fieldOffset; }

  // Writes bytes as an executable launcher and runs it in the work
  // directory with the test's temp directory and log, then args.
  LauncherProcessResult run(const std::string& bytes, const std::vector<std::string>& args,
                            long fileSizeLimit = -1) {
    std::string launcher = m_dir.file("setup");
    writeFile(launcher, bytes, 0755);
    std::vector<std::string> all = {"-bv:tempdir", tempDir(), "-bv:log", m_dir.file("run.log")};
    all.insert(all.end(), args.begin(), args.end());
    LauncherProcessOptions options;
    options.workingDirectory = m_dir.file("work");
    options.fileSizeLimit = fileSizeLimit;
    return runLauncherProcess(launcher, all, options);
  }

  // A run that failed cleanly: the message, exit code -1 (255), no signal,
  // no hang, and nothing left in the temp or the working directory.
  void expectCleanFailure(const LauncherProcessResult& result, const std::string& message) {
    EXPECT_FALSE(result.hung) << result.output;
    EXPECT_EQ(0, result.signal) << strsignal(result.signal) << "\n" << result.output;
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(255, result.exitCode) << result.output;
    EXPECT_NE(std::string::npos, result.output.find(message))
        << "expected: " << message << "\noutput: " << result.output;
    EXPECT_EQ(std::vector<std::string>(), listDir(tempDir()));
    EXPECT_EQ(std::vector<std::string>(), listDir(m_dir.file("work")));
  }

  TempDir m_dir;
  std::string m_intact;  // without the digest block
  std::string m_sealed;  // the same payload with it
  std::string m_unixIntact;  // m_intact whose script sets UNIX_COMMAND: 1
  long m_indexOffset = 0;
  std::vector<long> m_entries;
};

TEST_F(BadInputTest, TheIntactLauncherRunsItsApplicationAndCleansUp) {
  LauncherProcessResult result = run(m_intact, {});
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(0, result.exitCode) << result.output;
  EXPECT_NE(std::string::npos, result.output.find("application-ran")) << result.output;
  EXPECT_EQ(std::vector<std::string>(), listDir(tempDir()));
}

struct DamageCase {
  const char* name;
  std::string bytes;
  std::string message;  // for a launcher without the digest block
};

// Damage of every kind done to the launcher b, whose index is at
// indexOffset and whose entries' fields entryField finds.
template <class EntryField>
std::vector<DamageCase> damagedCopies(const std::string& b, long indexOffset, EntryField entryField) {
  enum { kInstructionsEntry, kVerifyEntry, kLaunchEntry, kJVMEntry, kAppEntry };
  const long size = static_cast<long>(b.size());
  const long indexOffsetField = size - 8;
  return {
      // Without its trailer the file is more than the bare program: what
      // is left of a launcher cut short.
      {"truncated trailer", b.substr(0, b.size() - 3), kDamaged},
      {"wrong identification value", patched(b, size - 1, "\x83"), kDamaged},
      {"index offset past the end", patched(b, indexOffsetField, bigEndian(size + 100, 4)),
       kIndexLoadError + "Unable to read the file count."},
      {"index offset at the end", patched(b, indexOffsetField, bigEndian(size, 4)),
       kIndexLoadError + "Unable to read the file count."},
      {"negative index offset", patched(b, indexOffsetField, bigEndian(-5, 4)),
       kIndexLoadError + "Invalid file index offset."},
      {"index offset inside the program image", patched(b, indexOffsetField, bigEndian(0, 4)),
       kIndexLoadError},
      // An empty index that leaves the entries' bytes between it and the
      // trailer unaccounted for.
      {"negative file count", patched(b, indexOffset, bigEndian(-1, 4)), kDamaged},
      {"huge file count", patched(b, indexOffset, bigEndian(2147483647L, 4)),
       kIndexLoadError + "Unable to load offset to file bytes."},
      {"type byte 10", patched(b, entryField(kVerifyEntry, 0), "\x0a"),
       kIndexLoadError + "Invalid file type in file index."},
      {"type byte 255", patched(b, entryField(kInstructionsEntry, 0), "\xFF"),
       kIndexLoadError + "Invalid file type in file index."},
      {"negative name length", patched(b, entryField(kLaunchEntry, 13), bigEndian(-1, 2)),
       kIndexLoadError + "Invalid file name length in file index."},
      {"oversized name length", patched(b, entryField(kAppEntry, 13), bigEndian(32767, 2)),
       kIndexLoadError + "Unable to load the string value."},
      {"zero name length", patched(b, entryField(kJVMEntry, 13), bigEndian(0, 2)),
       kIndexLoadError + "Invalid file name in file index."},
      {"tag file past the end", patched(b, entryField(kInstructionsEntry, 9), bigEndian(size, 4)),
       kOutsideInstructions},
      {"tag file longer than the launcher",
       patched(b, entryField(kInstructionsEntry, 5), bigEndian(2147483647L, 4)),
       kOutsideInstructions},
      {"tag file at a negative offset",
       patched(b, entryField(kInstructionsEntry, 9), bigEndian(-100, 4)), kOutsideInstructions},
      {"tag file of negative length",
       patched(b, entryField(kInstructionsEntry, 5), bigEndian(-1, 4)), kOutsideInstructions},
      {"verification archive past the end",
       patched(b, entryField(kVerifyEntry, 9), bigEndian(size - 2, 4)),
       "Embedded file Verify.jar lies outside the launcher file."},
      {"classpath archive of negative length",
       patched(b, entryField(kAppEntry, 5), bigEndian(-5, 4)),
       "Embedded file App.jar lies outside the launcher file."},
      {"classpath archive longer than the launcher",
       patched(b, entryField(kAppEntry, 5), bigEndian(2147483647L, 4)),
       "Embedded file App.jar lies outside the launcher file."},
      {"name with a slash", patchedText(b, "App.jar", "../x.ja"),
       kIndexLoadError + "Invalid file name in file index."},
      {"name with a slash inside", patchedText(b, "Verify.jar", "Veri/y.jar"),
       kIndexLoadError + "Invalid file name in file index."},
      {"name \"..\"",
       patched(patched(b, entryField(kAppEntry, 13), bigEndian(2, 2)), entryField(kAppEntry, 15),
               "..\x00"),
       kIndexLoadError + "Invalid file name in file index."},
      {"tag line without a colon",
       patchedText(b, "DESC: Bad input instructions", "DESC  Bad input instructions"),
       kIndexLoadError +
           "Syntax error in instructions.tag at line 1 ==> Missing colon at the end of the tag name."},
      // The block runs on through the bytes that follow jvm.tag to the end
      // of the file, where it is found unclosed.
      {"block without its terminator",
       patchedText(b, "\"os.name=Linux\"\n/:\n", "\"os.name=Linux\"\n//\n"),
       kIndexLoadError + "Syntax error in jvm.tag at line 6 ==> Missing /: tag completer."},
      {"unclosed quote", patchedText(b, "App\"\n", "App \n"),
       kIndexLoadError + "Expected double quote to end argument near "},
  };
}

TEST_F(BadInputTest, DamagedLauncherFilesEndWithTheirMessage) {
  auto field = [this](int entry, long offset) { return entryField(entry, offset); };
  for (const DamageCase& c : damagedCopies(m_intact, m_indexOffset, field)) {
    SCOPED_TRACE(c.name);
    expectCleanFailure(run(c.bytes, {}), c.message);
  }
}

// The launcher program without a payload says so, and is not called cut
// short.
TEST_F(BadInputTest, TheBareLauncherProgramSaysItCarriesNoApplication) {
  std::string stub = readFile(binaryPath("bvlauncher-stripped"));
  ASSERT_FALSE(stub.empty());
  LauncherProcessResult result = run(stub, {});
  expectCleanFailure(result, "The launcher file " + m_dir.file("setup") +
                                 " is the launcher program alone: it carries no application. Pack one "
                                 "with bvpack.");
  EXPECT_EQ(std::string::npos, result.output.find(kDamaged)) << result.output;
}

TEST_F(BadInputTest, BadInputFilesEndWithTheirMessage) {
  mkdir(m_dir.file("a-directory").c_str(), 0755);
  const std::string missing = m_dir.file("missing.tag");
  writeFile(m_dir.file("unclosed-block.tag"), "DESC: x\nCOMMAND:\n  a\n");
  struct Case {
    const char* name;
    std::string text;        // the input file's text; empty: no file written
    std::string inputName;  // the name after -bv:in
    std::string message;
  };
  const std::string input = m_dir.file("input.tag");
  std::vector<Case> cases = {
      {"missing input file", "", missing, kInputLoadError + kInputOpenError},
      {"empty input file name", "", "", kInputLoadError + kInputOpenError},
      {"input file that is a directory", "", m_dir.file("a-directory"),
       kInputLoadError + "Unable to read tag file."},
      {"tag line without a colon", "ACTION RUN_INSTRUCTIONS\n", input,
       kInputLoadError + "Syntax error in " + input +
           " at line 1 ==> Missing colon at the end of the tag name."},
      {"unclosed quote", "ACTION: RUN_INSTRUCTIONS\nUI_TITLE: \"Setup\n", input,
       kInputLoadError + "Expected double quote to end argument near "},
      {"unclosed block", "ACTION: RUN_INSTRUCTIONS\nJVM:\n  a.jvm\n", input,
       kInputLoadError + "Syntax error in " + input + " at line 2 ==> Missing /: tag completer."},
      {"instruction script that does not exist",
       "ACTION: RUN_INSTRUCTIONS\nINSTRUCTIONS: " + missing + "\n", input,
       "Unable to load input file: " + missing},
      {"JVM file that is a directory",
       "ACTION: SEARCH\nJVM: " + m_dir.file("a-directory") + "\n", input,
       "Unable to read tag file."},
      {"launch script with an unclosed block",
       "ACTION: RUN_INSTRUCTIONS\nLAUNCHSCRIPT: " + m_dir.file("unclosed-block.tag") + "\n",
       input,
       "Syntax error in " + m_dir.file("unclosed-block.tag") +
           " at line 2 ==> Missing /: tag completer."},
      {"endless input file", "", "/dev/zero",
       kInputLoadError + "Syntax error in /dev/zero at line 1 ==> Line too long."},
      {"endless instruction script", "ACTION: RUN_INSTRUCTIONS\nINSTRUCTIONS: /dev/zero\n", input,
       "Syntax error in /dev/zero at line 1 ==> Line too long."},
      {"invalid action", "ACTION: EXPLODE\n", input, "Invalid action in input file: EXPLODE"},
      {"no action", "LOGFILE: " + m_dir.file("run.log") + "\n", input,
       "Invalid action in input file: "},
  };
  // Permission bits do not stop root, who reads every file.
  if (geteuid() != 0) {
    writeFile(m_dir.file("unreadable.tag"), "ACTION: RUN_INSTRUCTIONS\n", 0);
    cases.push_back({"unreadable input file", "", m_dir.file("unreadable.tag"),
                     kInputLoadError + kInputOpenError});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.text.empty()) writeFile(input, c.text);
    expectCleanFailure(run(m_intact, {"-bv:in", c.inputName}), c.message);
    unlink(input.c_str());
  }
  // -bv:in as the last argument.
  expectCleanFailure(run(m_intact, {"-bv:in"}),
                     "An input file name must follow the '-bv:in' command line option.");
}

// The same damage done to a launcher with the digest block: each is found
// before anything is used, and the user reads the one message.
TEST_F(BadInputTest, DamageToALauncherWithDigestsIsRefusedAsAWhole) {
  // The index lies where it lies without the block; the block follows it.
  ASSERT_EQ(m_intact.substr(0, m_intact.size() - 9), m_sealed.substr(0, m_intact.size() - 9));
  auto field = [this](int entry, long offset) { return entryField(entry, offset); };
  for (const DamageCase& c : damagedCopies(m_sealed, m_indexOffset, field)) {
    SCOPED_TRACE(c.name);
    expectCleanFailure(run(c.bytes, {}), kDamaged);
    EXPECT_NE(std::string::npos, readFile(m_dir.file("run.log")).find("ERROR: " + kDamaged + " ("));
  }
}

// A tmpfs mounted on a directory for the scope, when the process may mount.
class ScopedTmpfs {
 public:
  ScopedTmpfs(const std::string& dir, unsigned long flags, const std::string& options)
      : m_dir(dir) {
    m_mounted = mount("tmpfs", dir.c_str(), "tmpfs", flags, options.c_str()) == 0;
    m_error = m_mounted ? "" : strerror(errno);
  }
  ~ScopedTmpfs() {
    if (m_mounted) umount2(m_dir.c_str(), MNT_DETACH);
  }
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;
  bool mounted() const { return m_mounted; }
  const std::string& error() const { return m_error; }

 private:
  std::string m_dir;
  bool m_mounted;
  std::string m_error;
};

// With UNIX_COMMAND: 1 each folder is named with its own reason; a setup
// program's launcher gives the catalogued message for a folder that is
// missing or no folder.
TEST_F(BadInputTest, UnusableTempDirectoriesEndWithTheirMessage) {
  const std::string advice =
      " Please run the program again using the option -bv:tempdir <temp dir> to specify a different "
      "directory to use.";
  std::string missing = m_dir.file("no-such-dir");
  // The folder was given with -bv:tempdir: no advice to give one.
  LauncherProcessResult result = run(m_unixIntact, {"-bv:tempdir", missing});
  expectCleanFailure(result, "Cannot use " + missing + " as the temp directory because it does not exist.");
  EXPECT_EQ(std::string::npos, result.output.find("Please run the program again")) << result.output;
  EXPECT_FALSE(pathExists(missing));
  expectCleanFailure(run(m_intact, {"-bv:tempdir", missing}),
                     "Cannot use " + missing + " as the temp directory because it does not exist." + advice);
  EXPECT_FALSE(pathExists(missing));

  std::string file = m_dir.file("a-file");
  writeFile(file, "not a directory");
  expectCleanFailure(run(m_unixIntact, {"-bv:tempdir", file}),
                     file + " cannot be the temporary directory: it is not a directory.");
  EXPECT_EQ("not a directory", readFile(file));
  expectCleanFailure(run(m_intact, {"-bv:tempdir", file}),
                     "Cannot use " + file + " as the temp directory because it does not exist." + advice);
  EXPECT_EQ("not a directory", readFile(file));

  // Not writable: a read-only tmpfs for root (whom permissions do not stop),
  // the permission bits for anyone else.
  std::string readOnly = m_dir.file("read-only");
  mkdir(readOnly.c_str(), 0755);
  std::unique_ptr<ScopedTmpfs> readOnlyMount;
  std::string reason = strerror(EACCES);
  if (geteuid() == 0) {
    readOnlyMount.reset(new ScopedTmpfs(readOnly, MS_RDONLY, "size=64k"));
    if (!readOnlyMount->mounted()) {
      GTEST_SKIP() << "a temp directory that root cannot write needs a read-only tmpfs, and "
                      "mounting one failed: " << readOnlyMount->error();
    }
    reason = strerror(EROFS);
  } else {
    chmod(readOnly.c_str(), 0555);
  }
  // The directory is made by mkdir, whose error text is the message.
  expectCleanFailure(run(m_intact, {"-bv:tempdir", readOnly}), reason);
  EXPECT_EQ(std::vector<std::string>(), listDir(readOnly));
}

TEST_F(BadInputTest, AFileSizeLimitEndsTheExtractionWithTheSystemsText) {
  // A write past RLIMIT_FSIZE fails with EFBIG; the verification archive is
  // the first file written. The space hint is for a full disk only.
  LauncherProcessResult result = run(m_intact, {}, 8);
  expectCleanFailure(result, kWriteError + std::to_string(EFBIG) + " (" + strerror(EFBIG) + ")");
  EXPECT_EQ(std::string::npos, result.output.find(kSpaceHint)) << result.output;
}

TEST_F(BadInputTest, AReadOnlyTempDirectoryIsNamedAsSuch) {
  std::string readOnly = m_dir.file("ro");
  mkdir(readOnly.c_str(), 0755);
  ScopedTmpfs tmpfs(readOnly, MS_RDONLY, "size=64k");
  if (!tmpfs.mounted()) {
    GTEST_SKIP() << "a read-only file system needs a tmpfs, and mounting one failed (root only): "
                 << tmpfs.error();
  }
  LauncherProcessResult result = run(m_intact, {"-bv:tempdir", readOnly});
  expectCleanFailure(result, strerror(EROFS));
  EXPECT_EQ(std::string::npos, result.output.find(kSpaceHint)) << result.output;
}

TEST_F(BadInputTest, AFullFileSystemEndsTheExtractionWithTheSpaceHint) {
  std::string full = m_dir.file("full");
  mkdir(full.c_str(), 0755);
  ScopedTmpfs tmpfs(full, 0, "size=64k");
  if (!tmpfs.mounted()) {
    GTEST_SKIP() << "a full file system needs a small tmpfs, and mounting one failed (root "
                    "only): " << tmpfs.error();
  }
  // Fill it up.
  std::string filler(64 * 1024, 'x');
  FILE* f = fopen((full + "/filler").c_str(), "w");
  ASSERT_NE(nullptr, f);
  fwrite(filler.data(), 1, filler.size(), f);
  fclose(f);

  LauncherProcessResult result = run(m_intact, {"-bv:tempdir", full});
  // Either the free-space check or the write itself says no.
  EXPECT_NE(std::string::npos, result.output.find(kWriteError)) << result.output;
  expectCleanFailure(result, kSpaceHint);
  EXPECT_EQ(std::vector<std::string>{"filler"}, listDir(full));
}

}  // namespace
}  // namespace bvtest
