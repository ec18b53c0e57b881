// The launcher's own file: the payload always comes from the running
// executable, whatever name it was started by, and -bv:orig deletes nothing
// else.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/e2e_fixture.h"

namespace bvtest {
namespace {

bool hasLine(const std::string& text, const std::string& line) {
  std::vector<std::string> lines = splitLines(text);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string realPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  std::string result = resolved != nullptr ? resolved : "(unresolved)";
  free(resolved);
  return result;
}

class E2eSelfTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    writeFakeJvm(dir.file("fake"));
  }
  // A launcher at path whose application is the fake java, given the
  // launcher's file and directory and who=<who>.
  std::string launcherOf(const std::string& who, const std::string& path) {
    return pack(path, {"instructions:" + write(who + ".tag", scriptText({"ILAUNCH 2 0"})),
                       "launch-script:" +
                           write(who + "-launch.tag",
                                 "DESC: Self\nDISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" "
                                 "\"\"file=%LAUNCHER_FILE%()\"\" \"\"dir=%LAUNCHER_DIR%()\"\" "
                                 "\"\"who=" + who + "\"\"\"\n"),
                       "jvm:" + write(who + ".jvm", jvmFileText("bin/java", "JVM_HOME: " +
                                                                              dir.file("fake") + "\n"))});
  }
};

TEST_F(E2eSelfTest, ABareNameRunsTheLauncherOnPathNotItsNamesakeInTheCurrentDirectory) {
  std::string real = launcherOf("real", "bin/mysetup");
  std::string impostor = launcherOf("impostor", "work/mysetup");
  // The shell finds "mysetup" through PATH, as a user's shell would.
  ProcessResult r = runProcess({"/bin/sh", "-c", "mysetup -bv:tempdir \"$1\" x", "sh", temp},
                               env(dir.file("bin")), "", dir.file("work"));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_TRUE(hasLine(r.out, "arg=who=real")) << r.out;
  EXPECT_FALSE(hasLine(r.out, "arg=who=impostor")) << r.out;
  EXPECT_TRUE(hasLine(r.out, "arg=file=" + real)) << r.out;
  EXPECT_TRUE(hasLine(r.out, "arg=dir=" + dir.file("bin"))) << r.out;
  EXPECT_TRUE(hasLine(r.out, "arg=x")) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(E2eSelfTest, AMadeUpProgramNameChangesNeitherThePayloadNorWhatOrigDeletes) {
  if (!pathExists("/bin/bash")) GTEST_SKIP() << "needs bash for exec -a";
  std::string real = launcherOf("real", "bin/mysetup");
  launcherOf("impostor", "work/mysetup");
  // A name that leads to another launcher: the running one still runs.
  ProcessResult r = runProcess(
      {"/bin/bash", "-c", "exec -a \"$1\" \"$2\" -bv:tempdir \"$3\"", "bash", dir.file("work/mysetup"),
       real, temp},
      env());
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_TRUE(hasLine(r.out, "arg=who=real")) << r.out;
  EXPECT_TRUE(hasLine(r.out, "arg=file=" + realPath(real))) << r.out;

  // A temporary copy started with -bv:orig under the name of a file in
  // another "bvj" directory deletes itself, not that file.
  std::string copyDir = temp + "/bvjcopy", victimDir = temp + "/bvjvictim";
  ASSERT_EQ(0, mkdir(copyDir.c_str(), 0700));
  ASSERT_EQ(0, mkdir(victimDir.c_str(), 0700));
  writeFile(copyDir + "/setup", readFile(real), 0700);
  writeFile(victimDir + "/victim", "precious");
  r = runProcess({"/bin/bash", "-c", "exec -a \"$1\" \"$2\" -bv:tempdir \"$3\" -bv:orig \"$4\" -bv:version",
                  "bash", victimDir + "/victim", copyDir + "/setup", temp, real},
                 env());
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_TRUE(hasLine(r.out, "2.51")) << r.out;
  EXPECT_EQ("precious", readFile(victimDir + "/victim"));
  EXPECT_FALSE(pathExists(copyDir));
}

}  // namespace
}  // namespace bvtest
