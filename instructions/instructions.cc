// Statements, labels and jumps of the instruction script.
#include "instructions/instructions.h"

#include "foundation/launcher_exception.h"
#include "instructions/instructions_exception.h"
#include "instructions/variable_ref.h"
#include "platform/platform_impl.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

const char* Instructions::g_instructionsTag = "INSTRUCTIONS";

namespace {

SString concat(const char* a, const SString& b, const char* c) {
  SString text(a);
  return text.append(b).append(c);
}

}  // namespace

long Instructions::execute() const {
  long result = 0;
  const long count = static_cast<long>(m_tagFile.getTagValueCount(g_instructionsTag));
  // Jumps set m_currentLine to the label line; the increment then moves past it.
  for (m_currentLine = 0; m_currentLine < count; ++m_currentLine) {
    // A cancel request (a signal) ends the script before its next statement.
    if (PlatformImpl::isCanceled()) throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
    executeStatement(m_tagFile.getTagValue(g_instructionsTag, m_currentLine), &result);
  }
  return result;
}

void Instructions::executeStatement(const SString& statement, long* result) const {
  unsigned long position = 0;
  bool noToken = false;
  SString command = getTokenFromString(statement, position, noToken);
  if (noToken) throwException("No command specified.");
  if (command[0] == ':') return;  // a label line
  if (command.compare("//") == 0) return;

  if (command.compare("INITIALIZE_UI") == 0) {
    m_operations.initializeUI();
  } else if (command.compare("FIND_JVM") == 0) {
    bool showUI = evalBoolExpr(
        requireToken(statement, &position,
                     "The first argument to FIND_JVM should be a 1 if the UI should be displayed or a 0 if "
                     "the UI should be suppressed."),
        "");
    bool showFailMsg = evalBoolExpr(
        requireToken(statement, &position,
                     "The second argument to FIND_JVM should be a 1 if a find failure message should be "
                     "displayed in a UI or 0 if no message should be displayed."),
        "");
    m_operations.findJVM(showUI, showFailMsg);
  } else if (command.compare("VERIFY") == 0) {
    bool showUI = evalBoolExpr(
        requireToken(statement, &position,
                     "The first argument to VERIFY should be a 1 if the UI should be displayed or a 0 if "
                     "the UI should be suppressed."),
        "");
    bool showFailMsg = evalBoolExpr(
        requireToken(statement, &position,
                     "The second argument to VERIFY should be a 1 if a find failure message should be "
                     "displayed in a UI or 0 if no message should be displayed."),
        "");
    long fileId = evalLongExpr(
        requireToken(statement, &position,
                     "The third argument to VERIFY should be the file index number of the jvm file."),
        "");
    m_operations.verifyJVM(showUI, showFailMsg, fileId);
  } else if (command.compare("LAUNCH") == 0) {
    SString jvmFilePath;
    evalStringExpr(statement, position, jvmFilePath, "Invalid jvm file name specified in LAUNCH.");
    short seconds = evalShortExpr(
        requireToken(statement, &position,
                     "The second argument to LAUNCH should be the number of seconds to display the UI "
                     "during the launch."),
        "");
    *result = m_operations.launch(jvmFilePath, seconds);
  } else if (command.compare("ILAUNCH") == 0) {
    long fileId = evalLongExpr(
        requireToken(statement, &position,
                     "The first argument to ILAUNCH should be the file index number of the jvm file."),
        "");
    short seconds = evalShortExpr(
        requireToken(statement, &position,
                     "The second argument to ILAUNCH should be the number of seconds to display the UI "
                     "during the launch."),
        "");
    *result = m_operations.ilaunch(fileId, seconds);
  } else if (command.compare("INSTALL_JVM") == 0) {
    const char* message = "The first argument to INSTALL_JVM should be a 0, 1 or 2.";
    long option = evalLongExpr(requireToken(statement, &position, message), "");
    if (option < JVM_INSTALL_SILENT_TEMP || option > JVM_INSTALL_PROMPT) throwException(message);
    m_operations.installJVM(static_cast<InstallJVMOption>(option));
  } else if (command.compare("EXECUTE_LAUNCHER") == 0) {
    long launcherPosition = evalLongExpr(
        requireToken(statement, &position,
                     "The first argument to EXECUTE_LAUNCHER should be the position of the embedded "
                     "launcher in the file index."),
        "");
    m_operations.executeEmbeddedLauncher(launcherPosition);
  } else if (command.compare("GOTO") == 0) {
    SString label = requireToken(statement, &position, "The GOTO command requires a label as its only argument.");
    if (m_checking) {
      checkLabel(label);
    } else {
      m_currentLine = gotoLabel(label);
    }
  } else if (command.compare("JMP0") == 0) {
    bool noValue = false;
    SString value = getTokenFromString(statement, position, noValue);
    long number = evalLongExpr(value, "The second argument to JMP0 must be numeric.");
    SString label = requireToken(statement, &position, "JMP0 requires a jump label as its second argument.");
    if (m_checking) {
      checkLabel(label);
    } else if (number == 0) {
      m_currentLine = gotoLabel(label);
    }
  } else if (command.compare("SET") == 0) {
    executeSet(statement, position);
    return;  // SET takes the rest of the statement
  } else {
    throwException(concat("Invalid command (", command, "). "));
  }
  if (m_checking) checkNoMoreArguments(command, statement, position);
}

SString Instructions::requireToken(const SString& statement, unsigned long* position,
                                   const char* missingMessage) const {
  bool noToken = false;
  SString token = getTokenFromString(statement, *position, noToken);
  if (noToken) throwException(missingMessage);
  return token;
}

void Instructions::executeSet(const SString& statement, unsigned long position) const {
  SString rest;
  if (position < statement.length()) rest = statement.substr(position);
  trim(rest, whitespaceChars);
  unsigned long equals = rest.find('=');
  if (equals == SString::npos) throwException("SET statement is missing =.");
  SString left = rest.substr(0, equals);
  SString right = rest.substr(equals + 1);
  trim(left, whitespaceChars);
  trim(right, whitespaceChars);
  try {
    VariableRef variable;
    variable.init(left, "Invalid variable specified on left hand side of SET statement.");
    evalStringExpr(right, "Invalid expression specified for SET command");
    if (m_checking) {
      checkValue(variable, right, "Invalid value specified for SET command");
    } else {
      variable.setValue(m_operations.variables(), right, "Invalid value specified for SET command");
    }
  } catch (const LauncherException& e) {
    throwException(e.getMessage());
  }
}

long Instructions::gotoLabel(const SString& label) const {
  SString target(":");
  target.append(label);
  evalExpr(target, "Invalid label specified.");
  if (target.compare(":") == 0) {
    throwException(concat("Label ", label, " resolved to a blank string. Labels cannot be blank."));
  }
  const long count = static_cast<long>(m_tagFile.getTagValueCount(g_instructionsTag));
  for (long line = 0; line < count; ++line) {
    if (m_tagFile.getTagValue(g_instructionsTag, line).compare(target) == 0) return line;
  }
  throwException(concat("Label not found (", label, ")"));
}

void Instructions::throwException(const SString& message) const {
  throw InstructionsException(message, m_currentLine + 1);
}

long runInstructions(const Instructions* instructions) {
  if (instructions == nullptr) return -1;
  try {
    return instructions->execute();
  } catch (const InstructionsException& e) {
    SString message("Error in instructions. ");
    message.append(e.getMessage()).append(" Line number (").append(convertToString(e.getLineNumber())).append(")");
    throw LauncherException(message);
  }
}
