#include "jvm/jvm_file.h"

#include "jvm/jvm_match.h"
#include "jvm/string_pair.h"
#include "jvm/tag_names.h"
#include "jvm/verify_cache.h"
#include "launcher/launcher.h"
#include "launcher/launcher_exception.h"
#include "launchscript/launch_script.h"
#include "platform/platform_impl.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

const char* verificationMarker = "1739021872";

namespace {

const char* kJVMHomeTag = "JVM_HOME";
const char* kDescTag = "DESC";
const char* kPrefixEnding = "...";

// The parts, strings or C strings, one after the other.
template <class... Parts>
SString concat(const Parts&... parts) {
  SString s;
  (s.append(parts), ...);
  return s;
}

bool endsWith(const SString& s, char c) { return !s.empty() && s[s.length() - 1] == c; }

// The first and last characters of s are both double quotes.
bool isQuoted(const SString& s) { return !s.empty() && s[0] == '"' && endsWith(s, '"'); }

}  // namespace

SString JVMFile::getJVMExe() const { return m_tagFile->getTagValue(jvmExeTagName, 0); }

bool JVMFile::isSearchAll() const { return m_tagFile->getBoolTagValue("SEARCH_ALL", false); }

SString JVMFile::resolve(const SString& text) const { return MacroHandler::resolve(text, '@'); }

void JVMFile::processMacro(SString& text, char, unsigned long start, unsigned long& end) const {
  SString name(text, start + 1, end - start - 1);
  SString value = m_tagFile->getTagValue(name.c_str(), 0);
  if (name.compare(kJVMHomeTag) == 0 && endsWith(value, '\\')) {
    value.erase(value.length() - 1, 1);
  }
  text.replace(start, end - start + 1, value);
}

bool JVMFile::lacksProperties() const {
  if (!m_tagFile->getTagValue(jvmPropertiesTagName, 0).empty()) return false;
  Launcher::logMessage(concat("Unable to verify ", m_tagFile->getName(), " because the ",
                              jvmPropertiesTagName, " tag was not specified."),
                       LOG_WARNING);
  return true;
}

JVMMatch* JVMFile::verify(const SString& verifyClasspath, const SString& verifyClassName) {
  if (lacksProperties()) return nullptr;
  return verify(m_tagFile->getTagValue(kJVMHomeTag, 0), verifyClasspath, verifyClassName);
}

JVMMatch* JVMFile::verify(const SString& jvmHome, const SString& verifyClasspath,
                          const SString& verifyClassName) {
  SString jvmExe = getJVMExe();
  if (jvmExe.empty() || jvmHome.empty()) return nullptr;

  SubStatusWrapper restoreSubStatus;
  SString desc = m_tagFile->getTagValue(kDescTag, 0);
  PlatformImpl::setUISubStatus(UI_SUBSTATUS_VERIFYING, desc);

  SString exePath(jvmHome);
  appendPathSeparator(exePath);
  exePath += jvmExe;
  Launcher::logMessage(concat("Verifying JVM at ", exePath, "\n   for JVM: ", desc), LOG_INFO);

  if (!PlatformImpl::fileExists(exePath)) {
    Launcher::logMessage(concat(exePath, " does not exist"), LOG_INFO);
    PlatformImpl::advanceUIProgress(2);
    return nullptr;
  }
  if (!performVerify(jvmHome, verifyClasspath, verifyClassName)) return nullptr;
  Launcher::logMessage(concat("Found matching JVM at ", jvmHome), LOG_INFO);
  return new JVMMatch(jvmHome, *m_tagFile);
}

bool JVMFile::isUnsafeForCommand(const SString& path) {
  // Inside the command's double quotes the shell still interprets " $ ` and
  // \; the launch template interprets % @ and #; a line break ends the
  // command. A NUL would cut it short.
  static const char kUnsafe[] = "\"$`\\%@#\n\r";
  return path.find_first_of(kUnsafe, 0, sizeof kUnsafe) != SString::npos;
}

SString JVMFile::buildVerifyCommand(const SString& jvmHome, const SString& verifyClasspath,
                                    const SString& verifyClassName,
                                    StringPairPtrDeque& expected) const {
  SString command("\"");
  command += jvmHome;
  appendPathSeparator(command);
  command += "@JVM_EXE@\" %CP%(";
  // The quotes of a quoted classpath must survive as quotes inside the
  // function's string argument, where a doubled quote stands for one.
  if (isQuoted(verifyClasspath)) {
    command += "\"\"";
    command += verifyClasspath;
    command += "\"\"";
  } else {
    command += verifyClasspath;
  }
  command += ") ";
  command += verifyClassName;

  const StringDeque* properties = m_tagFile->getValue(jvmPropertiesTagName);
  long count = properties == nullptr ? 0 : properties->size();
  for (long i = 0; i < count; ++i) {
    const SString& setting = properties->at(i);
    unsigned long equals = setting.find('=', 0);
    if (equals == SString::npos) {
      Launcher::logMessage(concat("Invalid ", jvmPropertiesTagName, " setting (", setting,
                                  ") in JVM File ", m_tagFile->getName()),
                           LOG_WARNING);
      continue;
    }
    SString name(setting, 0, equals);
    SString value(setting, equals + 1, SString::npos);
    trim(name, whitespaceChars);
    trim(value, whitespaceChars);
    command += " ";
    command += name;
    expected.push_back(new StringPair(name, value));
  }
  return command;
}

