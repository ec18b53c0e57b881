// LaunchScript: construction, the three resolution passes, the scanning of
// function calls and their argument lists, and the error path of the
// template language.
#include "launchscript/launch_script.h"

#include <cstdio>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "launchscript/shell_quoting.h"
#include "platform/platform_impl.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

const char* setEnvVarAtLaunch = "JAVA_HOME";

LaunchScript::LaunchScript(const TagFile& tagFile, bool captureOutput, const LaunchContext& context)
    : m_command(tagFile.getTagValue("COMMAND", 0)),
      m_captureOutput(captureOutput),
      m_displayConsole(tagFile.getBoolTagValue("DISPLAY_CONSOLE", false)),
      m_autoSetWorkingDir(tagFile.getBoolTagValue("AUTO_SET_WORKING_DIR", true)),
      m_jvmFile(nullptr),
      m_context(&context),
      m_extractJars(true),
      m_desc(tagFile.getTagValue("DESC", 0)),
      m_archive(tagFile.getTagValue("ARCHIVE", 0)),
      m_jarsExtracted(false) {}

LaunchScript::LaunchScript(const SString& command, bool captureOutput, bool extractJars,
                           const LaunchContext& context)
    : m_command(command),
      m_captureOutput(captureOutput),
      m_displayConsole(false),
      m_autoSetWorkingDir(true),
      m_jvmFile(nullptr),
      m_context(&context),
      m_extractJars(extractJars),
      m_jarsExtracted(false) {}

LaunchScript::LaunchScript(const SString& command)
    : m_command(command),
      m_captureOutput(false),
      m_displayConsole(false),
      m_autoSetWorkingDir(true),
      m_jvmFile(nullptr),
      m_context(nullptr),
      m_extractJars(false),
      m_jarsExtracted(false) {}

namespace {

// Clears the JVM file of a resolution when it ends, normally or by a throw.
class JVMFileScope {
 public:
  JVMFileScope(const JVMTagLookup*& slot, const JVMTagLookup& jvmFile) : m_slot(slot) { m_slot = &jvmFile; }
  ~JVMFileScope() { m_slot = nullptr; }
  JVMFileScope(const JVMFileScope&) = delete;
  JVMFileScope& operator=(const JVMFileScope&) = delete;

 private:
  const JVMTagLookup*& m_slot;
};

}  // namespace

SString LaunchScript::resolve(const JVMTagLookup& jvmFile) {
  ShellValueScope values;
  return ShellValues::quote(resolveTemplate(jvmFile));
}

SString LaunchScript::resolveTemplate(const JVMTagLookup& jvmFile) {
  JVMFileScope scope(m_jvmFile, jvmFile);
  m_jarsExtracted = false;  // a new resolution extracts the archives anew
  m_sharingMark.erase();
  // The command may hold placeholders already (the JVM check puts the home
  // in as a value); a NUL byte that forms none is dropped by the quoting.
  SString text = MacroHandler::resolve(m_command, '%');
  text = jvmFile.resolve(text);
  return MacroHandler::resolve(text, '#');
}

void LaunchScript::processMacro(SString& text, char delimiter, unsigned long start,
                                unsigned long& end) const {
  if (delimiter == '#') {
    SString name(text, start + 1, end - start - 1);
    text.replace(start, end - start + 1,
                 ShellValues::insert(PlatformImpl::getEnvironmentVariable(name)));
    return;
  }
  if (delimiter != '%') return;

  unsigned long pos;
  StringDeque arguments;
  const FunctionDef& function = parseCall(text, start, end, pos, arguments);
  SString value = (this->*function.call)(text, arguments);
  text.replace(start, pos == SString::npos ? SString::npos : pos - start, value);
}

const LaunchScript::FunctionDef& LaunchScript::parseCall(const SString& text, unsigned long start,
                                                         unsigned long end, unsigned long& pos,
                                                         StringDeque& arguments) const {
  SString name(text, start + 1, end - start - 1);
  const FunctionDef* function = findFunction(name);
  if (function == nullptr) {
    SString message("Invalid function name (");
    message += name;
    message += ").";
    throwException(text, message);
  }
  pos = end + 1;
  getArguments(text, pos, arguments);
  long count = arguments.size();
  if (count < function->minArguments ||
      (function->maxArguments >= 0 && count > function->maxArguments)) {
    throwException(text, function->countMessage);
  }
  return *function;
}

void LaunchScript::getArguments(const SString& text, unsigned long& pos,
                                StringDeque& arguments) const {
  enum State { EXPECT_OPEN = 0, EXPECT_ARGUMENT = 1, EXPECT_SEPARATOR = 2 };
  State state = EXPECT_OPEN;
  unsigned long good = pos;
  bool closed = false;
  while (pos != SString::npos && !closed) {
    pos = text.find_first_not_of(whitespaceChars, pos);
    // At the end of the text c is NUL, which no state accepts.
    char c = pos == SString::npos ? '\0' : text[pos];
    const char* error = nullptr;
    switch (state) {
      case EXPECT_OPEN:
        if (c == '(') {
          ++pos;
          state = EXPECT_ARGUMENT;
        } else {
          error = "Expected left parenthesis.";
        }
        break;
      case EXPECT_ARGUMENT:
        if (c == '"') {
          ++pos;
          arguments.push_back(parseStringArgument(text, pos, true));
          state = EXPECT_SEPARATOR;
        } else if (c == ')') {
          ++pos;
          closed = true;
        } else {
          error = "Expected string arg.";
        }
        break;
      case EXPECT_SEPARATOR:
        if (c == ',') {
          ++pos;
          state = EXPECT_ARGUMENT;
        } else if (c == ')') {
          ++pos;
          closed = true;
        } else {
          error = "Expected right parenthesis.";
        }
        break;
    }
    if (error != nullptr) {
      char message[80];
      snprintf(message, sizeof message, "%s (near character %ld)", error, static_cast<long>(good));
      throwException(text, message);
    }
    good = pos;
  }
}

void LaunchScript::throwException(const SString& text, const char* message) const {
  throwException(text, SString(message));
}

void LaunchScript::throwException(const SString& text, const SString& message) const {
  logMessage("Launch command:", LOG_INFO);
  logMessage(ShellValues::flatten(text), LOG_INFO);
  SString full("Launch script error: ");
  full += message;
  throw LauncherException(full);
}

const JVMTagLookup& LaunchScript::currentJVMFile(const SString& text) const {
  if (m_jvmFile == nullptr) throwException(text, "Functions can only be resolved for a JVM file.");
  return *m_jvmFile;
}
