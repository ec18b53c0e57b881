// bvpack's one question to a runtime it packs (tools/runtime_answers.h):
// runtimes that do not answer within the time limit, however they hold on,
// and one whose output has no end.
#include "tools/runtime_answers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "jvm/jvm_file.h"
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

// What a runtime answers is recorded line by line after the marker: an
// answer holding a carriage return is left out (the launcher would not
// read it back the same), and too few lines after the marker record
// nothing at all.
TEST(RuntimeAnswersTest, OnlyWholeAnswersAfterTheMarkerAreRecorded) {
  const std::vector<std::string>& names = recordedRuntimeProperties();
  std::string all = "noise\n" + std::string(verificationMarker) + "\n";
  for (size_t i = 0; i < names.size(); ++i) {
    all += names[i] == "os.name" ? "Li\rnux\n" : "value" + std::to_string(i) + "\n";
  }
  std::string tooFew = std::string(verificationMarker) + "\n";
  for (size_t i = 0; i + 1 < names.size(); ++i) tooFew += "value" + std::to_string(i) + "\n";
  struct Case {
    const char* what;
    std::string out;
    size_t recorded;
  } cases[] = {{"a carriage return in os.name", all, names.size() - 1}, {"one line too few", tooFew, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    mkdir(dir.file("bin").c_str(), 0755);
    writeFile(dir.file("answers"), c.out);
    writeFile(dir.file("bin/java"), "#!/bin/sh\ncat '" + dir.file("answers") + "'\n", 0755);
    std::string why;
    std::vector<RuntimeAnswer> answers = askRuntime(dir.path(), why, 10);
    ASSERT_EQ(c.recorded, answers.size()) << why;
    if (c.recorded == 0) {
      EXPECT_EQ(dir.path() + "/bin/java did not answer the verification", why);
      continue;
    }
    for (const RuntimeAnswer& answer : answers) {
      EXPECT_NE("os.name", answer.first);
      EXPECT_EQ(std::string::npos, answer.second.find('\r')) << answer.first;
    }
    EXPECT_EQ(names[0], answers[0].first);
    EXPECT_EQ("value0", answers[0].second);
  }
}

}  // namespace
}  // namespace bvtest
