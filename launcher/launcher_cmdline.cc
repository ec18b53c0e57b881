// The launcher's own command line and the input-file actions.
//
// Options are applied strictly from left to right and none of them stops the
// loop. By default the archive is loaded and the instruction script runs
// after the last option; -bv:in (unless its action is RUN_INSTRUCTIONS),
// -bv:extract and -bv:version turn that off.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "archive/launcher_input_files.h"
#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "launcher/launcher.h"
#include "launcher/launcher_help.h"
#include "platform/platform_impl.h"
#include "tagfile/read_open.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

namespace {

const char kVersionText[] = "2.51";

SString withMessage(MessageIdentifier id, const SString& detail) {
  SString text = PlatformImpl::getMessageText(id);
  text += detail;
  return text;
}

// A relative directory is taken against the current directory, since the
// checks that use it run elsewhere.
SString absolutePath(const SString& path) {
  if (path.empty() || path[0] == '/') return path;
  SString result;
  if (char* cwd = getcwd(nullptr, 0)) {
    result = cwd;
    free(cwd);
  }
  if (!result.empty() && result[result.length() - 1] != '/') result += '/';
  result += path;
  return result;
}

}  // namespace

void Launcher::loadArchive(bool loadTagFiles) {
  // The archive is read once; a second load changes nothing.
  if (m_state.inputFiles.areInternalFilesLoaded()) return;
  try {
    m_state.inputFiles.load(m_state.paths.executableFile, loadTagFiles);
  } catch (const LauncherException& e) {
    throw LauncherException(withMessage(MSG_FILE_INDEX_LOAD_ERROR, e.getMessage()));
  }
  if (loadTagFiles) m_state.scripts.addFromArchive(m_state.inputFiles);
}

bool Launcher::performInputFileAction(const SString& value, long& exitCode) {
  TagFile input;
  try {
    if (value.empty()) {
      throw LauncherException(PlatformImpl::getMessageText(MSG_INPUT_FILE_OPEN_ERROR));
    }
    SString name = value;
    if (name[0] == '"') name.erase(0, 1);
    if (!name.empty() && name[name.length() - 1] == '"') name.erase(name.length() - 1);
    FILE* file = openForReading(name);  // a FIFO never holds the launcher
    if (file == nullptr) {
      throw LauncherException(PlatformImpl::getMessageText(MSG_INPUT_FILE_OPEN_ERROR));
    }
    FileCloser closer(file);
    logMessage(SString("Loading input file ").append(value), LOG_INFO);
    input.load(file, value, 0, -1);
    setLogFileName(input.getTagValue("LOGFILE", 0));
  } catch (const LauncherException& e) {
    PlatformImpl::showUIMessage(withMessage(MSG_INPUT_FILE_LOAD_ERROR, e.getMessage()));
    throw;
  }

  try {
    m_state.scripts.load(input);
  } catch (const LauncherException& e) {
    PlatformImpl::showUIMessage(e.getMessage());
    throw;
  }
  loadArchive(true);

  bool showProgress = input.getBoolTagValue("SHOW_PROGRESS", false);
  bool showFailMsg = input.getBoolTagValue("SHOW_FAIL_MSG", false);
  if (showProgress || showFailMsg) {
    PlatformImpl::showUI();
  } else {
    PlatformImpl::hideUI(0);
  }
  if (showProgress) PlatformImpl::setUIProgress(0);

  SString action = input.getTagValue("ACTION", 0);
  if (action.compare("RUN_INSTRUCTIONS") == 0) return true;
  if (action.compare("SEARCH") == 0) {
    search(showProgress, showFailMsg);
    PlatformImpl::setUIProgress(100);
  } else if (action.compare("SEARCH_ALL") == 0) {
    searchAll(showProgress, showFailMsg);
    PlatformImpl::setUIProgress(100);
  } else if (action.compare("VERIFY_JVM") == 0) {
    SString file = input.getTagValue("VERIFY_JVM_FILE", 0);
    SString home = input.getTagValue("VERIFY_JVM_HOME", 0);
    if (!file.empty() && !home.empty()) {
      verifyJVM(showProgress, showFailMsg, file, home);
      PlatformImpl::setUIProgress(100);
    } else {
      logMessage(
          "TO execute the VERIFY_JVM action, you must also provide values in the input file for "
          "VERIFY_JVM_FILE and VERIFY_JVM_HOME.",
          LOG_ERROR);
      exitCode = -1;
    }
  } else if (action.compare("INSTALL_JVM") == 0) {
    SString exe = input.getTagValue("INSTALL_JVM_EXE", 0);
    SString dest = input.getTagValue("INSTALL_JVM_DEST", 0);
    if (!exe.empty() && !dest.empty()) installJVM(showProgress, showFailMsg, exe, dest);
    PlatformImpl::setUIProgress(100);
  } else {
    SString message = withMessage(MSG_INVALID_INPUT_ACTION, action);
    PlatformImpl::showUIMessage(message);
    throw LauncherException(message);
  }
  return false;
}

