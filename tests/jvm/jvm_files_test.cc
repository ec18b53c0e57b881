// The JVM search over all JVM files, run against fake JVM homes in a
// temporary tree. A fake home's Java executable is a small sh script that
// honours the verification contract (the marker, then one line per
// requested property, but only when it is given the class Verify) and
// appends its home to a call log, so the order of the checks can be read
// back. The disk scan is pointed at a directory of the test's own.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jvm/jvm_files.h"

#include "archive/launcher_input_files.h"
#include "foundation/launcher_exception.h"
#include "platform/file_navigator.h"
#include "platform/platform_impl.h"
#include "tagfile/tag_file.h"
#include "tests/archive/archive_test_util.h"
#include "tests/java/java_installs.h"
#include "tests/launchscript/test_launch_context.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

// A JVMFiles whose disk scan walks one directory instead of the search
// partitions, and which records every path the walk reports.
class ScanningJVMFiles : public JVMFiles {
 public:
  using JVMFiles::JVMFiles;

  bool foundFile(const SString& path) override {
    reported.push_back(path.c_str());
    return JVMFiles::foundFile(path);
  }

  std::string root;
  bool scanned = false;
  std::vector<std::string> reported;

 protected:
  void scanForFiles(const StringDeque& names) override {
    scanned = true;
    for (long i = 0; i < names.size(); i++) scannedNames.push_back(names.at(i).c_str());
    FindFiles finder(names, [this](const SString& path) { return foundFile(path); });
    finder.process(SString(root.c_str()));
  }

 public:
  std::vector<std::string> scannedNames;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : m_name(name) {
    const char* old = getenv(name);
    m_had = old != nullptr;
    if (m_had) m_old = old;
    setenv(name, value.c_str(), 1);
  }
  const std::string& oldValue() const { return m_old; }
  ~ScopedEnv() {
    if (m_had) {
      setenv(m_name.c_str(), m_old.c_str(), 1);
    } else {
      unsetenv(m_name.c_str());
    }
  }

 private:
  std::string m_name;
  std::string m_old;
  bool m_had;
};

class JVMSearchTest : public ::testing::Test {
 protected:
  JVMSearchTest() : m_path("PATH", m_tmp.file("no-such-dir")), files(m_run.context) {
    files.root = m_tmp.file("disk");
    writeFile(m_tmp.file("calls.log"), "");
    std::filesystem::create_directories(files.root);
    files.setVerifyClass(quoted(verifyJar()), "\"Verify\"");
  }
  void SetUp() override {
    PlatformImpl::setSilent(true);
    userJavaHome = "";
  }
  void TearDown() override {
    userJavaHome = "";
    PlatformImpl::setSilent(false);
  }

  static SString quoted(const std::string& text) { return SString(("\"" + text + "\"").c_str()); }

  // Makes <tmp>/<home>/<exe> a fake Java that reports vendor as java.vendor
  // and returns the home's path.
  std::string fakeHome(const std::string& home, const std::string& vendor,
                       const std::string& exe = "bin/java") {
    std::string path = m_tmp.file(home);
    std::string script = path + "/" + exe;
    std::filesystem::create_directories(std::filesystem::path(script).parent_path());
    writeFile(script,
              "#!/bin/sh\n"
              "echo '" + path + "' >> '" + m_tmp.file("calls.log") + "'\n"
              "cls=\n"
              "for a in \"$@\"; do\n"
              "  if [ -n \"$cls\" ]; then\n"
              "    case \"$a\" in\n"
              "      java.vendor) echo '" + vendor + "' ;;\n"
              "      *) echo null ;;\n"
              "    esac\n"
              "  elif [ \"$a\" = Verify ]; then\n"
              "    cls=1\n"
              "    echo 1739021872\n"
              "  fi\n"
              "done\n",
              0755);
    return path;
  }

