// bvpack's checks of instruction scripts and launch templates: each mistake
// is refused with the file and the place, and nothing is written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/test_util.h"

namespace {

TEST(PackCheckTest, MistakesInScriptsAreRefusedWithTheirPlace) {
  bvtest::TempDir dir;
  struct Case {
    const char* type;
    std::string text;
    std::string message;  // after "bvpack: <file>: "
  } cases[] = {
      // Instruction scripts: the line in the file and the statement number.
      {"instructions", "DESC: x\nINSTRUCTIONS:\n  INITIALIZE_UI\n\n  FOO 1\n/:\n",
       "line 5 (statement 2): Invalid command (FOO). "},
      {"instructions", "INSTRUCTIONS:\n  FIND_JVM 1\n/:\n",
       "line 2 (statement 1): The second argument to FIND_JVM should be a 1"},
      {"instructions", "INSTRUCTIONS:\n  FIND_JVM 2 1\n/:\n", "line 2 (statement 1):  Invalid boolean value (2)"},
      {"instructions", "INSTRUCTIONS:\n  FIND_JVM 1 1 1\n/:\n",
       "line 2 (statement 1): Too many arguments to FIND_JVM: 1 is one too many."},
      // The launcher ignores extra words; bvpack takes them for a mistake.
      {"instructions", "INSTRUCTIONS:\n  INITIALIZE_UI now\n/:\n",
       "line 2 (statement 1): Too many arguments to INITIALIZE_UI: now is one too many."},
      {"instructions", "INSTRUCTIONS:\r\n  FIND_JVM 1 1\r\n  JMP0 @N1@ ELSE\r\n  :ESLE\r\n/:\r\n",
       "line 3 (statement 2): Label not found (ELSE)"},
      {"instructions", "INSTRUCTIONS:\n  GOTO\n/:\n",
       "line 2 (statement 1): The GOTO command requires a label as its only argument."},
      {"instructions", "INSTRUCTIONS:\n  LAUNCH \"@S2@ 5\n/:\n",
       "line 2 (statement 1): Expected ending quote in \"@S2@ 5:  Invalid jvm file name specified in LAUNCH."},
      {"instructions", "INSTRUCTIONS:\n  LAUNCH @S2@\n/:\n",
       "line 2 (statement 1): The second argument to LAUNCH should be the number of seconds"},
      {"instructions", "INSTRUCTIONS:\n  INSTALL_JVM 3\n/:\n",
       "line 2 (statement 1): The first argument to INSTALL_JVM should be a 0, 1 or 2."},
      {"instructions", "INSTRUCTIONS:\n  SET N1 = abc\n/:\n",
       "line 2 (statement 1): Invalid value specified for SET command Invalid numeric expression in abc"},
      {"instructions", "INSTRUCTIONS:\n  SET N9 = 1\n/:\n",
       "line 2 (statement 1): Invalid variable specified on left hand side of SET statement. Variable number is "
       "invalid (9)"},
      {"instructions", "INSTRUCTIONS:\n  FIND_JVM @N1 1\n/:\n",
       "line 2 (statement 1):  Invalid variable specification."},
      {"instructions", "INSTRUCTIONS: VERIFY 1 1\n",
       "line 1 (statement 1): The third argument to VERIFY should be the file index number of the jvm file."},
      // Launch templates: the line and the character (column) in the file.
      {"launch-script", "DESC: x\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CPX%() Main\"\n",
       "line 2, character 36: Launch script error: Invalid function name (CPX)."},
      {"launch-script", "DESC: x\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%(x) Main\"\n",
       "line 2, character 36: Launch script error: Expected string arg. (near character 28)"},
      {"launch-script", "COMMAND: \"java %SYSTEMPROP%(\"\"a\"\") Main\"\n",
       "line 1, character 16: Launch script error: SYSTEMPROP function requires 2 arguments."},
      {"launch-script", "COMMAND: \"java %TEMP_DIR%(\"\"x\"\") Main\"\n",
       "line 1, character 16: Launch script error: TEMP_DIR function takes 0 arguments."},
      {"launch-script", "COMMAND: \"java %CP%(\"\"a\"\" \"\"b\"\") Main\"\n",
       "line 1, character 16: Launch script error: Expected right parenthesis."},
      {"launch-script", "COMMAND: \"java %CP%(\"\"a) Main\"\n",
       "line 1, character 16: Expected double quote to end argument near"},
      {"launch-script", "COMMAND:\n  \"\"\"@JVM_HOME@/bin/java -cp x Main\"\n/:\n",
       "line 2, character 4: Launch script error: This double quote is never closed in the shell command."},
      {"launch-script", "COMMAND: java -Dx='a b Main\n",
       "line 1, character 19: Launch script error: This single quote is never closed in the shell command."},
      // A quote brought in by a function's value counts at the call.
      {"launch-script", "COMMAND: \"java %SYSTEMPROP%(\"\"a\"\", \"\"\"\"\"\"b\"\") Main\"\n",
       "line 1, character 16: Launch script error: This double quote is never closed in the shell command."},
      // Values may not stand where the model cannot follow the shell; the
      // arguments handed on stand at the end.
      {"launch-script", "COMMAND: java ${NOPE:-'}'} @JVM_HOME@ \\'\n",
       "line 1, character 15: Launch script error: A value cannot be inserted after ${...} with quotes, a "
       "backslash, $, back quotes, braces, parentheses or a line break inside."},
      {"launch-script", "COMMAND: java -Dh=\"${H:-%TEMP_DIR%()}\" Main\n",
       "line 1, character 20: Launch script error: A value cannot be inserted inside ${...}."},
      {"launch-script", "COMMAND: java $'a\\'' Main\n",
       "line 1, character 15: Launch script error: The arguments handed on to the application cannot be "
       "inserted after $'...', which shells read in different ways."},
      {"launch-script", "COMMAND: \"java $(echo a\"\n",
       "line 1, character 16: Launch script error: This $( is never closed in the shell command."},
      // Calls inside arguments are checked too.
      {"launch-script", "COMMAND: \"java %SYSTEMPROP%(\"\"t\"\", \"\"%TMP_DIR%()\"\") Main\"\n",
       "line 1, character 16: Launch script error: Invalid function name (TMP_DIR)."},

      // A download page the launcher would never print or open.
      {"jvm", "DESC: Java 17 or later\nJVM_EXE: bin/java\n\nDOWNLOAD_URL: javascript:alert(1)\n",
       "line 4: DOWNLOAD_URL \"javascript:alert(1)\" is not an http or https address"},
      {"jvm", "DOWNLOAD_URL: \"https://example.org/a b\"\n",
       "line 1: DOWNLOAD_URL \"https://example.org/a b\" is not an http or https address"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string file = dir.file("script.tag");
    bvtest::writeFile(file, c.text);
    std::string out;
    EXPECT_EQ(1, bvtest::runBvpack({"-o", dir.file("l"), std::string(c.type) + ":" + file}, &out));
    EXPECT_EQ(0u, out.find("bvpack: " + file + ": " + c.message)) << out;
    EXPECT_FALSE(bvtest::pathExists(dir.file("l")));
  }
}

TEST(PackCheckTest, ScriptsThatTheLauncherRunsPass) {
  bvtest::TempDir dir;
  const char* scripts[][2] = {
      {"instructions",
       "INSTRUCTIONS:\n  // a comment\n  SET N2 = 2\n  SET S1 = \"a \"\"b\"\"\"\n  FIND_JVM @N1@ 1\n"
       "  JMP0 @N1@ L@N2@\n  LAUNCH \"@S2@\" 5\n  ILAUNCH 1 0\n  VERIFY 0 0 @N3@\n  INSTALL_JVM 1\n"
       "  EXECUTE_LAUNCHER 4\n  GOTO END\n  :L2\n  :END\n/:\n"},
      {"launch-script", "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP% ( \"\"a.jar\"\" , \"\"b.jar\"\" ) "
                        "%SYSTEMPROP%(\"\"p\"\", \"\"\"\"\"\"%TEMP_DIR%()\"\"\"\"\"\") "
                        "%IF_EXISTS%(\"\"MAX_JAVA_HEAP\"\", \"\"@MAX_JAVA_HEAP@1g\"\") 'it''s' \\\" 100%% Main\"\n"},
      // A backslash quotes a quote outside quotes and inside "...".
      // (A value that begins with a double quote is a quoted string.)
      {"launch-script", "COMMAND: java -Da=\\\"x Main\n"},
      {"launch-script", "COMMAND: java \"a\\\"b\" Main\n"},
      {"launch-script", "COMMAND: java 'it'\\''s' Main\n"},
      // Comments, parameters and substitutions that the model follows.
      {"launch-script", "COMMAND: @JVM_HOME@/bin/java ${X:-x} $((1+2)) `date` $(echo \"a)\")$# a#b "
                        "#TEMP# Main # it's \"\n"},
  };
  for (const auto& script : scripts) {
    SCOPED_TRACE(script[1]);
    bvtest::writeFile(dir.file("s.tag"), script[1]);
    std::string out;
    EXPECT_EQ(0, bvtest::runBvpack({"-o", dir.file("l"), std::string(script[0]) + ":" + dir.file("s.tag")}, &out))
        << out;
  }
  // The example payload and the worked example pass.
  for (const char* file : {"examples/setup/instructions.tag", "tests/fixtures/worked_example/instructions.tag"}) {
    std::string out;
    EXPECT_EQ(0, bvtest::runBvpack({"-o", dir.file("l"), "instructions:" + bvtest::sourcePath(file)}, &out))
        << out;
  }
  for (const char* file : {"examples/setup/launch.tag", "tests/fixtures/worked_example/launch.tag"}) {
    std::string out;
    EXPECT_EQ(0, bvtest::runBvpack({"-o", dir.file("l"), "launch-script:" + bvtest::sourcePath(file)}, &out))
        << out;
  }
}

}  // namespace

namespace {

// Every tag file shown in the authors' guide (an indented block whose first
// line is a tag) packs: bvpack parses and checks it as the launcher would.
TEST(PackCheckTest, TheGuidesTagFileExamplesPack) {
  bvtest::TempDir dir;
  std::string guide = bvtest::readFile(bvtest::sourcePath("docs/guide.md"));
  ASSERT_FALSE(guide.empty());
  std::vector<std::string> blocks;
  std::string block;
  size_t pos = 0;
  while (pos < guide.size()) {
    size_t end = guide.find('\n', pos);
    if (end == std::string::npos) end = guide.size();
    std::string line = guide.substr(pos, end - pos);
    pos = end + 1;
    if (line.compare(0, 4, "    ") == 0) {
      block += line.substr(4) + "\n";
    } else if (!line.empty() || block.empty()) {
      if (!block.empty()) blocks.push_back(block);
      block.clear();
    }
  }
  // A tag line: an upper-case name and a colon. Shell sessions ("$ ...")
  // and input files (ACTION) are not payload files.
  auto startsWithTag = [](const std::string& text) {
    size_t colon = text.find(':');
    if (colon == 0 || colon == std::string::npos || colon > text.find('\n')) return false;
    for (size_t i = 0; i < colon; ++i) {
      if (!(text[i] >= 'A' && text[i] <= 'Z') && text[i] != '_') return false;
    }
    return true;
  };
  int checked = 0;
  for (const std::string& text : blocks) {
    if (!startsWithTag(text) || text.compare(0, 7, "ACTION:") == 0) continue;
    const char* type = text.find("INSTRUCTIONS:") == 0 || text.find("\nINSTRUCTIONS:") != std::string::npos
                           ? "instructions"
                           : text.find("COMMAND:") != std::string::npos ? "launch-script"
                           : text.find("JVM_EXE:") != std::string::npos ? "jvm"
                                                                         : nullptr;
    if (type == nullptr || text.find("bvpack") != std::string::npos) continue;
    SCOPED_TRACE(text);
    bvtest::writeFile(dir.file("example.tag"), text);
    std::string out;
    EXPECT_EQ(0, bvtest::runBvpack({"-o", dir.file("l"), std::string(type) + ":" + dir.file("example.tag")}, &out))
        << out;
    ++checked;
  }
  EXPECT_GE(checked, 5);
}

}  // namespace
