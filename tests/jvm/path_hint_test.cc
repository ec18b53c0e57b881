// PATH_HINT patterns and "~/" hints: which directories they give and in
// which order; the real home of a candidate reached through links; and the
// search through both with fake JVM homes in a temporary HOME.
#include "jvm/path_hint.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jvm/jvm_file.h"
#include "jvm/jvm_match.h"
#include "jvm/real_home.h"
#include "tests/jvm/jvm_test_fixture.h"

namespace bvtest {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> toVector(const StringDeque& deque) {
  std::vector<std::string> result;
  for (long i = 0; i < deque.size(); ++i) result.push_back(deque.at(i).c_str());
  return result;
}

class PathHintTest : public JVMFileTest {
 protected:
  void SetUp() override {
    JVMFileTest::SetUp();
    // A home whose own name holds pattern and shell characters: it is
    // taken literally, never matched.
    m_home = m_dir.file("ho*me [1] $(x)");
    fs::create_directories(m_home);
    m_partitions.push_back("/");
  }

  void mkdirs(const std::vector<std::string>& relative) {
    for (const std::string& r : relative) fs::create_directories(m_home + "/" + r);
  }

  // The candidates of hint with HOME set to the test's home.
  std::vector<std::string> expand(const std::string& hint, bool* relative = nullptr) {
    ScopedEnv home("HOME", m_home);
    StringDeque candidates;
    bool isRelative = false;
    expandPathHint(hint.c_str(), m_partitions, m_dir.path().c_str(), candidates, isRelative);
    if (relative != nullptr) *relative = isRelative;
    return toVector(candidates);
  }