  // Adds a JVM file that accepts java.vendor values beginning with vendor.
  JVMFile* addFile(const std::string& vendor, const std::string& exe, bool searchAll,
                   const std::vector<std::string>& pathHints = {}) {
    m_tagFiles.emplace_back(new TagFile());
    TagFile& tags = *m_tagFiles.back();
    tags.setTagValue("DESC", SString((vendor + " JVM").c_str()));
    tags.setTagValue("JVM_EXE", SString(exe.c_str()));
    tags.setTagValue("JVM_PROPERTIES", SString(("java.vendor=" + vendor + "...").c_str()));
    tags.setBoolTagValue("SEARCH_ALL", searchAll);
    tags.setTagValue("CLASSPATH", "-cp ");
    tags.setTagValue("CLASSPATH_SEPARATOR", ":");
    for (const std::string& hint : pathHints) tags.appendTagValue("PATH_HINT", hint.c_str());
    JVMFile* file = new JVMFile(tags, context());
    files.addJVMFile(file);
    return file;
  }

  // The homes whose Java ran, in order.
  std::vector<std::string> calls() const {
    std::vector<std::string> lines;
    std::string text = readFile(m_tmp.file("calls.log"));
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }

  // (home, description) of each match.
  static std::vector<std::pair<std::string, std::string>> describe(JVMMatchPtrDeque& matches) {
    std::vector<std::pair<std::string, std::string>> result;
    for (long i = 0; i < matches.size(); i++) {
      result.emplace_back(matches.at(i)->getJVMHome().c_str(),
                          matches.at(i)->getTagFile()->getTagValue("DESC", 0).c_str());
    }
    return result;
  }

  std::string disk(const std::string& rel) const { return "disk/" + rel; }
  std::string verifyJar() const { return m_tmp.file("verify.jar"); }
  void clearCalls() { writeFile(m_tmp.file("calls.log"), ""); }

  TempDir m_tmp;
  ScopedEnv m_path;  // no PATH directory holds a Java
  std::vector<std::unique_ptr<TagFile>> m_tagFiles;
  TestLaunchContext m_run;
  // -bv:javahome of the search.
  SString userJavaHome;
  ScanningJVMFiles files;

  const LaunchContext& context() const { return m_run.context; }
};

TEST_F(JVMSearchTest, UserHomeIsTriedAgainstEveryFileBeforeAnyHint) {
  std::string alphaHint = fakeHome("alpha-hint", "Alpha Inc.");
  std::string user = fakeHome("user", "Beta Ltd.");
  addFile("Alpha", "bin/java", false, {alphaHint});
  addFile("Beta", "bin/java", false);
  userJavaHome = user.c_str();

  JVMMatchPtrDeque matches;
  files.search(matches, userJavaHome);

  // Tried against Alpha (fails), then Beta (passes); the hint is not tried.
  EXPECT_EQ((std::vector<std::string>{user, user}), calls());
  ASSERT_EQ(1, matches.size());
  EXPECT_EQ(user, matches.at(0)->getJVMHome().c_str());
  EXPECT_EQ("Beta JVM", std::string(matches.at(0)->getTagFile()->getTagValue("DESC", 0).c_str()));
  EXPECT_FALSE(files.scanned);
}

TEST_F(JVMSearchTest, UserHomeThatSatisfiesNoFileFallsBackToTheHints) {
  std::string alphaHint = fakeHome("alpha-hint", "Alpha Inc.");
  std::string user = fakeHome("user", "Gamma");
  addFile("Alpha", "bin/java", false, {alphaHint});
  addFile("Beta", "bin/java", false);
  userJavaHome = user.c_str();

  JVMMatchPtrDeque matches;
  files.search(matches, userJavaHome);

  EXPECT_EQ((std::vector<std::string>{user, user, alphaHint}), calls());
  ASSERT_EQ(1, matches.size());
  EXPECT_EQ(alphaHint, matches.at(0)->getJVMHome().c_str());
}

