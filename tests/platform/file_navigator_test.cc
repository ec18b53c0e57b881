#include "platform/file_navigator.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "platform/console.h"
#include "platform/delete_full_dir.h"
#include "platform/file_find_listener.h"
#include "platform/platform_impl.h"
#include "tests/test_util.h"

namespace {

using bvtest::writeFile;

void makeDir(const std::string& path) { ASSERT_EQ(0, mkdir(path.c_str(), 0755)) << path; }

void makeLink(const std::string& target, const std::string& link) {
  ASSERT_EQ(0, symlink(target.c_str(), link.c_str())) << link;
}

// Records the walk: "dir <path>" when a directory is taken, "file <path>"
// for every file reported.
class RecordingNavigator : public FileNavigator {
 public:
  RecordingNavigator() : FileNavigator(false) {}
  ~RecordingNavigator() {}
  bool processFile(const SString& path) override {
    events.push_back("file " + std::string(path.c_str()));
    return false;
  }
  bool skipDirectory(const SString& dir) override {
    events.push_back("dir " + std::string(dir.c_str()));
    return false;
  }
  std::vector<std::string> events;
};

class RecordingListener {
 public:
  explicit RecordingListener(long stopAt = -1) : m_stopAt(stopAt) {}
  FoundFileHandler handler() {
    return [this](const SString& path) { return foundFile(path); };
  }
  bool foundFile(const SString& path) {
    found.push_back(path.c_str());
    return static_cast<long>(found.size()) == m_stopAt;
  }
  std::vector<std::string> found;

 private:
  long m_stopAt;
};

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(FileNavigatorTest, ReportsEachFileOnceRightAfterReadingItsDirectory) {
  bvtest::TempDir dir;
  std::string root = dir.path();
  makeDir(root + "/a");
  makeDir(root + "/a/b");
  makeDir(root + "/c");
  makeDir(root + "/empty");
  writeFile(root + "/a/x", "");
  writeFile(root + "/a/b/y", "");
  writeFile(root + "/c/z", "");
  writeFile(root + "/top", "");

  RecordingNavigator walk;
  EXPECT_FALSE(walk.process(root.c_str()));
  std::vector<std::string> files;
  std::string current;
  for (const std::string& e : walk.events) {
    if (e.compare(0, 4, "dir ") == 0) {
      current = e.substr(4);
      continue;
    }
    files.push_back(e.substr(5));
    // The file belongs to the directory read last: files come before any
    // subdirectory is read.
    EXPECT_EQ(current, files.back().substr(0, files.back().rfind('/'))) << e;
  }
  EXPECT_EQ(sorted({root + "/a/b/y", root + "/a/x", root + "/c/z", root + "/top"}), sorted(files));

  const StringDeque& visited = walk.getVisitedDirectories();
  ASSERT_EQ(5, visited.size());
  EXPECT_EQ(root, visited.at(0).c_str());
  // a/b is read after a, since it is found there.
  std::vector<std::string> order;
  for (long i = 0; i < visited.size(); ++i) order.push_back(visited.at(i).c_str());
  EXPECT_LT(std::find(order.begin(), order.end(), root + "/a"),
            std::find(order.begin(), order.end(), root + "/a/b"));
}

TEST(FileNavigatorTest, LinksAreReportedAsFilesAndNeverFollowed) {
  bvtest::TempDir dir;
  makeDir(dir.file("tree"));
  makeDir(dir.file("elsewhere"));
  writeFile(dir.file("elsewhere/hidden"), "");
  makeLink(dir.file("elsewhere"), dir.file("tree/dir-link"));
  makeLink(dir.file("nowhere"), dir.file("tree/dangling"));
  makeLink(dir.file("tree"), dir.file("tree/loop"));

  RecordingNavigator walk;
  walk.process(dir.file("tree").c_str());
  EXPECT_EQ(sorted({"dir " + dir.file("tree"), "file " + dir.file("tree/dangling"),
                    "file " + dir.file("tree/dir-link"), "file " + dir.file("tree/loop")}),
            sorted(walk.events));
  EXPECT_FALSE(FileNavigator::isDirectory(dir.file("tree/dir-link").c_str()));
  EXPECT_TRUE(FileNavigator::isDirectory(dir.file("tree").c_str()));
  EXPECT_FALSE(FileNavigator::isDirectory(dir.file("missing").c_str()));
}

TEST(FileNavigatorTest, ARootGivenWithASeparatorKeepsIt) {
  bvtest::TempDir dir;
  makeDir(dir.file("sub"));
  writeFile(dir.file("sub/f"), "");
  RecordingNavigator walk;
  walk.process((dir.path() + "/").c_str());
  EXPECT_EQ(sorted({"dir " + dir.path() + "/", "dir " + dir.file("sub"), "file " + dir.file("sub/f")}),
            sorted(walk.events));
}

TEST(FileNavigatorTest, AMissingRootIsWalkedQuietly) {
  bvtest::TempDir dir;
  RecordingNavigator walk;
  EXPECT_FALSE(walk.process(dir.file("missing").c_str()));
  EXPECT_EQ(std::vector<std::string>{"dir " + dir.file("missing")}, walk.events);
}

class FindFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    makeDir(dir.file("tmp"));
    PlatformImpl::setSystemTempDir(dir.file("tmp").c_str());
  }
  void TearDown() override { PlatformImpl::setSystemTempDir(""); }
  bvtest::TempDir dir;
};

