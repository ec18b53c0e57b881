// The quoting of values against the shells themselves: thousands of
// generated templates (quotes, backslashes, ${...} with nested quotes,
// $'...', $[...], $(...), back quotes, comments, line breaks) with hostile
// values, each run by dash and by bash in its POSIX mode. The argument
// vectors must be what the shell gives when each value is a plain marker in
// its place, with the value's bytes instead of the marker; where the
// launcher refuses a value, bvpack's check refuses the template too.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "launchscript/shell_quoting.h"
#include "tests/archive/archive_test_util.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

std::string str(const SString& s) { return std::string(s.c_str(), s.length()); }
SString sstr(const std::string& s) { return SString(s.c_str(), s.length()); }

// A value position in a generated template.
const char kValue = '^';
// Each command prints its arguments as <arg>.
const char kPrint[] = "printf '<%s>' ";

class TemplateGenerator {
 public:
  explicit TemplateGenerator(uint32_t seed) : m_rng(seed) {}

  std::string generate() {
    std::string text = kPrint;
    int pieces = 1 + pick(8);
    for (int i = 0; i < pieces; ++i) text += piece(0);
    return text;
  }

 private:
  int pick(int n) { return static_cast<int>(m_rng() % static_cast<uint32_t>(n)); }
  template <size_t N>
  const char* oneOf(const char* const (&options)[N]) {
    return options[pick(static_cast<int>(N))];
  }

  std::string pieces(int depth, int most) {
    std::string text;
    int n = pick(most + 1);
    for (int i = 0; i < n; ++i) text += piece(depth);
    return text;
  }

  std::string piece(int depth) {
    static const char* const kWords[] = {"a", "b1", "x=y", "-Dk=v", "a#b", "%", "@", "{a}", "~", "/p/q", "!"};
    static const char* const kSingle[] = {"", " ", "a b", "\"", "\\", "$x", "`x`", "#", "\\n", "$(x"};
    static const char* const kDouble[] = {"a b", "'", "\\\"", "\\\\", "\\$", "$x", "${x}", "${x:-a b}", "#",
                                          "\\", "$", "`printf x`", "$(printf '<%s>' \"(\")", "$1", "'$x'"};
    static const char* const kEscapes[] = {"\\", "\\\\", "\\'", "\\\"", "\\\n", "\\#", "\\$", "\\ "};
    static const char* const kDollars[] = {"$", "$x", "$#", "$1", "$?", "$-", "$\\\n", "$@", "$*"};
    static const char* const kBraced[] = {"${NOPE:-'}'}", "${x:-\"}\"}", "${#x}", "${x:-a b}",
                                          "\"${x:-'}'}\"", "${x}", "${x:-\\}}", "${x-`printf q`}"};
    static const char* const kOtherShells[] = {"$'a\\''", "$'x'", "$[1+2]", "$['] x ']", "$\"x\"",
                                               "\"$[1]\""};
    static const char* const kFixed[] = {"$( (printf x) )", "`printf x`", "`printf '\\`'`", "$((1+2))",
                                         "$(( (1) ))", "$((x))", "$(printf '%s' ')')", "$(printf x #)\n)"};
    static const char* const kRare[] = {"'", "\"", "((", "<(printf x)", "$(case a in a) printf c;; esac)",
                                        "<<E\n^\nE\n"};
    switch (pick(20)) {
      case 0:
      case 1:
        return " ";
      case 2:
      case 3:
        return oneOf(kWords);
      case 4:
      case 5:
      case 6:
        return std::string(1, kValue);
      case 7: {
        std::string inner = oneOf(kSingle);
        if (pick(2) == 0) inner += kValue;
        return "'" + inner + oneOf(kSingle) + "'";
      }
      case 8: {
        std::string inner = oneOf(kDouble);
        if (pick(2) == 0) inner += kValue;
        return "\"" + inner + oneOf(kDouble) + "\"";
      }
      case 9:
        return oneOf(kEscapes);
      case 10:
        return oneOf(kDollars);
      case 11:
        return oneOf(kBraced);
      case 12:
        return oneOf(kOtherShells);
      case 13:
        if (depth < 2) {
          std::string inner = std::string("$(") + kPrint + pieces(depth + 1, 4) + ")";
          return pick(2) == 0 ? inner : "\"" + inner + "\"";
        }
        return oneOf(kFixed);
      case 14:
        return oneOf(kFixed);
      case 15:
        return " #c" + pieces(depth + 1, 2) + "\n" + kPrint;
      case 16:
        return "#'";
      case 17:
        return std::string(pick(2) == 0 ? "; " : "\n") + kPrint;
      case 18:
        return "\t";
      default:
        return oneOf(kRare);
    }
  }

  std::mt19937 m_rng;
};

// Hostile values: never empty (an empty value adds nothing, which a marker
// cannot stand for), never ending in a line break (a command substitution
// would drop it).
const char* const kHostileValues[] = {
    "a\"; id; echo \"b", "it's",  "\"",    "\\",  "a\\", "$(id)", "`id`", "${x}", ";", "a\nb",
    "\nid",              "'",     "\\'",   "$",   "#",   "a b",   "*",    "\\\nx", "'\"'\"", "x'",
    "$'a'",              "}",     ")",     "-",   "~",   "a\tb",  "$[1]", "\\\\\\"};

struct Case {
  std::string text;                 // with kValue at each value
  std::vector<std::string> values;  // one per kValue
};

// A marker is a word that no shell reads in any way where a value may
// stand: "$." is a plain "$" (a marker after "$" stays apart from it),
// "~.V0." names no user, and unlike "%" or ":" a "." neither names a job
// as a command for bash nor ends a tilde prefix.
std::string marker(size_t i) { return ".V" + std::to_string(i) + "."; }

