// Work in a detached process (platform/detached_process.h): it runs after
// its starter has gone on, under the name it was given.
#include "platform/detached_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/test_util.h"

namespace bvtest {
namespace {

TEST(DetachedProcessTest, TheWorkRunsUnderItsOwnName) {
  TempDir dir;
  std::string out = dir.file("comm");
  ASSERT_TRUE(startDetached(
      [out]() {
        std::string name = readFile("/proc/self/comm");
        writeFile(out + ".tmp", name);
        rename((out + ".tmp").c_str(), out.c_str());
      },
      -1, "bvlauncher-cds"));
  for (int i = 0; i < 500 && !pathExists(out); ++i) usleep(10000);
  EXPECT_EQ("bvlauncher-cds\n", readFile(out));
}

}  // namespace
}  // namespace bvtest