  std::string m_home;
  StringDeque m_partitions;
};

TEST_F(PathHintTest, PatternsGiveExistingDirectoriesNewestFirst) {
  mkdirs({".sdkman/candidates/java/17.0.9-tem", ".sdkman/candidates/java/17.0.15-zulu",
          ".sdkman/candidates/java/11.0.22-tem", ".sdkman/candidates/java/21-ea",
          ".sdkman/candidates/java/8.0.392-tem", ".jdks/temurin-11", ".jdks/corretto-17",
          ".jdks/.hidden-21", ".jdks/zulu-17", ".jdks/name with 'quotes' \"and\" \\ ;|&<>\n",
          ".gradle/jdks/eclipse_adoptium-17-amd64-linux/jdk-17.0.15+6",
          ".gradle/jdks/eclipse_adoptium-21-amd64-linux/jdk-21.0.7+6"});
  fs::create_directory_symlink(m_home + "/.sdkman/candidates/java/17.0.15-zulu",
                               m_home + "/.sdkman/candidates/java/current");
  writeFile(m_home + "/.jdks/jdk-99.tar.gz", "not a directory");
  std::string sdk = m_home + "/.sdkman/candidates/java/";
  EXPECT_EQ((std::vector<std::string>{sdk + "21-ea", sdk + "17.0.15-zulu", sdk + "17.0.9-tem",
                                      sdk + "11.0.22-tem", sdk + "8.0.392-tem", sdk + "current"}),
            expand("~/.sdkman/candidates/java/*"));
  // Names with equal numbers by name; dot names only when the pattern
  // spells the dot; files are no homes.
  std::string jdks = m_home + "/.jdks/";
  EXPECT_EQ((std::vector<std::string>{jdks + "corretto-17", jdks + "zulu-17", jdks + "temurin-11",
                                      jdks + "name with 'quotes' \"and\" \\ ;|&<>\n"}),
            expand("~/.jdks/*"));
  EXPECT_EQ((std::vector<std::string>{jdks + ".hidden-21"}), expand("~/.jdks/.*"));
  EXPECT_EQ((std::vector<std::string>{jdks + "corretto-17", jdks + "temurin-11"}),
            expand("~/.jdks/[ct]?*-1[17]"));
  std::string gradle = m_home + "/.gradle/jdks/";
  EXPECT_EQ((std::vector<std::string>{gradle + "eclipse_adoptium-21-amd64-linux/jdk-21.0.7+6",
                                      gradle + "eclipse_adoptium-17-amd64-linux/jdk-17.0.15+6"}),
            expand("~/.gradle/jdks/*/*"));
  // An absolute pattern; a literal component after a pattern must exist.
  mkdirs({"Library/jdk-17.jdk/Contents/Home", "Library/jdk-21.jdk/Contents"});
  EXPECT_EQ((std::vector<std::string>{m_home + "/Library/jdk-17.jdk/Contents/Home"}),
            expand(m_home.substr(0, m_home.rfind('/')) + "/ho?me*/Library/*/Contents/Home"));
}

TEST_F(PathHintTest, HomeAndRelativeHintsAndMisses) {
  mkdirs({"jdk"});
  bool relative = true;
  // Without a pattern the one candidate is given whether or not it exists.
  EXPECT_EQ(std::vector<std::string>{m_home + "/.jdks/none"}, expand("~/.jdks/none", &relative));
  EXPECT_FALSE(relative);
  EXPECT_EQ(std::vector<std::string>{}, expand("~/.nothing/*"));
  EXPECT_TRUE(contains(log(), "Path hint ~/.nothing/* matches no directory\n"));
  // Relative hints, patterns too, are beside the launcher.
  fs::create_directories(m_dir.file("jre-17"));
  EXPECT_EQ(std::vector<std::string>{m_dir.file("jre")}, expand("jre", &relative));
  EXPECT_TRUE(relative);
  EXPECT_EQ(std::vector<std::string>{m_dir.file("jre-17")}, expand("jre*", &relative));
  EXPECT_TRUE(relative);
  // "~" alone or "~user/" are relative names, as before.
  EXPECT_EQ(std::vector<std::string>{m_dir.file("~other/jdk")}, expand("~other/jdk", &relative));
  EXPECT_TRUE(relative);

  for (bool set : {false, true}) {
    std::string saved = getenv("HOME") != nullptr ? getenv("HOME") : "";
    if (set) {
      setenv("HOME", "", 1);
    } else {
      unsetenv("HOME");
    }
    StringDeque candidates;
    bool isRelative = true;
    expandPathHint("~/.jdks/*", m_partitions, "", candidates, isRelative);
    setenv("HOME", saved.c_str(), 1);
    EXPECT_EQ(0, candidates.size());
    EXPECT_FALSE(isRelative);
  }
  EXPECT_TRUE(contains(log(), "Skipping path hint ~/.jdks/* because HOME is not set\n"));
}

TEST_F(PathHintTest, OnePatternGivesAtMostItsLimit) {
  for (int i = 0; i < 300; ++i) fs::create_directories(m_home + "/many/jdk-" + std::to_string(i));
  std::vector<std::string> found = expand("~/many/jdk-*");
  ASSERT_EQ(static_cast<size_t>(kMaxPathHintMatches), found.size());
  EXPECT_EQ(m_home + "/many/jdk-299", found.front());
  EXPECT_EQ(m_home + "/many/jdk-" + std::to_string(300 - kMaxPathHintMatches), found.back());
  EXPECT_TRUE(contains(log(), "Path hint ~/many/jdk-* matches too many directories"));
}

// A home reached through links is the folder its executable really lies
// in; when the executable resolves to something that does not end with
// JVM_EXE the home stays as found.
TEST_F(JVMFileTest, RealHomeFollowsTheLinksOfTheExecutable) {
  std::string real = makeFakeHome(m_dir.file("jvm/java-17"), "1739021872\nLinux\n");
  fs::create_directories(m_dir.file("alternatives"));
  fs::create_directories(m_dir.file("usr/bin"));
  fs::create_directories(m_dir.file("user/bin"));
  fs::create_directories(m_dir.file("wrapped/bin"));
  fs::create_symlink(real + "/bin/java", m_dir.file("alternatives/java"));
  fs::create_symlink(m_dir.file("alternatives/java"), m_dir.file("usr/bin/java"));
  fs::create_symlink("../../jvm/java-17/bin/java", m_dir.file("user/bin/java"));
  fs::create_symlink(m_dir.file("jvm/java-17/bin"), m_dir.file("wrapped/bin/tools"));
  fs::create_symlink("tools/java", m_dir.file("wrapped/bin/java"));
  fs::create_symlink(m_dir.file("jvm/java-17"), m_dir.file("jvm/default-java"));
  fs::create_symlink(real + "/bin/java", m_dir.file("jvm/java-17/jdk-launcher"));
  // A target that ends in ".../bin-java" does not end in the components
  // bin, java.
  fs::create_directories(m_dir.file("tools"));
  fs::create_directories(m_dir.file("dashed/bin"));
  fs::copy_file(real + "/bin/java", m_dir.file("tools/bin-java"));
  fs::create_symlink(m_dir.file("tools/bin-java"), m_dir.file("dashed/bin/java"));

  struct Case {
    std::string home, exe, expected;
  } cases[] = {
      {m_dir.file("usr/"), "bin/java", real},
      {m_dir.file("user"), "bin/java", real},
      {m_dir.file("wrapped"), "bin/java", real},
      {m_dir.file("jvm/default-java"), "bin/java", real},
      {real + "/", "./bin//java", real},
      {real + "/bin/..", "bin/java", real},
      {m_dir.file("jvm/java-17"), "jdk-launcher", real},
      {m_dir.file("jvm/java-17"), "jdk-launcher/../bin/java", m_dir.file("jvm/java-17")},
      {m_dir.file("missing"), "bin/java", m_dir.file("missing")},
      {m_dir.file("dashed"), "bin/java", m_dir.file("dashed")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.home + " + " + c.exe);
    EXPECT_STREQ(c.expected.c_str(), realJVMHome(c.home.c_str(), c.exe.c_str()).c_str());
  }
  // A link whose target ends otherwise: the home stays as found.
  fs::create_directories(m_dir.file("odd/bin"));
  writeFile(m_dir.file("javawrapper"), "#!/bin/sh\n", 0755);
  fs::create_symlink(m_dir.file("javawrapper"), m_dir.file("odd/bin/java"));
  EXPECT_STREQ(m_dir.file("odd").c_str(), realJVMHome(m_dir.file("odd").c_str(), "bin/java").c_str());

  // The real home is what runs, becomes JAVA_HOME and JVM_HOME, and is
  // written into the completed file.
  TagFile& tags = loadTagFile(
      "DESC: Linux JVM\nJVM_EXE: bin/java\nJVM_PROPERTIES: os.name=Linux\nCLASSPATH: \"-cp \"\n");
  JVMFile jvm(tags, context());
  JVMMatch* match = jvm.verify(m_dir.file("usr").c_str(), "\"/opt/verify.jar\"", "Verify");
  ASSERT_NE(nullptr, match);
  EXPECT_STREQ(real.c_str(), match->getJVMHome().c_str());
  std::string written = match->writeNewJVMFile().c_str();
  delete match;
  EXPECT_STREQ(real.c_str(), TagFile(written.c_str()).getTagValue("JVM_HOME", 0).c_str());
  EXPECT_EQ(real + "\n-cp\n/opt/verify.jar\nVerify\nos.name\n", invoked(real));
  EXPECT_TRUE(contains(log(), "The real JVM home of " + m_dir.file("usr") + " is " + real + "\n"));
  EXPECT_TRUE(contains(log(), "Found matching JVM at " + real + "\n"));
}

// The search through "~/" patterns picks the newest home that satisfies a
// version floor; a home whose name the shell would read is run as data.
TEST_F(PathHintTest, PathHintSearchPicksTheNewestSatisfyingHome) {
  // A home with pattern characters, but none that the shell would read.
  m_home = m_dir.file("home [1]*");
  auto fake = [&](const std::string& relative, const std::string& version) {
    return makeFakeHome(m_home + "/" + relative,
                        "1739021872\n" + version + "\n");
  };
  std::string old11 = fake(".jdks/temurin-11", "11");
  std::string older = fake(".sdkman/candidates/java/17.0.9-x", "17");
  std::string newer = fake(".sdkman/candidates/java/17.0.15-y", "17");
  std::string hostile = fake(".sdkman/candidates/java/99`touch pwned`", "16");
  std::string broken = fake(".sdkman/candidates/java/21-broken", "null");
  TagFile& tags = loadTagFile(
      "DESC: Java 17 or later\n"
      "JVM_EXE: bin/java\n"
      "PATH_HINT:\n"
      "  ~/.jdks/*\n"
      "  ~/.sdkman/candidates/java/*\n"
      "/:\n"
      "JVM_PROPERTIES: java.specification.version>=17\n");
  JVMFile jvm(tags, context());
  ScopedEnv home("HOME", m_home);
  JVMMatch* match = jvm.verifyWithPathHints("\"/opt/verify.jar\"", "Verify");
  ASSERT_NE(nullptr, match);
  EXPECT_STREQ(newer.c_str(), match->getJVMHome().c_str());
  EXPECT_FALSE(match->isJVMTemporary());
  delete match;
  EXPECT_NE("", invoked(old11));    // tried first, too old
  EXPECT_NE("", invoked(broken));   // tried, reports no version
  EXPECT_EQ("", invoked(older));    // never reached
  EXPECT_NE("", invoked(hostile));  // tried first of its pattern, too old
  EXPECT_FALSE(pathExists("pwned"));
  EXPECT_FALSE(pathExists(m_home + "/pwned"));
  std::string text = log();
  EXPECT_TRUE(contains(text, "Checking path hint " + old11 + "\n"));
  EXPECT_TRUE(contains(text, "Checking path hint " + newer + "\n"));
}

}  // namespace
}  // namespace bvtest
