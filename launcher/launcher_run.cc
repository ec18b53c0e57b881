// The start and end of a run: process() and runInstructionScript().
#include "archive/damaged_launcher.h"
#include "foundation/launcher_exception.h"
#include "instructions/instructions.h"
#include "launcher/launcher.h"
#include "platform/platform_impl.h"

long Launcher::process(const StringDeque& args, const SString& launcherPath) {
  return process(args, launcherPath, launcherPath);
}

long Launcher::process(const StringDeque& args, const SString& launcherPath,
                       const SString& executablePath) {
  m_state.paths.launcherFile = launcherPath;
  m_state.paths.originalLauncherFile = launcherPath;
  m_state.paths.executableFile = executablePath;
  // The running launcher's purpose is in the running executable.
  m_state.paths.purpose = readLauncherPurpose(executablePath);
  for (long i = 0; i < args.size(); ++i) m_state.args.push_back(args.at(i));
  try {
    return processCmdLine(args);
  } catch (const DamagedLauncherException& e) {
    m_state.console.launcherFileMessage(e.getMessage());
    logMessage(SString(e.getMessage()).append(" (").append(e.getDetail()).append(")"), LOG_ERROR);
    return -1;
  } catch (const LauncherFileException& e) {
    m_state.console.launcherFileMessage(e.getMessage());
    logMessage(e.getMessage(), LOG_ERROR);
    return -1;
  } catch (const LauncherException& e) {
    m_state.console.message(e.getMessage());
    logMessage(e.getMessage(), LOG_ERROR);
    return -1;
  } catch (...) {
    // A fault of the launcher itself (a string position out of range, no
    // memory): the run still ends here, so the temporary files are removed.
    const char* message = "The launcher failed with an internal error.";
    m_state.console.message(message);
    logMessage(message, LOG_ERROR);
    return -1;
  }
}

// A launcher file that carries nothing to run ends the run with an error
// that says why, not with a bare exit code. (One cut short is refused when
// it is loaded: LauncherInputFiles::load.)
long Launcher::runInstructionScript() {
  const TagFile* tagFile = m_state.scripts.getInstructions();
  if (tagFile == nullptr) {
    if (!m_state.inputFiles.hasPayload()) {
      throw LauncherFileException(SString("The launcher file ")
                                  .append(m_state.paths.executableFile)
                                  .append(" is the launcher program alone: it carries no application. "
                                          "Pack one with bvpack."));
    }
    throw LauncherException("The launcher file carries no instruction script.");
  }
  Instructions instructions(*tagFile, *this);
  // For a Unix command, a script that launched nothing and found no JVM has
  // failed; a setup program reads the script's own result.
  long result = runInstructions(&instructions);
  return m_state.console.isUnixCommand() ? m_state.outcome.scriptExitCode(result) : result;
}
