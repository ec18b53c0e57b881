// The placeholder table, the quoting pass over a finished command and the
// word splitting of lines that hold arguments.
#include "launchscript/shell_quoting.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/launcher_exception.h"
#include "platform/shell_reader.h"

namespace {

const char kMark = '\0';

// Parses the placeholder that starts at pos (a NUL). On success sets index
// and next (just past its closing NUL) and returns true.
bool readPlaceholder(const SString& text, unsigned long pos, long& index, unsigned long& next) {
  unsigned long i = pos + 1;
  long value = 0;
  unsigned long digits = 0;
  while (i < text.length() && text[i] >= '0' && text[i] <= '9' && digits < 18) {
    value = value * 10 + (text[i] - '0');
    ++i;
    ++digits;
  }
  if (digits == 0 || i >= text.length() || text[i] != kMark) return false;
  index = value;
  next = i + 1;
  return true;
}

void appendSingleQuotedBody(SString& out, const SString& value) {
  for (unsigned long i = 0; i < value.length(); ++i) {
    if (value[i] == '\'') {
      out += "'\\''";
    } else {
      out += value[i];
    }
  }
}

void appendDoubleQuotedBody(SString& out, const SString& value) {
  for (unsigned long i = 0; i < value.length(); ++i) {
    char c = value[i];
    if (c == '\\' || c == '$' || c == '`' || c == '"') out += '\\';
    out += c;
  }
}

// Walks a command: copies its template text and replaces each placeholder
// by its value written for the place where the shell reads it, as the
// model of the shell (platform/shell_reader.h) tells. In a check no value
// is known yet: every placeholder stands for a value of one byte.
class Quoter {
 public:
  Quoter(const SString& text, const StringDeque& values, bool check)
      : m_text(text), m_values(values), m_check(check) {}

  // The command; false with failure set when a value stands where it
  // cannot be written.
  bool run() {
    SString piece;
    unsigned long i = 0;
    const unsigned long n = m_text.length();
    for (;;) {
      // The template text up to the next value that adds bytes: stray NUL
      // bytes are dropped and an empty value adds nothing, so the text
      // around it is read as one.
      unsigned long valueAt = SString::npos, next = 0;
      long index = 0;
      while (i < n) {
        char c = m_text[i];
        if (c != kMark) {
          piece += c;
          if (m_check) m_places.push_back(i);
          ++i;
          continue;
        }
        if (!readPlaceholder(m_text, i, index, next) || index >= m_values.size()) {
          ++i;
        } else if (!m_check && m_values[index].empty()) {
          i = next;
        } else {
          valueAt = i;
          break;
        }
      }
      m_reader.read(piece, valueAt != SString::npos);
      m_out += piece;
      piece.erase();
      if (valueAt == SString::npos) break;
      if (!insertValue(m_check ? SString("x") : m_values[index], valueAt)) return false;
      i = next;
    }
    return true;
  }

  const SString& output() const { return m_out; }
  const ShellReader& reader() const { return m_reader; }
  // Where a failure stands: the output length then (near character ...).
  unsigned long failedAtOutput() const { return m_failedAtOutput; }
  // The place in the input text of an offset of the template text read.
  unsigned long inputPlace(unsigned long offset) const {
    return offset < m_places.size() ? m_places[offset] : m_text.length();
  }

 private:
  bool insertValue(const SString& value, unsigned long /*at*/) {
    switch (m_reader.place()) {
      case ShellReader::PLACE_COMMENT:
        return true;  // the shell ignores it anyway
      case ShellReader::PLACE_REFUSED:
        m_failedAtOutput = m_out.length();
        return false;
      case ShellReader::PLACE_SINGLE:
        appendSingleQuotedBody(m_out, value);
        break;
      case ShellReader::PLACE_DOUBLE:
      case ShellReader::PLACE_UNQUOTED: {
        // Both fixes are worked out before either adds a byte.
        unsigned long dollar = m_reader.bareDollar();
        if (dollar != SString::npos) dollar += m_out.length() - m_reader.offset();
        // The template's backslash does what it does before an ordinary
        // byte: outside quotes it vanishes (with this line break, as a line
        // continuation), inside "..." it stays (escaped itself).
        if (m_reader.escapesNext()) m_out += m_reader.place() == ShellReader::PLACE_DOUBLE ? '\\' : '\n';
        // A backslash keeps the template's "$" a plain "$".
        if (dollar != SString::npos) m_out.insert(dollar, 1, '\\');
        if (m_reader.place() == ShellReader::PLACE_DOUBLE) {
          // After "$name" the quotes closed and opened again end the name.
          if (m_reader.endsName()) m_out += "\"\"";
          appendDoubleQuotedBody(m_out, value);
        } else {
          m_out += '\'';
          appendSingleQuotedBody(m_out, value);
          m_out += '\'';
        }
        break;
      }
    }
    m_reader.valueRead();
    return true;
  }

  const SString& m_text;
  const StringDeque& m_values;
  const bool m_check;
  ShellReader m_reader;
  SString m_out;
  std::vector<unsigned long> m_places;
  unsigned long m_failedAtOutput = 0;
};

}  // namespace

