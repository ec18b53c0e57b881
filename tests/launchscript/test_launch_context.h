// The run's pieces that a launch script (and a JVM file's verification)
// reads, owned by a test: the launcher's paths, -cp:p/-cp:a, the launcher
// archive and the application archive, and the LaunchContext over them.
#ifndef BV_TESTS_LAUNCHSCRIPT_TEST_LAUNCH_CONTEXT_H_
#define BV_TESTS_LAUNCHSCRIPT_TEST_LAUNCH_CONTEXT_H_

#include "archive/launcher_input_files.h"
#include "launchscript/application_archive.h"
#include "launchscript/launch_context.h"
#include "platform/platform_impl.h"

namespace bvtest {

struct TestLaunchContext {
  TestLaunchContext() : context{paths, classpath, inputFiles, applicationArchive, PlatformImpl::console()} {}
  TestLaunchContext(const TestLaunchContext&) = delete;
  TestLaunchContext& operator=(const TestLaunchContext&) = delete;

  // Reads the launcher archive of paths.executableFile (no tag files).
  void loadArchive() { inputFiles.load(paths.executableFile, false); }

  LauncherPaths paths;
  ClasspathOptions classpath;
  LauncherInputFiles inputFiles;
  ApplicationArchive applicationArchive;
  LaunchContext context;
};

}  // namespace bvtest

#endif  // BV_TESTS_LAUNCHSCRIPT_TEST_LAUNCH_CONTEXT_H_
