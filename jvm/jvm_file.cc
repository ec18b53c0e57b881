#include "jvm/jvm_file.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "jvm/candidate_report.h"
#include "jvm/jvm_identity.h"
#include "jvm/jvm_match.h"
#include "jvm/path_hint.h"
#include "jvm/property_condition.h"
#include "jvm/real_home.h"
#include "jvm/release_file.h"
#include "jvm/string_pair.h"
#include "jvm/tag_names.h"
#include "jvm/verify_cache.h"
#include "launchscript/launch_script.h"
#include "launchscript/shell_quoting.h"
#include "platform/child_limits.h"
#include "platform/machine_code.h"
#include "platform/platform_impl.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

const char* verificationMarker = "1739021872";

namespace {

const char* kJVMHomeTag = "JVM_HOME";
const char* kDescTag = "DESC";

// The parts, strings or C strings, one after the other.
template <class... Parts>
SString concat(const Parts&... parts) {
  SString s;
  (s.append(parts), ...);
  return s;
}

// Letters, digits, ".", "_" and "-" only: nothing the shell or the
// template reads.
bool isPlainPropertyName(const SString& name) {
  for (unsigned long i = 0; i < name.length(); ++i) {
    char c = name[i];
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '_' || c == '-';
    if (!plain) return false;
  }
  return true;
}

bool endsWith(const SString& s, char c) { return !s.empty() && s[s.length() - 1] == c; }

// True when given names the real folder home (a path without links) by the
// same folders: it differs only by repeated "/", "." components or a
// trailing "/". Then no link lies on its way, and what is launched through
// it is the folder that was checked.
bool namesWithoutLink(const SString& given, const SString& home) {
  std::string path(given.c_str(), given.length());
  if (path.empty() || path[0] != '/') return false;
  std::string normal;
  size_t pos = 0;
  while (pos < path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(pos, end - pos);
    if (!part.empty() && part != ".") normal += "/" + part;
    pos = end + 1;
  }
  if (normal.empty()) normal = "/";
  return normal == std::string(home.c_str(), home.length());
}

// The first and last characters of s are both double quotes.
bool isQuoted(const SString& s) { return !s.empty() && s[0] == '"' && endsWith(s, '"'); }

// Whether the output holds the verification's marker line.
bool holdsMarkerLine(const SString& output) {
  unsigned long pos = 0;
  SString line;
  while (pos < output.length()) {
    line.erase();
    readLineFromString(output, pos, line);
    if (line.compare(verificationMarker) == 0) return true;
  }
  return false;
}

// The value that the verification printed for property number index, or
// "" when the output does not reach it.
SString printedValue(const SString& output, long index) {
  unsigned long pos = 0;
  SString line;
  bool marked = false;
  while (!marked && pos < output.length()) {
    line.erase();
    readLineFromString(output, pos, line);
    marked = line.compare(verificationMarker) == 0;
  }
  for (long i = 0; marked && i <= index; ++i) {
    if (pos >= output.length()) return SString();
    line.erase();
    readLineFromString(output, pos, line);
  }
  return marked ? line : SString();
}

// Sets JVM_IDENTITY (the digest of its identity) and JVM_VERSION for the
// JVM that passed: the version that it printed when the JVM file asked for
// it ("" when not) and it reads as one.
void setVersionTags(TagFile& tagFile, const SString& version, const SString& exePath,
                    const SString& jvmExe) {
  SString value = version;
  trim(value, whitespaceChars);
  std::string exe, home, identity;
  if (!resolveJVMExecutable(std::string(exePath.c_str(), exePath.length()),
                            std::string(jvmExe.c_str(), jvmExe.length()), exe, home) ||
      !jvmIdentity(exe, home, identity)) {
    return;
  }
  tagFile.setTagValue(jvmIdentityTagName, SString(jvmIdentityDigest(identity).c_str()));
  if (value.empty() || value[0] < '0' || value[0] > '9' || JVMFile::holdsLineBreak(value)) return;
  tagFile.setTagValue(jvmVersionTagName, value);
}

// The output a verification would print (the marker, then one line per
// expected property) made of recorded answers: false when one of the names
// is not among them, a value holds a line break, the executable does not
// hold code for this machine (the answers were given elsewhere) or may not
// be run where it lies (a file system mounted noexec, no execute bit): a
// JVM that cannot start here is never taken on its word; or the
// environment gives the JVM options (-Dos.name=... would change what it
// answers).
bool answersFromRecord(const RecordedAnswers& recorded, const StringPairPtrDeque& expected, const SString& exePath,
                       SString& output) {
  for (const char* variable : jvmOptionVariables) {
    const char* value = getenv(variable);
    if (value != nullptr && value[0] != '\0') return false;
  }
  if (access(exePath.c_str(), X_OK) != 0 || !holdsCodeForThisMachine(exePath.c_str())) return false;
  std::string text = std::string(verificationMarker) + "\n";
  for (long i = 0; i < expected.size(); ++i) {
    std::string name = expected.at(i)->getName().c_str();
    auto found = std::find_if(recorded.begin(), recorded.end(),
                              [&name](const RecordedAnswers::value_type& answer) { return answer.first == name; });
    if (found == recorded.end() || found->second.find_first_of("\r\n") != std::string::npos) return false;
    text += found->second + "\n";
  }
  output = SString(text.c_str());
  return true;
}

// The answers that home's release file gives (jvm/release_file.h); false
// when it cannot be read.
bool releaseFileAnswers(const SString& home, RecordedAnswers& answers) {
  ReleaseFields fields;
  std::string problem;
  if (!readReleaseFile(std::string(home.c_str(), home.length()), fields, &problem)) {
    logMessage(concat("No answers from the release file: ", problem.c_str()), LOG_INFO);
    return false;
  }
  for (const auto& property : releaseProperties(fields)) answers.push_back(property);
  return true;
}

}  // namespace

