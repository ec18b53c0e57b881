#include "jvm/jvm_files.h"

#include "archive/cached_entries.h"
#include "archive/file_index_entry.h"
#include "archive/launcher_input_files.h"
#include "archive/runtime_archive.h"
#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "jvm/candidate_report.h"
#include "platform/messages.h"
#include "platform/platform_impl.h"
#include "tagfile/tag_file.h"

namespace {

void logInfo(const char* text, const SString& detail) {
  SString line(text);
  line.append(detail);
  logMessage(line, LOG_INFO);
}

SString descriptionOf(const JVMFile& file) {
  return file.getTagFile()->getTagValue("DESC", 0);
}

SString inDoubleQuotes(const SString& text) {
  SString result("\"");
  result.append(text);
  result.append("\"");
  return result;
}

}  // namespace

JVMFiles::JVMFiles(const LaunchContext& context)
    : m_match(nullptr), m_stopAtFirstMatch(false), m_context(context) {}

// The sequences delete the JVM files and the unverified finds.
JVMFiles::~JVMFiles() {}

void JVMFiles::addJVMFile(JVMFile* file) {
  file->setCandidateReport(&m_report);
  m_files.push_back(file, true);
}

JVMFile* JVMFiles::getJVMFile(long index) const {
  if (!m_files.validIndex(index)) {
    char* text = get_msg(MSGID_NO_JVM_FOUND, nullptr);
    SString message(text);
    delete[] text;
    throw LauncherException(message);
  }
  return const_cast<JVMFile*>(m_files.at(index));
}

void JVMFiles::setVerifyClass(const SString& classpath, const SString& className) {
  m_verifyClasspath = classpath;
  m_verifyClassName = className;
  m_verifyClassGiven = true;
}

void JVMFiles::writeVerifyJar() {
  if (!m_verifyClasspath.empty() || !m_verifyClassName.empty()) return;
  const LauncherInputFiles& inputFiles = m_context.inputFiles;
  SString jarPath;
  for (long i = 0; i < inputFiles.getEmbeddedFileCount(); i++) {
    FileIndexEntry* entry = inputFiles.getFileAt(i);
    if (entry == nullptr || entry->getFileType() != FILE_VERIFY_JAR) continue;
    SString directory = PlatformImpl::createTempSubDirectory();
    jarPath = entry->extract(directory);
  }
  if (jarPath.empty()) return;
  m_verifyClasspath = inDoubleQuotes(jarPath);
  m_verifyClassName = inDoubleQuotes("Verify");
}

void JVMFiles::writeVerifyJar(SString& classpath, SString& className) {
  writeVerifyJar();
  classpath = m_verifyClasspath;
  className = m_verifyClassName;
}

void JVMFiles::forgetCheckedHomes() {
  for (long i = 0; i < m_files.size(); i++) m_files.at(i)->forgetCheckedHomes();
}

void JVMFiles::verifyBundledRuntime(const FileIndexEntry& runtime) {
  bool temporary = false;
  // The progress of the unpacking goes to the console when it shows the
  // status, and to the window of a desktop start whatever the console does.
  bool showUI = PlatformImpl::isUIVisible() != 0 || PlatformImpl::getUIWindow() != nullptr;
  SString home = prepareBundledRuntime(runtime, showUI, temporary);
  logInfo("Checking the Java runtime bundled with the launcher => ", home);
  // What the runtime answered when bvpack packed it: no JVM need start to
  // ask it again (JVMFile::performVerify). They are the answers of the
  // payload's verification class; another one is run.
  RecordedAnswers recorded = readRuntimeAnswers(runtime);
  const RecordedAnswers* answers = m_verifyClassGiven ? nullptr : &recorded;
  for (long i = 0; i < m_files.size() && m_match == nullptr; i++) {
    if (!isSearched(*m_files.at(i))) continue;
    m_match = m_files.at(i)->verify(home, m_verifyClasspath, m_verifyClassName, false, answers);
  }
  if (m_match != nullptr) m_match->setJVMTemporary(temporary);
}

void JVMFiles::search(JVMMatchPtrDeque& matches, const SString& userJavaHome) {
  m_match = nullptr;
  writeVerifyJar();
  forgetCheckedHomes();
  // The runtime in the payload: tried first or last, as bvpack was told.
  const FileIndexEntry* runtime = bundledRuntimeEntry(m_context.inputFiles);
  RuntimeUse runtimeUse = runtime != nullptr ? readRuntimeHeader(*runtime).use : RUNTIME_USE_FALLBACK;

  const SString& userHome = userJavaHome;
  if (!userHome.empty()) {
    logInfo("Checking user specified Java home directory => ", userHome);
    for (long i = 0; i < m_files.size() && m_match == nullptr; i++) {
      if (!isSearched(*m_files.at(i))) continue;
      m_match = m_files.at(i)->verify(userHome, m_verifyClasspath, m_verifyClassName, true);
    }
    if (m_match == nullptr) m_report.reportUserHome(userHome, m_context.console);
  }
  if (m_match == nullptr && runtime != nullptr && runtimeUse == RUNTIME_USE_ALWAYS) {
    verifyBundledRuntime(*runtime);
  }

  // The hints of every file up to and including the first one that allows
  // a disk scan; the files after it are left to the scan.
  bool scanAllowed = false;
  if (m_match == nullptr) {
    logMessage("Initiating JVM search based on hints...", LOG_INFO);
    for (long i = 0; i < m_files.size() && m_match == nullptr && !scanAllowed; i++) {
      JVMFile* file = m_files.at(i);
      if (!isSearched(*file)) continue;
      scanAllowed = file->isSearchAll();
      SubStatusWrapper subStatus;
      PlatformImpl::setUISubStatus(UI_SUBSTATUS_SEARCHING, descriptionOf(*file));
      m_match = file->verifyWithHints(m_verifyClasspath, m_verifyClassName);
    }
  }

  // A match from the verification of the scan's kept finds is appended by
  // the scan itself and leaves m_match null.
  if (m_match == nullptr && scanAllowed) {
    m_stopAtFirstMatch = true;
    exhaustiveSearch(matches);
  }
  if (m_match == nullptr && matches.size() == 0 && runtime != nullptr &&
      runtimeUse == RUNTIME_USE_FALLBACK && !PlatformImpl::isCanceled()) {
    verifyBundledRuntime(*runtime);
  }
  reportUnusableHints(matches.size() > 0 ? matches.at(matches.size() - 1) : m_match);
  if (m_match != nullptr) {
    matches.push_back(m_match);
    m_match = nullptr;  // now the caller's
  }
}