// The shell text of a case: each value as a plain marker (reference) or as
// the launcher writes it; false when the launcher refuses it.
bool render(const Case& c, bool reference, std::string* out) {
  ShellValueScope scope;
  std::string text;
  size_t next = 0;
  for (char ch : c.text) {
    if (ch != kValue) {
      text += ch;
    } else if (reference) {
      text += marker(next++);
    } else {
      text += str(ShellValues::insert(sstr(c.values[next++])));
    }
  }
  if (reference) {
    *out = text;
    return true;
  }
  try {
    *out = str(ShellValues::quote(sstr(text)));
  } catch (const LauncherException&) {
    return false;
  }
  return true;
}

// Whether the check before packing lets the template through (every value
// position a value, no arguments appended).
bool checkPasses(const Case& c, unsigned long* position) {
  ShellValueScope scope;
  std::string text;
  for (char ch : c.text) text += ch == kValue ? str(ShellValues::insert(SString("v"))) : std::string(1, ch);
  try {
    ShellValues::check(sstr(text), position);
  } catch (const LauncherException& e) {
    return std::string(e.getMessage().c_str()).find("cannot be inserted") == std::string::npos;
  }
  return true;
}

struct ShellRun {
  std::string out;
  int status;
};

// Runs every text in one shell process, each in a subshell of its own with
// IFS empty (a value that a substitution brings in is not split, as a
// marker would not be), and returns the output and status of each.
std::vector<ShellRun> runAll(const std::string& shell, const std::vector<std::string>& texts,
                        const std::string& dir) {
  TempDir scriptDir;
  std::string script;
  for (const std::string& text : texts) {
    script += "(IFS=''; eval " + shellQuote(text) + ") </dev/null 2>/dev/null; printf '\\001%d\\002' $?\n";
  }
  writeFile(scriptDir.file("script"), script);
  std::string out;
  runShell("cd " + shellQuote(dir) + " && " + shell + " " + shellQuote(scriptDir.file("script")) + " 2>/dev/null",
           &out);
  std::vector<ShellRun> runs;
  size_t start = 0;
  for (;;) {
    size_t mark = out.find('\001', start);
    if (mark == std::string::npos) break;
    size_t end = out.find('\002', mark);
    runs.push_back({out.substr(start, mark - start), std::stoi(out.substr(mark + 1, end - mark - 1))});
    start = end + 1;
  }
  return runs;
}

std::string replaceMarkers(std::string text, const Case& c) {
  for (size_t i = 0; i < c.values.size(); ++i) {
    std::string m = marker(i);
    for (size_t pos = text.find(m); pos != std::string::npos; pos = text.find(m, pos + c.values[i].size())) {
      text.replace(pos, m.size(), c.values[i]);
    }
  }
  return text;
}

TEST(ShellDifferentialTest, GeneratedTemplatesGiveEachValueExactlyInDashAndBash) {
  const size_t kCases = 2500;
  TemplateGenerator generator(20240611);
  std::mt19937 pickValue(7);
  std::vector<Case> cases;
  for (size_t i = 0; i < kCases; ++i) {
    Case c;
    c.text = generator.generate();
    // Half the cases get the launcher's arguments after the template.
    if (i % 2 == 0) c.text += " \"^\"";
    for (char ch : c.text) {
      if (ch == kValue) c.values.push_back(kHostileValues[pickValue() % (sizeof kHostileValues / sizeof *kHostileValues)]);
    }
    cases.push_back(c);
  }

  std::vector<std::string> references, quoted;
  std::vector<size_t> compared;
  size_t refused = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    std::string reference, command;
    render(cases[i], true, &reference);
    bool accepted = render(cases[i], false, &command);
    unsigned long position = 0;
    bool checked = checkPasses(cases[i], &position);
    // One model: the check refuses what the launcher refuses.
    if (!accepted) {
      EXPECT_FALSE(checked) << cases[i].text;
      ++refused;
      continue;
    }
    references.push_back(reference);
    quoted.push_back(command);
    compared.push_back(i);
  }
  // The generator reaches both sides.
  EXPECT_GT(refused, kCases / 20);
  EXPECT_GT(compared.size(), kCases / 2);

  TempDir dir;
  for (const std::string shell : {"/bin/dash", "/bin/bash --posix"}) {
    SCOPED_TRACE(shell);
    // One shell process runs both forms of every case, so that $$ is the
    // same for both.
    std::vector<std::string> texts;
    for (size_t k = 0; k < compared.size(); ++k) {
      texts.push_back(references[k]);
      texts.push_back(quoted[k]);
    }
    std::vector<ShellRun> runs = runAll(shell, texts, dir.path());
    ASSERT_EQ(texts.size(), runs.size());
    int failures = 0;
    for (size_t k = 0; k < compared.size() && failures < 10; ++k) {
      const Case& c = cases[compared[k]];
      const ShellRun& expected = runs[2 * k];
      const ShellRun& got = runs[2 * k + 1];
      std::string want = replaceMarkers(expected.out, c);
      if (want == got.out && expected.status == got.status) continue;
      ++failures;
      std::string values;
      for (const std::string& v : c.values) values += "[" + v + "] ";
      ADD_FAILURE() << "template: " << c.text << "\nvalues: " << values << "\ncommand: " << quoted[k]
                    << "\nexpected: " << want << " (" << expected.status << ")\ngot:      " << got.out << " ("
                    << got.status << ")";
    }
    // Nothing that a value held ran: no file was made.
    std::string left;
    runShell("ls -A " + shellQuote(dir.path()), &left);
    EXPECT_EQ("", left);
  }
}

}  // namespace
}  // namespace bvtest