SString JVMFile::getJVMExe() const { return m_tagFile->getTagValue(jvmExeTagName, 0); }

bool JVMFile::isSearchAll() const { return m_tagFile->getBoolTagValue("SEARCH_ALL", false); }

bool JVMFile::lacksProperties() const {
  if (!m_tagFile->getTagValue(jvmPropertiesTagName, 0).empty()) return false;
  logMessage(concat("Unable to verify ", m_tagFile->getName(), " because the ",
                              jvmPropertiesTagName, " tag was not specified."),
                       LOG_WARNING);
  return true;
}

JVMMatch* JVMFile::verify(const SString& verifyClasspath, const SString& verifyClassName) {
  if (lacksProperties()) return nullptr;
  return verify(m_tagFile->getTagValue(kJVMHomeTag, 0), verifyClasspath, verifyClassName);
}

JVMMatch* JVMFile::verify(const SString& jvmHome, const SString& verifyClasspath,
                          const SString& verifyClassName, bool namedHome, const RecordedAnswers* recorded) {
  SString jvmExe = getJVMExe();
  if (jvmExe.empty() || jvmHome.empty()) return nullptr;

  SString desc = m_tagFile->getTagValue(kDescTag, 0);
  // A setup program's console shows "Verifying" for every candidate, as
  // the check begins; a Unix command's only for a Java that it runs.
  const bool everyCandidateShown = !m_context->console.isUnixCommand();
  std::optional<SubStatusWrapper> restoreSubStatus;
  if (everyCandidateShown) {
    restoreSubStatus.emplace();
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_VERIFYING, desc);
  }
  // The home as the launch names it: @JVM_HOME@ drops one trailing
  // backslash, so the check examines and runs that same folder.
  SString launchHome(jvmHome);
  if (endsWith(launchHome, '\\')) launchHome.erase(launchHome.length() - 1);
  SString exePath(launchHome);
  appendPathSeparator(exePath);
  exePath += jvmExe;
  m_lastCheckedHome.erase();
  // The same path twice (a folder twice on PATH) is examined once.
  for (long i = 0; i < m_examinedPaths.size(); ++i) {
    if (m_examinedPaths.at(i).compare(exePath) == 0) {
      logMessage(concat(exePath, " was examined already"), LOG_INFO);
      return nullptr;
    }
  }
  m_examinedPaths.push_back(exePath);
  logMessage(concat("Verifying JVM at ", exePath, "\n   for JVM: ", desc), LOG_INFO);
  candidateReport().beginCandidate(exePath);

  if (!PlatformImpl::fileExists(exePath)) {
    candidateReport().reject("no executable");
    logMessage(concat(exePath, " does not exist"), LOG_INFO);
    PlatformImpl::advanceUIProgress(2);
    return nullptr;
  }
  // A found executable that someone else could have planted is never run.
  SString distrust;
  if (!namedHome && !PlatformImpl::isTrustedFile(exePath, distrust)) {
    logMessage(concat("Not running ", exePath, ": ", distrust), LOG_WARNING);
    candidateReport().reject(concat("not safe to run: ", distrust));
    PlatformImpl::advanceUIProgress(2);
    return nullptr;
  }
  // The home that the executable really lies in, links resolved: this is
  // what is run, becomes JAVA_HOME and JVM_HOME.
  SString home = realJVMHome(launchHome, jvmExe);
  if (home.compare(launchHome) != 0) {
    logMessage(concat("The real JVM home of ", launchHome, " is ", home), LOG_INFO);
  }
  // A launch would drop the backslash that ends this name and run another
  // folder than the one checked.
  if (endsWith(home, '\\')) {
    logMessage(concat("Not running ", exePath, ": its real home ", home,
                      " ends in a backslash, which the launch drops"),
               LOG_WARNING);
    candidateReport().reject("its real home ends in a backslash");
    PlatformImpl::advanceUIProgress(2);
    return nullptr;
  }
  // A JVM splits the library paths that it derives from its home at ':':
  // in "/opt/a:b/jdk" it loads "b/jdk/lib/libjimage.so" from the working
  // directory, where someone else may have put one. (A line break is
  // refused with its own reason below.)
  if (home.find(':') != SString::npos && !holdsLineBreak(home)) {
    logMessage(concat("Not running ", exePath, ": its real home ", home,
                      " holds a ':', at which the JVM splits its library paths (it would load libraries from the "
                      "working directory)"),
               LOG_WARNING);
    candidateReport().reject("its real home holds a ':'");
    PlatformImpl::advanceUIProgress(2);
    return nullptr;
  }
  // Two names of one home (/usr/bin and /bin on PATH, JAVA_HOME and a path
  // hint) are checked once per search.
  for (long i = 0; i < m_checkedHomes.size(); ++i) {
    if (m_checkedHomes.at(i).compare(home) == 0) {
      logMessage(concat("The JVM home ", home, " was checked already"), LOG_INFO);
      return nullptr;
    }
  }
  m_checkedHomes.push_back(home);
  m_lastCheckedHome = home;
  if (!everyCandidateShown) {
    restoreSubStatus.emplace();
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_VERIFYING, desc);
  }
  bool verified = performVerify(home, verifyClasspath, verifyClassName, recorded);
  // JVM_HOME keeps the home as it was given when it names the folder that
  // ran without a link (a trailing "/" or backslash, which @JVM_HOME@ drops,
  // kept as written); when a link lies on the way (the executable or a
  // folder of the given path), the home that ran, so that the launch cannot
  // be sent elsewhere by changing the link after the check.
  SString value = home;
  if (namesWithoutLink(launchHome, home) && !holdsLineBreak(jvmHome)) value = jvmHome;
  if (value.compare(home) != 0) m_tagFile->setTagValue(kJVMHomeTag, value);
  // A Unix command's console ends the dots of each check.
  if (!everyCandidateShown) PlatformImpl::endUIProgressRow();
  if (!verified) return nullptr;
  logMessage(concat("Found matching JVM at ", home), LOG_INFO);
  return new JVMMatch(value, *m_tagFile);
}

