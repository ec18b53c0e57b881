// Instructions::check (the dry run that bvpack makes) and the exit status
// of a script that finds no JVM.
#include "tests/instructions/script_runner.h"

namespace bvtest {
namespace {

using Script = std::vector<std::string>;

TEST_F(ScriptTest, CheckRunsNoOperationAndChangesNoVariable) {
  ops.vars.setLongVariable(2, 7);
  ops.vars.setStringVariable(3, "kept");
  load({"INITIALIZE_UI", "SET N2 = 5", "SET S3 = \"new\"", "FIND_JVM @N2@ 1", "JMP0 @N1@ L@N2@",
            "LAUNCH @S3@ 5", "INSTALL_JVM 2", "EXECUTE_LAUNCHER 1", "GOTO END", ":END"});
  long statement = 0;
  Instructions::check(tagFile(), &statement);
  EXPECT_EQ(10, statement);
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(7, N(2));
  EXPECT_EQ("kept", S(3));
}

TEST_F(ScriptTest, CheckReportsTheFirstBadStatement) {
  struct Case {
    Script script;
    std::string error;
  } cases[] = {
      {{"INITIALIZE_UI", "JMP0 1 NOWHERE", "FOO"}, "line 2: Label not found (NOWHERE)"},
      {{"GOTO L@N1@", "GOTO L@N1"}, "line 2: Invalid label specified. Invalid variable specification."},
      {{"ILAUNCH 1"}, "line 1: The second argument to ILAUNCH should be the number of seconds to display the "
                      "UI during the launch."},
      {{"LAUNCH x 5 6"}, "line 1: Too many arguments to LAUNCH: 6 is one too many."},
      {{"SET X1 = 2"}, "line 1: Invalid variable specified on left hand side of SET statement. Invalid variable "
                       "reference (X1). Must use N or S as the variable type, e.g. N2 or S1."},
      {{"//x"}, "line 1: Invalid command (//x). "},
  };
  for (const Case& c : cases) {
    load(c.script);
    std::string error = "(none)";
    long statement = 0;
    try {
      Instructions::check(tagFile(), &statement);
    } catch (const InstructionsException& e) {
      error = "line " + std::to_string(e.getLineNumber()) + ": " + e.getMessage().c_str();
    }
    EXPECT_EQ(c.error, error);
    EXPECT_TRUE(calls().empty());
  }
}

}  // namespace
}  // namespace bvtest
