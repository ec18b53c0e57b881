// Instructions::check: the statements of a script checked without running
// them, with the interpreter's own parsing and messages.
#include "foundation/launcher_exception.h"
#include "instructions/instructions.h"
#include "instructions/instructions_exception.h"
#include "instructions/variable_ref.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

namespace {

// The operations of a dry run: none of them does anything, and the
// variables are never read (references expand to "0").
class DryRunOperations : public ScriptOperations {
 public:
  ScriptVariables& variables() override { return m_variables; }
  void initializeUI() override {}
  void findJVM(bool, bool) override {}
  void verifyJVM(bool, bool, long) override {}
  long launch(const SString&, short) override { return 0; }
  long ilaunch(long, short) override { return 0; }
  void installJVM(InstallJVMOption) override {}
  void executeEmbeddedLauncher(long) override {}

 private:
  ScriptVariables m_variables;
};

}  // namespace

void Instructions::check(const TagFile& tagFile, long* statementNumber) {
  DryRunOperations operations;
  const Instructions script(tagFile, operations);
  script.m_checking = true;
  const long count = static_cast<long>(tagFile.getTagValueCount(g_instructionsTag));
  for (long line = 0; line < count; ++line) {
    script.m_currentLine = line;
    if (statementNumber != nullptr) *statementNumber = line + 1;
    long result = 0;
    script.executeStatement(tagFile.getTagValue(g_instructionsTag, line), &result);
  }
}

void Instructions::checkNoMoreArguments(const SString& command, const SString& statement,
                                        unsigned long position) const {
  bool noToken = false;
  SString extra = getTokenFromString(statement, position, noToken);
  if (noToken) return;
  SString message("Too many arguments to ");
  message.append(command).append(": ").append(extra).append(" is one too many.");
  throwException(message);
}

void Instructions::checkLabel(const SString& label) const {
  if (label.find('@') == SString::npos) {
    gotoLabel(label);
    return;
  }
  SString target(label);
  evalExpr(target, "Invalid label specified.");
}

void Instructions::checkValue(const VariableRef& variable, const SString& value,
                              const char* errorPrefix) const {
  long number = 0;
  if (variable.isNumericVariable() && !convertToLong(value, number)) {
    throw LauncherException(SString(errorPrefix).append(" Invalid numeric expression in ").append(value));
  }
}