void JVMFile::showCandidateNotExamined() const {
  if (m_context->console.isUnixCommand()) return;
  SubStatusWrapper restoreSubStatus;
  PlatformImpl::setUISubStatus(UI_SUBSTATUS_VERIFYING, m_tagFile->getTagValue(kDescTag, 0));
  PlatformImpl::advanceUIProgress(2);
}

bool JVMFile::holdsLineBreak(const SString& path) {
  return path.find_first_of("\n\r", 0, 2) != SString::npos;
}

SString JVMFile::buildVerifyCommand(const SString& jvmHome, const SString& verifyClasspath,
                                    const SString& verifyClassName,
                                    StringPairPtrDeque& expected) const {
  // The home and the archive's path were found on disk: values.
  SString home(jvmHome);
  appendPathSeparator(home);
  SString command("\"");
  command += ShellValues::insert(home);
  command += "@JVM_EXE@\" %CP%(";
  // The quotes of a quoted classpath must survive as quotes inside the
  // function's string argument, where a doubled quote stands for one.
  if (isQuoted(verifyClasspath)) {
    command += "\"\"\"";
    command += ShellValues::insert(verifyClasspath.substr(1, verifyClasspath.length() - 2));
    command += "\"\"\"";
  } else {
    command += verifyClasspath;
  }
  command += ") ";
  command += verifyClassName;

  const StringDeque* properties = m_tagFile->getValue(jvmPropertiesTagName);
  long count = properties == nullptr ? 0 : properties->size();
  for (long i = 0; i < count; ++i) {
    const SString& setting = properties->at(i);
    SString name;
    SString value;
    PropertyOperator op;
    if (!parsePropertyCondition(setting, name, op, value)) {
      logMessage(concat("Invalid ", jvmPropertiesTagName, " setting (", setting,
                                  ") in JVM File ", m_tagFile->getName()),
                           LOG_WARNING);
      continue;
    }
    // A property name is an argument of the verification class, never shell
    // or template text: a plain name goes in as it is, any other as a value.
    command += " ";
    command += isPlainPropertyName(name) ? name : ShellValues::insert(name);
    expected.push_back(new StringPair(name, value, op));
  }
  return command;
}

