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
        std::string name = readFile("/proc/self/comm") + readFile("/proc/self/cmdline");
        writeFile(out + ".tmp", name);
        rename((out + ".tmp").c_str(), out.c_str());
      },
      -1, "bvlauncher-cds"));
  for (int i = 0; i < 500 && !pathExists(out); ++i) usleep(10000);
  // The short name, then the command line: the name, the rest zeros.
  std::string text = readFile(out);
  EXPECT_EQ("bvlauncher-cds\nbvlauncher-cds", text.substr(0, 29));
  EXPECT_EQ(std::string::npos, text.find_first_not_of('\0', 29)) << text;
}

}  // namespace
}  // namespace bvtest
