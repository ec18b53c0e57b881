// A fixture for tests of JVM description files: a temporary directory that
// holds the log, the temporary files of the run and fake JVM homes, and the
// launch context pointed at it.
#ifndef BV_TESTS_JVM_JVM_TEST_FIXTURE_H_
#define BV_TESTS_JVM_JVM_TEST_FIXTURE_H_

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tagfile/tag_file.h"
#include "tests/launchscript/launch_script_fixture.h"
#include "tests/launchscript/test_launch_context.h"
#include "tests/test_util.h"

namespace bvtest {

class JVMFileTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A tag file loaded from text (written to a file in the temp dir).
  TagFile& loadTagFile(const std::string& text);
  // The log written so far.
  std::string log() const { return readFile(m_dir.file("run.log")); }

  // Makes a fake JVM home at dir: bin/java is a sh script that records its
  // JAVA_HOME and arguments (one per line) in <home>/invoked, then prints
  // output. Only shell builtins are used, so PATH does not matter.
  std::string makeFakeHome(const std::string& dir, const std::string& output,
                           const std::string& exe = "bin/java");
  // What the fake home's java recorded: JAVA_HOME, then the arguments, or ""
  // when it never ran.
  static std::string invoked(const std::string& home) { return readFile(home + "/invoked"); }

  // What the JVM files of the test see of the run.
  const LaunchContext& context() const { return m_run.context; }

  TempDir m_dir;
  TestLaunchContext m_run;

 private:
  std::unique_ptr<TagFile> m_tagFile;
  std::string m_savedPath;
};

// Sets an environment variable for the scope and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::string m_old;
  bool m_wasSet;
};

}  // namespace bvtest

#endif  // BV_TESTS_JVM_JVM_TEST_FIXTURE_H_
