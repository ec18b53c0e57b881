// bvpack's one question to a runtime it packs (tools/runtime_answers.h):
// runtimes that do not answer within the time limit, however they hold on,
// and one whose output has no end.
#include "tools/runtime_answers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/test_util.h"

namespace bvtest {
namespace {

TEST(RuntimeAnswersTest, ARuntimeThatHoldsOnOrPrintsOnIsStopped) {
  const std::string late = " did not end within 1 s";
  const std::string endless = " printed more than 1048576 bytes";
  struct Case {
    const char* what;
    const char* java;
    const std::string& why;
  } cases[] = {
      {"silent and running", "#!/bin/sh\nexec sleep 30\n", late},
      // Its standard output closed, it runs on: the end of its output is
      // not its end.
      {"output closed, running", "#!/bin/sh\nexec >&-\nexec sleep 30\n", late},
      // Output without end is not kept whole: it is stopped at the first
      // mebibyte too many, before its time is up.
      {"printing on", "#!/bin/sh\nhead -c 2000000 /dev/zero\nexec sleep 30\n", endless},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    mkdir(dir.file("bin").c_str(), 0755);
    writeFile(dir.file("bin/java"), c.java, 0755);
    std::string why;
    EXPECT_TRUE(askRuntime(dir.path(), why, 1).empty());
    EXPECT_EQ(dir.path() + "/bin/java" + c.why, why);
  }
}

}  // namespace
}  // namespace bvtest
