// The classpath function %CP% and the values built from the JVM file's
// option tags and from the runtime files next to the launcher (.cp1, .cp,
// .cp2, .sp, .ja).
#include <cstdio>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "launchscript/launch_script.h"
#include "launchscript/shell_quoting.h"
#include "platform/platform_impl.h"
#include "tagfile/read_open.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

namespace {

SString tagValue(const JVMTagLookup* jvmFile, const char* tag) {
  return jvmFile == nullptr ? SString() : jvmFile->getTagFile()->getTagValue(tag, 0);
}

// The most that is read of one list file (a classpath "@" file, a file
// next to the launcher); a longer one (or a device such as /dev/zero) is an
// error.
const unsigned long kLongestListFile = 1024 * 1024;

// Calls onLine for every non-empty line of the file: a line feed ends a
// line, carriage returns are dropped, each line is trimmed, and a NUL byte,
// which no command can carry, is dropped. False when the file cannot be
// opened. A file next to the launcher (sideFile) is read only when it is a
// regular file and passes the ownership check; otherwise a warning names it
// and the reason, and it is taken as empty. Opening never waits (a FIFO
// without a writer would block an ordinary open for good); a FIFO named as a
// list file is then read like a pipe, and is empty without a writer. Throws
// LauncherException when the file holds more than kLongestListFile bytes,
// and "Canceled by the user." on a cancel.
template <class OnLine>
bool forEachLine(const SString& fileName, bool sideFile, OnLine onLine) {
  bool regular = false;
  FILE* file = openForReading(fileName, &regular);
  if (file == nullptr) return false;
  FileCloser closer(file);
  SString reason;
  if (sideFile && !regular) reason = "it is not a regular file.";
  if (sideFile && (!reason.empty() || !PlatformImpl::isTrustedFile(fileName, reason))) {
    SString message("Ignoring the file ");
    message += fileName;
    message += " next to the launcher: ";
    message += reason;
    logMessage(message, LOG_WARNING);
    return true;
  }
  SString line;
  unsigned long total = 0;
  char buffer[4096];
  auto finishLine = [&]() {
    ShellValues::stripNul(line);
    trim(line, whitespaceChars);
    if (!line.empty()) onLine(line);
    line.erase();
  };
  // A read error (a directory of that name, say) ends the file like its end.
  for (;;) {
    if (PlatformImpl::isCanceled()) throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
    size_t n = fread(buffer, 1, sizeof buffer, file);
    if (n == 0) break;
    total += n;
    if (total > kLongestListFile) {
      throw LauncherException(SString("The file ").append(fileName).append(
          " is larger than 1 MiB, the most that the launcher reads of a list file."));
    }
    // Runs of ordinary bytes are appended at once.
    size_t start = 0;
    for (size_t i = 0; i <= n; ++i) {
      if (i < n && buffer[i] != '\n' && buffer[i] != '\r') continue;
      line.append(buffer + start, i - start);
      start = i + 1;
      if (i < n && buffer[i] == '\n') finishLine();
    }
  }
  finishLine();
  return true;
}

// text (possibly holding placeholders, from @ macros) as one value.
SString asOneValue(const SString& text) { return ShellValues::insert(ShellValues::flatten(text)); }

}  // namespace

SString LaunchScript::callCP(const SString&, const StringDeque& arguments) const {
  const JVMTagLookup* jvmFile = m_jvmFile;
  bool environmentMode = tagValue(jvmFile, "USE_CP_ENV_VAR").compare("1") == 0;

  SString classpath;
  appendClasspathArg(jvmFile, classpath, m_context->classpath.prepend);
  addToClasspath(jvmFile, classpath, buildRuntimeClasspath(jvmFile, ".cp1"));
  addToClasspath(jvmFile, classpath, buildJVMClasspath());
  addToClasspath(jvmFile, classpath, buildRuntimeClasspath(jvmFile, ".cp"));
  for (long i = 0; i < arguments.size(); ++i) {
    SString entry = arguments[i];
    if (environmentMode) stripQuotes(entry);
    addToClasspath(jvmFile, classpath, entry);
  }
  SString archive = MacroHandler::resolve(m_archive, '%');
  if (environmentMode) stripQuotes(archive);
  addToClasspath(jvmFile, classpath, archive);
  addToClasspath(jvmFile, classpath, buildJARClasspath(!environmentMode));
  addToClasspath(jvmFile, classpath, buildRuntimeClasspath(jvmFile, ".cp2"));
  appendClasspathArg(jvmFile, classpath, m_context->classpath.append);

  if (environmentMode) {
    SString variable = tagValue(jvmFile, "CP_ENV_VAR");
    if (variable.empty()) {
      logMessage(
          "If USE_CP_ENV_VAR is set to 1 in the jvm file, then the jvm file should also define "
          "CP_ENV_VAR.",
          LOG_ERROR);
    } else {
      // The variable takes the values themselves: no shell reads it.
      SString raw = ShellValues::flatten(classpath);
      PlatformImpl::setEnvironmentVariable(variable, raw);
      SString message("Set env var ");
      message += variable;
      message += " to ";
      message += raw;
      message += "\n";
      logMessage(message, LOG_INFO);
    }
    return SString();
  }
  if (classpath.empty()) return classpath;
  SString option = tagValue(jvmFile, "CLASSPATH");
  option += classpath;
  return option;
}

