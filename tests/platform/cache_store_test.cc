// The user's cache folder and its entries: which folder is used, which
// entries are taken, how two completions of one entry end, what the prune
// removes.
#include "platform/cache_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform_impl.h"
#include "platform/user_cache.h"
#include "tests/test_util.h"

namespace {

using bvtest::TempDir;

using bvtest::listDir;

class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : m_name(name) {
    const char* old = getenv(name);
    m_had = old != nullptr;
    if (m_had) m_old = old;
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedVariable() {
    if (m_had) setenv(m_name.c_str(), m_old.c_str(), 1);
    else unsetenv(m_name.c_str());
  }

 private:
  std::string m_name;
  std::string m_old;
  bool m_had;
};

void setAge(const std::string& path, long days) {
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = time(nullptr) - days * 24 * 60 * 60 - 60;
  times[0].tv_nsec = times[1].tv_nsec = 0;
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW)) << path;
}

TEST(UserCacheFolderTest, OnlyUnderABaseFolderOfTheUsersOwn) {
  TempDir dir;
  std::string reason;
  {
    // XDG_CACHE_HOME first, made when missing under a folder of the user.
    ScopedVariable xdg("XDG_CACHE_HOME", dir.file("xdg/deep").c_str());
    EXPECT_EQ("", userCacheFolder(false, &reason));
    EXPECT_EQ(dir.file("xdg/deep/bvlauncher"), userCacheFolder(true, &reason)) << reason;
    struct stat st;
    ASSERT_EQ(0, stat(dir.file("xdg/deep/bvlauncher").c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 07777);
  }
  ScopedVariable xdg("XDG_CACHE_HOME", "relative/ignored");
  std::string home = dir.file("home");
  mkdir(home.c_str(), 0755);
  ScopedVariable homeVariable("HOME", home.c_str());
  EXPECT_EQ(home + "/.cache/bvlauncher", userCacheFolder(true, &reason)) << reason;

  // A home of another user: nothing is made or used there.
  std::string foreign = dir.file("foreign");
  mkdir(foreign.c_str(), 0755);
  ASSERT_EQ(0, chown(foreign.c_str(), 65534, 65534));
  {
    ScopedVariable other("HOME", foreign.c_str());
    EXPECT_EQ("", userCacheFolder(true, &reason));
    EXPECT_EQ(foreign + " belongs to another user.", reason);
    EXPECT_TRUE(listDir(foreign).empty());
  }
  // A cache folder that others may write to, or a link, is not used.
  chmod((home + "/.cache/bvlauncher").c_str(), 0777);
  EXPECT_EQ("", userCacheFolder(true, &reason));
  EXPECT_EQ(home + "/.cache/bvlauncher is writable by other users.", reason);
  bvtest::removeTree(home + "/.cache/bvlauncher");
  ASSERT_EQ(0, symlink(dir.path().c_str(), (home + "/.cache/bvlauncher").c_str()));
  EXPECT_EQ("", userCacheFolder(true, &reason));
  EXPECT_EQ(home + "/.cache/bvlauncher is not a folder.", reason);
}

// Each way that someone else could change the cache folder gives no
// folder, makes nothing, and says why.
TEST(UserCacheFolderTest, NothingIsMadeWhereAnotherUserCouldChangeIt) {
  TempDir dir;
  bool root = geteuid() == 0;
  std::string groupHome = dir.file("group-home");
  mkdir(groupHome.c_str(), 0700);
  chmod(groupHome.c_str(), 0770);
  std::string linkHome = dir.file("link-home");
  mkdir(linkHome.c_str(), 0700);
  mkdir(dir.file("kept-cache").c_str(), 0700);
  ASSERT_EQ(0, symlink(dir.file("kept-cache").c_str(), (linkHome + "/.cache").c_str()));
  if (root) {
    ASSERT_EQ(0, lchown((linkHome + "/.cache").c_str(), 65534, 65534));
  }
  mkdir(dir.file("xdg").c_str(), 0700);
  struct Case {
    const char* label;
    const char* variable;
    std::string value, reason, unchanged;  // unchanged: a folder that stays empty
  } cases[] = {
      {"a base folder its group may write", "HOME", groupHome, groupHome + " is writable by other users.", groupHome},
      {"\"..\" in the missing part of XDG_CACHE_HOME", "XDG_CACHE_HOME", dir.file("xdg/new/../deep"),
       dir.file("xdg/new/../deep") + " holds \"..\".", dir.file("xdg")},
      {"a link of another user's on the way", "HOME", linkHome,
       root ? linkHome + "/.cache is not a folder." : "", dir.file("kept-cache")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.reason.empty()) continue;  // needs root to give the link away
    ScopedVariable xdg("XDG_CACHE_HOME", nullptr);
    ScopedVariable set(c.variable, c.value.c_str());
    std::string reason;
    EXPECT_EQ("", userCacheFolder(true, &reason));
    EXPECT_EQ(c.reason, reason);
    EXPECT_TRUE(listDir(c.unchanged).empty());
  }
}

class CacheStoreTest : public ::testing::Test {
 protected:
  void TearDown() override { PlatformImpl::cleanup(); }

  // A complete entry made the way the launcher makes one.
  std::string make(const std::string& name, const std::string& content) {
    std::string temp = beginCacheEntry(dir.path(), name);
    bvtest::writeFile(temp + "/file", content);
    return completeCacheEntry(dir.path(), name, temp);
  }

  TempDir dir;
};

TEST_F(CacheStoreTest, OnlyCompleteEntriesOfTheUsersOwnAreUsed) {
  EXPECT_EQ("", findCacheEntry(dir.path(), "runtime-a"));
  std::string temp = beginCacheEntry(dir.path(), "runtime-a");
  EXPECT_EQ(0u, listDir(dir.path())[0].find(".unpack-runtime-a."));
  EXPECT_EQ("", findCacheEntry(dir.path(), "runtime-a"));  // not yet in place
  std::string path = completeCacheEntry(dir.path(), "runtime-a", temp);
  EXPECT_EQ(dir.file("runtime-a"), path);
  EXPECT_EQ(path, findCacheEntry(dir.path(), "runtime-a"));
  EXPECT_EQ((std::vector<std::string>{"runtime-a"}), listDir(dir.path()));
  EXPECT_EQ("runtime-a\n", bvtest::readFile(path + "/" + cacheMarkerName));

  // Without the marker, with another name in it, writable by others, or
  // another user's: not used.
  mkdir(dir.file("runtime-b").c_str(), 0700);
  EXPECT_EQ("", findCacheEntry(dir.path(), "runtime-b"));
  bvtest::writeFile(dir.file("runtime-b/") + cacheMarkerName, "runtime-a\n");
  EXPECT_EQ("", findCacheEntry(dir.path(), "runtime-b"));
  chmod(path.c_str(), 0777);
  EXPECT_EQ("", findCacheEntry(dir.path(), "runtime-a"));
  chmod(path.c_str(), 0700);
  ASSERT_EQ(0, chown(path.c_str(), 65534, 65534));
  EXPECT_EQ("", findCacheEntry(dir.path(), "runtime-a"));
  ASSERT_EQ(0, chown(path.c_str(), 0, 0));
  ASSERT_EQ(0, lchown((path + "/" + cacheMarkerName).c_str(), 65534, 65534));
  EXPECT_EQ("", findCacheEntry(dir.path(), "runtime-a"));
  ASSERT_EQ(0, symlink(path.c_str(), dir.file("runtime-c").c_str()));
  EXPECT_EQ("", findCacheEntry(dir.path(), "runtime-c"));
}

TEST_F(CacheStoreTest, TheFirstCompletionWinsAndAnIncompleteFolderIsReplaced) {
  std::string first = beginCacheEntry(dir.path(), "jars-x");
  std::string second = beginCacheEntry(dir.path(), "jars-x");
  bvtest::writeFile(first + "/file", "first");
  bvtest::writeFile(second + "/file", "second");
  EXPECT_EQ(dir.file("jars-x"), completeCacheEntry(dir.path(), "jars-x", first));
  EXPECT_EQ(dir.file("jars-x"), completeCacheEntry(dir.path(), "jars-x", second));
  EXPECT_EQ("first", bvtest::readFile(dir.file("jars-x/file")));
  EXPECT_EQ((std::vector<std::string>{"jars-x"}), listDir(dir.path()));

  // A folder under the name without its marker is moved away for a new one.
  mkdir(dir.file("jars-y").c_str(), 0700);
  bvtest::writeFile(dir.file("jars-y/file"), "half");
  EXPECT_EQ(dir.file("jars-y"), make("jars-y", "whole"));
  EXPECT_EQ("whole", bvtest::readFile(dir.file("jars-y/file")));
  EXPECT_EQ((std::vector<std::string>{"jars-x", "jars-y"}), listDir(dir.path()));
}

TEST_F(CacheStoreTest, ThePruneRemovesEntriesUnusedFor30DaysAndOldLeftovers) {
  std::string old = make("runtime-old", "o");
  std::string recent = make("runtime-recent", "r");
  std::string kept = make("jars-kept", "k");
  setAge(old + "/" + cacheMarkerName, 31);
  setAge(recent + "/" + cacheMarkerName, 29);
  setAge(kept + "/" + cacheMarkerName, 90);
  std::string leftover = beginCacheEntry(dir.path(), "runtime-killed");
  PlatformImpl::removeFileFromCleanupList(SString(leftover.c_str()));
  std::string fresh = beginCacheEntry(dir.path(), "runtime-running");
  bvtest::writeFile(dir.file("verify.cache"), "v");
  setAge(leftover, 2);

  EXPECT_EQ(2, pruneCache(dir.path(), "jars-kept"));
  std::vector<std::string> left = listDir(dir.path());
  EXPECT_EQ(4u, left.size());
  EXPECT_TRUE(bvtest::pathExists(recent));
  EXPECT_TRUE(bvtest::pathExists(kept));
  EXPECT_TRUE(bvtest::pathExists(fresh));
  EXPECT_TRUE(bvtest::pathExists(dir.file("verify.cache")));

  // A use marks the entry again.
  setAge(recent + "/" + cacheMarkerName, 40);
  EXPECT_EQ(recent, findCacheEntry(dir.path(), "runtime-recent"));
  EXPECT_EQ(0, pruneCache(dir.path(), "jars-kept"));
  EXPECT_TRUE(bvtest::pathExists(recent));
}

// A prune may move an entry aside between a run's opening of its marker
// and the lock of the use: the run then sees that the marker at the
// entry's name is no longer the one it opened, and takes no entry (here a
// new one took the name meanwhile, and its files are not the ones it saw).
TEST_F(CacheStoreTest, AnEntryMovedAsideBeforeItsLockIsNotTaken) {
  std::string entry = make("runtime-moved", "old");
  static std::string aside;
  aside = dir.file("moved-aside");
  cacheEntryBeforeLockHook = [](const std::string& path) {
    ASSERT_EQ(0, rename(path.c_str(), aside.c_str()));
    std::string name = path.substr(path.rfind('/') + 1);
    std::string cache = path.substr(0, path.rfind('/'));
    std::string temp = beginCacheEntry(cache, name);
    bvtest::writeFile(temp + "/file", "new");
    completeCacheEntry(cache, name, temp);
  };
  int lock = -1;
  std::string found = findCacheEntry(dir.path(), "runtime-moved", &lock);
  cacheEntryBeforeLockHook = nullptr;
  EXPECT_EQ("", found);
  EXPECT_EQ(-1, lock);
  if (lock >= 0) close(lock);
  // The new entry is there for the next look.
  EXPECT_EQ(entry, findCacheEntry(dir.path(), "runtime-moved", &lock));
  EXPECT_EQ("new", bvtest::readFile(entry + "/file"));
  if (lock >= 0) close(lock);
}

// A program may run from an entry for longer than the entries live: while
// a run holds the lock of its use, no prune removes the entry, however old
// its last mark; and while a prune removes one, no run takes it.
TEST_F(CacheStoreTest, AnEntryInUseOutlivesThePrune) {
  std::string temp = beginCacheEntry(dir.path(), "runtime-long");
  bvtest::writeFile(temp + "/file", "l");
  int made = -1;
  std::string path = completeCacheEntry(dir.path(), "runtime-long", temp, &made);
  ASSERT_EQ(dir.file("runtime-long"), path);
  ASSERT_GE(made, 0);
  make("jars-other", "o");
  int found = -1;
  EXPECT_EQ(path, findCacheEntry(dir.path(), "runtime-long", &found));
  ASSERT_GE(found, 0);
  EXPECT_EQ(FD_CLOEXEC, fcntl(found, F_GETFD) & FD_CLOEXEC);  // the program does not get it

  setAge(path + "/" + cacheMarkerName, 60);
  EXPECT_EQ(0, pruneCache(dir.path(), "jars-other"));
  close(made);
  EXPECT_EQ(0, pruneCache(dir.path(), "jars-other"));  // the other use still holds it
  EXPECT_TRUE(bvtest::pathExists(path + "/file"));
  close(found);
  EXPECT_EQ(1, pruneCache(dir.path(), "jars-other"));
  EXPECT_FALSE(bvtest::pathExists(path));

  // A prune that holds the marker (removing the entry) leaves no entry to
  // use; a look without the lock of a use still sees it.
  make("runtime-going", "g");
  int prune = open(dir.file("runtime-going/").append(cacheMarkerName).c_str(), O_RDONLY);
  ASSERT_EQ(0, flock(prune, LOCK_EX));
  int none = 7;
  EXPECT_EQ("", findCacheEntry(dir.path(), "runtime-going", &none));
  EXPECT_EQ(-1, none);
  EXPECT_EQ(dir.file("runtime-going"), findCacheEntry(dir.path(), "runtime-going"));
  close(prune);
  EXPECT_EQ(dir.file("runtime-going"), findCacheEntry(dir.path(), "runtime-going", &none));
  close(none);
}

}  // namespace
