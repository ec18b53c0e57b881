// The placeholder table, the quoting pass over a finished command and the
// word splitting of lines that hold arguments.
#include "launchscript/shell_quoting.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/launcher_exception.h"

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

// The quoting model. Each level of $(...) nesting is a frame of its own;
// the outermost frame is the command itself.
enum QuoteState {
  STATE_OUTSIDE,
  STATE_SINGLE,     // '...'
  STATE_DOUBLE,     // "..."
  STATE_ANSI,       // $'...' (bash)
  STATE_COMMENT,    // # up to the line's end
  STATE_BACKQUOTE,  // `...`
  STATE_BRACKETED,  // ${...}, $((...)), $[...]: up to the matching close
};

struct Frame {
  QuoteState state = STATE_OUTSIDE;
  QuoteState resume = STATE_OUTSIDE;  // the state after a back-quoted or bracketed part
  bool escaped = false;               // the previous byte was an unquoted backslash
  bool wordStart = true;              // the next byte starts a word (for #)
  bool substitution = false;          // this frame is a $(...)
  long parens = 0;                    // open "(" inside a $(...)
  char open = 0, close = 0;           // brackets of STATE_BRACKETED
  long depth = 0;                     // their nesting
  unsigned long dollar = SString::npos;  // output position of a bare "$" just written
};

class Quoter {
 public:
  Quoter(const SString& text, const StringDeque& values) : m_text(text), m_values(values) {
    m_frames.push_back(Frame());
  }

  SString run() {
    unsigned long i = 0;
    while (i < m_text.length()) {
      char c = m_text[i];
      if (c == kMark) {
        long index;
        unsigned long next;
        if (readPlaceholder(m_text, i, index, next) && index < m_values.size()) {
          insertValue(m_values[index]);
          i = next;
        } else {
          ++i;  // a stray NUL: dropped
        }
        continue;
      }
      i = step(i);
    }
    return m_out;
  }

 private:
  char peek(unsigned long i) const { return i < m_text.length() ? m_text[i] : '\0'; }

  // Copies the template byte at i (and the bytes that belong to it) and
  // moves the model on; returns the position of the next byte.
  unsigned long step(unsigned long i) {
    // By index: a $( pushes a frame, which may move the others.
    const unsigned long fi = m_frames.size() - 1;
    char c = m_text[i];
    m_out += c;
    unsigned long next = i + 1;
    bool bareDollar = false;
    switch (m_frames[fi].state) {
      case STATE_OUTSIDE:
      case STATE_DOUBLE: {
        Frame& f = m_frames[fi];
        bool outside = f.state == STATE_OUTSIDE;
        if (f.escaped) {
          f.escaped = false;
        } else if (c == '\\') {
          f.escaped = true;
        } else if (c == '$') {
          next = dollarAt(fi, i, bareDollar);
        } else if (c == '`') {
          f.resume = f.state;
          f.state = STATE_BACKQUOTE;
        } else if (outside) {
          if (c == '\'') {
            f.state = STATE_SINGLE;
          } else if (c == '"') {
            f.state = STATE_DOUBLE;
          } else if (c == '#' && f.wordStart) {
            f.state = STATE_COMMENT;
          } else if (c == '<' && peek(i + 1) == '<') {
            m_hereDocument = true;
          } else if (c == '(' && f.substitution) {
            ++f.parens;
          } else if (c == ')' && f.substitution) {
            if (f.parens == 0) {
              m_frames.pop_back();
              m_frames.back().wordStart = false;
              m_frames.back().dollar = SString::npos;
              return next;
            }
            --f.parens;
          }
        } else if (c == '"') {
          f.state = STATE_OUTSIDE;
        }
        Frame& g = m_frames[fi];
        g.wordStart = outside && g.state == STATE_OUTSIDE && !g.escaped &&
                      strchr(" \t\n;&|()<>", c) != nullptr;
        break;
      }
      case STATE_SINGLE:
        if (c == '\'') m_frames[fi].state = STATE_OUTSIDE;
        break;
      case STATE_ANSI:
      case STATE_BACKQUOTE:
      case STATE_BRACKETED: {
        Frame& f = m_frames[fi];
        if (f.escaped) {
          f.escaped = false;
        } else if (c == '\\') {
          f.escaped = true;
        } else if (f.state == STATE_ANSI) {
          if (c == '\'') f.state = STATE_OUTSIDE;
        } else if (f.state == STATE_BACKQUOTE) {
          if (c == '`') f.state = f.resume;
        } else if (c == f.open) {
          ++f.depth;
        } else if (c == f.close && --f.depth == 0) {
          f.state = f.resume;
        }
        break;
      }
      case STATE_COMMENT:
        if (c == '\n') {
          m_frames[fi].state = STATE_OUTSIDE;
          m_frames[fi].wordStart = true;
        }
        break;
    }
    m_frames[fi].dollar = bareDollar ? m_out.length() - 1 : SString::npos;
    return next;
  }

