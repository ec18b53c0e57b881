// The options that pass a runtime's carried ahead-of-time cache: when there
// are any, and that a cache the JVM turns down costs no word on the console
// (a real Java 25 with a damaged cache).
#include "jvm/carried_aot_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

const char kTemurin25[] = "/usr/lib/jvm/temurin-25-jdk-amd64";

class CarriedAOTCacheTest : public ::testing::Test {
 protected:
  // A home whose lib/bvlauncher-app.aot holds bytes.
  std::string home(const std::string& name, const std::string& bytes) {
    std::string path = m_dir.file(name);
    mkdir(path.c_str(), 0755);
    mkdir((path + "/lib").c_str(), 0755);
    writeFile(path + "/lib/bvlauncher-app.aot", bytes);
    return path;
  }
  TempDir m_dir;
};

TEST_F(CarriedAOTCacheTest, OptionsOnlyForACacheThatJava24OrNewerCanBeGiven) {
  std::string good = home("good", "cache");
  std::string cache = good + "/lib/bvlauncher-app.aot";
  EXPECT_EQ((std::vector<std::string>{"-XX:AOTCache=" + cache, "-Xlog:cds*=off", "-Xlog:aot*=off"}),
            carriedAOTCacheOptions(good, 25));
  EXPECT_EQ((std::vector<std::string>{"-XX:AOTCache=" + cache, "-Xlog:cds*=off"}), carriedAOTCacheOptions(good, 24));
  EXPECT_TRUE(carriedAOTCacheOptions(good, 23).empty());
  EXPECT_TRUE(carriedAOTCacheOptions(m_dir.file("none"), 25).empty());
  EXPECT_TRUE(carriedAOTCacheOptions("", 25).empty());
  // A path that the JVM's option parser would split.
  for (const char* name : {"a:b", "a,b", "a b"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(carriedAOTCacheOptions(home(name, "cache"), 25).empty());
  }
  // Writable by the group: someone else could have put their classes there.
  chmod(cache.c_str(), 0664);
  EXPECT_TRUE(carriedAOTCacheOptions(good, 25).empty());
  chmod(cache.c_str(), 0644);
  EXPECT_FALSE(carriedAOTCacheOptions(good, 25).empty());
  // A folder where the cache would be.
  std::string folder = m_dir.file("folder");
  mkdir(folder.c_str(), 0755);
  mkdir((folder + "/lib").c_str(), 0755);
  mkdir((folder + "/lib/bvlauncher-app.aot").c_str(), 0755);
  EXPECT_TRUE(carriedAOTCacheOptions(folder, 25).empty());
}

TEST_F(CarriedAOTCacheTest, ACacheTheJVMTurnsDownCostsNoWordOnTheConsole) {
  std::string java = std::string(kTemurin25) + "/bin/java";
  if (access(java.c_str(), X_OK) != 0) GTEST_SKIP() << "no Temurin 25";
  // Garbage, and the beginning of a real cache of another class path.
  std::string made = m_dir.file("made.aot");
  ASSERT_EQ(0, runShell("'" + java + "' -XX:AOTCacheOutput='" + made + "' -cp '" + buildPath("java/PrintArgs.jar") +
                        "' PrintArgs >/dev/null 2>&1"));
  std::string truncated = readFile(made).substr(0, 100000);
  for (const std::string& bytes : {std::string("not a cache\n"), truncated}) {
    std::string path = home("bad" + std::to_string(bytes.size()), bytes);
    std::string command = "'" + java + "'";
    for (const std::string& option : carriedAOTCacheOptions(path, 25)) command += " '" + option + "'";
    std::string out;
    ASSERT_EQ(0, runShell(command + " -cp '" + buildPath("java/Hello.jar") + "' Hello 2>&1", &out));
    EXPECT_EQ("Hello, world!\n", out);
  }
}

}  // namespace
}  // namespace bvtest
