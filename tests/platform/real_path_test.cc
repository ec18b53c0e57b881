// Paths as messages name them.
#include "platform/real_path.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/test_util.h"

namespace {

TEST(NormalisedPathTest, DotsAndEmptyPartsGoAndALinkBeforeTwoDotsIsFollowed) {
  bvtest::TempDir dir;
  char real[PATH_MAX];
  ASSERT_NE(nullptr, realpath(dir.path().c_str(), real));
  std::string top = real;
  mkdir((top + "/opt").c_str(), 0755);
  mkdir((top + "/opt/app").c_str(), 0755);
  mkdir((top + "/opt/app/proj").c_str(), 0755);
  mkdir((top + "/elsewhere").c_str(), 0755);
  mkdir((top + "/elsewhere/deep").c_str(), 0755);
  // A link whose ".." leads elsewhere than its text says.
  ASSERT_EQ(0, symlink((top + "/elsewhere/deep").c_str(), (top + "/opt/app/link").c_str()));
  struct Case {
    std::string path;
    std::string expected;
  } cases[] = {
      {top + "/opt/app/./jre/bin/java", top + "/opt/app/jre/bin/java"},
      {top + "/opt/app/proj/../jre/bin/java", top + "/opt/app/jre/bin/java"},
      {top + "/opt//app/proj/./../jre/", top + "/opt/app/jre"},
      {top + "/opt/app/link/../jre", top + "/elsewhere/jre"},
      {top + "/opt/app/missing/../jre", top + "/opt/app/jre"},
      {"/..", "/"},
      {"/../a/./b/..", "/a"},
      {"/", "/"},
      {"a/./b/../c", "a/c"},
      {"../a/..", ".."},
      {"./", "."},
      {"", "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.expected, std::string(normalisedPath(SString(c.path.c_str())).c_str()));
  }
}

}  // namespace
