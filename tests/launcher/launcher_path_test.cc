// The launcher's own path: the name it was started by, checked against the
// running executable.
#include "launcher/launcher_path.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/test_util.h"

namespace {

using bvtest::writeFile;

// The current directory changed for one scope.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) {
    char* cwd = getcwd(nullptr, 0);
    m_saved = cwd != nullptr ? cwd : "/";
    free(cwd);
    EXPECT_EQ(0, chdir(dir.c_str())) << dir;
  }
  ~InDirectory() { EXPECT_EQ(0, chdir(m_saved.c_str())); }

 private:
  std::string m_saved;
};

class LauncherPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"a", "b", "work", "work/rel"}) mkdir(dir.file(d).c_str(), 0755);
    writeFile(dir.file("a/setup"), "not executable", 0644);
    mkdir(dir.file("a/tool").c_str(), 0755);  // a directory is no program
    writeFile(dir.file("b/setup"), "b", 0755);
    writeFile(dir.file("b/tool"), "b", 0755);
    writeFile(dir.file("work/setup"), "namesake", 0755);
    writeFile(dir.file("work/rel/only-here"), "rel", 0755);
  }
  bvtest::TempDir dir;
};

TEST_F(LauncherPathTest, ABareNameIsFoundThroughPathAsTheShellFindsIt) {
  InDirectory here(dir.file("work"));
  std::string a = dir.file("a"), b = dir.file("b");
  struct Case {
    const char* name;
    std::string path;
    std::string expected;
  } cases[] = {
      // The current directory's namesake counts only when PATH names it.
      {"setup", a + ":" + b, dir.file("b/setup")},
      {"setup", a + "::" + b, dir.file("work/setup")},
      {"setup", a + ":.:" + b, dir.file("work/setup")},
      {"tool", a + ":" + b, dir.file("b/tool")},
      {"only-here", "rel", dir.file("work/rel/only-here")},
      {"missing", a + ":" + b, ""},
      {"setup", "", dir.file("work/setup")},  // one empty piece: the current directory
      // Names with a "/" are not searched for.
      {"/opt/setup", a, "/opt/setup"},
      {"./x/../setup", b, dir.file("work") + "/./x/../setup"},
      {"", b, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " in " + c.path);
    EXPECT_EQ(c.expected, resolveProgramName(c.name, c.path.c_str()).c_str());
  }
}

TEST_F(LauncherPathTest, ANameThatDoesNotLeadToTheRunningExecutableIsNotUsed) {
  InDirectory here(dir.file("work"));
  std::string exe = dir.file("b/setup");
  ASSERT_EQ(0, symlink(exe.c_str(), dir.file("a/link").c_str()));
  std::string savedPath = getenv("PATH") != nullptr ? getenv("PATH") : "";
  setenv("PATH", dir.file("b").c_str(), 1);
  struct Case {
    const char* name;
    std::string expected;
  } cases[] = {
      {"setup", exe},                          // through PATH, not the namesake here
      {"../b/setup", dir.file("work") + "/../b/setup"},  // the same file by another name
      {"missing", exe},
      {"./setup", exe},                        // the namesake: not the running file
      {"/etc/passwd", exe},                    // a made-up argv[0]
      {"", exe},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.expected, makeLauncherPath(c.name, exe.c_str()).c_str());
  }
  // A link keeps its own name, so files beside it are found there.
  EXPECT_EQ(dir.file("a/link"), makeLauncherPath(dir.file("a/link").c_str(), exe.c_str()).c_str());
  // When the system does not tell, the name is all there is.
  EXPECT_EQ(dir.file("work/missing"), makeLauncherPath("missing", "").c_str());
  EXPECT_EQ(dir.file("b/setup"), makeLauncherPath("setup", "").c_str());
  setenv("PATH", savedPath.c_str(), 1);
}

}  // namespace
