// What the disk scan keeps of its finds: the homes that foundFile derives
// from reported paths, their grouping per JVM file in first-found order,
// and the lookup of JVM files by index. No process is run here.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "jvm/jvm_files.h"
#include "jvm/unverified_jvm_match.h"
#include "tagfile/tag_file.h"
#include "tests/launchscript/test_launch_context.h"
#include "tests/test_util.h"

class JVMFilesTestAccess {
 public:
  static UnverifiedJVMMatchPtrDeque& unverified(JVMFiles& files) {
    return files.m_unverifiedMatches;
  }
};

namespace bvtest {
namespace {

std::vector<std::string> homesOf(UnverifiedJVMMatch* match) {
  std::vector<std::string> homes;
  for (long i = 0; i < match->getHomeDirs().size(); i++) {
    homes.push_back(match->getHomeDirs().at(i).c_str());
  }
  return homes;
}

class FoundFileTest : public ::testing::Test {
 protected:
  FoundFileTest() : m_files(m_run.context) {}
  const LaunchContext& context() const { return m_run.context; }

  JVMFile* addFile(const char* exe) {
    TagFile* tags = (exe[0] == 'b') ? &m_binJava : &m_java;
    tags->setTagValue("JVM_EXE", exe);
    JVMFile* file = new JVMFile(*tags, context());
    m_files.addJVMFile(file);
    return file;
  }
  UnverifiedJVMMatchPtrDeque& unverified() { return JVMFilesTestAccess::unverified(m_files); }

  TagFile m_binJava;
  TagFile m_java;
  TestLaunchContext m_run;
  JVMFiles m_files;
};

TEST_F(FoundFileTest, HomesAreThePathLessSeparatorAndExeAsWholeComponents) {
  JVMFile* binJava = addFile("bin/java");
  JVMFile* java = addFile("java");
  struct Case {
    const char* path;
    const char* binJavaHome;  // null: no home for that file
    const char* javaHome;
  } cases[] = {
      {"/usr/local/jdk/bin/java", "/usr/local/jdk", "/usr/local/jdk/bin"},
      {"/opt/xbin/java", nullptr, "/opt/xbin"},  // "bin/java" is not a whole component
      {"/bin/java", "/", "/bin"},                // right under the root
      {"in/java", nullptr, "in"},                // shorter than "bin/java"
      {"java", nullptr, nullptr},                // no separator before the name
      {"bin/java", nullptr, "bin"},              // nothing before "bin/java"
      {"/opt/javac", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    unverified().clear();
    EXPECT_FALSE(m_files.foundFile(c.path));
    std::vector<std::string> binJavaHomes, javaHomes;
    for (long i = 0; i < unverified().size(); i++) {
      UnverifiedJVMMatch* match = unverified().at(i);
      ASSERT_TRUE(match->getJVMFile() == binJava || match->getJVMFile() == java);
      (match->getJVMFile() == binJava ? binJavaHomes : javaHomes) = homesOf(match);
    }
    EXPECT_EQ(c.binJavaHome ? std::vector<std::string>{c.binJavaHome} : std::vector<std::string>{},
              binJavaHomes);
    EXPECT_EQ(c.javaHome ? std::vector<std::string>{c.javaHome} : std::vector<std::string>{},
              javaHomes);
  }
}

TEST_F(FoundFileTest, EntriesFollowFirstFoundOrderAndKeepEachHomeOnce) {
  JVMFile* binJava = addFile("bin/java");
  JVMFile* java = addFile("java");
  m_files.foundFile("/a/java");  // java only: its entry comes first
  m_files.foundFile("/b/bin/java");
  m_files.foundFile("/b/bin/java");  // reported again: kept once
  m_files.foundFile("/c/bin/java");

  ASSERT_EQ(2, unverified().size());
  EXPECT_TRUE(unverified().at(0)->equals(*java));
  EXPECT_EQ((std::vector<std::string>{"/a", "/b/bin", "/c/bin"}), homesOf(unverified().at(0)));
  EXPECT_TRUE(unverified().at(1)->equals(*binJava));
  EXPECT_EQ((std::vector<std::string>{"/b", "/c"}), homesOf(unverified().at(1)));
}

TEST_F(FoundFileTest, AddUnverifiedMatchAppendsToTheFilesEntryOrStartsOne) {
  JVMFile* binJava = addFile("bin/java");
  JVMFile* java = addFile("java");
  m_files.addUnverifiedMatch(binJava, "/x");
  m_files.addUnverifiedMatch(java, "/y");
  m_files.addUnverifiedMatch(binJava, "/x");
  m_files.addUnverifiedMatch(binJava, "/x/");  // a different string
  ASSERT_EQ(2, unverified().size());
  EXPECT_EQ((std::vector<std::string>{"/x", "/x/"}), homesOf(unverified().at(0)));
  EXPECT_EQ((std::vector<std::string>{"/y"}), homesOf(unverified().at(1)));
}

TEST(UnverifiedJVMMatchPtrDequeTest, AddMatchExtendsTheFilesEntryOnly) {
  TestLaunchContext run;
  TagFile tags;
  JVMFile known(tags, run.context), unknown(tags, run.context);
  UnverifiedJVMMatchPtrDeque matches;
  matches.push_back(new UnverifiedJVMMatch(known));
  matches.addMatch(known, "/jdk");
  matches.addMatch(known, "/jdk");
  matches.addMatch(unknown, "/other");  // no entry for it: nothing happens
  ASSERT_EQ(1, matches.size());
  EXPECT_EQ((std::vector<std::string>{"/jdk"}), homesOf(matches.at(0)));
  EXPECT_TRUE(matches.at(0)->equals(known));
  EXPECT_FALSE(matches.at(0)->equals(unknown));
}

TEST(JVMFilesTest, GetJVMFileChecksTheIndex) {
  bvtest::ScopedLanguage english("C");
  TestLaunchContext run;
  TagFile tags;
  JVMFiles files(run.context);
  EXPECT_EQ(0, files.getJVMFileCount());
  JVMFile* file = new JVMFile(tags, run.context);
  files.addJVMFile(file);
  EXPECT_EQ(1, files.getJVMFileCount());
  EXPECT_EQ(file, files.getJVMFile(0));
  for (long index : {-1L, 1L}) {
    SCOPED_TRACE(index);
    try {
      files.getJVMFile(index);
      ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
      EXPECT_STREQ("No Java(tm) Virtual Machine was found.", e.getMessage().c_str());
    }
  }
}

}  // namespace
}  // namespace bvtest
