// The quoting of values in a finished command, checked against the real
// /bin/sh, and the word splitting of argument lines.
#include "launchscript/shell_quoting.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "tests/archive/archive_test_util.h"
#include "tests/hostile_names.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

std::string str(const SString& s) { return std::string(s.c_str(), s.length()); }
SString sstr(const std::string& s) { return SString(s.c_str(), s.length()); }

// template with every "^" replaced by the placeholder of value.
SString withValue(const std::string& text, const std::string& value) {
  SString placeholder = ShellValues::insert(sstr(value));
  SString out;
  for (char c : text) {
    if (c == '^') {
      out += placeholder;
    } else {
      out += c;
    }
  }
  return out;
}

TEST(ShellQuotingTest, EveryValueReachesTheShellAsItsBytesInEveryQuotingState) {
  TempDir dir;
  // Each template prints its arguments as [arg]; ^ stands for the value.
  struct Case {
    const char* text;
    const char* before;  // what the shell prints around the value
    const char* after;
  } cases[] = {
      {"printf '[%s]' ^", "[", "]"},
      {"printf '[%s]' x-^-y", "[x-", "-y]"},
      {"printf '[%s]' \"^\"", "[", "]"},
      {"printf '[%s]' \"a $HOME_NOT_SET b ^\"", "[a  b ", "]"},
      {"printf '[%s]' 'pre ^ post'", "[pre ", " post]"},
      {"printf '[%s]' x\\^", "[x", "]"},
      {"printf '[%s]' \"x\\^\"", "[x", "]"},
      {"printf '[%s]' $^", "[$", "]"},
      {"printf '[%s]' \"$^\"", "[$", "]"},
      {"printf '[%s]' \"$(printf '%s' \"^\")\"", "[", "]"},
      {"printf '[%s]' \"$(printf '(%s)' \"$(printf '%s' ^)\")\"", "[(", ")]"},
      {"printf '[%s]' ^ # and ^ in a comment\nprintf '<%s>' ^", "[", "]"},
  };
  for (const HostileName& name : hostileNames()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(name.label) + " in " + c.text);
      ShellValueScope values;
      std::string command = str(ShellValues::quote(withValue(c.text, name.name)));
      std::string out;
      EXPECT_EQ(0, runShell("cd " + shellQuote(dir.path()) + " && " + command, &out)) << command;
      std::string expected = c.before + name.name + c.after;
      if (std::string(c.text).find('\n') != std::string::npos) expected += "<" + name.name + ">";
      // Command substitution drops trailing line feeds only; none of the
      // names ends in one.
      EXPECT_EQ(expected, out) << command;
    }
    EXPECT_FALSE(pathExists(dir.file(kHostileMarker))) << name.label;
  }
}

TEST(ShellQuotingTest, EmptyValuesAddNothingAndTemplateTextStaysShellText) {
  ShellValueScope values;
  EXPECT_EQ("a  b \"\"", str(ShellValues::quote(withValue("a ^ b \"^\"", ""))));
  EXPECT_EQ("java -cp 'x y' | tee log > out 2>&1 $VAR",
            str(ShellValues::quote(withValue("java -cp ^ | tee log > out 2>&1 $VAR", "x y"))));
  // A stray NUL that forms no placeholder is dropped.
  EXPECT_EQ("ab", str(ShellValues::quote(SString("a\0b", 3))));
  EXPECT_EQ("a12345b", str(ShellValues::quote(SString("a\0""12345\0b", 9))));
  // flatten gives the raw bytes back.
  EXPECT_EQ("x 'q' \"y\"", str(ShellValues::flatten(withValue("x ^ \"y\"", "'q'"))));
}

TEST(ShellQuotingTest, ValuesWhereNoEscapingIsReliableAreAnError) {
  const char* texts[] = {
      "echo `echo ^`", "echo \"`echo ^`\"", "echo ${x:-^}", "echo $((^))", "echo $[^]",
      "echo $'^'",     "cat <<END\n^\nEND",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    ShellValueScope values;
    try {
      ShellValues::quote(withValue(text, "x"));
      ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
      EXPECT_EQ(0u, std::string(e.getMessage().c_str()).find("Launch script error: A value cannot "
                                                              "be inserted inside back quotes"))
          << e.getMessage().c_str();
    }
  }
  // After such a part has ended, values are fine again.
  ShellValueScope values;
  EXPECT_EQ("echo `date` ${x} $((1+2)) 'v'",
            str(ShellValues::quote(withValue("echo `date` ${x} $((1+2)) ^", "v"))));
}

TEST(ShellQuotingTest, PlaceholdersAreOpaqueAndFoundInsideText) {
  ShellValueScope values;
  SString text = withValue("a^b", "12");
  EXPECT_FALSE(ShellValues::isInsidePlaceholder(text, 0));
  EXPECT_FALSE(ShellValues::isInsidePlaceholder(text, 1));
  EXPECT_TRUE(ShellValues::isInsidePlaceholder(text, 2));
  EXPECT_TRUE(ShellValues::isInsidePlaceholder(text, text.length() - 2));
  EXPECT_FALSE(ShellValues::isInsidePlaceholder(text, text.length() - 1));
  // A value's NUL bytes cannot be carried and are dropped.
  EXPECT_EQ("'ab'", str(ShellValues::quote(ShellValues::insert(SString("a\0b", 3)))));
}

TEST(ShellQuotingTest, ArgumentLinesSplitLikeTheShellWithoutExpansion) {
  struct Case {
    const char* line;
    std::vector<std::string> words;
  } cases[] = {
      {"", {}},
      {"  \t ", {}},
      {"-Xmx128m  -verbose\t-Da=b", {"-Xmx128m", "-verbose", "-Da=b"}},
      {"'a b' \"c d\" e\\ f", {"a b", "c d", "e f"}},
      {"-Dx=1; id > f; echo", {"-Dx=1;", "id", ">", "f;", "echo"}},
      {"$(touch x) `id` $HOME * ?", {"$(touch", "x)", "`id`", "$HOME", "*", "?"}},
      {"\"$(touch x)\" '$HOME'", {"$(touch x)", "$HOME"}},
      {"\"a\\\"b\\\\c\\$d\\`e\\xf\"", {"a\"b\\c$d`e\\xf"}},
      {"'it'\\''s' x'y'\"z\"", {"it's", "xyz"}},
      {"'' \"\"", {"", ""}},
      {"a\\\\b\\", {"a\\b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    StringDeque words;
    ASSERT_TRUE(splitShellWords(c.line, words));
    std::vector<std::string> got;
    for (long i = 0; i < words.size(); ++i) got.push_back(str(words[i]));
    EXPECT_EQ(c.words, got);
  }
  for (const char* line : {"'open", "a \"open", "\"a\\\""}) {
    SCOPED_TRACE(line);
    StringDeque words;
    EXPECT_FALSE(splitShellWords(line, words));
    EXPECT_EQ(0, words.size());
  }
}

}  // namespace
}  // namespace bvtest
