#include "launcher/launcher.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "launcher/launcher_entry.h"
#include "launcher/launcher_exception.h"
#include "tests/test_util.h"

namespace {

class LauncherLogTest : public ::testing::Test {
 protected:
  void SetUp() override { Launcher::resetRunState(); }
  void TearDown() override { Launcher::resetRunState(); }
  bvtest::TempDir dir;
};

TEST_F(LauncherLogTest, OneSeparatorPerRunAndPrefixesPerKind) {
  std::string log = dir.file("run.log");
  Launcher::logMessage("before a log file is named", LOG_INFO);
  Launcher::setLogFileName(log.c_str());
  Launcher::logMessage("plain", LOG_INFO);
  Launcher::logMessage(SString("careful"), LOG_WARNING);
  Launcher::logMessage("broken", LOG_ERROR);
  EXPECT_EQ("------------------\nplain\nWARNING: careful\nERROR: broken\n", bvtest::readFile(log));

  // A second file named later in the same run gets no separator.
  std::string second = dir.file("second.log");
  Launcher::setLogFileName(second.c_str());
  Launcher::logMessage("more", LOG_INFO);
  EXPECT_EQ("more\n", bvtest::readFile(second));

  // A new run appends its own separator to an existing file.
  Launcher::resetRunState();
  Launcher::setLogFileName(log.c_str());
  Launcher::logMessage("next run", LOG_INFO);
  EXPECT_EQ("------------------\nplain\nWARNING: careful\nERROR: broken\n------------------\nnext run\n",
            bvtest::readFile(log));
}

TEST_F(LauncherLogTest, NoLogFileWritesNothingAndAnUnopenableOneIsIgnored) {
  Launcher::logMessage("nowhere", LOG_ERROR);
  Launcher::setLogFileName(dir.file("missing/dir/x.log").c_str());
  Launcher::logMessage("nowhere either", LOG_ERROR);
  EXPECT_FALSE(bvtest::pathExists(dir.file("missing")));
}

TEST_F(LauncherLogTest, PurposeIsTheByteNineBeforeTheEnd) {
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
    EXPECT_EQ(c.purpose, Launcher::getLauncherPurpose(path.c_str()));
  }
  EXPECT_EQ(-1, Launcher::getLauncherPurpose(dir.file("absent").c_str()));
}

TEST_F(LauncherLogTest, PurposeOfTheRunningLauncherIsReadOnce) {
  std::string path = dir.file("setup");
  bvtest::writeFile(path, std::string("\x02") + "12345678");
  StringDeque args;
  args.push_back("-bv:version-not-an-option-here");
  Launcher::process(args, path.c_str());
  EXPECT_EQ(2, Launcher::getLauncherPurpose(path.c_str()));
  bvtest::writeFile(path, std::string("\x05") + "12345678");
  EXPECT_EQ(2, Launcher::getLauncherPurpose(path.c_str()));
}

TEST_F(LauncherLogTest, OriginalLauncherDirectoryDropsTheLastComponent) {
  struct Case {
    const char* path;
    const char* dir;
  } cases[] = {{"/a/b/setup", "/a/b"}, {"setup", ""}, {"/setup", ""},
               // A backslash is part of a name.
               {"/a/x\\setup", "/a"}, {"c:\\x\\setup", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    StringDeque none;
    Launcher::resetRunState();
    Launcher::process(none, c.path);
    EXPECT_EQ(0, Launcher::getOriginalLauncherDir().compare(c.dir));
  }
}

TEST_F(LauncherLogTest, LauncherPathIsMadeAbsoluteWithoutNormalising) {
  EXPECT_EQ(0, makeLauncherPath("/opt/setup", "").compare("/opt/setup"));
  char* cwd = getcwd(nullptr, 0);
  std::string want = std::string(cwd) + (std::string(cwd) == "/" ? "" : "/") + "./x/../setup";
  free(cwd);
  EXPECT_EQ(0, makeLauncherPath("./x/../setup", "").compare(want.c_str()));
}

TEST_F(LauncherLogTest, VariableAccessorsRejectInvalidNumbers) {
  Launcher::setStringVariable(10, "ten");
  Launcher::setLongVariable(5, 5);
  EXPECT_EQ(0, Launcher::getStringVariable(10).compare("ten"));
  EXPECT_EQ(5, Launcher::getLongVariable(5));
  struct Case {
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {[] { Launcher::getStringVariable(0); }, "Invalid string variable number: 0"},
      {[] { Launcher::setStringVariable(11, "x"); }, "Invalid string variable number: 11"},
      {[] { Launcher::getLongVariable(6); }, "Invalid numeric variable number: 6"},
      {[] { Launcher::setLongVariable(-1, 1); }, "Invalid numeric variable number: -1"},
  };
  for (const Case& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "no exception for " << c.message;
    } catch (const LauncherException& e) {
      EXPECT_STREQ(c.message, e.getMessage().c_str());
    }
  }
}

}  // namespace
