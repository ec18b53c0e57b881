// The operations that the instruction script and the input-file actions
// call: prepare the console, find, verify and launch a JVM, start an
// embedded launcher.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "archive/damaged_launcher.h"
#include "archive/file_index_entry.h"
#include "archive/launcher_input_files.h"
#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "jvm/candidate_report.h"
#include "jvm/class_data_archives.h"
#include "jvm/java_needs.h"
#include "jvm/jvm_file.h"
#include "jvm/jvm_files.h"
#include "jvm/jvm_match.h"
#include "jvm/tag_names.h"
#include "launcher/launcher.h"
#include "launchscript/launch_script.h"
#include "platform/platform_impl.h"
#include "tagfile/read_open.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

namespace {

SString decimal(long n) {
  char buf[32];
  snprintf(buf, sizeof buf, "%ld", n);
  return SString(buf);
}

}  // namespace

void Launcher::initializeUI() {
  PlatformImpl::setUIStatus(UI_STATUS_INITIALIZING);
  PlatformImpl::setUISubStatus(UI_SUBSTATUS_NONE, SString());
  PlatformImpl::showUI();
}

void Launcher::findJVM(bool showUI, bool showFailMsg) {
  logMessage("Finding a JVM", LOG_INFO);
  if (showUI) {
    PlatformImpl::setUIStatus(UI_STATUS_SEARCHING);
    PlatformImpl::showUI();
  } else {
    PlatformImpl::hideUI(0);
  }
  m_state.variables.setStringVariable(1, SString());
  m_state.variables.setStringVariable(2, SString());
  m_state.variables.setLongVariable(1, 0);

  JVMMatchPtrDeque matches;
  m_state.scripts.getJVMFiles()->getCandidateReport().clear();
  m_state.scripts.getJVMFiles()->search(matches, m_state.userJavaHome);
  if (matches.size() > 0 && matches.at(0) != nullptr) {
    JVMMatch* match = matches.at(0);
    SString path = match->writeNewJVMFile();
    SString home = match->getJVMHome();
    m_state.foundJava = FoundJava{path, match->getJVMVersion(), match->getJVMIdentity()};
    logMessage(SString("Matching JVM home is ").append(home), LOG_INFO);
    logMessage(SString("Matching JVM file is ").append(path), LOG_INFO);
    m_state.variables.setFoundStringVariable(1, home);
    m_state.variables.setFoundStringVariable(2, path);
    m_state.variables.setLongVariable(1, 1);
    m_state.outcome.noteJVMResult(true);
  } else {
    m_state.outcome.noteJVMResult(false);
    JVMFiles& files = *m_state.scripts.getJVMFiles();
    CandidateReport& report = files.getCandidateReport();
    // A Unix command says what went wrong in its own words: Java that is
    // there but does not start is no missing Java (UNIX_COMMAND).
    bool notStarted = m_state.console.isUnixCommand() && report.onlyStartFailures();
    SString message = notStarted                        ? report.startFailureMessage()
                      : m_state.console.isUnixCommand() ? CandidateReport::noJavaText(files)
                                                        : PlatformImpl::getMessageText(MSG_NO_SUITABLE_JVM);
    logMessage(message, LOG_INFO);
    if (showFailMsg && !PlatformImpl::isCanceled()) {
      // What the program needs and where a JVM can be had, as the author
      // wrote it into the JVM files.
      JavaNeeds needs = javaNeedsOf(files);
      for (const SString& warning : needs.warnings) logMessage(warning, LOG_WARNING);
      if (notStarted) {
        m_state.console.message(message);
      } else {
        m_state.console.jvmNotFound(message, needs.description, needs.downloadUrl);
      }
      report.reportNotFound(files, m_state.console);
    }
  }
}

// A search that fails prints nothing. A setup program's launcher reads that
// as the answer (the log says why) and ends with 0; a Unix command's error
// reaches Launcher::process, which shows and logs it.
void Launcher::search(bool showUI, bool showFailMsg) {
  try {
    findJVM(showUI, showFailMsg);
    m_state.console.result(decimal(m_state.variables.getLongVariable(1)));
    if (m_state.variables.getLongVariable(1) != 0) {
      m_state.console.result(m_state.variables.getStringVariable(1));
      m_state.console.result(m_state.variables.getStringVariable(2));
      PlatformImpl::removeFileFromCleanupList(m_state.variables.getStringVariable(2));
    }
  } catch (const DamagedLauncherException&) {
    throw;
  } catch (const LauncherException& e) {
    if (m_state.console.isUnixCommand()) throw;
    logMessage(e.getMessage(), LOG_ERROR);
  } catch (...) {
    if (m_state.console.isUnixCommand()) throw;
    logMessage("Unexpected failure in search.", LOG_ERROR);
  }
}

