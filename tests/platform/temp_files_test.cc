#include "platform/platform_impl.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "platform/delete_full_dir.h"
#include "platform/run_console.h"
#include "platform/file_navigator.h"
#include "tests/test_util.h"

// Resets the clean-up state between tests.
class PlatformTempTestAccess {
 public:
  static void reset() {
    PlatformImpl::m_tempDir = "";
    PlatformImpl::m_sdqCreatedFiles.clear();
    PlatformImpl::m_sdqCreatedDrs.clear();
    PlatformImpl::m_launcherToDelete = SString();
  }
  static long fileCount() { return PlatformImpl::m_sdqCreatedFiles.size(); }
  static long dirCount() { return PlatformImpl::m_sdqCreatedDrs.size(); }
};

namespace {

using bvtest::pathExists;
using bvtest::readFile;
using bvtest::writeFile;

std::string baseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

void makeDir(const std::string& path) { ASSERT_EQ(0, mkdir(path.c_str(), 0755)) << path; }

void makeLink(const std::string& target, const std::string& link) {
  ASSERT_EQ(0, symlink(target.c_str(), link.c_str())) << link;
}

class TempFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformTempTestAccess::reset();
    resetLog();
    setLogFileName(dir.file("run.log").c_str());
    makeDir(dir.file("tmp"));
    PlatformImpl::setSystemTempDir(dir.file("tmp").c_str());
  }
  void TearDown() override {
    PlatformTempTestAccess::reset();
    resetLog();
  }
  // The warnings logged so far.
  std::string log() { return readFile(dir.file("run.log")); }

  bvtest::TempDir dir;
};

