// The functions of the launch script template language: the table that
// names them with their argument counts, and the values of those that do
// not build the classpath or the runtime options (launch_classpath.cc).
#include "launchscript/launch_script.h"

#include "foundation/log.h"
#include "launchscript/application_archive.h"
#include "launchscript/shell_quoting.h"
#include "platform/platform_impl.h"
#include "tagfile/tag_file.h"

// Names are compared exactly, upper case as written.
const LaunchScript::FunctionDef* LaunchScript::findFunction(const SString& name) {
  static const FunctionDef kFunctions[] = {
      {"REPLACE", 3, 3, "REPLACE function requires 3 arguments.", &LaunchScript::callREPLACE},
      {"RUNTIME_SYSTEMPROP", 0, 0, "RUNTIME_SYSTEMPROP function takes no arguments.",
       &LaunchScript::callRUNTIME_SYSTEMPROP},
      {"RUNTIME_JAVAARGS", 0, 0, "RUNTIME_JAVAARGS function takes no arguments.",
       &LaunchScript::callRUNTIME_JAVAARGS},
      {"SYSTEMPROP", 2, 2, "SYSTEMPROP function requires 2 arguments.", &LaunchScript::callSYSTEMPROP},
      {"CP", 0, -1, "", &LaunchScript::callCP},
      {"IF_EXISTS", 2, 2, "IF_EXISTS function requires 2 arguments.", &LaunchScript::callIF_EXISTS},
      {"LAUNCHER_FILE", 0, 0, "LAUNCHER_FILE function takes 0 arguments.",
       &LaunchScript::callLAUNCHER_FILE},
      {"LAUNCHER_DIR", 0, 0, "LAUNCHER_DIR function takes 0 arguments.",
       &LaunchScript::callLAUNCHER_DIR},
      {"APPLICATION_ARCHIVE", 0, 1, "APPLICATION_ARCHIVE function takes 0 arguments.",
       &LaunchScript::callAPPLICATION_ARCHIVE},
      {"TEMP_DIR", 0, 0, "TEMP_DIR function takes 0 arguments.", &LaunchScript::callTEMP_DIR},
      {"CLASSPATH_JAR_DIR", 0, 0, "CLASSPATH_JAR_DIR function takes 0 arguments.",
       &LaunchScript::callCLASSPATH_JAR_DIR},
      {"APP_DIR", 0, 0, "APP_DIR function takes 0 arguments.", &LaunchScript::callAPP_DIR},
      {"ENV_JAVAARGS", 1, 1, "ENV_JAVAARGS function requires 1 argument.",
       &LaunchScript::callENV_JAVAARGS},
      {"CDS_OPTIONS", 0, 0, "CDS_OPTIONS function takes 0 arguments.", &LaunchScript::callCDS_OPTIONS},
  };
  for (const FunctionDef& function : kFunctions) {
    if (name.compare(function.name) == 0) return &function;
  }
  return nullptr;
}

// Every occurrence of the resolved search text in the subject becomes the
// resolved replacement; the search goes on after each inserted text, so a
// replacement that contains the search text is not replaced again. An empty
// search text leaves the subject as it is, and a match that would cut a
// value's placeholder is skipped.
SString LaunchScript::callREPLACE(const SString& text, const StringDeque& arguments) const {
  const JVMTagLookup& jvmFile = currentJVMFile(text);
  SString from = jvmFile.resolve(arguments[0]);
  SString to = jvmFile.resolve(arguments[1]);
  SString result = arguments[2];
  if (from.empty()) return result;
  unsigned long pos = result.find(from);
  while (pos != SString::npos) {
    if (ShellValues::isInsidePlaceholder(result, pos) ||
        ShellValues::isInsidePlaceholder(result, pos + from.length())) {
      pos = result.find(from, pos + 1);
      continue;
    }
    result.replace(pos, from.length(), to);
    pos = result.find(from, pos + to.length());
  }
  return result;
}

SString LaunchScript::callRUNTIME_SYSTEMPROP(const SString& text, const StringDeque&) const {
  return buildRuntimeSystemProps(&currentJVMFile(text));
}

SString LaunchScript::callRUNTIME_JAVAARGS(const SString& text, const StringDeque&) const {
  return buildRuntimeJavaArgs(&currentJVMFile(text));
}

SString LaunchScript::callSYSTEMPROP(const SString& text, const StringDeque& arguments) const {
  return makeSystemProp(&currentJVMFile(text), arguments[0], arguments[1]);
}

SString LaunchScript::callIF_EXISTS(const SString& text, const StringDeque& arguments) const {
  const JVMTagLookup& jvmFile = currentJVMFile(text);
  if (jvmFile.getTagFile()->getTagValue(arguments[0].c_str(), 0).empty()) return SString();
  return jvmFile.resolve(arguments[1]);
}

// The values of the functions below come from the disk and the command
// line: they go in as values, never as template text.
SString LaunchScript::callLAUNCHER_FILE(const SString&, const StringDeque&) const {
  return ShellValues::insert(m_context->paths.launcherFile);
}

SString LaunchScript::callLAUNCHER_DIR(const SString&, const StringDeque&) const {
  return ShellValues::insert(m_context->paths.originalLauncherDir());
}

SString LaunchScript::callAPPLICATION_ARCHIVE(const SString&, const StringDeque& arguments) const {
  ApplicationArchive& archive = m_context->applicationArchive;
  if (arguments.empty()) return ShellValues::insert(archive.archivePath(m_context->inputFiles));
  return ShellValues::insert(archive.archivePath(arguments[0], m_context->paths.originalLauncherDir()));
}

// The folder as it is, every byte kept (a trailing backslash is part of
// its name here).
SString LaunchScript::callTEMP_DIR(const SString&, const StringDeque&) const {
  return ShellValues::insert(PlatformImpl::getSystemTempDirectory());
}

// The variable's value is the user's: read as the .ja file is, line by line,
// each line split into words (quotes and backslashes, nothing expanded, no
// @ macros), each word one value. A line whose quote is not closed is
// skipped with a warning.
SString LaunchScript::callENV_JAVAARGS(const SString&, const StringDeque& arguments) const {
  SString value = PlatformImpl::getEnvironmentVariable(arguments[0]);
  SString result;
  unsigned long start = 0;
  while (start < value.length()) {
    unsigned long end = value.find('\n', start);
    if (end == SString::npos) end = value.length();
    SString line = value.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line[line.length() - 1] == '\r') line.erase(line.length() - 1);
    StringDeque words;
    if (!splitShellWords(line, words)) {
      SString message("Ignoring a line of the variable ");
      message += arguments[0];
      message += " whose quote is not closed: ";
      message += line;
      m_context->console.warning(message);
      continue;
    }
    for (long i = 0; i < words.size(); ++i) {
      if (!result.empty()) result += " ";
      // An empty word stays an (empty) argument.
      result += words[i].empty() ? SString("''") : ShellValues::insert(words[i]);
    }
  }
  return result;
}

// A mark that the options take the place of once the command is complete
// (insertSharingOptions); on its own it inserts nothing. Every call of one
// resolution gives the same mark.
SString LaunchScript::callCDS_OPTIONS(const SString&, const StringDeque&) const {
  if (m_sharingMark.empty()) m_sharingMark = ShellValues::insert(SString());
  return m_sharingMark;
}
