#include "foundation/log.h"

#include <gtest/gtest.h>

#include "tests/test_util.h"

namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { resetLog(); }
  void TearDown() override { resetLog(); }
  bvtest::TempDir dir;
};

TEST_F(LogTest, OneSeparatorPerRunAndPrefixesPerKind) {
  std::string log = dir.file("run.log");
  logMessage("before a log file is named", LOG_INFO);
  setLogFileName(log.c_str());
  logMessage("plain", LOG_INFO);
  logMessage(SString("careful"), LOG_WARNING);
  logMessage("broken", LOG_ERROR);
  EXPECT_EQ("------------------\nplain\nWARNING: careful\nERROR: broken\n", bvtest::readFile(log));

  // A second file named later in the same run gets no separator.
  std::string second = dir.file("second.log");
  setLogFileName(second.c_str());
  logMessage("more", LOG_INFO);
  EXPECT_EQ("more\n", bvtest::readFile(second));

  // A new run appends its own separator to an existing file.
  resetLog();
  setLogFileName(log.c_str());
  logMessage("next run", LOG_INFO);
  EXPECT_EQ("------------------\nplain\nWARNING: careful\nERROR: broken\n------------------\nnext run\n",
            bvtest::readFile(log));
}

TEST_F(LogTest, NoLogFileWritesNothingAndAnUnopenableOneIsIgnored) {
  logMessage("nowhere", LOG_ERROR);
  setLogFileName(dir.file("missing/dir/x.log").c_str());
  logMessage("nowhere either", LOG_ERROR);
  EXPECT_FALSE(bvtest::pathExists(dir.file("missing")));
}

}  // namespace
