// The cache of JVM verifications: real fake JVMs (sh scripts that count
// their runs), a real cache folder in the test's temp dir.
#include "jvm/verify_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jvm/jvm_file.h"
#include "jvm/jvm_match.h"
#include "tests/archive/archive_test_util.h"
#include "tests/jvm/jvm_test_fixture.h"

namespace bvtest {
namespace {

const char* kMarker = "1739021872";

class VerifyCacheTest : public JVMFileTest {
 protected:
  void SetUp() override {
    JVMFileTest::SetUp();
    m_cacheOn.reset(new ScopedEnv("BV_VERIFY_CACHE", "1"));
    m_xdg.reset(new ScopedEnv("XDG_CACHE_HOME", m_dir.file("cache")));
    writeFile(m_dir.file("Verify.jar"), "the verification archive");
    m_classpath = "\"" + m_dir.file("Verify.jar") + "\"";
  }
  void TearDown() override {
    m_xdg.reset();
    m_cacheOn.reset();
    JVMFileTest::TearDown();
  }

  // A fake home whose java appends a line to <home>/runs and prints the
  // marker and three lines "Linux" (enough for any check here).
  std::string makeCountingHome(const std::string& name) {
    std::string home = m_dir.file(name);
    mkdir(home.c_str(), 0755);
    mkdir((home + "/bin").c_str(), 0755);
    writeFile(home + "/bin/java",
              "#!/bin/sh\necho run >> '" + home + "/runs'\nprintf '" + kMarker +
                  "\\nLinux\\nLinux\\nLinux\\n'\n",
              0755);
    return home;
  }
  static long runs(const std::string& home) {
    std::string text = readFile(home + "/runs");
    long lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
  }

  // Verifies home against a JVM file that asks for properties (each
  // "name=value"); true on a match.
  bool verify(const std::string& home, const std::vector<std::string>& properties = {"os.name=Lin..."}) {
    std::string text = "DESC: fake\nJVM_EXE: bin/java\nJVM_PROPERTIES:\n";
    for (const std::string& p : properties) text += "  " + p + "\n";
    text += "/:\n";
    JVMFile file(loadTagFile(text), context());
    std::unique_ptr<JVMMatch> match(file.verify(home.c_str(), m_classpath.c_str(), "\"Verify\""));
    return match != nullptr;
  }

  std::string cacheFolder() const { return m_dir.file("cache/bvlauncher"); }
  std::string cacheFile() const { return cacheFolder() + "/verify.cache"; }
  std::vector<VerifyCacheEntry> cachedEntries() const {
    std::vector<VerifyCacheEntry> entries;
    EXPECT_TRUE(parseVerifyCache(readFile(cacheFile()), entries));
    return entries;
  }

  std::string m_classpath;