TEST_F(JVMSearchTest, HintSearchStopsAtTheFirstSearchAllFileThenScansForEveryExe) {
  std::string hint1 = fakeHome("hint1", "Nobody");
  std::string hint2 = fakeHome("hint2", "Nobody");
  std::string hint3 = fakeHome("hint3", "Gamma", "lib/java");
  std::string scanned = fakeHome(disk("opt/gamma"), "Gamma", "lib/java");
  addFile("Alpha", "bin/java", false, {hint1});
  addFile("Beta", "bin/java", true, {hint2});
  addFile("Gamma", "lib/java", false, {hint3});

  JVMMatchPtrDeque matches;
  files.search(matches, userJavaHome);

  // The third file's hint is never tried; the scan finds its home.
  EXPECT_EQ((std::vector<std::string>{hint1, hint2, scanned}), calls());
  EXPECT_EQ((std::vector<std::string>{"bin/java", "lib/java"}), files.scannedNames);
  ASSERT_EQ(1, matches.size());
  EXPECT_EQ(scanned, matches.at(0)->getJVMHome().c_str());
  EXPECT_EQ("Gamma JVM", std::string(matches.at(0)->getTagFile()->getTagValue("DESC", 0).c_str()));
}

TEST_F(JVMSearchTest, NoFileWithSearchAllMeansNoScan) {
  fakeHome(disk("jdk"), "Alpha Inc.");
  addFile("Alpha", "bin/java", false);
  addFile("Beta", "bin/java", false);

  JVMMatchPtrDeque matches;
  files.search(matches, userJavaHome);

  EXPECT_FALSE(files.scanned);
  EXPECT_TRUE(files.reported.empty());
  EXPECT_EQ(0, matches.size());
  EXPECT_TRUE(calls().empty());
}

TEST_F(JVMSearchTest, AFindOfTheFirstFileThatPassesStopsTheWalkAtOnce) {
  // Many passing homes of the first file, and homes of a second file that
  // would pass too: only the first find of the first file is ever run.
  for (int i = 0; i < 6; i++) {
    fakeHome(disk("a" + std::to_string(i)), "Alpha Inc.");
    fakeHome(disk("b" + std::to_string(i)), "Beta Ltd.", "jre/java");
  }
  addFile("Alpha", "bin/java", true);
  addFile("Beta", "jre/java", false);

  JVMMatchPtrDeque matches;
  files.search(matches, userJavaHome);

  ASSERT_EQ(1, matches.size());
  std::string home = matches.at(0)->getJVMHome().c_str();
  EXPECT_EQ((std::vector<std::string>{home}), calls());
  ASSERT_FALSE(files.reported.empty());
  EXPECT_EQ(home + "/bin/java", files.reported.back()) << "the walk went on after the match";
  EXPECT_EQ("Alpha JVM", std::string(matches.at(0)->getTagFile()->getTagValue("DESC", 0).c_str()));
}

