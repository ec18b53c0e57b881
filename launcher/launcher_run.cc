// The start and end of a run: process() and run().
#include "archive/launcher_input_files.h"
#include "archive/missing_payload.h"
#include "instructions/instructions.h"
#include "launcher/launcher.h"
#include "launcher/launcher_exception.h"
#include "launcher/run_outcome.h"
#include "platform/platform_impl.h"

Launcher::~Launcher() { PlatformImpl::cleanup(); }

long Launcher::process(StringDeque& args, const SString& launcherPath) {
  return process(args, launcherPath, launcherPath);
}

long Launcher::process(StringDeque& args, const SString& launcherPath,
                       const SString& executablePath) {
  m_launcherFileName = launcherPath;
  m_origLauncherFileName = launcherPath;
  m_executableFileName = executablePath;
  for (long i = 0; i < args.size(); ++i) m_args.push_back(args.at(i));
  try {
    return processCmdLine(args);
  } catch (const LauncherException& e) {
    PlatformImpl::showUIError(e.getMessage());
    logMessage(e.getMessage(), LOG_ERROR);
    return -1;
  } catch (...) {
    // A fault of the launcher itself (a string position out of range, no
    // memory): the run still ends here, so the temporary files are removed.
    const char* message = "The launcher failed with an internal error.";
    PlatformImpl::showUIError(message);
    logMessage(message, LOG_ERROR);
    return -1;
  }
}

// A launcher file whose trailer is missing or damaged (a download cut
// short) reads as one without an archive, so it has nothing to run; that
// ends the run with an error that says so, not with a bare exit code.
long Launcher::run() {
  LauncherInputFiles& files = getInputFiles();
  const Instructions* instructions = files.getInstructions();
  if (instructions == nullptr) {
    if (!files.hasPayload()) throw LauncherException(missingPayloadMessage(m_executableFileName));
    throw LauncherException("The launcher file carries no instruction script.");
  }
  // A script that launched nothing and found no JVM has failed.
  return scriptExitCode(runInstructions(instructions));
}