bool JVMFile::performVerify(const SString& jvmHome, const SString& verifyClasspath,
                            const SString& verifyClassName, const RecordedAnswers* recorded) {
  if (holdsLineBreak(jvmHome)) {
    logMessage(concat("Skipping JVM at ", jvmHome,
                                " because its path holds a line break, which the JVM file "
                                "written for a match cannot hold"),
                         LOG_WARNING);
    candidateReport().reject("its path holds a line break");
    PlatformImpl::advanceUIProgress(6);
    return false;
  }
  m_tagFile->setTagValue(kJVMHomeTag, jvmHome);
  m_tagFile->removeValue(jvmVersionTagName);
  m_tagFile->removeValue(jvmIdentityTagName);

  ShellValueScope values;
  StringPairPtrDeque expected;
  SString command = buildVerifyCommand(jvmHome, verifyClasspath, verifyClassName, expected);
  // The command asks exactly the JVM file's properties. When one of them is
  // the Java version, its answer becomes JVM_VERSION (class-data sharing
  // reads it).
  long versionIndex = -1;
  for (long i = 0; i < expected.size() && versionIndex < 0; ++i) {
    if (expected.at(i)->getName().compare(specificationVersionProperty) == 0) versionIndex = i;
  }
  SString exePath(jvmHome);
  appendPathSeparator(exePath);
  exePath += getJVMExe();
  SString output;
  RecordedAnswers fromRelease;
  bool ran = false;
  if (recorded != nullptr && answersFromRecord(*recorded, expected, exePath, output)) {
    // The bundled runtime answered these when it was packed; its bytes are
    // the ones the launcher file's digest proves.
    logMessage(concat("Verification of ", exePath, " taken from the answers recorded when the launcher was packed"),
               LOG_INFO);
  } else if (m_tagFile->getBoolTagValue(releaseFileAnswersTagName, false) &&
             releaseFileAnswers(jvmHome, fromRelease) &&
             answersFromRecord(fromRelease, expected, exePath, output)) {
    // The home's own statement, read from a file that passed the ownership
    // check: no JVM starts. A file that lies shows when the application
    // starts, with the JVM's own message.
    logMessage(concat("Verification of ", exePath, " taken from the release file of its home"), LOG_INFO);
  } else {
    // An unchanged JVM gives the answer of its last run (jvm/verify_cache.h).
    VerifyCache cache(exePath, getJVMExe(), verifyClasspath, verifyClassName, expected);
    if (!cache.lookup(output)) {
      // The launch script resolves %CP% and @JVM_EXE@ and runs the command
      // through the shell with JAVA_HOME set to the home.
      LaunchScript script(command, true, false, *m_context);
      VerificationLimits limits;
      long exitCode = script.execute(*this, nullptr, false);
      if (limits.timedOut()) {
        candidateReport().rejectTimeout(limits.timeoutMillis());
        PlatformImpl::advanceUIProgress(6);
        return false;
      }
      output = script.getStdOut();
      // A JVM that did not start (an option it does not know, no memory for
      // its heap) says why on its error output, or on its standard output
      // (an error during its initialisation): that is the reason.
      SString startError = jvmStartError(exitCode, script.getStdErr());
      if (startError.empty() && !holdsMarkerLine(output)) startError = jvmStartError(exitCode, output);
      if (!startError.empty() && !holdsMarkerLine(output)) {
        candidateReport().rejectStart(startError);
        logMessage(concat("The JVM ", exePath, " did not start: ", startError), LOG_INFO);
        PlatformImpl::advanceUIProgress(6);
        return false;
      }
      cache.store(output);
      ran = true;
    }
  }
  // A setup program's console shows the dot of the answer read from a
  // JVM whether or not one had to run for it.
  if (!ran && !output.empty() && !m_context->console.isUnixCommand()) PlatformImpl::advanceUIProgress(1);
  bool result = verifyJVMOutput(output, expected);
  if (result) {
    setVersionTags(*m_tagFile, versionIndex >= 0 ? printedValue(output, versionIndex) : SString(), exePath,
                   getJVMExe());
  }
  PlatformImpl::advanceUIProgress(6);
  return result;
}