bool JVMFiles::isSearched(const JVMFile& file) const {
  if (file.isForThisSystem()) return true;
  logMessage(SString("Skipping the JVM file ")
                           .append(file.getTagFile()->getName())
                           .append(": it is for another system than ")
                           .append(PlatformImpl::getSystemName()),
                       LOG_INFO);
  return false;
}

void JVMFiles::reportUnusableHints(const JVMMatch* match) const {
  StringDeque shown;  // VARIABLE=value of the lines written
  for (long i = 0; i < m_files.size(); i++) {
    for (const UnusableHint& hint : m_files.at(i)->getUnusableHints()) {
      // A home that another file accepted is no reason to warn.
      if (match != nullptr && match->getJVMHome().compare(hint.home) == 0) continue;
      SString key = SString(hint.variable).append("=").append(hint.value);
      bool known = false;
      for (long j = 0; j < shown.size() && !known; j++) known = shown.at(j).compare(key) == 0;
      if (known) continue;
      shown.push_back(key);
      m_context.console.warning(hint.line);
    }
  }
}

void JVMFiles::searchAll(JVMMatchPtrDeque& matches, bool stopAtFirstMatch) {
  m_match = nullptr;
  writeVerifyJar();
  forgetCheckedHomes();
  m_stopAtFirstMatch = stopAtFirstMatch;
  exhaustiveSearch(matches);
  // Only a walk that verified the first file's finds can have set m_match.
  if (m_match != nullptr) {
    matches.push_back(m_match);
    m_match = nullptr;
  }
}

void JVMFiles::exhaustiveSearch(JVMMatchPtrDeque& matches) {
  m_unverifiedMatches.clear();

  // Each name once, in file order; an empty JVM_EXE names no file.
  StringDeque names;
  for (long i = 0; i < m_files.size(); i++) {
    if (!isSearched(*m_files.at(i))) continue;
    SString exe = m_files.at(i)->getJVMExe();
    bool known = exe.empty();
    for (long j = 0; j < names.size() && !known; j++) known = names.at(j).compare(exe) == 0;
    if (!known) names.push_back(exe);
  }

  SubStatusWrapper subStatus;
  PlatformImpl::setUISubStatus(UI_SUBSTATUS_SCANNING, SString());
  logMessage("Beginning exhaustive search", LOG_INFO);
  if (!names.empty()) scanForFiles(names);
  if (m_match != nullptr) return;

  logMessage("Processing unverified matches.\n", LOG_INFO);
  bool stop = false;
  for (long i = 0; i < m_unverifiedMatches.size() && !stop; i++) {
    UnverifiedJVMMatch* entry = m_unverifiedMatches.at(i);
    StringDeque& homes = entry->getHomeDirs();
    for (long j = 0; j < homes.size() && !stop; j++) {
      if (PlatformImpl::isCanceled()) {
        stop = true;
        break;
      }
      const SString home = homes.at(j);
      JVMMatch* match = entry->getJVMFile()->verify(home, m_verifyClasspath, m_verifyClassName);
      if (match != nullptr) {
        matches.push_back(match);
        stop = m_stopAtFirstMatch;
      }
    }
  }
}

void JVMFiles::scanForFiles(const StringDeque& names) { PlatformImpl::findFiles(names, [this](const SString& path) { return foundFile(path); });
}

bool JVMFiles::foundFile(const SString& path) {
  bool stop = false;
  bool first = true;  // the first file that is for this system
  for (long i = 0; i < m_files.size() && m_match == nullptr; i++) {
    JVMFile* file = m_files.at(i);
    if (!file->isForThisSystem()) continue;
    bool firstFile = first;
    first = false;
    const SString exe = file->getJVMExe();
    const unsigned long n = exe.length();
    // JVM_EXE must end the path as whole components: "/" + exe, with
    // something before it. A shorter path is no match for this file.
    if (n == 0 || path.length() <= n) continue;
    const unsigned long start = path.length() - n;
    if (path[start - 1] != '/' || path.compare(start, n, exe) != 0) continue;
    SString home = path.substr(0, start - 1);
    if (home.empty()) home = "/";  // an executable right under the root

    if (firstFile && m_stopAtFirstMatch) {
      m_match = file->verify(home, m_verifyClasspath, m_verifyClassName);
      stop = m_match != nullptr;
    } else if (m_match == nullptr) {
      addUnverifiedMatch(file, home);
    }
  }
  return stop;
}

void JVMFiles::addUnverifiedMatch(JVMFile* file, const SString& home) {
  for (long i = 0; i < m_unverifiedMatches.size(); i++) {
    UnverifiedJVMMatch* entry = m_unverifiedMatches.at(i);
    if (entry->equals(*file)) {
      entry->addJVMHome(home);
      return;
    }
  }
  UnverifiedJVMMatch* entry = new UnverifiedJVMMatch(*file);
  entry->addJVMHome(home);
  m_unverifiedMatches.push_back(entry);
}
