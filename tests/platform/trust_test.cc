// PlatformImpl::isTrustedFile on real files, directories and links.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/open_file_trust.h"
#include "platform/platform_impl.h"
#include "tests/test_util.h"

namespace {

using bvtest::writeFile;

// Owner uid and mode of a path, set up by a case.
struct Entry {
  const char* path;  // below the test directory; a trailing "/" makes a directory
  int mode;
  int owner;  // -1: the test's user
};

class TrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SString why;
    if (!PlatformImpl::isTrustedFile(dir.path().c_str(), why)) {
      GTEST_SKIP() << "the test directory itself is not trusted: " << why.c_str();
    }
  }
  // Makes a directory (name ending in "/") or a file with mode and owner.
  void make(const Entry& e) {
    std::string path = dir.file(e.path);
    if (path.back() == '/') {
      path.pop_back();
      ASSERT_EQ(0, mkdir(path.c_str(), 0700)) << path;
    } else {
      writeFile(path, "#!/bin/sh\n", 0700);
    }
    ASSERT_EQ(0, chmod(path.c_str(), e.mode)) << path;
    if (e.owner >= 0) {
      ASSERT_EQ(0, chown(path.c_str(), e.owner, static_cast<gid_t>(-1))) << path;
    }
  }
  bvtest::TempDir dir;
};

