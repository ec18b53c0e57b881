#include "instructions/script_variables.h"

#include <gtest/gtest.h>

#include <functional>

#include "foundation/launcher_exception.h"

namespace {

TEST(ScriptVariablesTest, AccessorsRejectInvalidNumbers) {
  ScriptVariables vars;
  vars.setStringVariable(10, "ten");
  vars.setLongVariable(5, 5);
  EXPECT_EQ(0, vars.getStringVariable(10).compare("ten"));
  EXPECT_EQ(5, vars.getLongVariable(5));
  struct Case {
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {[&] { vars.getStringVariable(0); }, "Invalid string variable number: 0"},
      {[&] { vars.setStringVariable(11, "x"); }, "Invalid string variable number: 11"},
      {[&] { vars.getLongVariable(6); }, "Invalid numeric variable number: 6"},
      {[&] { vars.setLongVariable(-1, 1); }, "Invalid numeric variable number: -1"},
  };
  for (const Case& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "no exception for " << c.message;
    } catch (const LauncherException& e) {
      EXPECT_STREQ(c.message, e.getMessage().c_str());
    }
  }
}

TEST(ScriptVariablesTest, OnlyAFoundValueIsMarkedAndPlainTextClearsTheMark) {
  ScriptVariables vars;
  vars.setFoundStringVariable(2, "/opt/jdk");
  EXPECT_TRUE(vars.isFoundStringVariable(2));
  EXPECT_FALSE(vars.isFoundStringVariable(1));
  EXPECT_FALSE(vars.isFoundStringVariable(11));
  vars.setStringVariable(2, "@N1@");
  EXPECT_FALSE(vars.isFoundStringVariable(2));
  EXPECT_STREQ("@N1@", vars.getStringVariable(2).c_str());
}

}  // namespace
