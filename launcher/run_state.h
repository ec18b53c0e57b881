// RunState: everything one run of the launcher knows, made once in main
// (launcherMain) and handed down by reference. The lower folders see only
// the pieces they declare: LauncherPaths, ClasspathOptions and the
// LaunchContext (launchscript/launch_context.h), the ScriptVariables
// (instructions/), the LauncherInputFiles (archive/).
#ifndef BV_LAUNCHER_RUN_STATE_H_
#define BV_LAUNCHER_RUN_STATE_H_

#include "archive/launcher_input_files.h"
#include "foundation/deque.h"
#include "foundation/sstring.h"
#include "instructions/script_variables.h"
#include "launcher/payload_scripts.h"
#include "launcher/run_outcome.h"
#include "launchscript/application_archive.h"
#include "launchscript/launch_context.h"

// The JVM file that FIND_JVM wrote last, and what the check learned of its
// Java (JVM_VERSION, JVM_IDENTITY), which the written file does not hold.
struct FoundJava {
  SString jvmFile;
  SString version;
  SString identity;
};

struct RunState {
  RunState()
      : launch{paths, classpath, inputFiles, applicationArchive, console}, scripts(launch) {}
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  // Where the run's texts go: set up from the launcher's settings and the
  // command line, then handed down (LaunchContext).
  Console console;
  // The launcher's file names and its purpose byte.
  LauncherPaths paths;
  // The arguments as given (handed on to an embedded launcher).
  StringDeque args;
  // The arguments that are not the launcher's own options, and -silent and
  // -console, handed on to the application.
  StringDeque passThroughArgs;
  // -bv:javaconsole or -console.
  bool showJavaConsole = false;
  // -bv:javahome, made absolute.
  SString userJavaHome;
  // -cp:p and -cp:a.
  ClasspathOptions classpath;
  // N1..N5 and S1..S10.
  ScriptVariables variables;
  // The launcher archive: its index and embedded tag files.
  LauncherInputFiles inputFiles;
  // %APPLICATION_ARCHIVE%, made once.
  ApplicationArchive applicationArchive;
  // The pieces above as the launch script sees them.
  LaunchContext launch;
  // The instruction script, launch script and JVM files of the run.
  PayloadScripts scripts;
  // The last JVM file that FIND_JVM wrote.
  FoundJava foundJava;
  // Whether the script launched something or found no JVM.
  RunOutcome outcome;
  // What the last LAUNCH or ILAUNCH printed, when captured.
  SString stdOutput;
  SString errOutput;
};

#endif  // BV_LAUNCHER_RUN_STATE_H_