long Launcher::processCmdLine(const StringDeque& args) {
  long exitCode = 0;
  bool runInstructions = true;
  PlatformImpl::setLauncherToDelete(SString());
  PlatformImpl::setUIProgress(0);
  // -bv:help acts before every other option and runs nothing.
  if (isHelpRequested(args)) {
    fputs(launcherHelpText().c_str(), stdout);
    return 0;
  }

  for (long i = 0; i < args.size(); ++i) {
    const SString& arg = args.at(i);
    bool hasValue = i + 1 < args.size();
    if (arg.compare("-bv:log") == 0) {
      if (hasValue) {
        setLogFileName(args.at(++i));
      } else {
        exitCode = -1;
        PlatformImpl::showUIMessage(PlatformImpl::getMessageText(MSG_LOG_FILE_NAME_MISSING));
      }
    } else if (arg.compare("-bv:orig") == 0) {
      if (hasValue) {
        m_state.paths.originalLauncherFile = args.at(++i);
        PlatformImpl::setLauncherToDelete(m_state.paths.executableFile);
      } else {
        exitCode = -1;
        PlatformImpl::showUIMessage("Missing original launcher file name.");
      }
    } else if (arg.compare("-bv:tempdir") == 0) {
      if (hasValue) PlatformImpl::setSystemTempDir(args.at(++i));
    } else if (arg.compare("-bv:silent") == 0) {
      PlatformImpl::setSilent(true);
    } else if (arg.compare("-silent") == 0) {
      PlatformImpl::setSilent(true);
      m_state.passThroughArgs.push_back(arg);
    } else if (arg.compare("-bv:javahome") == 0) {
      if (hasValue) m_state.userJavaHome = absolutePath(args.at(++i));
    } else if (arg.compare("-bv:extract") == 0) {
      loadArchive(false);
      try {
        m_state.inputFiles.extractAll();
      } catch (const LauncherException& e) {
        throw LauncherException(withMessage(MSG_EXTRACT_ERROR, e.getMessage()));
      }
      PlatformImpl::setUIProgress(100);
      runInstructions = false;
    } else if (arg.compare("-bv:in") == 0) {
      // A calling program drives this run and reads its results: no window.
      PlatformImpl::setUIWindow(nullptr);
      if (hasValue) {
        runInstructions = performInputFileAction(args.at(++i), exitCode);
      } else {
        PlatformImpl::showUIMessage(PlatformImpl::getMessageText(MSG_INPUT_FILE_NAME_MISSING));
        runInstructions = false;
        exitCode = -1;
      }
    } else if (arg.compare("-bv:version") == 0) {
      PlatformImpl::showUIMessage(kVersionText, UI_MESSAGE_INFO);
      runInstructions = false;
    } else if (arg.compare("-bv:javaconsole") == 0) {
      m_state.showJavaConsole = true;
    } else if (arg.compare("-console") == 0) {
      m_state.showJavaConsole = true;
      m_state.passThroughArgs.push_back(arg);
    } else if (arg.compare("-cp:p") == 0) {
      if (hasValue) m_state.classpath.prepend = args.at(++i);
    } else if (arg.compare("-cp:a") == 0) {
      if (hasValue) m_state.classpath.append = args.at(++i);
    } else {
      m_state.passThroughArgs.push_back(arg);
    }
  }

  if (runInstructions) {
    if (!m_state.inputFiles.areInternalFilesLoaded()) loadArchive(true);
    exitCode = run();
    PlatformImpl::setUIProgress(100);
  }
  return exitCode;
}
