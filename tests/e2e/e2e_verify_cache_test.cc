// The verification cache seen from outside: a second run of a launcher
// takes the verification of the real JDK from the cache in its HOME.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_fixture.h"

namespace bvtest {
namespace {

using E2eVerifyCacheTest = E2eTest;

TEST_F(E2eVerifyCacheTest, ASecondRunTakesTheVerificationFromTheCache) {
  BV_REQUIRE_JAVA();
  std::string launcher = pack("setup", payload(typicalScriptPath()));
  std::string exe = javaHome + "/bin/java";
  std::string stored = "Verification of " + exe + " stored in the cache";
  std::string taken = "Verification of " + exe + " taken from the cache";
  struct Case {
    const char* name;
    std::vector<std::string> extraEnv;
    bool fromCache;
  } cases[] = {{"first run", {}, false},
               {"second run", {}, true},
               {"turned off", {"BV_VERIFY_CACHE=0"}, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string log = dir.file(std::string("log-") + c.name);
    std::vector<std::string> environment = env("", javaHome);
    environment.insert(environment.end(), c.extraEnv.begin(), c.extraEnv.end());
    ProcessResult r = run(launcher, {"-bv:log", log, "x"}, environment);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("arg[0]=<x>")) << r.out;
    std::string text = readFile(log);
    EXPECT_EQ(c.fromCache, text.find(taken) != std::string::npos) << text;
    EXPECT_EQ(!c.fromCache && c.extraEnv.empty(), text.find(stored) != std::string::npos) << text;
  }
  struct stat st;
  ASSERT_EQ(0, stat(dir.file(".cache/bvlauncher/verify.cache").c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  EXPECT_TRUE(leftInTemp().empty());
}

}  // namespace
}  // namespace bvtest
