// Instructions::check: the statements of a script checked without running
// them, with the interpreter's own parsing and messages.
#include "instructions/instructions.h"
#include "instructions/instructions_exception.h"
#include "instructions/variable_ref.h"
#include "foundation/launcher_exception.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

namespace {

// A script whose statements reach no launcher operation.
class DryRunInstructions : public Instructions {
 public:
  explicit DryRunInstructions(const TagFile& tagFile) : Instructions(tagFile) {}

 protected:
  void initializeUI() const override {}
  void findJVM(bool, bool) const override {}
  void verifyJVM(bool, bool, long) const override {}
  long launch(const SString&, short) const override { return 0; }
  long ilaunch(long, short) const override { return 0; }
  void installJVM(InstallJVMOption) const override {}
  void executeEmbeddedLauncher(long) const override {}
};

}  // namespace

void Instructions::check(long* statementNumber) const {
  DryRunInstructions dryRun(m_tagFile);
  const Instructions& script = dryRun;
  script.m_checking = true;
  const long count = static_cast<long>(m_tagFile.getTagValueCount(g_instructionsTag));
  for (long line = 0; line < count; ++line) {
    script.m_currentLine = line;
    if (statementNumber != nullptr) *statementNumber = line + 1;
    long result = 0;
    script.executeStatement(m_tagFile.getTagValue(g_instructionsTag, line), &result);
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