TEST_F(JVMSearchTest, LaterFilesFindsAreVerifiedAfterTheWalkInFirstFoundOrder) {
  // The first file's finds all fail during the walk; the finds of the two
  // other files wait. Only the very last kept home passes.
  fakeHome(disk("a1"), "Nobody");
  fakeHome(disk("a2"), "Nobody");
  for (int i = 0; i < 3; i++) {
    fakeHome(disk("p/b" + std::to_string(i)), "Nobody", "b/java");
    fakeHome(disk("q/c" + std::to_string(i)), "Nobody", "c/java");
  }
  addFile("Alpha", "bin/java", true);
  addFile("Beta", "b/java", false);
  addFile("Gamma", "c/java", false);

  // The last home in first-found order is made to pass; it is known only
  // after a dry walk, so run the search once to learn the order.
  JVMMatchPtrDeque dry;
  files.search(dry, userJavaHome);
  ASSERT_EQ(0, dry.size());
  std::vector<std::string> order;  // homes of Beta and Gamma, as the walk kept them
  std::vector<std::string> fileOrder;
  std::map<std::string, std::vector<std::string>> homesByExe;
  for (const std::string& path : files.reported) {
    for (const char* exe : {"b/java", "c/java"}) {
      std::string suffix = std::string("/") + exe;
      if (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
        if (homesByExe[exe].empty()) fileOrder.push_back(exe);
        homesByExe[exe].push_back(path.substr(0, path.size() - suffix.size()));
      }
    }
  }
  ASSERT_EQ(2u, fileOrder.size());
  for (const std::string& exe : fileOrder) {
    for (const std::string& home : homesByExe[exe]) order.push_back(home);
  }
  // Dry run: the first file's two finds during the walk, then every kept
  // home, in first-found order.
  std::vector<std::string> dryCalls = calls();
  ASSERT_EQ(8u, dryCalls.size());
  EXPECT_EQ(order, std::vector<std::string>(dryCalls.begin() + 2, dryCalls.end()));

  // Now let the second kept home pass: the search ends there.
  std::string winner = order[1];
  std::string winnerExe = fileOrder[0];
  fakeHome(winner.substr(m_tmp.path().size() + 1), winnerExe == "b/java" ? "Beta" : "Gamma",
           winnerExe);
  clearCalls();
  files.reported.clear();
  JVMMatchPtrDeque matches;
  files.search(matches, userJavaHome);
  ASSERT_EQ(1, matches.size());
  EXPECT_EQ(winner, matches.at(0)->getJVMHome().c_str());
  std::vector<std::string> run = calls();
  ASSERT_EQ(4u, run.size());
  EXPECT_EQ(order[0], run[2]);
  EXPECT_EQ(order[1], run[3]);
}

TEST_F(JVMSearchTest, SearchAllReturnsOneMatchPerHomeAndFile) {
  // Two files look for the same name (one walk name), a third for "java",
  // so every bin/java is reported twice by the walk: once per name.
  std::string a1 = fakeHome(disk("a1"), "Alpha Inc.");
  std::string a2 = fakeHome(disk("x/a2"), "Alpha Inc.");
  std::string b1 = fakeHome(disk("b1"), "Beta Ltd.");
  std::string none = fakeHome(disk("none"), "Nobody");
  addFile("Alpha", "bin/java", false);
  addFile("Beta", "bin/java", false);
  addFile("Gamma", "java", false);

  JVMMatchPtrDeque matches;
  files.searchAll(matches, false);

  EXPECT_EQ((std::vector<std::string>{"bin/java", "java"}), files.scannedNames);
  EXPECT_EQ(8u, files.reported.size());
  // Each home once per file: Alpha and Beta with the home, Gamma with bin.
  std::vector<std::string> ran = calls();
  EXPECT_EQ(12u, ran.size());
  for (const std::string& home : {a1, a2, b1, none}) {
    SCOPED_TRACE(home);
    EXPECT_EQ(3, std::count(ran.begin(), ran.end(), home));
  }
  auto found = describe(matches);
  std::sort(found.begin(), found.end());
  std::vector<std::pair<std::string, std::string>> expected = {
      {a1, "Alpha JVM"}, {a2, "Alpha JVM"}, {b1, "Beta JVM"}};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, found);
}

TEST_F(JVMSearchTest, SearchAllScansWhateverSearchAllSaysAndIgnoresUserHomeAndHints) {
  std::string user = fakeHome("user", "Alpha Inc.");
  std::string hint = fakeHome("hint", "Alpha Inc.");
  std::string onDisk = fakeHome(disk("jdk"), "Alpha Inc.");
  addFile("Alpha", "bin/java", false, {hint});
  userJavaHome = user.c_str();

  JVMMatchPtrDeque matches;
  files.searchAll(matches, false);

  EXPECT_TRUE(files.scanned);
  EXPECT_EQ((std::vector<std::string>{onDisk}), calls());
  ASSERT_EQ(1, matches.size());
  EXPECT_EQ(onDisk, matches.at(0)->getJVMHome().c_str());
}

