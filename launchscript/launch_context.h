// What the launch script needs of the run, handed to every LaunchScript
// (and through JVMFile to the verification command) by reference. The
// launcher's run state owns the pieces (launcher/run_state.h).
#ifndef BV_LAUNCHSCRIPT_LAUNCH_CONTEXT_H_
#define BV_LAUNCHSCRIPT_LAUNCH_CONTEXT_H_

#include "foundation/sstring.h"
#include "platform/run_console.h"

class ApplicationArchive;
class LauncherInputFiles;

// The launcher's own file under its names.
struct LauncherPaths {
  // The name the launcher goes by (LAUNCHER_FILE, the working directory).
  SString launcherFile;
  // The launcher file as first started: -bv:orig, else launcherFile. Its
  // directory holds the files next to the launcher.
  SString originalLauncherFile;
  // The running executable: the payload is read from it and -bv:orig
  // deletes it (the launcher file name in tests).
  SString executableFile;
  // The byte 9 bytes before the end of executableFile (0 to 255), or -1.
  long purpose = -1;

  // All three names set to path, as for a launcher started by that name.
  void setLauncherFile(const SString& path);
  // The original launcher's directory without the trailing "/", or empty
  // when its name holds no "/" (a backslash is part of a name).
  SString originalLauncherDir() const;
};

// The -cp:p and -cp:a values of the command line.
struct ClasspathOptions {
  SString prepend;
  SString append;
};

struct LaunchContext {
  const LauncherPaths& paths;
  const ClasspathOptions& classpath;
  // The launcher archive: its classpath archives for %CP%.
  const LauncherInputFiles& inputFiles;
  // %APPLICATION_ARCHIVE%, extracted or copied once per run.
  ApplicationArchive& applicationArchive;
  // Where the run's messages, warnings and diagnostics go.
  const Console& console;
};

#endif  // BV_LAUNCHSCRIPT_LAUNCH_CONTEXT_H_