bool JVMFile::verifyJVMOutput(const SString& output, const StringPairPtrDeque& expected) {
  unsigned long pos = 0;
  SString line;
  bool marked = false;
  while (pos < output.length()) {
    line.erase();
    readLineFromString(output, pos, line);
    if (line.compare(verificationMarker) == 0) {
      marked = true;
      break;
    }
  }
  if (!marked) {
    candidateReport().reject("did not answer the verification");
    logMessage(concat("Invalid magic value: ", line, "\n"), LOG_ERROR);
    return false;
  }

  for (long i = 0; pos < output.length() && i < expected.size(); ++i) {
    line.erase();
    readLineFromString(output, pos, line);
    const StringPair* condition = expected.at(i);
    if (!propertySatisfies(line, condition->getOperator(), condition->getValue())) {
      return candidateReport().rejectProperty(condition->getName(), line, condition->getValue(),
                                             propertyOperatorText(condition->getOperator()));
    }
  }
  return true;
}

JVMMatch* JVMFile::verifyWithPlatformHints(const SString& verifyClasspath,
                                           const SString& verifyClassName) {
  if (lacksProperties()) return nullptr;
  logMessage(
      concat("Searching for ", m_tagFile->getTagValue(kDescTag, 0), " using platform hints"), LOG_INFO);
  const StringDeque* hints = m_tagFile->getValue(platformHintTagName);
  long hintCount = hints == nullptr ? 0 : hints->size();
  for (long i = 0; i < hintCount; ++i) {
    const SString& hint = hints->at(i);
    if (hint.empty()) continue;
    StringDeque candidates;
    PlatformImpl::getPlatformHint(candidates, hint);
    for (long j = 0; j < candidates.size(); ++j) {
      const SString& candidate = candidates.at(j);
      if (candidate.empty()) continue;
      logMessage(
          concat("Checking JVM at ", candidate, " which was resolved from platform hint ", hint),
          LOG_INFO);
      JVMMatch* match = verify(candidate, verifyClasspath, verifyClassName);
      if (match != nullptr) return match;
      noteUnusableHint(hint, candidate);
    }
  }
  return nullptr;
}

