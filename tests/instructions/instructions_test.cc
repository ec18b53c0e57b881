#include "instructions/instructions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform_impl.h"
#include "tests/instructions/script_runner.h"

namespace bvtest {
namespace {

using Script = std::vector<std::string>;

TEST_F(ScriptTest, JumpsForwardAndBackWithLabelsOnTheFirstAndLastLines) {
  // First pass: N1 is 0, so JMP0 jumps forward to FIRST, which sets N1 and
  // jumps back to the label on the first line; the second pass leaves
  // through the label on the last line.
  EXPECT_EQ("result 0", run({":START", "JMP0 @N1@ FIRST", "GOTO END", ":FIRST", "SET N1 = 1", "INITIALIZE_UI",
                             "GOTO START", ":END"}));
  EXPECT_EQ(Script({"initializeUI"}), calls());
  EXPECT_EQ(1, N(1));
}

TEST_F(ScriptTest, TypicalScriptLaunchesOnlyWhenAJVMWasFound) {
  const Script script = {"INITIALIZE_UI",  "FIND_JVM 1 1",  "JMP0 @N1@ DO_FIND_ELSE", "LAUNCH @S2@ 5",
                         "GOTO DO_FIND_DONE", ":DO_FIND_ELSE", "INSTALL_JVM 1", ":DO_FIND_DONE"};
  struct Case {
    long found;
    std::string outcome;
    Script calls;
  } cases[] = {
      {1, "result 42", {"initializeUI", "findJVM 1 1", "launch [/tmp/found jvm.jvm] 5"}},
      {0, "result 0", {"initializeUI", "findJVM 1 1", "installJVM 1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("N1 = " + std::to_string(c.found));
    resetVariables();
    load(script);
    ops.foundJVM = c.found;
    ops.launchResult = 42;
    EXPECT_EQ(c.outcome, outcome());
    // The word @S2@ is expanded after it was read, so the blank in the path stays.
    EXPECT_EQ(c.calls, calls());
  }
}

TEST_F(ScriptTest, ResultIsThatOfTheLastLaunch) {
  load({"ILAUNCH 3 10", "GOTO DONE", "LAUNCH x.jvm 5", ":DONE"});
  ops.launchResult = 7;
  EXPECT_EQ("result 7", outcome());
  EXPECT_EQ(Script({"ilaunch 3 10"}), calls());

  EXPECT_EQ("result 0", run({"// no launch", ":LABEL", "SET S1 = x"}));
  EXPECT_EQ("result 0", run({}));
  loadText("DESC: no script\n");
  EXPECT_EQ("result 0", outcome());
}

TEST_F(ScriptTest, CommandsReceiveTheirEvaluatedArguments) {
  ops.vars.setLongVariable(2, 9);
  ops.vars.setStringVariable(3, "/opt/a b/x.jvm");
  run({"INITIALIZE_UI extra words", "FIND_JVM 1 0 ignored", "VERIFY 0 1 @N2@", "LAUNCH \"/opt/a b/x.jvm\" 5",
       "LAUNCH \"@S3@\" -1", "LAUNCH   \"a \"\"q\"\"\"   12", "ILAUNCH @N2@ 300", "INSTALL_JVM 0", "INSTALL_JVM 2",
       "EXECUTE_LAUNCHER 4", "// FIND_JVM x", "//"});
  EXPECT_EQ(Script({"initializeUI", "findJVM 1 0", "verifyJVM 0 1 9", "launch [/opt/a b/x.jvm] 5",
                    "launch [/opt/a b/x.jvm] -1", "launch [a \"q\"] 12", "ilaunch 9 300", "installJVM 0",
                    "installJVM 2", "executeEmbeddedLauncher 4"}),
            calls());
}

TEST_F(ScriptTest, FirstOfTwoLabelsWithTheSameNameIsTheTarget) {
  EXPECT_EQ("result 0", run({"JMP0 @N1@ START", ":L", "SET S1 = first", "GOTO END", ":START", "SET N1 = 1", "GOTO L",
                             ":L", "SET S1 = second", ":END"}));
  EXPECT_EQ("first", S(1));
}

TEST_F(ScriptTest, JMP0JumpsOnlyOnZero) {
  struct Case {
    const char* value;
    const char* s1;
  } cases[] = {{"0", "jumped"}, {"1", "fell through"}, {"-1", "fell through"}, {"0x", "jumped"}, {" @N1@", "jumped"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ("result 0", run({std::string("JMP0 ") + c.value + " ZERO", "SET S1 = \"fell through\"", "GOTO END",
                               ":ZERO", "SET S1 = jumped", ":END"}));
    EXPECT_EQ(c.s1, S(1));
  }
}

TEST_F(ScriptTest, LabelsMayBeComputedFromVariables) {
  ops.vars.setLongVariable(1, 2);
  ops.vars.setStringVariable(4, "B");
  EXPECT_EQ("result 0",
            run({"GOTO L@N1@", ":L1", "SET S1 = one", ":L2", "SET S2 = two", "GOTO @S4@", ":A", "SET S3 = a", ":B"}));
  EXPECT_EQ("", S(1));
  EXPECT_EQ("two", S(2));
  EXPECT_EQ("", S(3));
}

TEST_F(ScriptTest, ErrorsCarryTheStatementNumber) {
  struct Case {
    Script script;
    std::string outcome;
  } cases[] = {
      {{"\" \""}, "line 1: No command specified."},
      {{"// ok", "FOO 1"}, "line 2: Invalid command (FOO). "},
      {{":L", "//x"}, "line 2: Invalid command (//x). "},
      {{"goto L", ":L"}, "line 1: Invalid command (goto). "},
      {{"FIND_JVM"},
       "line 1: The first argument to FIND_JVM should be a 1 if the UI should be displayed or a 0 if the UI should "
       "be suppressed."},
      {{"FIND_JVM 1"},
       "line 1: The second argument to FIND_JVM should be a 1 if a find failure message should be displayed in a UI "
       "or 0 if no message should be displayed."},
      {{"FIND_JVM 2 1"}, "line 1:  Invalid boolean value (2)"},
      {{"FIND_JVM 1 @N1@2"}, "line 1:  Invalid boolean value (@N1@2)"},
      {{"FIND_JVM a@N1 1"}, "line 1:  Invalid variable specification."},
      {{"FIND_JVM yes 1"}, "line 1: Invalid numeric expression (yes)"},
      {{"VERIFY"},
       "line 1: The first argument to VERIFY should be a 1 if the UI should be displayed or a 0 if the UI should be "
       "suppressed."},
      {{"VERIFY 1"},
       "line 1: The second argument to VERIFY should be a 1 if a find failure message should be displayed in a UI "
       "or 0 if no message should be displayed."},
      {{"VERIFY 1 0"}, "line 1: The third argument to VERIFY should be the file index number of the jvm file."},
      {{"ILAUNCH"}, "line 1: The first argument to ILAUNCH should be the file index number of the jvm file."},
      {{"ILAUNCH 1"},
       "line 1: The second argument to ILAUNCH should be the number of seconds to display the UI during the launch."},
      {{"ILAUNCH 1 x"}, "line 1:  Invalid numeric expression (x)"},
      {{"LAUNCH"},
       "line 1: The second argument to LAUNCH should be the number of seconds to display the UI during the launch."},
      {{"LAUNCH x.jvm"},
       "line 1: The second argument to LAUNCH should be the number of seconds to display the UI during the launch."},
      {{"LAUNCH \"\" 5"}, "line 1: Invalid jvm file name specified in LAUNCH. Empty expression."},
      {{"INSTALL_JVM"}, "line 1: The first argument to INSTALL_JVM should be a 0, 1 or 2."},
      {{"INSTALL_JVM 3"}, "line 1: The first argument to INSTALL_JVM should be a 0, 1 or 2."},
      {{"INSTALL_JVM -1"}, "line 1: The first argument to INSTALL_JVM should be a 0, 1 or 2."},
      {{"EXECUTE_LAUNCHER"},
       "line 1: The first argument to EXECUTE_LAUNCHER should be the position of the embedded launcher in the file "
       "index."},
      {{"GOTO"}, "line 1: The GOTO command requires a label as its only argument."},
      {{"SET S1 = x", "GOTO NOWHERE", ":ELSEWHERE"}, "line 2: Label not found (NOWHERE)"},
      {{"GOTO @S1@"}, "line 1: Label @S1@ resolved to a blank string. Labels cannot be blank."},
      {{"JMP0"}, "line 1: The second argument to JMP0 must be numeric. Empty expression."},
      {{"JMP0 abc L"}, "line 1: The second argument to JMP0 must be numeric.Invalid numeric expression (abc)"},
      {{"JMP0 0"}, "line 1: JMP0 requires a jump label as its second argument."},
      {{"JMP0 1 NOWHERE", "JMP0 0 NOWHERE"}, "line 2: Label not found (NOWHERE)"},
      {{"SET N1 5"}, "line 1: SET statement is missing =."},
      {{"SET"}, "line 1: SET statement is missing =."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script.back());
    resetVariables();
    EXPECT_EQ(c.outcome, run(c.script));
    EXPECT_TRUE(calls().empty()) << "an operation ran although its statement failed";
  }
}

TEST_F(ScriptTest, ErrorStopsTheScriptAndLineNumbersIgnoreBlankLines) {
  // Blank lines in the file, inside and before the block, do not count.
  loadText("DESC: x\n\nINSTRUCTIONS:\n\n  INITIALIZE_UI\n\n// comment\n\n\nFOO\n INITIALIZE_UI\n/:\n");
  EXPECT_EQ("line 3: Invalid command (FOO). ", outcome());
  EXPECT_EQ(Script({"initializeUI"}), calls());
}

TEST_F(ScriptTest, LauncherExceptionsOutsideSETPassThroughWithoutLineNumber) {
  struct Case {
    std::string statement;
    std::string outcome;
  } cases[] = {
      {"FIND_JVM @X1@ 1",
       "launcher:  Invalid variable reference (X1). Must use N or S as the variable type, e.g. N2 or S1."},
      {"ILAUNCH @N6@ 1", "launcher:  Variable number is invalid (6)"},
      {"GOTO @S@", "launcher: Invalid label specified. Variable references must be at least 2 characters (e.g. N1 and "
                   "S10)."},
      {"LAUNCH \"a b 5", "launcher: Expected ending quote in \"a b 5:  Invalid jvm file name specified in LAUNCH."},
      {"LAUNCH \"a\"\" 5", "launcher: Expected ending quote in \"a\"\" 5:  Invalid jvm file name specified in LAUNCH."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(c.outcome, run({"// first", c.statement}));
  }
}

// An operation that fails with a LauncherException ends the script with that
// exception unchanged.
class FailingLaunchOperations : public RecordingOperations {
 public:
  long launch(const SString&, short) override { throw LauncherException("launch failed"); }
};

TEST_F(ScriptTest, OperationFailuresPassThroughUnchanged) {
  TempDir dir;
  writeFile(dir.file("i.txt"), "INSTRUCTIONS:\nLAUNCH x 1\nSET S1 = not reached\n/:\n");
  TagFile tagFile(SString(dir.file("i.txt").c_str()));
  FailingLaunchOperations failing;
  Instructions instructions(tagFile, failing);
  try {
    instructions.execute();
    FAIL() << "no exception";
  } catch (const LauncherException& e) {
    EXPECT_STREQ("launch failed", e.getMessage().c_str());
  }
  EXPECT_STREQ("", failing.vars.getStringVariable(1).c_str());
}

TEST_F(ScriptTest, RunInstructionsAddsTheLineNumberToTheMessage) {
  EXPECT_EQ(-1, runInstructions(nullptr));

  const Instructions& instructions = load({"LAUNCH x 1"});
  ops.launchResult = 3;
  EXPECT_EQ(3, runInstructions(&instructions));

  struct Case {
    Script script;
    std::string message;
  } cases[] = {
      {{"// one", "FOO"}, "Error in instructions. Invalid command (FOO).  Line number (2)"},
      {{"SET N9 = 1"},
       "Error in instructions. Invalid variable specified on left hand side of SET statement. Variable number is "
       "invalid (9) Line number (1)"},
      {{"FIND_JVM @Q1@ 0"},
       " Invalid variable reference (Q1). Must use N or S as the variable type, e.g. N2 or S1."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const Instructions& script = load(c.script);
    try {
      runInstructions(&script);
      ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
      EXPECT_EQ(c.message, e.getMessage().c_str());
    }
  }
}

// A script whose first operation is interrupted by a cancel request ends
// before its next statement.
class CancelingOperations : public RecordingOperations {
 public:
  void initializeUI() override {
    calls.push_back("initializeUI");
    PlatformImpl::setCanceled(true);
  }
};

TEST(ScriptCancel, ScriptStopsBeforeItsNextStatement) {
  TagFile script;
  for (const char* statement : {"INITIALIZE_UI", "FIND_JVM 1 1", ":END"}) {
    script.appendTagValue(Instructions::g_instructionsTag, statement);
  }
  CancelingOperations operations;
  Instructions instructions(script, operations);
  std::string error = launcherErrorOf([&] { runInstructions(&instructions); });
  PlatformImpl::setCanceled(false);
  EXPECT_EQ(PlatformImpl::getMessageText(MSG_CANCELED).c_str(), error);
  EXPECT_EQ(std::vector<std::string>{"initializeUI"}, operations.calls);
}

}  // namespace
}  // namespace bvtest
