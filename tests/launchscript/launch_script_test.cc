// The template language of the launch script: functions, @ and # macros,
// argument lists and every error message.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "foundation/launcher_exception.h"
#include "platform/platform_impl.h"
#include "tests/launchscript/launch_script_fixture.h"

namespace bvtest {
namespace {

std::string tempDir() { return PlatformImpl::getSystemTempDirectory().c_str(); }

TEST_F(LaunchScriptTest, ResolvesFunctionsAndMacros) {
  setEnv("BV_TEST_HOME", "/home/tester");
  unsetEnv("BV_TEST_NOT_SET");
  struct Case {
    const char* command;
    std::string expected;
  } cases[] = {
      {"%REPLACE%(\"a\", \"b\", \"banana\")", "bbnbnb"},
      // The search goes on after each inserted text.
      {"%REPLACE%(\"a\", \"aa\", \"aa\")", "aaaa"},
      // The search and replacement texts are resolved with the JVM file.
      {"%REPLACE%(\"@SYSTEM@\", \"<@SYSTEM_SEPARATOR@>\", \"x-Dy-D\")", "x<=>y<=>"},
      // An empty search text leaves the subject unchanged.
      {"%REPLACE%(\"\", \"x\", \"abc\")", "abc"},
      {"%REPLACE%(\"\", \"\", \"abc\")", "abc"},
      // Values found at run time go in as single-quoted words outside quotes
      // and escaped inside double quotes.
      {"%LAUNCHER_FILE%()", "'" + launcherPath() + "'"},
      {"%LAUNCHER_DIR% ()", "'" + std::string(m_run->paths.originalLauncherDir().c_str()) + "'"},
      {"%LAUNCHER_DIR%\t\r\n(  )",
       "'" + std::string(m_run->paths.originalLauncherDir().c_str()) + "'"},
      {"%TEMP_DIR%()", "'" + tempDir() + "'"},
      // A delimiter before a value and one after it enclose no name.
      {"a@%LAUNCHER_DIR%()@b",
       "a@'" + std::string(m_run->paths.originalLauncherDir().c_str()) + "'@b"},
      // The option holds a new %TEMP_DIR%() call, which the scan resolves.
      {"%SYSTEMPROP%(\"temp.dir\", \"\"\"%TEMP_DIR%()\"\"\")", "-Dtemp.dir=\"" + tempDir() + "\""},
      {"%SYSTEMPROP%(\"bv.jvm.home\", \"\"\"@JVM_HOME@\"\"\")", "-Dbv.jvm.home=\"/Library/Java/Home\""},
      {"%IF_EXISTS%(\"INIT_JAVA_HEAP\", \"@INIT_JAVA_HEAP@20m\")", "-Xms20m"},
      {"%IF_EXISTS%(\"NO_SUCH_TAG\", \"@INIT_JAVA_HEAP@20m\")", ""},
      {"%CP%(\"a\",\"b\" , \"c\")", "-cp a:b:c"},
      {"%CP%()", ""},
      // A list cut off after the closing quote of its last argument is
      // taken as closed.
      {"x %CP%(\"a\"", "x -cp a"},
      {"#BV_TEST_HOME#/x", "'/home/tester'/x"},
      {"[#BV_TEST_NOT_SET#]", "[]"},
      {"@JVM_HOME@/@JVM_EXE@ @NO_SUCH_TAG@.", "'/Library/Java/Home'/bin/java ."},
      {"\"@JVM_HOME@/@JVM_EXE@\"", "\"/Library/Java/Home/bin/java\""},
      // Doubled delimiters that open no macro stand for one.
      {"100%% a@@b c##d", "100% a@b c#d"},
      // A function may produce @ and # macros; the later passes resolve them.
      {"%REPLACE%(\"Q\", \"@\", \"QJVM_EXEQ #BV_TEST_HOME#\")", "bin/java '/home/tester'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(c.expected, resolve(c.command));
  }
}

TEST_F(LaunchScriptTest, EveryErrorOfTheLanguageIsLoggedAndThrown) {
  struct Case {
    const char* command;
    const char* message;
  } cases[] = {
      {"%Cp%()", "Invalid function name (Cp)."},
      {"a %NOPE%(\"x\"", "Invalid function name (NOPE)."},
      {"%LAUNCHER_DIR%(x)", "Expected string arg. (near character 15)"},
      {"%CP%(", "Expected string arg. (near character 5)"},
      {"%CP%(\"a\",", "Expected string arg. (near character 9)"},
      {"%CP%", "Expected left parenthesis. (near character 4)"},
      {"%CP% x", "Expected left parenthesis. (near character 4)"},
      {"%CP%(\"a\" \"b\")", "Expected right parenthesis. (near character 8)"},
      {"%CP%(\"a\"  ", "Expected right parenthesis. (near character 8)"},
      {"%REPLACE%(\"a\", \"b\")", "REPLACE function requires 3 arguments."},
      {"%REPLACE%(\"a\", \"b\", \"c\", \"d\")", "REPLACE function requires 3 arguments."},
      {"%RUNTIME_SYSTEMPROP%(\"a\")", "RUNTIME_SYSTEMPROP function takes no arguments."},
      {"%RUNTIME_JAVAARGS%(\"a\")", "RUNTIME_JAVAARGS function takes no arguments."},
      {"%SYSTEMPROP%(\"a\")", "SYSTEMPROP function requires 2 arguments."},
      {"%IF_EXISTS%(\"a\", \"b\", \"c\")", "IF_EXISTS function requires 2 arguments."},
      {"%LAUNCHER_FILE%(\"a\")", "LAUNCHER_FILE function takes 0 arguments."},
      {"%LAUNCHER_DIR%(\"a\")", "LAUNCHER_DIR function takes 0 arguments."},
      {"%APPLICATION_ARCHIVE%(\"a\", \"b\")", "APPLICATION_ARCHIVE function takes 0 arguments."},
      {"%TEMP_DIR%(\"x\")", "TEMP_DIR function takes 0 arguments."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(std::string("Launch script error: ") + c.message, resolveError(c.command));
    // The log shows the command as far as it was resolved.
    std::string tail = "\nLaunch command:\n" + std::string(c.command) + "\n";
    std::string written = log();
    EXPECT_EQ(tail, written.substr(written.size() - std::min(written.size(), tail.size())));
  }
}

TEST_F(LaunchScriptTest, ErrorLogShowsThePartlyResolvedCommand) {
  EXPECT_EQ("Launch script error: TEMP_DIR function takes 0 arguments.",
            resolveError("%LAUNCHER_FILE%() %TEMP_DIR%(\"x\")"));
  EXPECT_NE(std::string::npos,
            log().find("Launch command:\n" + launcherPath() + " %TEMP_DIR%(\"x\")\n"));
}

TEST_F(LaunchScriptTest, UnclosedArgumentStringFailsWithoutThePrefixOrLog) {
  EXPECT_EQ("Expected double quote to end argument near 6", resolveError("%CP%(\"abc"));
  EXPECT_EQ("Expected double quote to end argument near 11", resolveError("%CP%(\"a\", \")"));
  EXPECT_EQ(std::string::npos, log().find("Launch command:"));
}

TEST_F(LaunchScriptTest, SelfReproducingTagValuesEndInALaunchScriptError) {
  loadJVMFile(exampleJVMFile() + "LOOP: @LOOP@\nGROW: x@GROW@\n");
  for (const char* command : {"a @LOOP@ b", "a @GROW@ b"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(0u, resolveError(command).find("Launch script error: ")) << resolveError(command);
  }
}

TEST_F(LaunchScriptTest, ValuesFromOutsideAreNeverScannedAgain) {
  // Environment values and side file lines that name their own macro or
  // function stay that text.
  setEnv("BV_TEST_LOOP", "#BV_TEST_LOOP#");
  setEnv("BV_TEST_GROW", "x#BV_TEST_GROW# %CP%() @JVM_HOME@");
  writeFile(m_dir.file("setup.ja"), "-x %RUNTIME_JAVAARGS%()\n");
  EXPECT_EQ("a '#BV_TEST_LOOP#' b", resolve("a #BV_TEST_LOOP# b"));
  EXPECT_EQ("a \"x#BV_TEST_GROW# %CP%() @JVM_HOME@\" b", resolve("a \"#BV_TEST_GROW#\" b"));
  EXPECT_EQ("a '-x' '%RUNTIME_JAVAARGS%()' b", resolve("a %RUNTIME_JAVAARGS%() b"));
}

TEST_F(LaunchScriptTest, FunctionNeedsAJVMFileOutsideResolve) {
  LaunchScript script(SString("%SYSTEMPROP%(\"a\", \"b\")"), true, false, context());
  try {
    script.MacroHandler::resolve(SString("%SYSTEMPROP%(\"a\", \"b\")"), '%');
    FAIL() << "no exception";
  } catch (const LauncherException& e) {
    EXPECT_EQ(0u, e.getMessage().find("Launch script error: ")) << e.getMessage().c_str();
  }
}

TEST_F(LaunchScriptTest, TagFileConstructorReadsTheSettings) {
  std::unique_ptr<TagFile> tags = loadLaunchScript(
      "DESC: Brenvard Wizard\n"
      "DISPLAY_CONSOLE: 0\n"
      "AUTO_SET_WORKING_DIR: 1\n"
      "COMMAND: \"x %LAUNCHER_FILE%() \"\"q\"\"\"\n");
  LaunchScript script(*tags, true, context());
  EXPECT_STREQ("Brenvard Wizard", script.getDesc().c_str());
  EXPECT_EQ("x '" + launcherPath() + "' \"q\"", std::string(script.resolve(*m_jvmFile).c_str()));
  EXPECT_TRUE(script.getStdOut().empty());
  EXPECT_TRUE(script.getStdErr().empty());
}

}  // namespace
}  // namespace bvtest