TEST_F(FindFilesTest, NamesMatchWholeTrailingComponents) {
  StringDeque names;
  names.push_back("bin/java");
  names.push_back("java");
  struct Case {
    const char* path;
    std::vector<std::string> reports;  // once per matching name
  } cases[] = {
      {"/usr/lib/jvm/bin/java", {"/usr/lib/jvm/bin/java", "/usr/lib/jvm/bin/java"}},
      {"/usr/lib/jvm/xbin/java", {"/usr/lib/jvm/xbin/java"}},
      {"/opt/java", {"/opt/java"}},
      {"/opt/xjava", {}},
      {"/opt/java/x", {}},
      {"java", {}},
      {"/java", {"/java"}},
      {"bin/java", {"bin/java"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    RecordingListener listener;
    FindFiles search(names, listener.handler());
    EXPECT_FALSE(search.processFile(c.path));
    EXPECT_EQ(c.reports, listener.found);
  }
}

TEST_F(FindFilesTest, SkipsTheTempDirectoriesAndStopsWhenTheListenerSaysSo) {
  std::string root = dir.file("disk");
  makeDir(root);
  makeDir(root + "/jdk");
  makeDir(root + "/jdk/bin");
  writeFile(root + "/jdk/bin/java", "");
  writeFile(root + "/jdk/bin/javac", "");
  makeDir(dir.file("tmp/bvjextract"));
  makeDir(dir.file("tmp/bvjextract/bin"));
  writeFile(dir.file("tmp/bvjextract/bin/java"), "");
  makeLink(dir.file("tmp"), root + "/tmp-link");

  StringDeque names;
  names.push_back("bin/java");
  {
    RecordingListener listener;
    FindFiles search(names, listener.handler());
    EXPECT_FALSE(search.process(dir.path().c_str()));
    EXPECT_EQ(std::vector<std::string>{root + "/jdk/bin/java"}, listener.found);
    EXPECT_TRUE(search.skipDirectory(dir.file("tmp").c_str()));
    EXPECT_TRUE(search.skipDirectory((dir.file("tmp") + "/").c_str()));
    EXPECT_TRUE(search.skipDirectory("/var/tmp"));
    EXPECT_FALSE(search.skipDirectory("/var"));
    EXPECT_FALSE(search.skipDirectory(dir.file("tmpx").c_str()));
  }
  {
    // Both copies are reported once the temp directory is elsewhere; the
    // listener stops at the first.
    PlatformImpl::setSystemTempDir(root.c_str());
    RecordingListener listener(1);
    FindFiles search(names, listener.handler());
    EXPECT_TRUE(search.process(dir.path().c_str()));
    EXPECT_EQ(1u, listener.found.size());
  }
}

TEST_F(FindFilesTest, AMissingTempDirectoryFailsTheSearchBeforeItStarts) {
  PlatformImpl::setSystemTempDir(dir.file("missing").c_str());
  StringDeque names;
  names.push_back("bin/java");
  RecordingListener listener;
  EXPECT_THROW(PlatformImpl::findFiles(names, listener.handler()), LauncherException);
  EXPECT_TRUE(listener.found.empty());
}

TEST(FileNavigatorTest, OneProgressDotPerThousandFilesAndCancelStopsOnlyCancelableWalks) {
  bvtest::TempDir dir;
  makeDir(dir.file("tree"));
  makeDir(dir.file("tree/sub"));
  for (int i = 0; i < 2500; ++i) {
    writeFile(dir.file((i % 2 ? "tree/sub/f" : "tree/f") + std::to_string(i)), "");
  }
  int enabled = g_enableOutput;
  long progress = ui_progress;
  long block = ui_progressBlock;
  PlatformImpl::setSilent(false);
  g_enableOutput = 0;
  ui_progress = 0;

  RecordingNavigator walk;
  walk.process(dir.file("tree").c_str());
  EXPECT_EQ(2500 + 2u, walk.events.size());
  EXPECT_EQ(2, ui_progress);

  PlatformImpl::setCanceled(true);
  StringDeque names;
  names.push_back("f1");
  RecordingListener listener;
  FindFiles search(names, listener.handler());
  EXPECT_FALSE(search.process(dir.file("tree").c_str()));
  EXPECT_TRUE(listener.found.empty());
  EXPECT_EQ(0, search.getVisitedDirectories().size());
  // The removal of a tree is not cancelable.
  DeleteFullDir removal;
  removal.process(dir.file("tree").c_str());
  PlatformImpl::setCanceled(false);
  EXPECT_FALSE(bvtest::pathExists(dir.file("tree")));

  g_enableOutput = enabled;
  ui_progress = progress;
  ui_progressBlock = block;
}

}  // namespace