JVMMatch* JVMFile::verifyWithPathHints(const SString& verifyClasspath,
                                       const SString& verifyClassName) {
  if (lacksProperties()) return nullptr;
  logMessage(
      concat("Searching for ", m_tagFile->getTagValue(kDescTag, 0), " using path hints"), LOG_INFO);
  StringDeque partitions;
  PlatformImpl::getJVMSearchPartitions(partitions);
  SString launcherDir = m_context->paths.originalLauncherDir();
  // A launcher started through a symbolic link from another folder
  // (/usr/local/bin/app -> /opt/app/app) also looks beside its real file.
  SString realDir = m_context->paths.executableFile;
  unsigned long slash = realDir.find_last_of("/");
  realDir = slash == SString::npos ? SString() : realDir.substr(0, slash == 0 ? 1 : slash);
  char resolved[PATH_MAX];
  const char* startedIn = launcherDir.empty() ? "." : launcherDir.c_str();
  if (realDir.empty() || (realpath(startedIn, resolved) != nullptr && realDir.compare(resolved) == 0)) {
    realDir = launcherDir;  // the same folder
  }

  const StringDeque* hints = m_tagFile->getValue(pathHintTagName);
  long hintCount = hints == nullptr ? 0 : hints->size();
  for (long i = 0; i < hintCount; ++i) {
    // Absolute and "~/" hints are logged; a JVM found beside the launcher
    // (a relative hint, e.g. a JVM on the install medium) is temporary.
    StringDeque candidates;
    bool relative = false;
    expandPathHint(hints->at(i), partitions, launcherDir, candidates, relative);
    if (relative && !realDir.empty() && realDir.compare(launcherDir) != 0) {
      expandPathHint(hints->at(i), partitions, realDir, candidates, relative);
    }
    for (long j = 0; j < candidates.size(); ++j) {
      const SString& candidate = candidates.at(j);
      if (!relative) logMessage(concat("Checking path hint ", candidate), LOG_INFO);
      JVMMatch* match = verify(candidate, verifyClasspath, verifyClassName);
      if (match != nullptr) {
        if (relative) match->setJVMTemporary(true);
        return match;
      }
    }
  }
  return nullptr;
}

JVMMatch* JVMFile::verifyWithPlatformJVMPaths(const SString& verifyClasspath,
                                              const SString& verifyClassName) {
  if (lacksProperties()) return nullptr;
  logMessage(
      concat("Searching for ", m_tagFile->getTagValue(kDescTag, 0), " using platform specific JVM Path hints"), LOG_INFO);
  StringDeque paths;
  PlatformImpl::getPlatformJVMPaths(paths);

  // "bin/java" lives in "bin/" of a home: a PATH directory ".../bin" gives
  // the home "...".
  SString jvmExe = getJVMExe();
  unsigned long lastSlash = jvmExe.rfind('/');
  SString exeDir;
  if (lastSlash != SString::npos) exeDir.assign(jvmExe, 0, lastSlash + 1);

  for (long i = 0; i < paths.size(); ++i) {
    const SString& path = paths.at(i);
    // A relative folder (empty, ".", "bin") names a different place in
    // every working folder: it gives no candidate.
    if (path.empty() || path[0] != '/') {
      if (!path.empty()) {
        logMessage(concat("Skipping the relative PATH folder ", path), LOG_INFO);
        showCandidateNotExamined();
      }
      continue;
    }
    SString candidate(path);
    if (!exeDir.empty()) {
      appendPathSeparator(candidate);
      // Whole path components only: "/usr/local/sbin" is no ".../bin", and
      // a folder that is not one gives no candidate (no
      // "/usr/local/sbin/bin/java").
      unsigned long dirStart = stringEndsWith(candidate, exeDir.c_str());
      if (dirStart == SString::npos || (dirStart != 0 && candidate[dirStart - 1] != '/')) {
        showCandidateNotExamined();
        continue;
      }
      candidate.erase(dirStart, SString::npos);
    }
    logMessage(concat("Checking JVM at ", candidate,
                                " which was resolved from the platform JVM path ", path),
                         LOG_INFO);
    JVMMatch* match = verify(candidate, verifyClasspath, verifyClassName);
    if (match != nullptr) return match;
  }
  return nullptr;
}
