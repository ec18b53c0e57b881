#include "instructions/instructions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "instructions/variable_ref.h"
#include "tests/instructions/script_runner.h"

namespace bvtest {
namespace {

// Each case runs "SET ..." statements as a script, after the given setup
// statements, and checks the variable or the error.
TEST_F(ScriptTest, SETStatements) {
  struct Case {
    std::vector<std::string> script;
    std::string variable;  // "S1", "N2", ...
    std::string value;     // its value, or the outcome when the script fails
  } cases[] = {
      {{"SET N1 = 5", "SET N2 = @N1@"}, "N2", "5"},
      {{"SET s4 = x"}, "S4", "x"},
      {{"SET n3=-7"}, "N3", "-7"},
      {{"SET N1 = 12abc"}, "N1", "12"},
      {{"SET S1 = \"a b\""}, "S1", "a b"},
      {{"SET S1 = a b"}, "S1", "a"},
      {{"SET S1 = \"\"\"\"\"hi\"\"\"\"\""}, "S1", "\"\"hi\"\""},
      {{"SET S1 = \"\"\"hi\"\"\""}, "S1", "\"hi\""},
      {{"SET S1 = x", "SET S1 ="}, "S1", ""},
      {{"SET S1 = a@@b"}, "S1", "a@b"},
      {{"SET S10 = x = y"}, "S10", "x"},
      {{"SET S1 = x@@N1@@"}, "S1", "x@N1@"},
      {{"SET N1 = 3", "SET S1 = x@@N1@@", "SET S2 = @S1@"}, "S2", "x3"},
      {{"SET S2 = \"@S1@\"", "SET S1 = v", "SET S3 = @S2@"}, "S3", ""},
      {{"SET S1 = \"\""}, "S1", "line 1: Invalid expression specified for SET command Empty expression."},
      {{"SET N1 = abc"}, "N1",
       "line 1: Invalid value specified for SET command Invalid numeric expression in abc"},
      {{"SET N1 ="}, "N1", "line 1: Invalid value specified for SET command Invalid numeric expression in "},
      {{"SET N6 = 1"}, "N1",
       "line 1: Invalid variable specified on left hand side of SET statement. Variable number is invalid (6)"},
      {{"SET S0 = 1"}, "N1",
       "line 1: Invalid variable specified on left hand side of SET statement. Variable number is invalid (0)"},
      {{"SET Sx = 1"}, "N1",
       "line 1: Invalid variable specified on left hand side of SET statement. Variable number is invalid (x)"},
      {{"SET X1 = 1"}, "N1",
       "line 1: Invalid variable specified on left hand side of SET statement. Invalid variable reference (X1). Must "
       "use N or S as the variable type, e.g. N2 or S1."},
      {{"SET N = 1"}, "N1",
       "line 1: Invalid variable specified on left hand side of SET statement. Variable references must be at "
       "least 2 characters (e.g. N1 and S10)."},
      {{"SET = 1"}, "N1",
       "line 1: Invalid variable specified on left hand side of SET statement. Variable references must be at "
       "least 2 characters (e.g. N1 and S10)."},
      {{"SET S1 = a@N1"}, "S1", "line 1: Invalid expression specified for SET command Invalid variable specification."},
      {{"SET N1 = 1", "SET S1 = @N7@"}, "S1",
       "line 2: Invalid expression specified for SET command Variable number is invalid (7)"},
      {{"SET S1 = \"abc"}, "S1", "line 1: Expected double quote to end argument near 1"},
      {{"SET S1 = x", "SET S1 = \"ab\"\""}, "S1", "line 2: Expected double quote to end argument near -1"},
      // A value that refers to itself ends in an error instead of growing.
      {{"SET S1 = x@@S1@@", "SET S2 = @S1@"}, "S2",
       "line 2: Invalid expression specified for SET command Variable references expand without end; a variable "
       "may refer to itself."},
      // A variable may hold a reference, which is expanded where it is used.
      {{"SET N1 = 4", "SET S1 = @@N1@@", "SET S2 = <@S1@>"}, "S2", "<4>"},
      {{"SET N1 = 4", "SET S2 = mail@@host-@N1@"}, "S2", "mail@host-4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script.back());
    resetVariables();
    std::string result = run(c.script);
    if (result != "result 0") {
      EXPECT_EQ(c.value, result);
      continue;
    }
    long number = std::stol(c.variable.substr(1));
    EXPECT_EQ(c.value, c.variable[0] == 'N' ? std::to_string(N(number)) : S(number));
  }
}

class ExpressionTest : public ScriptTest {
 protected:
  // An empty script: errors raised by the evaluators carry line number 1.
  const Instructions& instructions() { return load({}); }

  template <class F>
  std::string error(F f) {
    try {
      f();
      return "no error";
    } catch (const InstructionsException& e) {
      return "line " + std::to_string(e.getLineNumber()) + ": " + e.getMessage().c_str();
    } catch (const LauncherException& e) {
      return std::string("launcher: ") + e.getMessage().c_str();
    }
  }
};

TEST_F(ExpressionTest, EvalExprReplacesReferencesAlsoInsideValues) {
  ops.vars.setLongVariable(1, 3);
  ops.vars.setStringVariable(1, "x@N1@");
  ops.vars.setStringVariable(2, "@S1@-@s1@");
  ops.vars.setStringVariable(3, "@N1@");
  struct Case {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"@S1@", "x3"},
      {"[@S2@]", "[x3-x3]"},
      {"plain text", "plain text"},
      {"a@@b", "a@b"},
      {"@@@@", "@@"},
      {"n@N1@", "n3"},
      {"@N5@", "0"},
      // A literal '@' next to a reference, and values that begin with one.
      {"@@@N1@", "@3"},
      {"a@@b@N1@@@", "a@b3@"},
      {"@S3@", "3"},
      {"@S3@@S3@", "33"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SString text(c.text);
    instructions().evalExpr(text, "P.");
    EXPECT_STREQ(c.expanded, text.c_str());
  }
}

// A path that FIND_JVM, VERIFY or INSTALL_JVM stored is inserted once: an
// "@" in it is never read as a reference. SET makes the variable text again.
TEST_F(ExpressionTest, FoundPathsAreInsertedOnceAndSetValuesAreReadAgain) {
  ops.vars.setLongVariable(1, 3);
  ops.vars.setFoundStringVariable(1, "/tmp/me@example.com/bvj1");
  ops.vars.setFoundStringVariable(2, "/tmp/@N1@/@S1@@");
  ops.vars.setStringVariable(3, "x@N1@");
  ops.vars.setFoundStringVariable(4, "@");
  struct Case {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"@S1@", "/tmp/me@example.com/bvj1"},
      {"@S2@", "/tmp/@N1@/@S1@@"},
      {"@S2@@N1@", "/tmp/@N1@/@S1@@3"},
      {"[@S4@@S3@]", "[@x3]"},
      {"@S3@", "x3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SString text(c.text);
    instructions().evalExpr(text, "P.");
    EXPECT_STREQ(c.expanded, text.c_str());
  }
  ops.vars.setStringVariable(1, "me@N1@");
  EXPECT_FALSE(ops.vars.isFoundStringVariable(1));
  SString text("@S1@");
  instructions().evalExpr(text, "P.");
  EXPECT_STREQ("me3", text.c_str());
}

TEST_F(ExpressionTest, EvaluatorErrorsBeginWithThePrefix) {
  const Instructions& in = instructions();
  ops.vars.setLongVariable(1, 1);
  struct Case {
    std::function<void()> f;
    const char* what;
    std::string outcome;
  } cases[] = {
      {[&] { SString t; in.evalExpr(t, "P."); }, "empty", "line 1: P. Empty expression."},
      {[&] { SString t("a@N1"); in.evalExpr(t, "P."); }, "a@N1", "line 1: P. Invalid variable specification."},
      {[&] { SString t("@N1@@"); in.evalExpr(t, "P."); }, "@N1@@", "line 1: P. Invalid variable specification."},
      {[&] { SString t("@Z1@"); in.evalExpr(t, "P."); }, "@Z1@",
       "launcher: P. Invalid variable reference (Z1). Must use N or S as the variable type, e.g. N2 or S1."},
      {[&] { in.evalLongExpr("abc", "P."); }, "long abc", "line 1: P.Invalid numeric expression (abc)"},
      {[&] { in.evalLongExpr("@S1@", "P."); }, "long @S1@", "line 1: P.Invalid numeric expression ()"},
      {[&] { in.evalShortExpr("x@N1@", "P."); }, "short x@N1@", "line 1: P. Invalid numeric expression (x1)"},
      {[&] { in.evalBoolExpr("2", "P."); }, "bool 2", "line 1: P. Invalid boolean value (2)"},
      {[&] { in.evalBoolExpr("-@N1@", "P."); }, "bool -@N1@", "line 1: P. Invalid boolean value (-@N1@)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.outcome, error(c.f));
  }
}

TEST_F(ExpressionTest, SelfReferenceEndsInAnErrorInsteadOfGrowing) {
  const std::string bigValue = std::string(4096, 'x') + "@S1@";
  const char* const values[] = {"x@S1@", "@S1@", "@S2@", bigValue.c_str()};
  ops.vars.setStringVariable(2, "@S1@y");
  for (const char* value : values) {
    SCOPED_TRACE(std::string(value).substr(0, 10));
    ops.vars.setStringVariable(1, value);
    EXPECT_EQ("line 1: P. Variable references expand without end; a variable may refer to itself.",
              error([&] {
                SString text("<@S1@>");
                instructions().evalExpr(text, "P.");
              }));
  }
}

TEST_F(ExpressionTest, NumbersAndBooleansReadTheStartOfTheExpandedText) {
  const Instructions& in = instructions();
  ops.vars.setLongVariable(1, 1);
  ops.vars.setLongVariable(2, -40000);
  EXPECT_EQ(12, in.evalLongExpr("12abc", ""));
  EXPECT_EQ(-7, in.evalLongExpr("  -7", ""));
  EXPECT_EQ(13, in.evalLongExpr("@N1@3", ""));
  EXPECT_EQ(-40000, in.evalLongExpr("@N2@", ""));
  EXPECT_EQ(5, in.evalShortExpr("5s", ""));
  EXPECT_TRUE(in.evalBoolExpr("@N1@", ""));
  EXPECT_FALSE(in.evalBoolExpr("0", ""));
}

TEST_F(ExpressionTest, StringArgumentInPlace) {
  ops.vars.setStringVariable(3, "v");
  struct Case {
    const char* text;
    const char* value;
  } cases[] = {
      {"", ""},
      {"word rest", "word"},
      {"\"a b\" rest", "a b"},
      {"\"say \"\"@S3@\"\"\"", "say \"v\""},
      {"@S3@x", "vx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SString text(c.text);
    instructions().evalStringExpr(text, "P.");
    EXPECT_STREQ(c.value, text.c_str());
  }
}

TEST_F(ExpressionTest, StringArgumentReadFromAStatementAdvancesThePosition) {
  struct Case {
    const char* statement;
    unsigned long start;
    const char* value;
    unsigned long end;
  } cases[] = {
      // A quoted path with a blank: the position stops at the blank before 5.
      {"LAUNCH \"/a b/x.jvm\" 5", 6, "/a b/x.jvm", 19},
      // A word ends after the blank that ended it.
      {"LAUNCH x.jvm 5", 6, "x.jvm", 13},
      // An argument that runs to the end keeps its last character.
      {"LAUNCH x.jvm", 6, "x.jvm", 12},
      {"LAUNCH \"x y\"", 6, "x y", 12},
      {"LAUNCH \"a\"\"b\"\"\"", 6, "a\"b\"", 15},
      // Leading white space is skipped; a tab ends a word.
      {"LAUNCH \t  x\t5", 6, "x", 12},
      {"LAUNCH", 7, "", 7},
      {"LAUNCH   ", 6, "", 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    unsigned long position = c.start;
    SString result("old");
    instructions().evalStringExpr(SString(c.statement), position, result, "P.");
    EXPECT_STREQ(c.value, result.c_str());
    EXPECT_EQ(c.end, position);
  }
}

TEST_F(ExpressionTest, UnclosedQuoteInAStatementNamesTheArgumentAndThePrefix) {
  const Instructions& in = instructions();
  EXPECT_EQ("launcher: Expected ending quote in \"a b:  P.", error([&] {
              unsigned long position = 0;
              SString result;
              in.evalStringExpr(SString("  \"a b"), position, result, "P.");
            }));
}

TEST(VariableRefTest, ReadsAndWritesTheLauncherVariables) {
  ScriptVariables vars;
  VariableRef n;
  n.init("n5", "P.");
  EXPECT_TRUE(n.isNumericVariable());
  EXPECT_FALSE(n.isStringVariable());
  n.setValue(vars, " -12x", "P.");
  EXPECT_EQ(-12, vars.getLongVariable(5));
  EXPECT_STREQ("-12", n.getStringValue(vars).c_str());

  VariableRef s;
  s.init("S10", "P.");
  EXPECT_TRUE(s.isStringVariable());
  s.setValue(vars, " keeps blanks ", "P.");
  EXPECT_STREQ(" keeps blanks ", vars.getStringVariable(10).c_str());
  EXPECT_STREQ(" keeps blanks ", s.getStringValue(vars).c_str());

  try {
    n.setValue(vars, "x", "P.");
    ADD_FAILURE() << "no exception";
  } catch (const LauncherException& e) {
    EXPECT_STREQ("P. Invalid numeric expression in x", e.getMessage().c_str());
  }
  EXPECT_EQ(-12, vars.getLongVariable(5));
}

}  // namespace
}  // namespace bvtest