StringDeque& ShellValues::table() {
  static StringDeque values;
  return values;
}

long& ShellValues::depth() {
  static long scopes = 0;
  return scopes;
}

SString ShellValues::insert(const SString& raw) {
  SString value(raw);
  stripNul(value);
  char placeholder[32];
  int length = snprintf(placeholder, sizeof placeholder, "%c%ld%c", kMark, table().size(), kMark);
  table().push_back(value);
  return SString(placeholder, static_cast<unsigned long>(length));
}

bool ShellValues::isCollecting() { return depth() > 0; }

SString ShellValues::flatten(const SString& text) {
  SString out;
  unsigned long i = 0;
  while (i < text.length()) {
    unsigned long mark = text.find(kMark, i);
    if (mark == SString::npos) {
      out.append(text, i, SString::npos);
      break;
    }
    out.append(text, i, mark - i);
    long index;
    unsigned long next;
    if (readPlaceholder(text, mark, index, next) && index < table().size()) {
      out += table()[index];
      i = next;
    } else {
      i = mark + 1;
    }
  }
  return out;
}

SString ShellValues::quote(const SString& text) {
  Quoter quoter(text, table(), false);
  if (!quoter.run()) {
    char near[48];
    snprintf(near, sizeof near, " (near character %lu).", quoter.failedAtOutput());
    throw LauncherException(SString("Launch script error: A value cannot be inserted ")
                                .append(quoter.reader().refusal())
                                .append(near));
  }
  return quoter.output();
}

void ShellValues::check(const SString& text, unsigned long* position) {
  ShellValueScope scope;
  {
    Quoter quoter(text, table(), true);
    if (!quoter.run()) {
      *position = quoter.inputPlace(quoter.reader().refusalAt());
      throw LauncherException(SString("Launch script error: A value cannot be inserted ")
                                  .append(quoter.reader().refusal())
                                  .append("."));
    }
    unsigned long at = 0;
    const char* open = quoter.reader().unclosed(&at);
    if (open != nullptr) {
      *position = quoter.inputPlace(at);
      throw LauncherException(SString("Launch script error: ").append(open));
    }
  }
  // The arguments handed on go after the template, each a value in double
  // quotes (LaunchScript::execute).
  SString withArguments(text);
  withArguments.append(" \"").append(insert(SString("x"))).append("\"");
  Quoter quoter(withArguments, table(), true);
  if (!quoter.run()) {
    *position = quoter.inputPlace(quoter.reader().refusalAt());
    throw LauncherException(
        SString("Launch script error: The arguments handed on to the application cannot be inserted ")
            .append(quoter.reader().refusal())
            .append("."));
  }
}

bool ShellValues::isInsidePlaceholder(const SString& text, unsigned long pos) {
  bool inside = false;
  for (unsigned long i = 0; i < pos && i < text.length(); ++i) {
    if (text[i] == kMark) inside = !inside;
  }
  return inside;
}

void ShellValues::stripNul(SString& text) {
  unsigned long mark = text.find(kMark, 0);
  while (mark != SString::npos) {
    text.erase(mark, 1);
    mark = text.find(kMark, mark);
  }
}

ShellValueScope::ShellValueScope() { ++ShellValues::depth(); }

ShellValueScope::~ShellValueScope() {
  if (--ShellValues::depth() == 0) ShellValues::table().clear();
}

bool isFoundJVMTag(const SString& name) {
  return name.compare("JVM_HOME") == 0 || name.compare("JVM_FILE") == 0 ||
         name.compare("JVM_TEMP") == 0 || name.compare("JVM_VERSION") == 0 ||
         name.compare("JVM_IDENTITY") == 0;
}

SString shellQuoteWord(const SString& value) {
  SString out("'");
  appendSingleQuotedBody(out, value);
  out += '\'';
  return out;
}

bool splitShellWords(const SString& line, StringDeque& words) {
  StringDeque found;
  SString word;
  bool inWord = false;
  unsigned long i = 0;
  const unsigned long n = line.length();
  while (i < n) {
    char c = line[i];
    if (c == ' ' || c == '\t') {
      if (inWord) found.push_back(word);
      word.erase();
      inWord = false;
      ++i;
      continue;
    }
    inWord = true;
    if (c == '\\') {
      if (i + 1 < n) word += line[i + 1];
      i += 2;
    } else if (c == '\'') {
      unsigned long end = line.find('\'', i + 1);
      if (end == SString::npos) return false;
      word.append(line, i + 1, end - i - 1);
      i = end + 1;
    } else if (c == '"') {
      ++i;
      for (;;) {
        if (i >= n) return false;
        char d = line[i];
        if (d == '"') break;
        if (d == '\\' && i + 1 < n && line[i + 1] != '\0' &&
            strchr("\\$`\"", line[i + 1]) != nullptr) {
          word += line[i + 1];
          i += 2;
        } else {
          word += d;
          ++i;
        }
      }
      ++i;
    } else {
      word += c;
      ++i;
    }
  }
  if (inWord) found.push_back(word);
  for (long k = 0; k < found.size(); ++k) words.push_back(found[k]);
  return true;
}
