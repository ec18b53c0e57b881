// Temporary folders left by launchers that were killed: the owner marker,
// the decision whether its process is gone, and the removal that keeps
// everything else.
#include "platform/stale_temp.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/platform_impl.h"
#include "tests/test_util.h"

namespace {

using bvtest::pathExists;
using bvtest::readFile;
using bvtest::writeFile;

// The marker text of a process that has ended.
std::string markerOfAnEndedProcess() {
  int fds[2];
  if (pipe(fds) != 0) return std::string();
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    SString text = ownerMarkerText();
    ssize_t written = write(fds[1], text.data(), text.length());
    (void)written;
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return text;
}

// text with the value of line "name VALUE" replaced.
std::string withField(const std::string& text, const std::string& name, const std::string& value) {
  size_t start = text.find("\n" + name + " ");
  if (start == std::string::npos) return text;
  start += name.size() + 2;
  size_t end = text.find('\n', start);
  return text.substr(0, start) + value + text.substr(end);
}

#ifdef __linux__
TEST(StaleTempTest, AnOwnerIsGoneOnlyWhenTheMarkerSaysSoForSure) {
  std::string own = ownerMarkerText().c_str();
  std::string ended = markerOfAnEndedProcess();
  ASSERT_FALSE(ended.empty());
  // This process again, but with another start time: the number was
  // taken by another process.
  std::string reused = withField(own, "start", "1");
  struct Case {
    const char* name;
    std::string marker;
    bool gone;
  } cases[] = {
      {"this process", own, false},
      {"an ended process", ended, true},
      {"a number taken again", reused, true},
      {"another boot", withField(own, "boot", "00000000-0000-0000-0000-000000000000"), true},
      // A temporary folder that machines share (a TMPDIR in an NFS home):
      // the other machine's boot is another, and its launcher runs.
      {"another machine's boot",
       withField(withField(own, "boot", "00000000-0000-0000-0000-000000000000"), "machine", "0123 elsewhere"), false},
      {"an ended process of another machine", withField(ended, "machine", "0123 elsewhere"), false},
      {"no machine", withField(ended, "machine", ""), false},
      {"another process namespace", withField(ended, "pidns", "1"), false},
      {"no start time", withField(ended, "start", ""), false},
      {"a pid that is no number", withField(ended, "pid", "12x"), false},
      {"pid 0", withField(ended, "pid", "0"), false},
      {"another first line", "something else\n" + ended.substr(ended.find('\n') + 1), false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.gone, isOwnerGone(SString(c.marker.c_str())));
  }
}
#endif

class StaleFolderTest : public ::testing::Test {
 protected:
  // A folder "bvj<name>" in the test's temporary folder with marker text
  // (none when empty).
  std::string folder(const std::string& name, const std::string& marker) {
    std::string path = dir.file("bvj" + name);
    mkdir(path.c_str(), 0700);
    writeFile(path + "/inner", "x");
    if (!marker.empty()) writeFile(path + "/.bvowner", marker);
    return path;
  }

  bvtest::TempDir dir;
};

TEST_F(StaleFolderTest, OnlyTheUsersOwnFoldersOfEndedLaunchersGo) {
  std::string ended = markerOfAnEndedProcess();
  std::string stale = folder("stale", ended);
  std::string alive = folder("alive", ownerMarkerText().c_str());
  std::string unmarked = folder("unmarked", "");
  std::string otherName = dir.file("xbvjother");
  mkdir(otherName.c_str(), 0700);
  writeFile(otherName + "/.bvowner", ended);
  // A link with a bvj name to a folder with an ended owner: the link is not
  // followed, and what it points to stays.
  std::string target = dir.file("target");
  mkdir(target.c_str(), 0700);
  writeFile(target + "/.bvowner", ended);
  ASSERT_EQ(0, symlink(target.c_str(), dir.file("bvjlink").c_str()));
  // A marker that is a link to one of an ended owner is no marker.
  std::string linked = folder("linkedmarker", "");
  writeFile(dir.file("endedmarker"), ended);
  ASSERT_EQ(0, symlink(dir.file("endedmarker").c_str(), (linked + "/.bvowner").c_str()));
  // A file with a bvj name.
  writeFile(dir.file("bvjfile"), ended);

  EXPECT_EQ(1, removeStaleTempFolders(SString(dir.path().c_str())));
  EXPECT_FALSE(pathExists(stale));
  for (const std::string& kept : {alive, unmarked, otherName, target + "/.bvowner", linked, dir.file("bvjfile")}) {
    EXPECT_TRUE(pathExists(kept)) << kept;
  }
  struct stat st;
  EXPECT_EQ(0, lstat(dir.file("bvjlink").c_str(), &st));
}

TEST_F(StaleFolderTest, AFolderOfAnotherUserStays) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
  // Their folder (with a marker of ours), and our folder with their marker.
  std::string theirs = folder("theirs", markerOfAnEndedProcess());
  ASSERT_EQ(0, chown(theirs.c_str(), 65534, 65534));
  std::string markerOfTheirs = folder("markeroftheirs", markerOfAnEndedProcess());
  ASSERT_EQ(0, chown((markerOfTheirs + "/.bvowner").c_str(), 65534, 65534));
  EXPECT_EQ(0, removeStaleTempFolders(SString(dir.path().c_str())));
  EXPECT_TRUE(pathExists(theirs + "/inner"));
  EXPECT_TRUE(pathExists(markerOfTheirs + "/inner"));
}

TEST_F(StaleFolderTest, EveryNewTemporaryFolderCarriesItsOwnersMarker) {
  PlatformImpl::setSystemTempDir(SString(dir.path().c_str()));
  SString made = PlatformImpl::createTempSubDirectory();
  std::string marker = readFile(std::string(made.c_str()) + "/.bvowner");
  EXPECT_EQ(std::string(ownerMarkerText().c_str()), marker);
  struct stat st;
  ASSERT_EQ(0, stat((std::string(made.c_str()) + "/.bvowner").c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 07777);
  EXPECT_FALSE(isOwnerGone(SString(marker.c_str())));
  PlatformImpl::cleanup();
  PlatformImpl::removeDirFromCleanupList(made);
  PlatformImpl::setSystemTempDir(SString());
  EXPECT_FALSE(pathExists(made.c_str()));
}

}  // namespace
