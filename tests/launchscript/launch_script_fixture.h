// A fixture for launch script tests: a temporary directory that holds the
// launcher file name, the log and the JVM file, a clean launch context,
// and helpers to resolve a command against the JVM file.
#ifndef BV_TESTS_LAUNCHSCRIPT_LAUNCH_SCRIPT_FIXTURE_H_
#define BV_TESTS_LAUNCHSCRIPT_LAUNCH_SCRIPT_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "launchscript/jvm_tag_lookup.h"
#include "launchscript/launch_script.h"
#include "tagfile/tag_file.h"
#include "tests/launchscript/test_launch_context.h"
#include "tests/test_util.h"

namespace bvtest {

// The example JVM description file of the sample payload.
extern const char* kExampleJVMFile;

// The example JVM file (kExampleJVMFile) with the home /Library/Java/Home.
std::string exampleJVMFile();

class LaunchScriptTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes text as the JVM file "test.jvm" and loads it.
  void loadJVMFile(const std::string& text);
  // Writes text as a launch script "launch.txt" and loads it.
  std::unique_ptr<TagFile> loadLaunchScript(const std::string& text);
  // The command resolved with a one-command launch script.
  std::string resolve(const std::string& command);
  // The message of the LauncherException that resolving throws, or
  // "no exception".
  std::string resolveError(const std::string& command);
  // The log written so far.
  std::string log() const { return readFile(m_dir.file("log")); }
  // Sets an environment variable for this test only.
  void setEnv(const std::string& name, const std::string& value);
  void unsetEnv(const std::string& name);
  // The launcher file name of the test: <dir>/setup.app.
  std::string launcherPath() const { return m_dir.file("setup.app"); }
  // What the scripts of the test see of the run.
  const LaunchContext& context() const { return m_run->context; }
  // A new run: paths, -cp:p/-cp:a and the archives start empty again.
  void newRun() { m_run.reset(new TestLaunchContext()); }

  TempDir m_dir;
  std::unique_ptr<TestLaunchContext> m_run{new TestLaunchContext()};
  std::unique_ptr<TagFile> m_tagFile;
  std::unique_ptr<JVMTagLookup> m_jvmFile;

 private:
  // Variables changed by setEnv, with their values before the test.
  struct SavedVariable {
    std::string name;
    bool wasSet;
    std::string value;
  };
  void saveEnv(const std::string& name);
  std::vector<SavedVariable> m_savedEnv;
};

}  // namespace bvtest

#endif  // BV_TESTS_LAUNCHSCRIPT_LAUNCH_SCRIPT_FIXTURE_H_
