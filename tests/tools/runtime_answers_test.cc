// bvpack's one question to a runtime it packs (tools/runtime_answers.h):
// runtimes that do not answer within the time limit, however they hold on.
#include "tools/runtime_answers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/test_util.h"

namespace bvtest {
namespace {

TEST(RuntimeAnswersTest, ARuntimeThatHoldsOnIsStoppedAtTheTimeLimit) {
  struct Case {
    const char* what;
    const char* java;
  } cases[] = {
      {"silent and running", "#!/bin/sh\nexec sleep 30\n"},
      // Its standard output closed, it runs on: the end of its output is
      // not its end.
      {"output closed, running", "#!/bin/sh\nexec >&-\nexec sleep 30\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    mkdir(dir.file("bin").c_str(), 0755);
    writeFile(dir.file("bin/java"), c.java, 0755);
    std::string why;
    EXPECT_TRUE(askRuntime(dir.path(), why, 1).empty());
    EXPECT_EQ(dir.path() + "/bin/java gave no answer within 1 s", why);
  }
}

}  // namespace
}  // namespace bvtest