TEST_F(JVMSearchTest, SearchAllStoppingAtFirstMatchAppendsTheMatchOfTheWalk) {
  for (int i = 0; i < 4; i++) fakeHome(disk("a" + std::to_string(i)), "Alpha Inc.");
  addFile("Alpha", "bin/java", false);

  JVMMatchPtrDeque matches;
  files.searchAll(matches, true);

  ASSERT_EQ(1, matches.size());
  EXPECT_EQ(1u, calls().size());
  EXPECT_EQ(1u, files.reported.size());
}

TEST_F(JVMSearchTest, FilesWithoutJVMExeGiveNothingToScanFor) {
  fakeHome(disk("jdk"), "Alpha Inc.");
  addFile("Alpha", "", true);

  JVMMatchPtrDeque matches;
  files.search(matches, userJavaHome);
  files.searchAll(matches, false);

  EXPECT_FALSE(files.scanned) << "a walk for no names";
  EXPECT_EQ(0, matches.size());
  EXPECT_TRUE(calls().empty());
}

TEST_F(JVMSearchTest, WithoutAVerificationArchiveNothingIsFound) {
  // A fresh set with no verification class: the run's input files carry
  // no archive of type 5, so the checks run without a class and fail.
  ScanningJVMFiles bare(context());
  bare.root = files.root;
  std::string user = fakeHome("user", "Alpha Inc.");
  fakeHome(disk("jdk"), "Alpha Inc.");
  TagFile tags;
  tags.setTagValue("DESC", "Alpha JVM");
  tags.setTagValue("JVM_EXE", "bin/java");
  tags.setTagValue("JVM_PROPERTIES", "java.vendor=Alpha...");
  tags.setBoolTagValue("SEARCH_ALL", true);
  bare.addJVMFile(new JVMFile(tags, context()));
  userJavaHome = user.c_str();

  SString classpath("x"), className("y");
  bare.writeVerifyJar(classpath, className);
  EXPECT_TRUE(classpath.empty());
  EXPECT_TRUE(className.empty());

  JVMMatchPtrDeque matches;
  bare.search(matches, userJavaHome);
  EXPECT_EQ(0, matches.size());
  EXPECT_TRUE(bare.scanned);
  // The user home and the one home on the disk were both run, and failed.
  EXPECT_EQ(2u, calls().size());
  matches.clear();
  bare.searchAll(matches, false);
  EXPECT_EQ(0, matches.size());
}

TEST_F(JVMSearchTest, SetVerifyClassIsKeptByWriteVerifyJar) {
  SString classpath, className;
  files.writeVerifyJar(classpath, className);
  EXPECT_STREQ(quoted(verifyJar()).c_str(), classpath.c_str());
  EXPECT_STREQ("\"Verify\"", className.c_str());
}

TEST_F(JVMSearchTest, RealJavaFoundByTheScanPassesWithTheBuiltVerifyJar) {
  std::string java;
  {
    ScopedEnv path("PATH", m_path.oldValue());
    java = findJava();
  }
  if (java.empty()) GTEST_SKIP() << "no Java on this machine";
  std::string jar = javaBuildPath("Verify.jar");
  if (!pathExists(jar)) GTEST_SKIP() << "Verify.jar was not built";
  // A link to the real executable, reported by the walk as a file; the
  // match is the home that the link leads to.
  std::filesystem::create_directories(files.root + "/jdk/bin");
  std::filesystem::create_symlink(java, files.root + "/jdk/bin/java");
  files.setVerifyClass(quoted(jar), "\"Verify\"");
  TagFile tags;
  tags.setTagValue("DESC", "Any JVM");
  tags.setTagValue("JVM_EXE", "bin/java");
  tags.setTagValue("JVM_PROPERTIES", "java.version=...");
  tags.setTagValue("CLASSPATH", "-cp ");
  tags.setTagValue("CLASSPATH_SEPARATOR", ":");
  files.addJVMFile(new JVMFile(tags, context()));

  JVMMatchPtrDeque matches;
  files.searchAll(matches, false);
  ASSERT_EQ(1, matches.size());
  EXPECT_EQ(javaHomeOf(java), matches.at(0)->getJVMHome().c_str());
}

