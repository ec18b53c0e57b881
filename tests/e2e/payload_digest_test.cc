// A launcher proves that its file is whole: bvpack records SHA-256 digests
// of the program, of every embedded file and of the index, and the
// launcher checks the index at the start and each file before it uses it.
// A damaged or cut-short file gets exactly one message and exit status
// 255, runs nothing it did not check and leaves no temporary file; a
// launcher without digests runs as before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

const std::string kDamaged = "The launcher file is damaged or incomplete. Download it again.\n";

// Reads a big-endian 32-bit field.
long field32(const std::string& bytes, size_t at) {
  unsigned long value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return static_cast<long>(static_cast<int>(value));
}

class PayloadDigestTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    // The fake JVM notes every start in a file, so that a refused launcher
    // can be seen to have started nothing.
    std::string home = dir.file("fake");
    writeFakeJvm(home);
    ASSERT_EQ(0, runShell("mv " + shellQuote(home + "/bin/java") + " " + shellQuote(home + "/bin/java.real")));
    write("fake/bin/java", "#!/bin/sh\necho started >> " + shellQuote(dir.file("started")) + "\nexec \"$0.real\" \"$@\"\n",
          0755);
    m_env = env("", home);
  }

  // A launcher of the typical script whose classpath archive is
  // PrintArgs.jar, with or without digests.
  std::string launcher(const std::string& name, bool digests = true) {
    std::vector<std::string> entries = payload(typicalScriptPath());
    if (!digests) entries.insert(entries.begin(), "--no-digest");
    return pack(name, entries);
  }

  // Writes bytes as the launcher "damaged" and runs it.
  ProcessResult runBytes(const std::string& bytes, const std::vector<std::string>& args = {}) {
    std::string path = write("damaged", bytes, 0755);
    return run(path, args, m_env);
  }

  // A refusal: the one message (on standard error in every launcher: the
  // file is found out before its settings could be read), 255, nothing
  // started, nothing left.
  void expectRefused(const ProcessResult& r) {
    EXPECT_EQ(255, r.status) << r.out << r.err;
    EXPECT_EQ(kDamaged, r.err);
    EXPECT_FALSE(pathExists(dir.file("started")));
    EXPECT_EQ(std::vector<std::string>(), leftInTemp());
  }

  // Where the embedded file name (the index entry's name field) lies.
  size_t entryNameAt(const std::string& bytes, const std::string& name) {
    size_t indexOffset = static_cast<size_t>(field32(bytes, bytes.size() - 8));
    return bytes.find(name, indexOffset);
  }

  std::vector<std::string> m_env;
};


TEST_F(PayloadDigestTest, AnIntactLauncherRunsAndEveryDamageIsRefusedWithOneMessage) {
  std::string good = readFile(launcher("app"));
  ProcessResult r = run(dir.file("app"), {"x"}, m_env);
  ASSERT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("arg=x")) << r.out;
  ASSERT_TRUE(pathExists(dir.file("started")));
  ASSERT_EQ(0, unlink(dir.file("started").c_str()));

  // Found at the start, before any program runs: the index and the scripts
  // are checked there, and a file cut short has lost its trailer.
  size_t indexOffset = static_cast<size_t>(field32(good, good.size() - 8));
  size_t scriptAt = good.find("INSTRUCTIONS:");
  ASSERT_NE(std::string::npos, scriptAt);
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"an entry name in the index", std::string(good).replace(entryNameAt(good, "PrintArgs.jar"), 1, "Q")},
      {"the file count", std::string(good).replace(indexOffset + 3, 1, 1, '\x04')},
      {"the purpose byte", std::string(good).replace(good.size() - 9, 1, 1, '\x02')},
      {"a byte of the instruction script", std::string(good).replace(scriptAt, 1, "i")},
      {"cut short by one byte", good.substr(0, good.size() - 1)},
      {"cut short inside the index", good.substr(0, indexOffset + 10)},
      {"cut short inside the payload", good.substr(0, indexOffset - 100)},
      {"trailing bytes", good + "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NE(good, c.bytes);
    expectRefused(runBytes(c.bytes));
  }
}

// An archive is checked as it is copied out, before the program that uses
// it starts: here the application's jar, after the JVM was found with the
// (intact) verification archive. -bv:extract checks every file before it
// writes one.
TEST_F(PayloadDigestTest, EightBytesChangedInTheJarStopTheRunBeforeTheApplication) {
  std::string good = readFile(launcher("app"));
  std::string jar = readFile(javaBuildPath("PrintArgs.jar"));
  size_t jarAt = good.find(jar);
  ASSERT_NE(std::string::npos, jarAt);
  std::string damaged = std::string(good).replace(jarAt + jar.size() / 2, 8, "12345678");
  ProcessResult r = runBytes(damaged, {"x", "-bv:log", dir.file("log")});
  EXPECT_EQ(255, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.err.find(kDamaged)) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("fakejava")) << r.out;  // the application never ran
  EXPECT_EQ(std::vector<std::string>(), leftInTemp());
  EXPECT_NE(std::string::npos,
            readFile(dir.file("log")).find("ERROR: " + kDamaged.substr(0, kDamaged.size() - 1) +
                                           " (the digest of PrintArgs.jar differs)"))
      << readFile(dir.file("log"));

  ASSERT_EQ(0, runShell("mkdir -p " + shellQuote(dir.file("out"))));
  r = runProcess({write("damaged", damaged, 0755), "-bv:tempdir", temp, "-bv:extract"}, m_env, "", dir.file("out"));
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(kDamaged, r.err);
  EXPECT_EQ(std::vector<std::string>(), listDir(dir.file("out")));
}

TEST_F(PayloadDigestTest, TheMessageIsInTheUsersLanguage) {
  std::string good = readFile(launcher("app"));
  std::string damaged = good.substr(0, good.size() - 100);
  std::vector<std::string> german = m_env;
  german.push_back("LC_ALL=de_DE.UTF-8");
  ProcessResult r = run(write("damaged", damaged, 0755), {}, german);
  EXPECT_EQ(255, r.status);
  EXPECT_EQ("Die Launcher-Datei ist besch\xc3\xa4" "digt oder unvollst\xc3\xa4ndig. Laden Sie sie erneut herunter.\n",
            r.err);
}

TEST_F(PayloadDigestTest, LaunchersWithoutDigestsStillRun) {
  // Written without the block, and the same launcher with the block taken
  // out again: the index ends at the trailer, as the format defines it.
  std::string plain = readFile(launcher("plain", false));
  std::string sealed = readFile(launcher("sealed"));
  long blockSize = field32(sealed, sealed.size() - 9 - 8);
  ASSERT_EQ(81 + 5 * 32, blockSize);
  std::string stripped = sealed.substr(0, sealed.size() - 9 - blockSize) + sealed.substr(sealed.size() - 9);
  EXPECT_EQ(plain, stripped);
  for (const std::string& bytes : {plain, stripped}) {
    ProcessResult r = runBytes(bytes, {"y"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("arg=y")) << r.out;
    EXPECT_EQ(std::vector<std::string>(), leftInTemp());
  }
}

}  // namespace
}  // namespace bvtest