void Launcher::searchAll(bool showUI, bool showFailMsg) {
  try {
    logMessage("Finding all matching JVMs", LOG_INFO);
    if (showUI) {
      PlatformImpl::setUIStatus(UI_STATUS_SEARCHING);
      PlatformImpl::showUI();
    } else {
      PlatformImpl::hideUI(0);
    }
    JVMMatchPtrDeque matches;
    m_state.scripts.getJVMFiles()->searchAll(matches, false);
    m_state.console.result(decimal(matches.size()));
    for (long i = 0; i < matches.size(); ++i) {
      JVMMatch* match = matches.at(i);
      SString path = match->writeNewJVMFile();
      PlatformImpl::removeFileFromCleanupList(path);
      m_state.console.result(match->getJVMHome());
      m_state.console.result(path);
    }
  } catch (const DamagedLauncherException&) {
    throw;
  } catch (const LauncherException& e) {
    // The caller still reads a count. A setup program's launcher logs the
    // error (and shows it when asked to) and ends with 0; a Unix command's
    // reaches Launcher::process.
    SString message = PlatformImpl::getMessageText(MSG_SEARCH_ALL_ERROR);
    message += ' ';
    message += e.getMessage();
    if (m_state.console.isUnixCommand()) {
      m_state.console.result("0");
      throw LauncherException(message);
    }
    logMessage(message, LOG_ERROR);
    if (showFailMsg) m_state.console.message(message);
    m_state.console.result("0");
  }
}

void Launcher::verifyJVM(bool showUI, bool showFailMsg, long fileId) {
  if (showUI) {
    PlatformImpl::setUIStatus(UI_STATUS_SEARCHING);
    PlatformImpl::showUI();
  } else {
    PlatformImpl::hideUI(0);
  }
  FileIndexEntry* entry = m_state.inputFiles.getFile(fileId);
  if (entry == nullptr) {
    throw LauncherException(SString("Cannot verify jvm file at index ")
                                .append(decimal(fileId))
                                .append(" because it does not exist."));
  }
  if (entry->getFileType() != FILE_JVM) {
    throw LauncherException(
        SString("To verify a JVM, use an index of a jvm file. The index passed in was ")
            .append(decimal(fileId))
            .append(" which corresponds to the file named ")
            .append(entry->getFileName()));
  }
  if (entry->getTagFile() == nullptr) {
    throw LauncherException(SString("The jvm file with file id ")
                                .append(decimal(fileId))
                                .append(" could not be read."));
  }
  SString home = m_state.userJavaHome;
  verifyJVM(showUI, showFailMsg, *entry->getTagFile(), home);
}

void Launcher::verifyJVM(bool showUI, bool showFailMsg, TagFile& tagFile, const SString& home) {
  m_state.variables.setLongVariable(1, 0);
  if (showUI) {
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_VERIFYING, tagFile.getTagValue("DESC", 0));
  }
  JVMFile jvmFile(tagFile, m_state.launch);
  SString classpath, className;
  m_state.scripts.getJVMFiles()->writeVerifyJar(classpath, className);
  // A home given here was named by the user (-bv:javahome) or by the
  // calling program (VERIFY_JVM_HOME); the file's own JVM_HOME was not.
  JVMMatch* match = home.empty() ? jvmFile.verify(classpath, className)
                                 : jvmFile.verify(home, classpath, className, true);
  if (match != nullptr) {
    delete match;
    m_state.variables.setLongVariable(1, 1);
    SString verifiedHome = tagFile.getTagValue("JVM_HOME", 0);
    m_state.variables.setFoundStringVariable(1, verifiedHome);
    logMessage(SString("After VERIFY, the jvm home is ").append(verifiedHome), LOG_INFO);
    m_state.outcome.noteJVMResult(true);
  } else {
    m_state.outcome.noteJVMResult(false);
    if (showFailMsg) m_state.console.message(PlatformImpl::getMessageText(MSG_INVALID_JVM));
    logMessage("In VERIFY, the jvm is invalid.", LOG_INFO);
  }
}