  // A "$" outside single quotes: what follows it decides. Returns the
  // position after the bytes taken.
  unsigned long dollarAt(unsigned long fi, unsigned long i, bool& bare) {
    Frame& f = m_frames[fi];
    char n = peek(i + 1);
    if (n == '(' && peek(i + 2) == '(') {
      m_out += "((";
      enterBracketed(f, '(', ')', 2);
      return i + 3;
    }
    if (n == '(') {
      m_out += n;
      Frame inner;
      inner.substitution = true;
      m_frames.push_back(inner);  // f is not used after this
      return i + 2;
    }
    if (n == '{' || n == '[') {
      m_out += n;
      enterBracketed(f, n, n == '{' ? '}' : ']', 1);
      return i + 2;
    }
    if (n == '\'' && f.state == STATE_OUTSIDE) {
      m_out += n;
      f.state = STATE_ANSI;
      return i + 2;
    }
    if (n == '"' && f.state == STATE_OUTSIDE) {
      m_out += n;
      f.state = STATE_DOUBLE;
      return i + 2;
    }
    if (n == '$') {
      m_out += n;  // $$ is one parameter
      return i + 2;
    }
    bare = true;
    return i + 1;
  }

  static void enterBracketed(Frame& f, char open, char close, long depth) {
    f.resume = f.state;
    f.state = STATE_BRACKETED;
    f.open = open;
    f.close = close;
    f.depth = depth;
  }

  void insertValue(const SString& value) {
    Frame& f = m_frames.back();
    if (f.state == STATE_COMMENT || value.empty()) return;
    if (m_hereDocument || f.state == STATE_ANSI || f.state == STATE_BACKQUOTE ||
        f.state == STATE_BRACKETED) {
      char message[200];
      snprintf(message, sizeof message,
               "Launch script error: A value cannot be inserted inside back quotes, ${...}, "
               "$((...)), $[...], $'...' or after a here-document (near character %lu).",
               static_cast<unsigned long>(m_out.length()));
      throw LauncherException(message);
    }
    if (f.state == STATE_SINGLE) {
      appendSingleQuotedBody(m_out, value);
      return;
    }
    if (f.escaped) {
      // The template's backslash and this line break vanish together.
      m_out += '\n';
      f.escaped = false;
    }
    if (f.dollar != SString::npos) {
      m_out.insert(f.dollar, 1, '\\');
      f.dollar = SString::npos;
    }
    if (f.state == STATE_DOUBLE) {
      appendDoubleQuotedBody(m_out, value);
    } else {
      m_out += '\'';
      appendSingleQuotedBody(m_out, value);
      m_out += '\'';
      f.wordStart = false;
    }
  }

  const SString& m_text;
  const StringDeque& m_values;
  std::vector<Frame> m_frames;
  bool m_hereDocument = false;
  SString m_out;
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
  Quoter quoter(text, table());
  return quoter.run();
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