TEST_F(TempFilesTest, NewDirectoriesAndFilesAreFreshRecordedAndRemovedAtCleanup) {
  std::string tmp = dir.file("tmp");
  std::string sub1 = PlatformImpl::createTempSubDirectory().c_str();
  std::string sub2 = PlatformImpl::createTempSubDirectory().c_str();
  std::string file = PlatformImpl::createTempFile().c_str();
  EXPECT_NE(sub1, sub2);
  for (const std::string& path : {sub1, sub2, file}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(tmp + "/", path.substr(0, tmp.size() + 1));
    EXPECT_EQ("bvj", baseName(path).substr(0, 3));
  }
  struct stat st;
  ASSERT_EQ(0, lstat(sub1.c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  ASSERT_EQ(0, lstat(file.c_str(), &st));
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(0, st.st_size);
  EXPECT_EQ(1, PlatformTempTestAccess::fileCount());
  EXPECT_EQ(2, PlatformTempTestAccess::dirCount());

  writeFile(sub1 + "/payload", "x");
  PlatformImpl::cleanup();
  EXPECT_FALSE(pathExists(sub1));
  EXPECT_FALSE(pathExists(sub2));
  EXPECT_FALSE(pathExists(file));
  EXPECT_EQ("", log());
}

TEST_F(TempFilesTest, NewDirectoriesAndFilesArePrivateWhateverTheUmask) {
  for (mode_t mask : {0000, 0022, 0777}) {
    SCOPED_TRACE(mask);
    mode_t saved = umask(mask);
    std::string sub = PlatformImpl::createTempSubDirectory().c_str();
    std::string file = PlatformImpl::createTempFile().c_str();
    umask(saved);
    struct stat st;
    ASSERT_EQ(0, lstat(sub.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 07777u);
    ASSERT_EQ(0, lstat(file.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777u);
  }
}

TEST_F(TempFilesTest, TheDefaultTempDirectoryIsVarTmp) {
  PlatformImpl::setSystemTempDir("");
  EXPECT_STREQ("/var/tmp/", PlatformImpl::getSystemTempDirectory().c_str());
  std::string sub = PlatformImpl::createTempSubDirectory().c_str();
  EXPECT_EQ("/var/tmp/bvj", sub.substr(0, 12));
  EXPECT_TRUE(FileNavigator::isDirectory(sub.c_str()));
  PlatformImpl::cleanup();
  EXPECT_FALSE(pathExists(sub));
}

// A folder that was set and cannot be used is named with the reason; the
// default folder, and on a setup program's console a folder given with
// -bv:tempdir, gets message 39, which advises -bv:tempdir.
TEST_F(TempFilesTest, AMissingTempDirectoryFailsWithItsReason) {
  bvtest::ScopedLanguage english("C");
  writeFile(dir.file("plain"), "not a directory");
  const std::string advice =
      " Please run the program again using the option -bv:tempdir <temp dir> to specify a different "
      "directory to use.";
  struct Case {
    bool unixCommand, fromVariable;
    std::string dir, expected;
  } cases[] = {
      // A setup program's launcher gives the catalogued message for any
      // folder given with -bv:tempdir.
      {false, false, dir.file("missing"),
       "Cannot use " + dir.file("missing") + " as the temp directory because it does not exist." + advice},
      {false, false, dir.file("plain"),
       "Cannot use " + dir.file("plain") + " as the temp directory because it does not exist." + advice},
      {true, false, dir.file("missing"),
       "Cannot use " + dir.file("missing") + " as the temp directory because it does not exist."},
      {true, false, dir.file("plain"),
       dir.file("plain") + " cannot be the temporary directory: it is not a directory."},
      // TMPDIR (passed over with a warning, the run goes on): never the
      // advice to run again.
      {false, true, dir.file("missing"),
       "Cannot use " + dir.file("missing") + " as the temp directory because it does not exist."},
      {false, true, dir.file("plain"),
       dir.file("plain") + " cannot be the temporary directory: it is not a directory."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir + (c.unixCommand ? " unix" : " setup") + (c.fromVariable ? " TMPDIR" : ""));
    PlatformImpl::console().configure(c.unixCommand, false);
    PlatformImpl::setSystemTempDir(c.dir.c_str(), c.fromVariable);
    for (int which = 0; which < 3; ++which) {
      try {
        if (which == 0) PlatformImpl::createTempSubDirectory();
        if (which == 1) PlatformImpl::createTempFile();
        if (which == 2) PlatformImpl::getSystemTempDirectory();
        ADD_FAILURE() << "no exception from operation " << which;
      } catch (const LauncherException& e) {
        EXPECT_EQ(c.expected, e.getMessage().c_str());
      }
    }
  }
  PlatformImpl::console().configure(false, false);
  EXPECT_EQ(0, PlatformTempTestAccess::fileCount() + PlatformTempTestAccess::dirCount());
}

// Whoever owns a link on the way, or may write to a folder above, can
// point the temporary folder's name at a folder of theirs while the run
// goes on; such a folder is refused and nothing is made in it. The user's
// own link and a sticky folder that everybody writes to are fine.
TEST_F(TempFilesTest, ATempDirectoryThatOthersCouldTurnElsewhereIsRefused) {
  std::string shared = dir.file("shared");  // writable by all, not sticky
  makeDir(shared);
  ASSERT_EQ(0, chmod(shared.c_str(), 0777));
  makeDir(shared + "/private");
  ASSERT_EQ(0, chmod((shared + "/private").c_str(), 0700));
  makeLink(dir.file("tmp"), shared + "/link");
  std::string sticky = dir.file("sticky");
  makeDir(sticky);
  ASSERT_EQ(0, chmod(sticky.c_str(), 01777));
  makeLink(sticky, dir.file("own-link"));
  makeLink(dir.file("tmp"), dir.file("foreign-link"));
  bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(0, lchown(dir.file("foreign-link").c_str(), 4321, 4321));
  }

  struct Case {
    std::string dir, expected;  // expected: the message, or "" for a usable folder
  } cases[] = {
      {shared + "/private", shared + "/private cannot be the temporary directory: the directory " + shared +
                                " above " + shared + "/private is writable by other users."},
      {shared + "/link", shared + "/link cannot be the temporary directory: the directory " + shared +
                             " above " + shared + "/link is writable by other users."},
      {dir.file("foreign-link"), root ? dir.file("foreign-link") +
                                            " cannot be the temporary directory: the symbolic link " +
                                            dir.file("foreign-link") + " belongs to another user (uid 4321)."
                                      : ""},
      {sticky, ""},
      {dir.file("own-link"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    PlatformImpl::setSystemTempDir(c.dir.c_str());
    try {
      std::string sub = PlatformImpl::createTempSubDirectory().c_str();
      EXPECT_EQ("", c.expected) << "accepted";
      // What is made lies in the folder that the links lead to.
      EXPECT_EQ(sticky + "/bvj", sub.substr(0, sticky.size() + 4));
    } catch (const LauncherException& e) {
      EXPECT_EQ(c.expected, e.getMessage().c_str());
    }
  }
  EXPECT_EQ((std::vector<std::string>{"link", "private"}), bvtest::listDir(shared));
  EXPECT_TRUE(bvtest::listDir(dir.file("tmp")).empty());
  PlatformImpl::cleanup();
  EXPECT_TRUE(bvtest::listDir(sticky).empty());
}

// Java splits class paths and library paths at ':': a jar in "/t/a:b/bvjX"
// would be looked for as "/t/a" and as "b/bvjX/app.jar" in the working
// directory, where someone else may put one. Such a folder, or one whose
// link leads to such a path, is refused and nothing is made in it.
TEST_F(TempFilesTest, ATempDirectoryWhosePathHoldsAColonIsRefused) {
  makeDir(dir.file("a:b"));
  makeLink(dir.file("a:b"), dir.file("plain-link"));
  makeDir(dir.file("plain"));
  const std::string split = " holds a ':', at which Java splits a class path.";
  struct Case {
    std::string dir, expected;
  } cases[] = {
      {dir.file("a:b"), dir.file("a:b") + " cannot be the temporary directory: its path" + split},
      {dir.file("plain-link"),
       dir.file("plain-link") + " cannot be the temporary directory: its real path " + dir.file("a:b") + split},
      {dir.file("missing:x"), dir.file("missing:x") + " cannot be the temporary directory: its path" + split},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    PlatformImpl::setSystemTempDir(c.dir.c_str());
    for (int which = 0; which < 2; ++which) {
      try {
        if (which == 0) PlatformImpl::createTempSubDirectory();
        if (which == 1) PlatformImpl::getSystemTempDirectory();
        ADD_FAILURE() << "accepted by operation " << which;
      } catch (const LauncherException& e) {
        EXPECT_EQ(c.expected, e.getMessage().c_str());
      }
    }
  }
  EXPECT_TRUE(bvtest::listDir(dir.file("a:b")).empty());
  PlatformImpl::setSystemTempDir(dir.file("plain").c_str());
  EXPECT_EQ(dir.file("plain"), PlatformImpl::getSystemTempDirectory().c_str());
}

// The folder is resolved the first time it is asked for; a link swapped
// afterwards changes nothing: new folders and files, the folder reported
// and the clean-up all keep to the folder that the link led to then.
TEST_F(TempFilesTest, TheTempDirectoryIsResolvedOnceAndKeptWhenItsLinkIsSwapped) {
  makeDir(dir.file("first"));
  makeDir(dir.file("second"));
  makeDir(dir.file("second/bvjdecoy"));
  makeLink(dir.file("first"), dir.file("link"));
  PlatformImpl::setSystemTempDir((dir.file("link") + "/").c_str());
  EXPECT_EQ(dir.file("first") + "/", PlatformImpl::getSystemTempDirectory().c_str());
  std::string before = PlatformImpl::createTempSubDirectory().c_str();

  makeLink(dir.file("second"), dir.file("new-link"));
  ASSERT_EQ(0, rename(dir.file("new-link").c_str(), dir.file("link").c_str()));
  std::string after = PlatformImpl::createTempSubDirectory().c_str();
  std::string file = PlatformImpl::createTempFile().c_str();
  for (const std::string& path : {before, after, file}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(dir.file("first/bvj"), path.substr(0, dir.file("first/bvj").size()));
  }
  EXPECT_EQ(dir.file("first") + "/", PlatformImpl::getSystemTempDirectory().c_str());
  PlatformImpl::cleanup();
  EXPECT_TRUE(bvtest::listDir(dir.file("first")).empty());
  EXPECT_EQ((std::vector<std::string>{"bvjdecoy"}), bvtest::listDir(dir.file("second")));

  // A new setting is resolved anew.
  PlatformImpl::setSystemTempDir(dir.file("link").c_str());
  EXPECT_EQ(dir.file("second"), PlatformImpl::getSystemTempDirectory().c_str());
}

TEST_F(TempFilesTest, ARelativeTempDirectoryIsMadeAbsoluteWhenSet) {
  char saved[4096];
  ASSERT_NE(nullptr, getcwd(saved, sizeof saved));
  ASSERT_EQ(0, chdir(dir.path().c_str()));
  PlatformImpl::setSystemTempDir("tmp");
  ASSERT_EQ(0, chdir(saved));
  EXPECT_EQ(dir.file("tmp"), PlatformImpl::getSystemTempDirectory().c_str());
  std::string sub = PlatformImpl::createTempSubDirectory().c_str();
  EXPECT_EQ(dir.file("tmp/bvj"), sub.substr(0, dir.file("tmp/bvj").size()));
}

TEST_F(TempFilesTest, CleanupRemovesNestedTreesWithLinksButNotWhatTheyPointTo) {
  std::string outside = dir.file("outside");
  makeDir(outside);
  writeFile(outside + "/kept", "kept");
  std::string root = PlatformImpl::createTempSubDirectory().c_str();
  makeDir(root + "/a");
  makeDir(root + "/a/b");
  makeDir(root + "/a/b/c");
  makeDir(root + "/empty");
  writeFile(root + "/top", "1");
  writeFile(root + "/a/b/c/deep", "2");
  makeLink(outside + "/kept", root + "/a/file-link");
  makeLink(outside, root + "/a/b/dir-link");
  makeLink(dir.file("nowhere"), root + "/dangling");
  // A recorded link to a directory goes as a link too.
  makeLink(outside, dir.file("tmp/recorded-link"));
  PlatformImpl::addFileToCleanupList(dir.file("tmp/recorded-link").c_str());
  makeLink(outside, dir.file("tmp/slash-link"));
  PlatformImpl::addFileToCleanupList((dir.file("tmp/slash-link") + "/").c_str());

  PlatformImpl::cleanup();
  EXPECT_FALSE(pathExists(root));
  EXPECT_FALSE(pathExists(dir.file("tmp/recorded-link")));
  EXPECT_FALSE(pathExists(dir.file("tmp/slash-link")));
  EXPECT_EQ("kept", readFile(outside + "/kept"));
  EXPECT_EQ("", log());
}

TEST_F(TempFilesTest, PathsTakenOffTheListsSurviveCleanup) {
  std::string kept = PlatformImpl::createTempFile().c_str();
  std::string gone = PlatformImpl::createTempFile().c_str();
  std::string keptDir = PlatformImpl::createTempSubDirectory().c_str();
  PlatformImpl::removeFileFromCleanupList(kept.c_str());
  PlatformImpl::removeDirFromCleanupList(keptDir.c_str());
  // Paths that are not on a list change nothing.
  PlatformImpl::removeFileFromCleanupList(keptDir.c_str());
  PlatformImpl::removeDirFromCleanupList(gone.c_str());
  PlatformImpl::removeFileFromCleanupList("/nowhere");
  EXPECT_EQ(1, PlatformTempTestAccess::fileCount());
  EXPECT_EQ(0, PlatformTempTestAccess::dirCount());

  PlatformImpl::cleanup();
  EXPECT_TRUE(pathExists(kept));
  EXPECT_TRUE(pathExists(keptDir));
  EXPECT_FALSE(pathExists(gone));
}

// A deletion whose walk leaves some directories unread, as if they could not
// be opened: their files stay, so they cannot be removed.
class DeleteFullDirLeavingSome : public DeleteFullDir {
 public:
  bool skipDirectory(const SString& dir) override {
    return std::string(dir.c_str()).find("/stuck") != std::string::npos;
  }
};

TEST_F(TempFilesTest, ADirectoryThatStaysBlocksOnlyTheDirectoriesAboveIt) {
  std::string root = dir.file("tmp/root");
  makeDir(root);
  // Each stuck directory lies below "<x>b/inner"; the sibling "<x>" begins
  // like "<x>b" but is not above the stuck directory, so it must go. The
  // walk order decides which sibling comes first; eight pairs cover both.
  const char* names[] = {"a", "b", "c", "d", "e", "f", "g", "h"};
  for (const char* name : names) {
    std::string stuck = root + "/" + name + "b/inner/stuck";
    makeDir(root + "/" + name);
    makeDir(root + "/" + name + "b");
    makeDir(root + "/" + name + "b/inner");
    makeDir(stuck);
    writeFile(stuck + "/file", "x");
  }
  makeDir(root + "/free");

  DeleteFullDirLeavingSome tree;
  EXPECT_FALSE(tree.process(root.c_str()));
  EXPECT_FALSE(pathExists(root + "/free"));
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(pathExists(root + "/" + name));
    EXPECT_TRUE(pathExists(root + "/" + name + "b/inner/stuck/file"));
  }
  // One warning per stuck directory; the ones above are not attempted.
  ASSERT_EQ(8, tree.getFailedDirectories().size());
  std::string warnings = log();
  for (long i = 0; i < 8; ++i) {
    std::string stuck = tree.getFailedDirectories().at(i).c_str();
    EXPECT_EQ("/inner/stuck", stuck.substr(stuck.size() - 12));
    EXPECT_NE(std::string::npos,
              warnings.find("WARNING: Could not delete " + stuck + " :  Directory not empty\n"));
  }
  EXPECT_EQ(1 + 8, std::count(warnings.begin(), warnings.end(), '\n'));
}

TEST_F(TempFilesTest, DeleteOneFileTakesLinksAsThemselvesAndIgnoresMissingPaths) {
  makeDir(dir.file("target"));
  makeLink(dir.file("target"), dir.file("link"));
  makeLink(dir.file("nowhere"), dir.file("dangling"));
  EXPECT_TRUE(deleteOneFile(dir.file("link").c_str()));
  EXPECT_TRUE(deleteOneFile(dir.file("dangling").c_str()));
  EXPECT_TRUE(pathExists(dir.file("target")));
  EXPECT_FALSE(deleteOneFile(dir.file("missing").c_str()));
  EXPECT_EQ("", log());
}

TEST_F(TempFilesTest, CleanupDeletesATemporaryLauncherCopyAndItsEmptyDirectory) {
  struct Case {
    const char* name;
    bool otherFile;  // something else in the launcher's directory
  } cases[] = {{"alone", false}, {"crowded", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string launcherDir = dir.file(std::string("tmp/bvj") + c.name);
    makeDir(launcherDir);
    writeFile(launcherDir + "/launcher", "stub", 0755);
    if (c.otherFile) writeFile(launcherDir + "/other", "x");
    PlatformImpl::setLauncherToDelete((launcherDir + "/launcher").c_str());
    PlatformImpl::cleanup();
    EXPECT_FALSE(pathExists(launcherDir + "/launcher"));
    EXPECT_EQ(c.otherFile, pathExists(launcherDir));
    PlatformTempTestAccess::reset();
    PlatformImpl::setSystemTempDir(dir.file("tmp").c_str());
  }
}

TEST_F(TempFilesTest, ALauncherOutsideItsOwnTemporaryDirectoriesIsNeverDeleted) {
  makeDir(dir.file("tmp/bvjreal"));
  makeDir(dir.file("elsewhere"));
  makeDir(dir.file("elsewhere/bvjlookalike"));
  makeDir(dir.file("tmp/other"));
  makeDir(dir.file("tmp/bvjreal/bvjnested"));
  makeLink(dir.file("elsewhere/bvjlookalike"), dir.file("tmp/bvjlink"));
  const char* places[] = {
      "tmp",                      // the temporary directory itself
      "tmp/other",                // not made by the launcher
      "elsewhere/bvjlookalike",   // the right name in the wrong place
      "tmp/bvjreal/bvjnested",    // one level too deep
      "tmp/bvjlink",              // a link to a directory elsewhere
      "tmp/bvjreal/.",            // not the directory's own name
  };
  for (const char* place : places) {
    SCOPED_TRACE(place);
    std::string launcher = dir.file(place) + "/launcher";
    writeFile(launcher, "stub", 0755);
    PlatformImpl::deleteLauncher(launcher.c_str());
    EXPECT_TRUE(pathExists(launcher));
    EXPECT_NE(std::string::npos, log().find("WARNING: The launcher file " + launcher + " is not deleted"));
  }
  // The same name in the real place goes.
  std::string launcher = dir.file("tmp/bvjreal/launcher");
  PlatformImpl::deleteLauncher(launcher.c_str());
  EXPECT_FALSE(pathExists(launcher));
}

}  // namespace
