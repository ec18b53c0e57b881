// The launcher's own command line and the input-file actions.
//
// Options are applied strictly from left to right and none of them stops the
// loop. By default the archive is loaded and the instruction script runs
// after the last option; -bv:in (unless its action is RUN_INSTRUCTIONS),
// -bv:extract and -bv:version turn that off. The settings of the launcher's
// own instruction script (archive/launcher_settings.h) are read first: a
// quiet console, the conventions of a Unix command, only -bv: options with
// "--" ending them, TMPDIR.
//
// An input file's action is reported as a setup program reads it: result
// lines on standard output, every message shown where the run's Console
// puts messages. A file that cannot be loaded is shown as "Could not load
// the input file." joined to the reason, then the reason alone when the run
// ends; an invalid action twice; a SEARCH that fails prints nothing and a
// SEARCH_ALL that fails prints "0", both ending with 0; VERIFY_JVM without
// its tags logs why and ends with 255; INSTALL_JVM without its tags does
// nothing. A Unix-command launcher (UNIX_COMMAND) says what is wrong once,
// with the reason the system gave, and every failed action ends with 255.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/damaged_launcher.h"
#include "archive/launcher_input_files.h"
#include "archive/launcher_settings.h"
#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "launcher/launcher.h"
#include "launcher/launcher_help.h"
#include "platform/platform_impl.h"
#include "platform/ui_window.h"
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

// The input file's name as written after -bv:in, without the double quotes
// around it.
SString inputFileName(const SString& value) {
  SString name = value;
  if (!name.empty() && name[0] == '"') name.erase(0, 1);
  if (!name.empty() && name[name.length() - 1] == '"') name.erase(name.length() - 1);
  return name;
}

// The catalogued "Could not load the input file." and the reason, as one
// text with a blank between the sentences.
SString inputFileError(const SString& reason) {
  SString text = PlatformImpl::getMessageText(MSG_INPUT_FILE_LOAD_ERROR);
  if (!text.empty() && text[text.length() - 1] != ' ') text += ' ';
  text += reason;
  return text;
}

// With USE_TMPDIR and no -bv:tempdir: TMPDIR, when it is set, becomes the
// temporary folder if it passes the checks that -bv:tempdir must pass;
// otherwise one warning says why and /var/tmp stays.
void useTmpdir(const Console& console) {
  SString tmpdir = PlatformImpl::getEnvironmentVariable("TMPDIR");
  if (tmpdir.empty()) return;
  PlatformImpl::setSystemTempDir(tmpdir, true);
  try {
    PlatformImpl::getSystemTempDirectory();
  } catch (const LauncherException& e) {
    PlatformImpl::setSystemTempDir(SString());
    console.warning(SString("Ignoring TMPDIR: ").append(e.getMessage()));
  }
}

}  // namespace

void Launcher::loadArchive(bool loadTagFiles) {
  // The archive is read once; a second load changes nothing.
  if (m_state.inputFiles.areInternalFilesLoaded()) return;
  try {
    m_state.inputFiles.load(m_state.paths.executableFile, loadTagFiles);
  } catch (const DamagedLauncherException&) {
    throw;  // its own message, as it is
  } catch (const LauncherException& e) {
    // A launch script read before the entry that failed has set the title,
    // which the console shows before the error.
    if (loadTagFiles && !m_state.console.isUnixCommand()) {
      m_state.scripts.showTitleOfLoadedLaunchScript(m_state.inputFiles);
    }
    throw LauncherException(withMessage(MSG_FILE_INDEX_LOAD_ERROR, e.getMessage()));
  }
  if (loadTagFiles) m_state.scripts.addFromArchive(m_state.inputFiles);
}

