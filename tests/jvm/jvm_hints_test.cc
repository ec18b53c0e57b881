// The three hint searches: which candidate homes they try, in which order,
// with which log lines, and where they stop.
#include "jvm/jvm_file.h"

#include <string>

#include <gtest/gtest.h>

#include "jvm/jvm_match.h"
#include "tests/jvm/jvm_test_fixture.h"

namespace bvtest {
namespace {

const char* kVerifyClasspath = "\"/opt/bv/verify.jar\"";
const char* kVerifyClass = "\"Verify\"";
const char* kGoodOutput = "1739021872\nApple Computer, Inc.\n1.4.2_07\n";
const char* kBadOutput = "1739021872\nSun Microsystems Inc.\n1.4.2_07\n";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The order in which parts appear in text; -1 for a missing one.
long positionOf(const std::string& text, const std::string& part) {
  std::string::size_type pos = text.find(part);
  return pos == std::string::npos ? -1 : static_cast<long>(pos);
}

TEST_F(JVMFileTest, PlatformHintsTryEachVariableInOrder) {
  std::string bad = makeFakeHome(m_dir.file("bad"), kBadOutput);
  std::string good = makeFakeHome(m_dir.file("good"), kGoodOutput);
  std::string later = makeFakeHome(m_dir.file("later"), kGoodOutput);
  ScopedEnv unset("BV_TEST_UNSET_HINT", "");
  ScopedEnv first("BV_TEST_HINT_1", m_dir.file("none") + "::" + bad);
  ScopedEnv second("BV_TEST_HINT_2", good + ":" + later);
  TagFile& tags = loadTagFile(std::string(kExampleJVMFile) +
                              "PLATFORM_HINT:\n"
                              "  \"\"\n"
                              "  BV_TEST_UNSET_HINT\n"
                              "  BV_TEST_HINT_1\n"
                              "  BV_TEST_HINT_2\n"
                              "/:\n");
  JVMFile jvm(tags, context());
  JVMMatch* match = jvm.verifyWithPlatformHints(kVerifyClasspath, kVerifyClass);
  ASSERT_NE(nullptr, match);
  EXPECT_STREQ(good.c_str(), match->getJVMHome().c_str());
  EXPECT_FALSE(match->isJVMTemporary());
  delete match;

  std::string text = log();
  EXPECT_TRUE(contains(text, "Searching for Java 1.4.X by Apple Computer using platform hints\n"));
  long none = positionOf(text, "Checking JVM at " + m_dir.file("none") +
                                   " which was resolved from platform hint BV_TEST_HINT_1\n");
  long badPos = positionOf(text, "Checking JVM at " + bad +
                                     " which was resolved from platform hint BV_TEST_HINT_1\n");
  long goodPos = positionOf(text, "Checking JVM at " + good +
                                      " which was resolved from platform hint BV_TEST_HINT_2\n");
  EXPECT_LT(-1, none);
  EXPECT_LT(none, badPos);
  EXPECT_LT(badPos, goodPos);
  EXPECT_FALSE(contains(text, "Checking JVM at \n"));  // empty pieces are skipped
  EXPECT_FALSE(contains(text, later));                  // the search stopped at the match
}

TEST_F(JVMFileTest, PathHintsAreAbsoluteOrBesideTheLauncher) {
  std::string absolute = makeFakeHome(m_dir.file("abs"), kBadOutput);
  std::string jre = makeFakeHome(m_dir.file("jre"), kGoodOutput);
  TagFile& tags = loadTagFile(std::string(kExampleJVMFile) +
                              "PATH_HINT:\n"
                              "  /Library/Java/Home/\n"
                              "  " + absolute + "\n"
                              "  jre\n"
                              "/:\n");
  JVMFile jvm(tags, context());
  JVMMatch* match = jvm.verifyWithPathHints(kVerifyClasspath, kVerifyClass);
  ASSERT_NE(nullptr, match);
  // The launcher is m_dir/setup, so "jre" is m_dir/jre, and a JVM found
  // beside the launcher is temporary.
  EXPECT_STREQ(jre.c_str(), match->getJVMHome().c_str());
  EXPECT_TRUE(match->isJVMTemporary());
  TagFile written(match->writeNewJVMFile());
  EXPECT_STREQ("1", written.getTagValue("JVM_TEMP", 0).c_str());
  EXPECT_STREQ(jre.c_str(), written.getTagValue("JVM_HOME", 0).c_str());
  delete match;

  std::string text = log();
  EXPECT_TRUE(contains(text, "Searching for Java 1.4.X by Apple Computer using path hints\n"));
  long library = positionOf(text, "Checking path hint /Library/Java/Home/\n");
  long abs = positionOf(text, "Checking path hint " + absolute + "\n");
  long rel = positionOf(text, "Verifying JVM at " + jre + "/bin/java\n");
  EXPECT_LT(-1, library);
  EXPECT_LT(library, abs);
  EXPECT_LT(abs, rel);
  EXPECT_TRUE(contains(text, "/Library/Java/Home/bin/java does not exist\n"));
  EXPECT_FALSE(contains(text, "Checking path hint " + jre));  // relative hints log no line
}

TEST_F(JVMFileTest, RelativePathHintFollowsTheLauncher) {
  TagFile& tags = loadTagFile(std::string(kExampleJVMFile) + "PATH_HINT: jre\n");
  JVMFile jvm(tags, context());
  struct Case {
    const char* launcher;
    const char* exe;
  } cases[] = {
      {"/Volumes/CD/setup", "/Volumes/CD/jre/bin/java"},
      {"setup", "jre/bin/java"},  // no directory: relative to the current one
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.launcher);
    m_run.paths.setLauncherFile(c.launcher);
    EXPECT_EQ(nullptr, jvm.verifyWithPathHints(kVerifyClasspath, kVerifyClass));
    EXPECT_TRUE(contains(log(), std::string("Verifying JVM at ") + c.exe + "\n"));
    EXPECT_TRUE(contains(log(), std::string(c.exe) + " does not exist\n"));
  }
}

TEST_F(JVMFileTest, PlatformJVMPathsDropTheExecutablesDirectory) {
  std::string bad = makeFakeHome(m_dir.file("bad"), kBadOutput);
  std::string jdk = makeFakeHome(m_dir.file("jdk"), kGoodOutput);
  ScopedEnv path("PATH", bad + "/bin::" + jdk + "/bin:/usr/bin");
  {
    TagFile& tags = loadTagFile(kExampleJVMFile);
    JVMFile jvm(tags, context());
    JVMMatch* match = jvm.verifyWithPlatformJVMPaths(kVerifyClasspath, kVerifyClass);
    ASSERT_NE(nullptr, match);
    // The PATH folder's home as written, "jdk/": no link lies on its way.
    EXPECT_STREQ((jdk + "/").c_str(), match->getJVMHome().c_str());
    delete match;
    std::string text = log();
    EXPECT_TRUE(contains(
        text, "Searching for Java 1.4.X by Apple Computer using platform specific JVM Path hints\n"));
    long badPos = positionOf(text, "Checking JVM at " + bad +
                                       "/ which was resolved from the platform JVM path " + bad +
                                       "/bin\n");
    long jdkPos = positionOf(text, "Checking JVM at " + jdk +
                                       "/ which was resolved from the platform JVM path " + jdk +
                                       "/bin\n");
    EXPECT_LT(-1, badPos);
    EXPECT_LT(badPos, jdkPos);
    EXPECT_FALSE(contains(text, "/usr/bin\n"));  // the search stopped at the match
  }
  {
    // The documented case; the executable's name is one that no JVM has, so
    // that nothing runs.
    // A folder whose name merely ends in "bin", and a relative folder, give
    // no candidate.
    ScopedEnv usrPath("PATH", "/usr/bin:/usr/local/sbin:bin:.");
    TagFile& tags = loadTagFile(std::string(kExampleJVMFile) + "JVM_EXE: bin/no-such-java\n");
    JVMFile jvm(tags, context());
    EXPECT_EQ(nullptr, jvm.verifyWithPlatformJVMPaths(kVerifyClasspath, kVerifyClass));
    EXPECT_TRUE(contains(
        log(), "Checking JVM at /usr/ which was resolved from the platform JVM path /usr/bin\n"));
    EXPECT_TRUE(contains(log(), "/usr/bin/no-such-java does not exist\n"));
    EXPECT_FALSE(contains(log(), "/usr/local/sbin/bin")) << log();
    EXPECT_FALSE(contains(log(), "Checking JVM at /usr/local/sbin")) << log();
    EXPECT_TRUE(contains(log(), "Skipping the relative PATH folder bin\n")) << log();
    EXPECT_TRUE(contains(log(), "Skipping the relative PATH folder .\n")) << log();
    EXPECT_FALSE(contains(log(), "Checking JVM at bin")) << log();
  }
  {
    // An executable without a directory part: the PATH entry is the home.
    std::string flat = makeFakeHome(m_dir.file("flat"), kGoodOutput, "java");
    ScopedEnv flatPath("PATH", flat);
    TagFile& tags = loadTagFile(std::string(kExampleJVMFile) + "JVM_EXE: java\n");
    JVMFile jvm(tags, context());
    JVMMatch* match = jvm.verifyWithPlatformJVMPaths(kVerifyClasspath, kVerifyClass);
    ASSERT_NE(nullptr, match);
    EXPECT_STREQ(flat.c_str(), match->getJVMHome().c_str());
    delete match;
  }
}

TEST_F(JVMFileTest, HintSearchesNeedProperties) {
  std::string home = makeFakeHome(m_dir.file("jdk"), kGoodOutput);
  ScopedEnv hint("BV_TEST_HINT", home);
  ScopedEnv path("PATH", home + "/bin");
  TagFile& tags = loadTagFile("DESC: bare\nJVM_EXE: bin/java\nPATH_HINT: " + home +
                              "\nPLATFORM_HINT: BV_TEST_HINT\n");
  JVMFile jvm(tags, context());
  EXPECT_EQ(nullptr, jvm.verifyWithPlatformHints(kVerifyClasspath, kVerifyClass));
  EXPECT_EQ(nullptr, jvm.verifyWithPathHints(kVerifyClasspath, kVerifyClass));
  EXPECT_EQ(nullptr, jvm.verifyWithPlatformJVMPaths(kVerifyClasspath, kVerifyClass));
  std::string text = log();
  std::string warning = "WARNING: Unable to verify " + m_dir.file("test.jvm") +
                        " because the JVM_PROPERTIES tag was not specified.\n";
  long count = 0;
  for (std::string::size_type p = text.find(warning); p != std::string::npos;
       p = text.find(warning, p + 1)) {
    ++count;
  }
  EXPECT_EQ(3, count);
  EXPECT_FALSE(contains(text, "Searching for"));
  EXPECT_EQ("", invoked(home));
}

}  // namespace
}  // namespace bvtest