 private:
  std::unique_ptr<ScopedEnv> m_cacheOn, m_xdg;
};

TEST_F(VerifyCacheTest, ARepeatStartsNoJVMAndTheValuesAreMatchedAnew) {
  std::string home = makeCountingHome("jdk");
  EXPECT_TRUE(verify(home));
  EXPECT_TRUE(verify(home));
  EXPECT_EQ(1, runs(home));
  std::string exe = home + "/bin/java";
  EXPECT_NE(std::string::npos, log().find("Verification of " + exe + " stored in the cache"));
  EXPECT_NE(std::string::npos, log().find("Verification of " + exe + " taken from the cache"));
  // Same names, other patterns: answered from the cache, and no match.
  EXPECT_FALSE(verify(home, {"os.name=Windows"}));
  EXPECT_EQ(1, runs(home));

  struct stat st;
  ASSERT_EQ(0, stat(cacheFolder().c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 0777);
  ASSERT_EQ(0, stat(cacheFile().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST_F(VerifyCacheTest, AnyChangeOfTheInputsRunsTheJVMAgain) {
  std::string home = makeCountingHome("jdk");
  std::string exe = home + "/bin/java";
  struct Case {
    const char* what;
    std::function<void()> change;
    std::vector<std::string> properties;
  } cases[] = {
      {"modification time of the executable",
       [&] {
         struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 123}};
         utimensat(AT_FDCWD, exe.c_str(), times, 0);
       },
       {"os.name=Lin..."}},
      {"size of the executable",
       [&] { writeFile(exe, readFile(exe) + "# longer\n", 0755); },
       {"os.name=Lin..."}},
      {"a file of the JVM appears", [&] {
         mkdir((home + "/lib").c_str(), 0755);
         writeFile(home + "/lib/libjli.so", "the launcher's library");
       },
       {"os.name=Lin..."}},
      // Without it the JVM cannot start; the cache must not say it can.
      {"lib/libjli.so goes", [&] { unlink((home + "/lib/libjli.so").c_str()); }, {"os.name=Lin..."}},
      {"a file deeper in lib changes", [&] {
         mkdir((home + "/lib/server").c_str(), 0755);
         writeFile(home + "/lib/server/libjvm.so", "one");
       },
       {"os.name=Lin..."}},
      {"a link in lib", [&] {
         writeFile(m_dir.file("jvm.cfg"), "-server KNOWN\n");
         symlink(m_dir.file("jvm.cfg").c_str(), (home + "/lib/jvm.cfg").c_str());
       },
       {"os.name=Lin..."}},
      {"the file that a link in lib leads to", [&] { writeFile(m_dir.file("jvm.cfg"), "-client KNOWN\n"); },
       {"os.name=Lin..."}},
      {"JAVA_TOOL_OPTIONS", [] { setenv("JAVA_TOOL_OPTIONS", "-Dx=1", 1); }, {"os.name=Lin..."}},
      {"_JAVA_OPTIONS", [] { setenv("_JAVA_OPTIONS", "-Dx=1", 1); }, {"os.name=Lin..."}},
      {"JDK_JAVA_OPTIONS", [] { setenv("JDK_JAVA_OPTIONS", "-Dx=1", 1); }, {"os.name=Lin..."}},
      {"the verification archive", [&] { writeFile(m_dir.file("Verify.jar"), "another archive"); },
       {"os.name=Lin..."}},
      {"other property names", [] {}, {"os.name=Lin...", "java.vendor=Linux"}},
      {"the names in another order", [] {}, {"java.vendor=Linux", "os.name=Lin..."}},
  };
  EXPECT_TRUE(verify(home));
  long expected = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.change();
    EXPECT_TRUE(verify(home, c.properties));
    EXPECT_EQ(++expected, runs(home));
    // The new answer replaced the old one and serves the next check.
    EXPECT_TRUE(verify(home, c.properties));
    EXPECT_EQ(expected, runs(home));
  }
  for (const char* variable : {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS"}) unsetenv(variable);
}

TEST_F(VerifyCacheTest, ADamagedCacheFileIsIgnoredAndReplaced) {
  std::string home = makeCountingHome("jdk");
  EXPECT_TRUE(verify(home));
  std::string good = readFile(cacheFile());
  std::string flipped = good;
  flipped[flipped.size() / 2] ^= 1;
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {{"truncated", good.substr(0, good.size() / 2)},
               {"one byte changed", flipped},
               {"a byte after the end", good + "x"},
               {"foreign", "DESC: not a cache\n"},
               {"empty", ""}};
  long expected = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(cacheFile(), c.bytes, 0600);
    EXPECT_TRUE(verify(home));
    EXPECT_EQ(++expected, runs(home));
    EXPECT_EQ(1u, cachedEntries().size());
  }
}

TEST_F(VerifyCacheTest, AFolderOrFileThatOthersCanWriteIsNeitherReadNorWritten) {
  std::string home = makeCountingHome("jdk");
  EXPECT_TRUE(verify(home));
  chmod(cacheFolder().c_str(), 0770);
  unlink(cacheFile().c_str());
  EXPECT_TRUE(verify(home));
  EXPECT_TRUE(verify(home));
  EXPECT_EQ(3, runs(home));
  EXPECT_EQ(-1, access(cacheFile().c_str(), F_OK)) << "written into a group-writable folder";

  chmod(cacheFolder().c_str(), 0700);
  EXPECT_TRUE(verify(home));
  chmod(cacheFile().c_str(), 0622);
  EXPECT_TRUE(verify(home));
  EXPECT_EQ(5, runs(home));
}

TEST_F(VerifyCacheTest, AFolderOwnedByAnotherUserIsNotUsed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the cache folder to another user";
  std::string home = makeCountingHome("jdk");
  EXPECT_TRUE(verify(home));
  ASSERT_EQ(0, chown(cacheFolder().c_str(), 4242, 4242));
  EXPECT_TRUE(verify(home));
  EXPECT_EQ(2, runs(home));
  ASSERT_EQ(0, chown(cacheFolder().c_str(), 0, 0));
  ASSERT_EQ(0, chown(cacheFile().c_str(), 4242, 4242));
  EXPECT_TRUE(verify(home));
  EXPECT_EQ(3, runs(home));
}

// Run as root with another user's HOME or XDG_CACHE_HOME (sudo -E, su
// without -), the launcher neither reads, writes nor makes anything there:
// the folders on the way are checked before anything is made.
TEST_F(VerifyCacheTest, NoCacheUnderAHomeOrCacheFolderOfAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give folders to another user";
  std::string home = makeCountingHome("jdk");
  std::string other = m_dir.file("other");
  mkdir(other.c_str(), 0755);
  mkdir((other + "/cache").c_str(), 0700);
  mkdir(m_dir.file("open").c_str(), 0700);
  chmod(m_dir.file("open").c_str(), 0777);
  ASSERT_EQ(0, chown(other.c_str(), 4242, 4242));
  ASSERT_EQ(0, chown((other + "/cache").c_str(), 4242, 4242));
  struct Case {
    const char* what;
    std::string xdg, home;
    std::string untouched;  // must stay as it was
  } cases[] = {
      {"HOME of another user", "relative", other, other},
      {"XDG_CACHE_HOME of another user", other + "/cache", m_dir.path(), other + "/cache"},
      {"XDG_CACHE_HOME to be made in a folder of another user", other + "/new", m_dir.path(), other},
      {"a HOME that others may write to", "relative", m_dir.file("open"), m_dir.file("open")},
      {"a HOME that does not exist", "relative", m_dir.file("none"), m_dir.file("none")},
  };
  long expected = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedEnv xdg("XDG_CACHE_HOME", c.xdg);
    ScopedEnv homeEnv("HOME", c.home);
    std::string before;
    runShell("ls -AR " + shellQuote(c.untouched) + " 2>&1", &before);
    EXPECT_TRUE(verify(home));
    EXPECT_TRUE(verify(home));
    expected += 2;
    EXPECT_EQ(expected, runs(home));
    std::string after;
    runShell("ls -AR " + shellQuote(c.untouched) + " 2>&1", &after);
    EXPECT_EQ(before, after);
  }
}

TEST_F(VerifyCacheTest, OffWithTheEnvironmentVariableAndWithoutAHome) {
  std::string home = makeCountingHome("jdk");
  {
    ScopedEnv off("BV_VERIFY_CACHE", "0");
    EXPECT_TRUE(verify(home));
    EXPECT_TRUE(verify(home));
  }
  EXPECT_EQ(2, runs(home));
  EXPECT_EQ(-1, access(m_dir.file("cache").c_str(), F_OK));
  EXPECT_EQ(std::string::npos, log().find("cache"));
  // A relative XDG_CACHE_HOME does not count; HOME is used then.
  ScopedEnv relative("XDG_CACHE_HOME", "relative");
  ScopedEnv homeEnv("HOME", m_dir.file("user"));
  mkdir(m_dir.file("user").c_str(), 0700);
  EXPECT_TRUE(verify(home));
  EXPECT_TRUE(verify(home));
  EXPECT_EQ(3, runs(home));
  EXPECT_EQ(0, access(m_dir.file("user/.cache/bvlauncher/verify.cache").c_str(), F_OK));
}

TEST_F(VerifyCacheTest, KeepsTheMostRecentlyUsedEntries) {
  std::vector<std::string> homes;
  for (size_t i = 0; i <= maxVerifyCacheEntries; ++i) homes.push_back(makeCountingHome("jdk" + std::to_string(i)));
  for (size_t i = 0; i < maxVerifyCacheEntries; ++i) EXPECT_TRUE(verify(homes[i]));
  EXPECT_TRUE(verify(homes[0]));  // used again: now the most recent
  EXPECT_TRUE(verify(homes[maxVerifyCacheEntries]));
  EXPECT_EQ(maxVerifyCacheEntries, cachedEntries().size());
  EXPECT_TRUE(verify(homes[0]));
  EXPECT_EQ(1, runs(homes[0]));
  EXPECT_TRUE(verify(homes[1]));  // the least recently used went out
  EXPECT_EQ(2, runs(homes[1]));
}

// The reader on its own: round trip of any bytes, and each kind of damage.
TEST(VerifyCacheFormatTest, ReadsBackAnyBytesAndRejectsEveryDamage) {
  std::string hostile("a\nb:c\0d $(x) `y` '\" \\ % @ # * ? [ ; | & < > \xff\xfe", 44);
  std::vector<VerifyCacheEntry> entries = {{{"/usr/bin/java", "Verify", "state", hostile}, {"Linux", ""}},
                                           {{"/opt/j/bin/java", "V", "", ""}, {}}};
  std::string bytes = formatVerifyCache(entries);
  std::vector<VerifyCacheEntry> read;
  ASSERT_TRUE(parseVerifyCache(bytes, read));
  ASSERT_EQ(2u, read.size());
  EXPECT_EQ(entries[0].key, read[0].key);
  EXPECT_EQ(entries[0].values, read[0].values);
  EXPECT_EQ(entries[1].key, read[1].key);
  // The kept seed of the fuzz target is a file of this version.
  EXPECT_TRUE(parseVerifyCache(readFile(sourcePath("tests/fuzz_regressions/verify_cache/two-entries")), read));
  EXPECT_EQ(2u, read.size());

  for (size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_FALSE(parseVerifyCache(bytes.substr(0, n), read)) << "cut at " << n;
    EXPECT_TRUE(read.empty());
  }
  // A well-formed checksum over a bad body: the body is still checked.
  auto sealed = [](const std::string& body) {
    char sum[17];
    snprintf(sum, sizeof sum, "%016llx", static_cast<unsigned long long>(fnv1a64(body.data(), body.size())));
    return body + "end " + sum + "\n";
  };
  std::string magic = verifyCacheMagic;
  std::vector<std::string> bad = {
      sealed(magic + "1\n3\n1:a\n"),                        // fewer fields than counted
      sealed(magic + "1\n3\n1:a\n1:b\n9:c\n0\n"),           // length past the end
      sealed(magic + "1\n2\n1:a\n1:b\n0\n"),                // key too short
      sealed(magic + "0\nx"),                               // bytes after the entries
      sealed(magic + "33\n"),                               // more entries than kept
      sealed(magic + "1\n99999999999\n"),                   // a count too large
      sealed("bvlauncher-verify-cache 2\n0\n"),             // another version
      sealed(magic + "1\n3\n1:a\n1:b\n1:cX0\n"),            // field not ended by a line feed
  };
  EXPECT_TRUE(parseVerifyCache(sealed(magic + "1\n3\n1:a\n1:b\n1:c\n0\n"), read));
  for (const std::string& b : bad) EXPECT_FALSE(parseVerifyCache(b, read)) << b;
}

}  // namespace
}  // namespace bvtest
