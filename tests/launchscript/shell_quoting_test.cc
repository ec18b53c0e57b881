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
      // The template's backslash does what it does before a plain byte.
      {"printf '[%s]' \"x\\^\"", "[x\\", "]"},
      {"printf '[%s]' \"$x^\"", "[", "]"},
      {"printf '[%s]' a#^ x#\\#", "[a#", "][x##]"},
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

// A "$" that a value would meet stays a plain "$" for bash as well, where
// "$" and a quoted value is $'...', whose backslashes are escapes: also when
// "$\" stands before the value (the backslash and its line break vanish).
TEST(ShellQuotingTest, ADollarBeforeAValueStaysPlainForBashToo) {
  if (runShell("command -v bash >/dev/null") != 0) GTEST_SKIP() << "no bash";
  const std::string value = "a\\tb";  // a, backslash, t, b
  for (const char* text : {"printf '[%s]' $^", "printf '[%s]' $\\^", "printf '[%s]' x$\\^"}) {
    SCOPED_TRACE(text);
    ShellValueScope values;
    std::string command = str(ShellValues::quote(withValue(text, value)));
    for (const char* shell : {"bash --posix", "bash", "sh"}) {
      SCOPED_TRACE(shell);
      std::string out;
      EXPECT_EQ(0, runShell(std::string(shell) + " -c " + shellQuote(command), &out)) << command;
      std::string before = std::string(text).find("x$") != std::string::npos ? "[x$" : "[$";
      EXPECT_EQ(before + value + "]", out) << command;
    }
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

// Where the shells part ways, or following them would take a full parser,
// no value may follow; bvpack's check refuses the same templates.
TEST(ShellQuotingTest, ValuesWhereNoEscapingIsReliableAreAnError) {
  const std::string differ = ", which shells read in different ways";
  const std::string alias = ", whose definitions change how the shell reads what follows";
  struct Case {
    const char* text;
    std::string where;  // after "A value cannot be inserted "
  } cases[] = {
      {"echo `echo ^`", "inside back quotes"},
      {"echo \"`echo ^`\"", "inside back quotes"},
      {"echo ${x:-^}", "inside ${...}"},
      {"echo $((^))", "inside $((...))"},
      {"echo $[^]", "after $[...]" + differ},
      {"echo $'^'", "after $'...'" + differ},
      {"cat <<END\n^\nEND", "after a here-document (<<)"},
      {"cat <\\\n<END\n^\nEND", "after a here-document (<<)"},
      // dash ends ${...} at the first }, bash after the quoted one.
      {"echo ${NOPE:-'}'} ^ \\'", "after ${...} with quotes, a backslash, $, back quotes, braces, "
                                   "parentheses or a line break inside"},
      // dash reads $'a\' and an open quote; bash a string and the word x.
      {"echo $'a\\'' ^", "after $'...'" + differ},
      {"echo $['] x ' ^", "after $[...]" + differ},
      {"echo $\"a\" ^", "after $\"...\"" + differ},
      {"echo \"$[1]\" ^", "after $[...]" + differ},
      {"echo `echo \"a\"` ^", "after back quotes with quotes, a backslash, $, #, parentheses, braces, < or "
                              "a line break inside"},
      {"echo $(( $x )) ^", "after $((...)) with more than names, numbers and operators inside"},
      {"echo $((1) ) ^", "after $((...)) with more than names, numbers and operators inside"},
      {"(( x )); echo ^", "after ((" + differ},
      {"cat <(echo) ^", "after <( or >(" + differ},
      {"echo $(case x in x) echo;; esac) ^", "after case inside $(...)"},
      // Both shells expand aliases in scripts: q opens a double quote in
      // which the single-quoted value would be read again, and the comment
      // closes it.
      {"alias q='echo \"'\nq ^ # \"", "after alias" + alias},
      {"command alias q=x; echo ^", "after alias" + alias},
      {"echo $(alias q=x) ^", "after alias" + alias},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ShellValueScope values;
    try {
      ShellValues::quote(withValue(c.text, "x"));
      ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
      EXPECT_EQ(0u, std::string(e.getMessage().c_str()).find("Launch script error: A value cannot be inserted " +
                                                             c.where + " (near character "))
          << e.getMessage().c_str();
    }
    // The check before packing refuses the template with the reason.
    std::string text = c.text;
    text.replace(text.find('^'), 1, str(ShellValues::insert(SString("v"))));
    unsigned long position = 0;
    try {
      ShellValues::check(sstr(text), &position);
      ADD_FAILURE() << "the check passed";
    } catch (const LauncherException& e) {
      EXPECT_EQ("Launch script error: A value cannot be inserted " + c.where + ".", e.getMessage().c_str());
    }
  }
  // What the alias case guards against, in the real /bin/sh: the value
  // quoted as the model would quote it runs.
  {
    TempDir dir;
    std::string value = "$(touch " + dir.file("ran") + ")";
    std::string command = "alias q='echo \"'\nq " + str(shellQuoteWord(sstr(value))) + " # \"";
    std::string out;
    // As the launcher runs a command: sh -c, its lines read one by one.
    runShell("/bin/sh -c " + shellQuote(command), &out);
    EXPECT_TRUE(pathExists(dir.file("ran"))) << command;
  }
  // A word that merely holds the letters is fine.
  {
    ShellValueScope values;
    EXPECT_EQ("echo aliases -Dalias=x 'v'", str(ShellValues::quote(withValue("echo aliases -Dalias=x ^", "v"))));
  }
  // After such a part has ended, values are fine again.
  ShellValueScope values;
  EXPECT_EQ("echo `date` ${x} ${#x} $((1+(2*3))) $(echo a)$# 'v'",
            str(ShellValues::quote(withValue("echo `date` ${x} ${#x} $((1+(2*3))) $(echo a)$# ^", "v"))));
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