void Launcher::verifyJVM(bool showUI, bool showFailMsg, const SString& jvmFilePath,
                         const SString& home) {
  FILE* file = openForReading(jvmFilePath);
  if (file == nullptr) {
    SString reason = strerror(errno);
    if (m_state.console.isUnixCommand()) {
      throw LauncherException(SString("Cannot read the JVM file ")
                                  .append(jvmFilePath)
                                  .append(" that VERIFY_JVM_FILE names: ")
                                  .append(reason)
                                  .append("."));
    }
    m_state.console.diagnostic(SString("(").append(jvmFilePath).append(": ").append(reason).append(")"));
    throw LauncherException(SString("Unable to load input file: ").append(jvmFilePath));
  }
  TagFile tagFile;
  {
    FileCloser closer(file);
    tagFile.load(file, jvmFilePath, 0, -1);
  }
  verifyJVM(showUI, showFailMsg, tagFile, home);
  m_state.console.result(decimal(m_state.variables.getLongVariable(1)));
}

long Launcher::launchWith(LaunchScript& script, JVMFile& jvmFile, short seconds) {
  if (seconds > 0) {
    PlatformImpl::setUIStatus(UI_STATUS_RUNNING);
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_NONE, SString());
  }
  PlatformImpl::hideUI(seconds);
  m_state.outcome.noteLaunch();
  // %CDS_OPTIONS%() gets its options from the archives kept per application
  // and Java.
  ClassDataArchives sharing(*jvmFile.getTagFile());
  long result = script.execute(jvmFile, &m_state.passThroughArgs, m_state.showJavaConsole, &sharing);
  m_state.stdOutput = script.getStdOut();
  m_state.errOutput = script.getStdErr();
  return result;
}

long Launcher::launch(const SString& jvmFilePath, short seconds) {
  LaunchScript* script = m_state.scripts.getLaunchScript();
  if (script == nullptr) return -1;
  TagFile tagFile(jvmFilePath);
  // The file that FIND_JVM wrote in this run: what the check learned of its
  // Java was kept out of the file and goes back in here.
  const FoundJava& found = m_state.foundJava;
  if (!found.jvmFile.empty() && found.jvmFile.compare(jvmFilePath) == 0) {
    if (!found.version.empty()) tagFile.setTagValue(jvmVersionTagName, found.version);
    if (!found.identity.empty()) tagFile.setTagValue(jvmIdentityTagName, found.identity);
  }
  JVMFile jvmFile(tagFile, m_state.launch);
  return launchWith(*script, jvmFile, seconds);
}

long Launcher::ilaunch(long fileId, short seconds) {
  LaunchScript* script = m_state.scripts.getLaunchScript();
  FileIndexEntry* entry = m_state.inputFiles.getFile(fileId);
  if (script == nullptr || entry == nullptr || entry->getFileType() != FILE_JVM ||
      entry->getTagFile() == nullptr) {
    logMessage(
        "Unable to launch the internal launch script with the internal JVM file. Either the launch "
        "script or the JVM file is missing from the launcher.",
        LOG_ERROR);
    return -1;
  }
  JVMFile jvmFile(*entry->getTagFile(), m_state.launch);
  return launchWith(*script, jvmFile, seconds);
}

void Launcher::executeEmbeddedLauncher(long position) {
  FileIndexEntry* entry = m_state.inputFiles.getFileAt(position);
  if (entry == nullptr || entry->getFileType() != FILE_EMBEDDED_LAUNCHER) {
    logMessage("Unable to execute the embedded launcher.", LOG_ERROR);
    return;
  }
  SString dir = PlatformImpl::createTempSubDirectory();
  PlatformImpl::removeDirFromCleanupList(dir);
  SString path = entry->extract(dir);
  // An argument vector, not a command to split: every argument arrives as
  // it is. This run's temporary files go before the process is replaced;
  // the embedded launcher removes its own copy (-bv:orig).
  StringDeque argv;
  argv.push_back(path);
  argv.push_back(SString("-bv:orig"));
  argv.push_back(m_state.paths.launcherFile);
  for (long i = 0; i < m_state.args.size(); ++i) argv.push_back(m_state.args.at(i));
  m_state.outcome.noteLaunch();
  SString error("the run was canceled");
  if (!PlatformImpl::isCanceled()) PlatformImpl::replaceProcessWith(argv, true, error);
  logMessage(SString("Unable to execute the embedded launcher ").append(path).append(": ").append(error),
             LOG_ERROR);
  PlatformImpl::deleteFile(dir);
}