// The names in dir that begin with "bvj".
int countTempEntries(const std::string& dir) {
  int count = 0;
  if (DIR* d = opendir(dir.c_str())) {
    while (struct dirent* e = readdir(d)) count += std::string(e->d_name).rfind("bvj", 0) == 0;
    closedir(d);
  }
  return count;
}

// Loading the run's input files cannot be undone, so the launcher is loaded
// in a child process (a death test) that reports what went wrong on stderr.
TEST(WriteVerifyJarTest, ExtractsTheLastVerificationArchiveOncePerRun) {
  std::string jar = javaBuildPath("Verify.jar");
  if (!pathExists(jar)) GTEST_SKIP() << "Verify.jar was not built";
  TempDir dir;
  writeFile(dir.file("stub"), std::string(64, '\x7f'));
  writeFile(dir.file("Old.jar"), "not the one");
  std::string launcher = dir.file("launcher");
  std::string out;
  ASSERT_EQ(0, runBvpack({"--stub", dir.file("stub"), "-o", launcher,
                          "verify-jar:" + dir.file("Old.jar"), "verify-jar:" + jar},
                         &out))
      << out;
  std::filesystem::create_directories(dir.file("tmp"));

  auto run = [&]() {
    auto fail = [](const std::string& what) {
      fprintf(stderr, "%s\n", what.c_str());
      exit(1);
    };
    PlatformImpl::setSilent(true);
    TestLaunchContext run;
    run.paths.setLauncherFile(launcher.c_str());
    PlatformImpl::setSystemTempDir(dir.file("tmp").c_str());
    run.loadArchive();
    JVMFiles files(run.context);
    SString classpath, className;
    files.writeVerifyJar(classpath, className);
    std::string first = classpath.c_str();
    if (countTempEntries(dir.file("tmp")) != 2) fail("expected one directory per archive");
    if (std::string(className.c_str()) != "\"Verify\"") fail("class name " + std::string(className.c_str()));
    if (first.size() < 2 || first.front() != '"' || first.back() != '"') fail("unquoted " + first);
    std::string path = first.substr(1, first.size() - 2);
    if (path.rfind(dir.file("tmp/bvj"), 0) != 0) fail("not in the temp directory: " + path);
    if (readFile(path) != readFile(jar)) fail("not the last archive: " + path);
    files.writeVerifyJar();
    files.writeVerifyJar(classpath, className);
    if (first != classpath.c_str()) fail("class path changed to " + std::string(classpath.c_str()));
    if (countTempEntries(dir.file("tmp")) != 2) fail("extracted again");
    exit(0);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

// Within one JVM file the platform hints come first, then the path hints,
// then the PATH directories: with no candidate passing, each is tried once
// and the order of the runs shows the order of the searches.
TEST_F(JVMSearchTest, HintSearchesRunPlatformThenPathHintsThenPath) {
  std::string platform = fakeHome("platform", "Other");
  std::string pathHint = fakeHome("pathhint", "Other");
  std::string onPath = fakeHome("onpath", "Other");
  ScopedEnv hint("BV_TEST_ORDER_HINT", platform);
  ScopedEnv path("PATH", onPath + "/bin");
  JVMFile* file = addFile("Acme", "bin/java", false, {pathHint});
  file->getTagFile()->appendTagValue("PLATFORM_HINT", "BV_TEST_ORDER_HINT");
  JVMMatchPtrDeque matches;
  files.search(matches, userJavaHome);
  EXPECT_EQ(0, matches.size());
  EXPECT_EQ((std::vector<std::string>{platform, pathHint, onPath}), calls());

  // All three acceptable: the platform hint's home is the match.
  for (const char* home : {"platform", "pathhint", "onpath"}) fakeHome(home, "Acme");
  clearCalls();
  files.search(matches, userJavaHome);
  ASSERT_EQ(1, matches.size());
  EXPECT_EQ(platform, matches.at(0)->getJVMHome().c_str());
}

}  // namespace
}  // namespace bvtest
