// The run's one set of input files.
#include "archive/launcher_input_files.h"
#include "launcher/launcher.h"

LauncherInputFiles& Launcher::getInputFiles() {
  static LauncherInputFiles inputFiles;
  return inputFiles;
}
