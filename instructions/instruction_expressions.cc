// Expressions of the instruction script: variable references between '@'
// characters, and the conversions of an expanded text into a number, a
// boolean or a string argument.
//
// References are replaced in one scan from left to right. An inserted value
// is scanned again from its start, so a variable may hold references to
// others (S1 holding x@N1@ expands to x3); a literal "@@" becomes one '@'
// that is passed over for good, so it never pairs with a later '@'. A path
// that a launcher operation stored (FIND_JVM, VERIFY, INSTALL_JVM) is data:
// it is inserted once and the scan goes on after it.
#include "instructions/instructions.h"

#include "foundation/launcher_exception.h"
#include "instructions/variable_ref.h"
#include "tagfile/text_utils.h"

namespace {

// A value may refer to itself (S1 holding x@S1@) and so expand without end.
// Real expressions make a handful of replacements and stay short; these
// bounds end a runaway expansion with an error long before memory runs out.
const long kMaxReplacements = 1000;
const unsigned long kMaxExpandedLength = 1UL << 20;

}  // namespace

void Instructions::evalExpr(SString& text, const SString& errorPrefix) const {
  SString error(errorPrefix);
  error += ' ';
  if (text.empty()) throwException(SString(error).append("Empty expression."));
  long replacements = 0;
  unsigned long p = text.find('@');
  while (p != SString::npos) {
    unsigned long q = text.find('@', p + 1);
    if (q == SString::npos) throwException(SString(error).append("Invalid variable specification."));
    if (q == p + 1) {
      // "@@" is one literal '@'; the scan goes on after it, so it is never
      // read again as the start of a reference.
      text.erase(q, 1);
      p = text.find('@', p + 1);
      continue;
    }
    VariableRef variable;
    variable.init(text.substr(p + 1, q - p - 1), errorPrefix);
    // A check (Instructions::check) does not know the values: every
    // reference stands for the number 0.
    SString value = m_checking ? SString("0") : variable.getStringValue(m_operations.variables());
    text.replace(p, q - p + 1, value);
    if (++replacements > kMaxReplacements || text.length() > kMaxExpandedLength) {
      throwException(SString(error).append("Variable references expand without end; a variable may refer to itself."));
    }
    // A plain value may itself hold references: the scan goes on at its
    // start. A found path is passed over.
    bool found = !m_checking && variable.holdsFoundValue(m_operations.variables());
    p = text.find('@', found ? p + value.length() : p);
  }
}

long Instructions::evalLongExpr(const SString& text, const SString& errorPrefix) const {
  SString expanded(text);
  evalExpr(expanded, errorPrefix);
  long number = 0;
  if (!convertToLong(expanded, number)) {
    throwException(SString(errorPrefix).append("Invalid numeric expression (").append(expanded).append(")"));
  }
  return number;
}

short Instructions::evalShortExpr(const SString& text, const SString& errorPrefix) const {
  SString expanded(text);
  evalExpr(expanded, errorPrefix);
  short number = 0;
  if (!convertToShort(expanded, number)) {
    throwException(SString(errorPrefix).append(" Invalid numeric expression (").append(expanded).append(")"));
  }
  return number;
}

bool Instructions::evalBoolExpr(const SString& text, const SString& errorPrefix) const {
  long number = evalLongExpr(text, errorPrefix);
  if (number == 0) return false;
  if (number == 1) return true;
  throwException(SString(errorPrefix).append(" Invalid boolean value (").append(text).append(")"));
}

void Instructions::evalStringExpr(SString& text, const SString& errorPrefix) const {
  if (text.empty()) return;
  const bool quoted = text[0] == '"';
  unsigned long position = quoted ? 1 : 0;
  SString value = parseStringArgument(text, position, quoted);
  text = value;
  evalExpr(text, errorPrefix);
}

void Instructions::evalStringExpr(const SString& statement, unsigned long& position, SString& result,
                                  const SString& errorPrefix) const {
  result = "";
  bool leading = true;
  bool quoted = false;
  bool done = false;
  long quotes = 0;  // consecutive double quotes inside a quoted argument
  const unsigned long length = statement.length();
  while (!done && position < length) {
    const char c = statement[position++];
    if (leading) {
      if (isWhitespace(c)) continue;
      leading = false;
      quoted = c == '"';
    } else if (!quoted) {
      if (isWhitespace(c)) {
        done = true;
        continue;
      }
    } else if (c == '"') {
      ++quotes;
      if (quotes % 2 == 1 && (position >= length || statement[position] != '"')) done = true;
    } else {
      quotes = 0;
    }
    result += c;
  }
  if (quoted && !done) {
    throw LauncherException(
        SString("Expected ending quote in ").append(result).append(":  ").append(errorPrefix));
  }
  evalStringExpr(result, errorPrefix);
}