void LaunchScript::addToClasspath(const JVMTagLookup* jvmFile, SString& classpath,
                                  const SString& entry) const {
  if (entry.empty()) return;
  if (!classpath.empty()) classpath += tagValue(jvmFile, "CLASSPATH_SEPARATOR");
  classpath += entry;
}

void LaunchScript::appendClasspathArg(const JVMTagLookup* jvmFile, SString& classpath,
                                      const SString& value) const {
  SString entry = value;
  trim(entry, whitespaceChars);
  if (entry.empty()) return;
  if (entry[0] == '@') {
    addToClasspath(jvmFile, classpath, buildClasspathFromFile(jvmFile, entry.substr(1), true));
    return;
  }
  SString quoted("\"");
  quoted += ShellValues::insert(entry);
  quoted += "\"";
  addToClasspath(jvmFile, classpath, quoted);
}

SString LaunchScript::buildClasspathFromFile(const JVMTagLookup* jvmFile, const SString& fileName,
                                             bool logMissing, bool sideFile) const {
  SString classpath;
  bool opened = forEachLine(fileName, sideFile, [&](const SString& line) {
    addToClasspath(jvmFile, classpath, ShellValues::insert(line));
  });
  if (!opened && logMissing) {
    SString message("Could not find the file ");
    message += fileName;
    message += " while building the classpath.";
    logMessage(message, LOG_WARNING);
  }
  return classpath;
}

SString LaunchScript::buildRuntimeClasspath(const JVMTagLookup* jvmFile, const char* suffix) const {
  SString fileName = getRuntimeFileBase();
  fileName += suffix;
  return buildClasspathFromFile(jvmFile, fileName, false, true);
}

SString LaunchScript::buildJVMClasspath() const { return tagValue(m_jvmFile, "JVM_CLASSPATH"); }

SString LaunchScript::makeSystemProp(const JVMTagLookup* jvmFile, const SString& name,
                                     const SString& value) const {
  SString option = tagValue(jvmFile, "SYSTEM");
  option += name;
  option += tagValue(jvmFile, "SYSTEM_SEPARATOR");
  option += jvmFile == nullptr ? value : jvmFile->resolve(value);
  return option;
}

SString LaunchScript::buildRuntimeSystemProps(const JVMTagLookup* jvmFile) const {
  SString result;
  SString fileName = getRuntimeFileBase();
  fileName += ".sp";
  forEachLine(fileName, true, [&](const SString& line) {
    unsigned long equals = line.find('=');
    if (equals == SString::npos) return;
    SString value = line.substr(equals + 1);
    if (jvmFile != nullptr) value = jvmFile->resolve(value);
    SString option = tagValue(jvmFile, "SYSTEM");
    option += ShellValues::insert(line.substr(0, equals));
    option += tagValue(jvmFile, "SYSTEM_SEPARATOR");
    option += asOneValue(value);
    if (!result.empty()) result += " ";
    result += option;
  });
  return result;
}

SString LaunchScript::buildRuntimeJavaArgs(const JVMTagLookup* jvmFile) const {
  SString result;
  SString fileName = getRuntimeFileBase();
  fileName += ".ja";
  forEachLine(fileName, true, [&](const SString& line) {
    StringDeque words;
    if (!splitShellWords(line, words)) {
      SString message("Ignoring a line of ");
      message += fileName;
      message += " whose quote is not closed: ";
      message += line;
      logMessage(message, LOG_WARNING);
      return;
    }
    for (long i = 0; i < words.size(); ++i) {
      SString word = jvmFile == nullptr ? words[i] : jvmFile->resolve(words[i]);
      if (!result.empty()) result += " ";
      // An empty word stays an (empty) argument.
      result += word.empty() ? SString("''") : asOneValue(word);
    }
  });
  return result;
}

SString LaunchScript::getRuntimeFileBase() const {
  SString base = m_context->paths.originalLauncherFile;
  unsigned long separator = base.find_last_of("/\\");
  unsigned long dot = base.rfind('.');
  if (separator != SString::npos && dot != SString::npos && dot > separator) base.erase(dot);
  return base;
}
