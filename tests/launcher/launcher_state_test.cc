#include "launcher/launcher.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "launcher/launcher_entry.h"
#include "tests/test_util.h"

namespace {

class LauncherStateTest : public ::testing::Test {
 protected:
  void SetUp() override { resetLog(); }
  void TearDown() override { resetLog(); }
  bvtest::TempDir dir;
};

TEST_F(LauncherStateTest, PurposeIsTheByteNineBeforeTheEnd) {
  struct Case {
    std::string bytes;
    long purpose;
  } cases[] = {
      {std::string("stub") + '\x01' + "12345678", 1},
      {std::string("\xff") + "12345678", 255},
      {std::string("\x00", 1) + "12345678", 0},
      {"12345678", -1},  // shorter than 9 bytes
      {"", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.purpose);
    std::string path = dir.file("launcher");
    bvtest::writeFile(path, c.bytes);
    EXPECT_EQ(c.purpose, readLauncherPurpose(path.c_str()));
  }
  EXPECT_EQ(-1, readLauncherPurpose(dir.file("absent").c_str()));
}

TEST_F(LauncherStateTest, PurposeOfTheRunningLauncherIsReadOnce) {
  std::string path = dir.file("setup");
  bvtest::writeFile(path, std::string("\x02") + "12345678");
  StringDeque args;
  args.push_back("-bv:version-not-an-option-here");
  RunState state;
  Launcher launcher(state);
  launcher.process(args, path.c_str());
  EXPECT_EQ(2, state.paths.purpose);
  bvtest::writeFile(path, std::string("\x05") + "12345678");
  EXPECT_EQ(2, state.paths.purpose);
}

TEST_F(LauncherStateTest, OriginalLauncherDirectoryDropsTheLastComponent) {
  struct Case {
    const char* path;
    const char* dir;
  } cases[] = {{"/a/b/setup", "/a/b"}, {"setup", ""}, {"/setup", ""},
               // A backslash is part of a name.
               {"/a/x\\setup", "/a"}, {"c:\\x\\setup", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    StringDeque none;
    RunState state;
    Launcher(state).process(none, c.path);
    EXPECT_EQ(0, state.paths.originalLauncherDir().compare(c.dir));
  }
}

TEST_F(LauncherStateTest, LauncherPathIsMadeAbsoluteWithoutNormalising) {
  EXPECT_EQ(0, makeLauncherPath("/opt/setup", "").compare("/opt/setup"));
  char* cwd = getcwd(nullptr, 0);
  std::string want = std::string(cwd) + (std::string(cwd) == "/" ? "" : "/") + "./x/../setup";
  free(cwd);
  EXPECT_EQ(0, makeLauncherPath("./x/../setup", "").compare(want.c_str()));
}


}  // namespace