void Launcher::loadInputFile(const SString& value, TagFile& input) {
  const Console& console = m_state.console;
  SString name = inputFileName(value);
  SString cannotOpen = PlatformImpl::getMessageText(MSG_INPUT_FILE_OPEN_ERROR);
  try {
    if (name.empty()) throw LauncherException(cannotOpen);
    FILE* file = openForReading(name);  // a FIFO never holds the launcher
    if (file == nullptr) {
      SString reason = SString("(").append(name).append(": ").append(strerror(errno)).append(")");
      if (console.isUnixCommand()) throw LauncherException(cannotOpen.append(" ").append(reason));
      console.diagnostic(reason);
      throw LauncherException(cannotOpen);
    }
    FileCloser closer(file);
    logMessage(SString("Loading input file ").append(value), LOG_INFO);
    input.load(file, value, 0, -1);
    setLogFileName(input.getTagValue("LOGFILE", 0));
  } catch (const LauncherException& e) {
    // A Unix command says it once; a setup program's console shows the
    // joined text now and the reason again when the run ends.
    if (console.isUnixCommand()) throw LauncherException(inputFileError(e.getMessage()));
    console.message(inputFileError(e.getMessage()));
    throw;
  }
}

bool Launcher::performInputFileAction(const SString& value, long& exitCode) {
  const Console& console = m_state.console;
  TagFile input;
  loadInputFile(value, input);
  try {
    m_state.scripts.load(input);
  } catch (const LauncherException& e) {
    if (!console.isUnixCommand()) console.message(e.getMessage());
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

  // Whether the input file holds the two tags that the action needs; a
  // Unix command that lacks one says which and ends.
  auto given = [&](const char* action, const char* first, const char* second) {
    if (!input.getTagValue(first, 0).empty() && !input.getTagValue(second, 0).empty()) return true;
    if (!console.isUnixCommand()) return false;
    throw LauncherException(SString("The action ")
                                .append(action)
                                .append(" of the input file ")
                                .append(inputFileName(value))
                                .append(" needs both ")
                                .append(first)
                                .append(" and ")
                                .append(second)
                                .append("."));
  };

  SString action = input.getTagValue("ACTION", 0);
  if (action.compare("RUN_INSTRUCTIONS") == 0) return true;
  if (action.compare("SEARCH") == 0) {
    search(showProgress, showFailMsg);
  } else if (action.compare("SEARCH_ALL") == 0) {
    searchAll(showProgress, showFailMsg);
  } else if (action.compare("VERIFY_JVM") == 0) {
    if (!given("VERIFY_JVM", "VERIFY_JVM_FILE", "VERIFY_JVM_HOME")) {
      logMessage(
          "TO execute the VERIFY_JVM action, you must also provide values in the input file for "
          "VERIFY_JVM_FILE and VERIFY_JVM_HOME.",
          LOG_ERROR);
      exitCode = -1;
      return false;
    }
    verifyJVM(showProgress, showFailMsg, input.getTagValue("VERIFY_JVM_FILE", 0),
              input.getTagValue("VERIFY_JVM_HOME", 0));
  } else if (action.compare("INSTALL_JVM") == 0) {
    if (given("INSTALL_JVM", "INSTALL_JVM_EXE", "INSTALL_JVM_DEST")) {
      installJVM(showProgress, showFailMsg, input.getTagValue("INSTALL_JVM_EXE", 0),
                 input.getTagValue("INSTALL_JVM_DEST", 0));
    }
  } else {
    SString message = withMessage(MSG_INVALID_INPUT_ACTION, action);
    if (!console.isUnixCommand()) console.message(message);
    throw LauncherException(message);
  }
  PlatformImpl::setUIProgress(100);
  return false;
}

long Launcher::processCmdLine(const StringDeque& args) {
  long exitCode = 0;
  bool runInstructions = true;
  PlatformImpl::setLauncherToDelete(SString());
  PlatformImpl::setUIProgress(0);
  // The launcher's own settings decide which arguments are options.
  LauncherSettings settings = readLauncherSettings(m_state.paths.executableFile);
  const bool bvOnly = settings.bvOptionsOnly;
  Console& console = m_state.console;
  console.configure(settings.unixCommand, !settings.consoleUI);
  // -bv:help acts before every other option and runs nothing.
  if (isHelpRequested(args, bvOnly)) {
    fputs(launcherHelpText(bvOnly, settings.useTmpdir).c_str(), stdout);
    return 0;
  }
  if (settings.useTmpdir && !isOptionGiven(args, "-bv:tempdir", bvOnly)) useTmpdir(console);

  for (long i = 0; i < args.size(); ++i) {
    const SString& arg = args.at(i);
    bool hasValue = i + 1 < args.size();
    if (bvOnly && arg.compare("--") == 0) {
      // The end of the launcher's options: the rest is the application's.
      for (++i; i < args.size(); ++i) m_state.passThroughArgs.push_back(args.at(i));
      break;
    }
    if (bvOnly && (arg.compare("-silent") == 0 || arg.compare("-console") == 0 ||
                   arg.compare("-cp:p") == 0 || arg.compare("-cp:a") == 0)) {
      m_state.passThroughArgs.push_back(arg);  // not options here
      continue;
    }
    if (arg.compare("-bv:log") == 0) {
      if (hasValue) {
        setLogFileName(args.at(++i));
      } else {
        exitCode = -1;
        console.message(PlatformImpl::getMessageText(MSG_LOG_FILE_NAME_MISSING));
      }
    } else if (arg.compare("-bv:orig") == 0) {
      if (hasValue) {
        m_state.paths.originalLauncherFile = args.at(++i);
        PlatformImpl::setLauncherToDelete(m_state.paths.executableFile);
      } else {
        exitCode = -1;
        console.message("Missing original launcher file name.");
      }
    } else if (arg.compare("-bv:tempdir") == 0) {
      if (hasValue) PlatformImpl::setSystemTempDir(args.at(++i));
    } else if (arg.compare("-bv:silent") == 0) {
      console.setSilent(true);
    } else if (arg.compare("-silent") == 0) {
      console.setSilent(true);
      m_state.passThroughArgs.push_back(arg);
    } else if (arg.compare("-bv:javahome") == 0) {
      if (hasValue) m_state.userJavaHome = absolutePath(args.at(++i));
    } else if (arg.compare("-bv:extract") == 0) {
      loadArchive(false);
      try {
        m_state.inputFiles.extractAll();
      } catch (const DamagedLauncherException&) {
        throw;
      } catch (const LauncherException& e) {
        throw LauncherException(withMessage(MSG_EXTRACT_ERROR, e.getMessage()));
      }
      PlatformImpl::setUIProgress(100);
      runInstructions = false;
    } else if (arg.compare("-bv:in") == 0) {
      // A calling program drives this run and reads its results: no window.
      console.setWindow(nullptr);
      if (hasValue) {
        runInstructions = performInputFileAction(args.at(++i), exitCode);
      } else {
        console.message(PlatformImpl::getMessageText(MSG_INPUT_FILE_NAME_MISSING));
        runInstructions = false;
        exitCode = -1;
      }
    } else if (arg.compare("-bv:version") == 0) {
      console.answer(kVersionText);
      runInstructions = false;
    } else if (arg.compare("-bv:nowindows") == 0) {
      PlatformImpl::setUIWindow(nullptr);  // desktop_start.h
    } else if (arg.compare("-bv:javaconsole") == 0) {
      m_state.showJavaConsole = true;
    } else if (arg.compare("-console") == 0) {
      m_state.showJavaConsole = true;
      m_state.passThroughArgs.push_back(arg);
    } else if (arg.compare("-cp:p") == 0 || arg.compare("-bv:cp:p") == 0) {
      if (hasValue) m_state.classpath.prepend = args.at(++i);
    } else if (arg.compare("-cp:a") == 0 || arg.compare("-bv:cp:a") == 0) {
      if (hasValue) m_state.classpath.append = args.at(++i);
    } else {
      m_state.passThroughArgs.push_back(arg);
    }
  }

  if (runInstructions) {
    if (!m_state.inputFiles.areInternalFilesLoaded()) loadArchive(true);
    exitCode = runInstructionScript();
    PlatformImpl::setUIProgress(100);
  }
  return exitCode;
}