bool JVMFile::performVerify(const SString& jvmHome, const SString& verifyClasspath,
                            const SString& verifyClassName) {
  if (isUnsafeForCommand(jvmHome)) {
    Launcher::logMessage(concat("Skipping JVM at ", jvmHome,
                                " because its path holds a character that cannot be passed "
                                "to the shell safely"),
                         LOG_WARNING);
    PlatformImpl::advanceUIProgress(6);
    return false;
  }
  m_tagFile->setTagValue(kJVMHomeTag, jvmHome);

  StringPairPtrDeque expected;
  SString command = buildVerifyCommand(jvmHome, verifyClasspath, verifyClassName, expected);
  // An unchanged JVM gives the answer of its last run (jvm/verify_cache.h).
  SString exePath(jvmHome);
  appendPathSeparator(exePath);
  exePath += getJVMExe();
  VerifyCache cache(exePath, getJVMExe(), verifyClasspath, verifyClassName, expected);
  SString output;
  if (!cache.lookup(output)) {
    // The launch script resolves %CP% and @JVM_EXE@ and runs the command
    // through the shell with JAVA_HOME set to the home.
    LaunchScript script(command, true, false);
    script.execute(*this, nullptr, false);
    output = script.getStdOut();
    cache.store(output);
  }
  bool result = verifyJVMOutput(output, expected);
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
    Launcher::logMessage(concat("Invalid magic value: ", line, "\n"), LOG_ERROR);
    return false;
  }

  for (long i = 0; pos < output.length() && i < expected.size(); ++i) {
    line.erase();
    readLineFromString(output, pos, line);
    const SString& value = expected.at(i)->getValue();
    unsigned long prefixStart = stringEndsWith(value, kPrefixEnding);
    if (prefixStart != SString::npos) {
      if (line.length() < prefixStart || line.compare(0, prefixStart, value, 0, prefixStart) != 0) {
        return false;
      }
    } else if (line.compare(value) != 0) {
      return false;
    }
  }
  return true;
}

JVMMatch* JVMFile::verifyWithPlatformHints(const SString& verifyClasspath,
                                           const SString& verifyClassName) {
  if (lacksProperties()) return nullptr;
  Launcher::logMessage(
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
      Launcher::logMessage(
          concat("Checking JVM at ", candidate, " which was resolved from platform hint ", hint),
          LOG_INFO);
      JVMMatch* match = verify(candidate, verifyClasspath, verifyClassName);
      if (match != nullptr) return match;
    }
  }
  return nullptr;
}

JVMMatch* JVMFile::verifyWithPathHints(const SString& verifyClasspath,
                                       const SString& verifyClassName) {
  if (lacksProperties()) return nullptr;
  Launcher::logMessage(
      concat("Searching for ", m_tagFile->getTagValue(kDescTag, 0), " using path hints"), LOG_INFO);
  StringDeque partitions;
  PlatformImpl::getJVMSearchPartitions(partitions);
  SString separator = PlatformImpl::getPathSeparator();

  const StringDeque* hints = m_tagFile->getValue(pathHintTagName);
  long hintCount = hints == nullptr ? 0 : hints->size();
  for (long i = 0; i < hintCount; ++i) {
    const SString& hint = hints->at(i);
    if (!separator.empty() && hint.compare(0, separator.length(), separator) == 0) {
      // Absolute: under every search partition.
      for (long j = 0; j < partitions.size(); ++j) {
        SString candidate(partitions.at(j));
        appendPathSeparator(candidate);
        candidate.append(hint, 1, SString::npos);
        if (candidate.empty()) continue;
        Launcher::logMessage(concat("Checking path hint ", candidate), LOG_INFO);
        JVMMatch* match = verify(candidate, verifyClasspath, verifyClassName);
        if (match != nullptr) return match;
      }
    } else {
      // Relative to the launcher's directory, e.g. a JVM on the install
      // medium: such a JVM is temporary.
      SString candidate = Launcher::getOriginalLauncherDir();
      appendPathSeparator(candidate);
      candidate += hint;
      JVMMatch* match = verify(candidate, verifyClasspath, verifyClassName);
      if (match != nullptr) {
        match->setJVMTemporary(true);
        return match;
      }
    }
  }
  return nullptr;
}

JVMMatch* JVMFile::verifyWithPlatformJVMPaths(const SString& verifyClasspath,
                                              const SString& verifyClassName) {
  if (lacksProperties()) return nullptr;
  Launcher::logMessage(
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
    if (path.empty()) continue;
    SString candidate(path);
    if (!exeDir.empty()) {
      appendPathSeparator(candidate);
      unsigned long dirStart = stringEndsWith(candidate, exeDir.c_str());
      if (dirStart != SString::npos) candidate.erase(dirStart, SString::npos);
    }
    Launcher::logMessage(concat("Checking JVM at ", candidate,
                                " which was resolved from the platform JVM path ", path),
                         LOG_INFO);
    JVMMatch* match = verify(candidate, verifyClasspath, verifyClassName);
    if (match != nullptr) return match;
  }
  return nullptr;
}