TEST_F(TrustTest, FilesAndTheirDirectoriesMustBelongToRootOrTheUserAndBeWritableOnlyByThem) {
  // A name with characters that the shell and the templates treat specially.
  const std::string odd = "odd $(x) `y` 'q' \"d\" \\ % @ # * ? [ ; | & < >\nline";
  const Entry entries[] = {
      {"good/", 0755, -1},          {"good/java", 0755, -1},
      {"good/read-only", 0500, -1}, {"good/group-writable", 0775, -1},
      {"good/other-writable", 0757, -1},
      {"open/", 0777, -1},          {"open/java", 0755, -1},
      {"group/", 0775, -1},         {"group/java", 0755, -1},
      {"sticky/", 01777, -1},       {"sticky/java", 0755, -1},
      {"sticky/inner/", 0755, -1},  {"sticky/inner/java", 0755, -1},
  };
  for (const Entry& e : entries) make(e);
  make({"good/odd", 0755, -1});
  ASSERT_EQ(0, rename(dir.file("good/odd").c_str(), dir.file("good/" + odd).c_str()));
  // Links: the check follows them and judges where they lead.
  ASSERT_EQ(0, symlink(dir.file("open/java").c_str(), dir.file("good/to-open").c_str()));
  ASSERT_EQ(0, symlink(dir.file("good/java").c_str(), dir.file("open/to-good").c_str()));
  ASSERT_EQ(0, symlink(dir.file("nowhere").c_str(), dir.file("good/dangling").c_str()));
  ASSERT_EQ(0, symlink(dir.file("good/java").c_str(), dir.file("good/to-good").c_str()));
  ASSERT_EQ(0, symlink(dir.file("good").c_str(), dir.file("good/to-good-dir").c_str()));

  struct Case {
    std::string path;
    bool trusted;
    std::string reason;
  } cases[] = {
      {dir.file("good/java"), true, ""},
      {dir.file("good/read-only"), true, ""},
      {dir.file("good/" + odd), true, ""},
      {dir.file("sticky/java"), true, ""},  // a sticky directory above is fine
      {dir.file("sticky/inner/java"), true, ""},
      // A link that others may replace, though it leads to a good file.
      {dir.file("open/to-good"), false,
       "The directory " + dir.file("open") + " above " + dir.file("open/to-good") +
           " is writable by other users."},
      {dir.file("good/to-good"), true, ""},
      {dir.file("good/to-good-dir/java"), true, ""},
      {dir.file("good/group-writable"), false,
       "The file " + dir.file("good/group-writable") + " is writable by its group."},
      {dir.file("good/other-writable"), false,
       "The file " + dir.file("good/other-writable") + " is writable by other users."},
      {dir.file("open/java"), false,
       "The directory " + dir.file("open") + " above " + dir.file("open/java") +
           " is writable by other users."},
      {dir.file("group/java"), false,
       "The directory " + dir.file("group") + " above " + dir.file("group/java") +
           " is writable by its group."},
      {dir.file("good/to-open"), false,
       "The directory " + dir.file("open") + " above " + dir.file("good/to-open") +
           " is writable by other users."},
      {dir.file("open"), false, "The file " + dir.file("open") + " is writable by other users."},
      {dir.file("good/dangling"), false,
       "The file " + dir.file("good/dangling") + " cannot be examined: No such file or directory."},
      {"", false, "The file  cannot be examined: No such file or directory."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    SString reason("stale");
    EXPECT_EQ(c.trusted, PlatformImpl::isTrustedFile(c.path.c_str(), reason));
    EXPECT_EQ(c.reason, reason.c_str());
  }
}

TEST_F(TrustTest, FilesOrDirectoriesOfAnotherUserAreNotTrusted) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
  make({"theirs/", 0755, 4242});
  make({"theirs/java", 0755, -1});
  make({"mine/", 0755, -1});
  make({"mine/java", 0755, 4242});
  make({"sticky/", 01777, 4242});  // the sticky bit does not excuse the owner
  make({"sticky/java", 0755, -1});
  make({"good/", 0755, -1});
  make({"good/java", 0755, -1});
  make({"tmp/", 01777, -1});
  make({"tmp/x", 0755, -1});
  // Their link in a sticky directory, to a good file: they can repoint it.
  ASSERT_EQ(0, symlink(dir.file("good/java").c_str(), dir.file("tmp/java").c_str()));
  ASSERT_EQ(0, lchown(dir.file("tmp/java").c_str(), 4242, static_cast<gid_t>(-1)));
  ASSERT_EQ(0, symlink(dir.file("tmp").c_str(), dir.file("good/to-tmp").c_str()));
  ASSERT_EQ(0, lchown(dir.file("good/to-tmp").c_str(), 4242, static_cast<gid_t>(-1)));
  struct Case {
    std::string path;
    std::string reason;
  } cases[] = {
      {dir.file("theirs/java"), "The directory " + dir.file("theirs") + " above " +
                                    dir.file("theirs/java") + " belongs to another user (uid 4242)."},
      {dir.file("mine/java"), "The file " + dir.file("mine/java") + " belongs to another user (uid 4242)."},
      {dir.file("sticky/java"), "The directory " + dir.file("sticky") + " above " +
                                    dir.file("sticky/java") + " belongs to another user (uid 4242)."},
      {dir.file("tmp/java"),
       "The symbolic link " + dir.file("tmp/java") + " belongs to another user (uid 4242)."},
      {dir.file("good/to-tmp/x"), "The symbolic link " + dir.file("good/to-tmp") + " above " +
                                      dir.file("good/to-tmp/x") + " belongs to another user (uid 4242)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    SString reason;
    EXPECT_FALSE(PlatformImpl::isTrustedFile(c.path.c_str(), reason));
    EXPECT_EQ(c.reason, reason.c_str());
  }
  // Root's own files are trusted, as are the user's.
  SString reason;
  EXPECT_TRUE(PlatformImpl::isTrustedFile("/bin/sh", reason)) << reason.c_str();
}

// A side file is opened, then checked: in a sticky folder another user may
// put their own file under the name first and a trusted one in its place
// before the check. What is read must be what was checked.
TEST_F(TrustTest, AnOpenFileIsTrustedOnlyWhenItIsTheFileThatWasChecked) {
  writeFile(dir.file("side"), "mine\n", 0644);
  writeFile(dir.file("other"), "theirs\n", 0644);
  int mine = open(dir.file("side").c_str(), O_RDONLY);
  int theirs = open(dir.file("other").c_str(), O_RDONLY);
  ASSERT_GE(mine, 0);
  ASSERT_GE(theirs, 0);
  SString why;
  EXPECT_TRUE(isTrustedOpenFile(mine, dir.file("side").c_str(), why)) << why.c_str();
  // Another file open than the one at the name now.
  EXPECT_FALSE(isTrustedOpenFile(theirs, dir.file("side").c_str(), why));
  EXPECT_EQ("The file " + dir.file("side") + " was replaced after it was opened.", why.c_str());
  // The name's own check speaks first.
  ASSERT_EQ(0, chmod(dir.path().c_str(), 0777));
  EXPECT_FALSE(isTrustedOpenFile(mine, dir.file("side").c_str(), why));
  EXPECT_NE(std::string::npos, std::string(why.c_str()).find("is writable by other users")) << why.c_str();
  ASSERT_EQ(0, chmod(dir.path().c_str(), 0700));
  // The open file is someone else's, although it lies at the name again
  // (swapped back after the check): refused all the same.
  if (geteuid() == 0) {
    ASSERT_EQ(0, fchown(theirs, 65534, 65534));
    ASSERT_EQ(0, rename(dir.file("other").c_str(), dir.file("side").c_str()));
    EXPECT_FALSE(isTrustedOpenFile(theirs, dir.file("side").c_str(), why));
  }
  close(mine);
  close(theirs);
}

}  // namespace
