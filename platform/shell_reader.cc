#include "platform/shell_reader.h"

#include <cstring>

namespace {

const char kDelimiters[] = " \t\n;&|()<>";

bool isDelimiter(char c) { return c != '\0' && strchr(kDelimiters, c) != nullptr; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameChar(char c) { return isLetter(c) || isDigit(c) || c == '_'; }

// Past the line continuations (a backslash and a line break, which the
// shell drops outside '...' and comments) that start at i.
unsigned long skipContinuations(const SString& text, unsigned long i) {
  while (i + 1 < text.length() && text[i] == '\\' && text[i + 1] == '\n') i += 2;
  return i;
}

char byteAt(const SString& text, unsigned long i) { return i < text.length() ? text[i] : '\0'; }

// What ${...}, $((...)) and back quotes may hold for the model to follow
// them: text that every shell reads alike and that cannot hide their end.
bool plainInBraces(char c) {
  return isNameChar(c) || (c != '\0' && strchr("@*#?!-=+%:./,[]~^ ", c) != nullptr);
}
bool plainInArithmetic(char c) {
  return isNameChar(c) || (c != '\0' && strchr(" \t+-*/%<>=!&|^~?:,", c) != nullptr);
}
bool plainInBackQuotes(char c) {
  return c != '\0' && c != '\n' && strchr("\\'\"$#(){}<`", c) == nullptr;
}

const char kInsideBackQuotes[] = "inside back quotes";
const char kInsideBraces[] = "inside ${...}";
const char kInsideArithmetic[] = "inside $((...))";
const char kAfterHereDocument[] = "after a here-document (<<)";

const char kOpenSingle[] = "This single quote is never closed in the shell command.";
const char kOpenDouble[] = "This double quote is never closed in the shell command.";
const char kOpenSubstitution[] = "This $( is never closed in the shell command.";
const char kOpenBraces[] = "This ${ is never closed in the shell command.";
const char kOpenArithmetic[] = "This $(( is never closed in the shell command.";
const char kOpenBackQuotes[] = "These back quotes are never closed in the shell command.";

}  // namespace

ShellReader::ShellReader() { m_frames.push_back(Frame()); }

ShellReader::Place ShellReader::place() const {
  if (m_refusal != nullptr) return PLACE_REFUSED;
  switch (m_frames.back().state) {
    case STATE_SINGLE:
      return PLACE_SINGLE;
    case STATE_DOUBLE:
      return PLACE_DOUBLE;
    case STATE_COMMENT:
      return PLACE_COMMENT;
    default:
      return PLACE_UNQUOTED;
  }
}

const char* ShellReader::refusal() const { return m_refusal; }

const char* ShellReader::unclosed(unsigned long* at) const {
  if (m_refusal != nullptr) return nullptr;
  if (m_unclosed != nullptr) {
    *at = m_unclosedAt;
    return m_unclosed;
  }
  const Frame& f = m_frames.back();
  if (f.state == STATE_SINGLE || f.state == STATE_DOUBLE) {
    *at = f.openedAt;
    return f.state == STATE_SINGLE ? kOpenSingle : kOpenDouble;
  }
  if (f.substitution) {
    *at = f.openedAt;
    return kOpenSubstitution;
  }
  return nullptr;
}

void ShellReader::lose(const char* reason, unsigned long at) {
  if (m_refusal != nullptr) return;
  m_refusal = reason;
  m_refusalAt = at;
}

void ShellReader::stopInside(const char* inside, const char* unclosed, unsigned long at,
                             bool valueFollows) {
  if (valueFollows) {
    lose(inside, at);
  } else {
    m_unclosed = unclosed;
    m_unclosedAt = at;
  }
}

void ShellReader::valueRead() {
  Frame& f = m_frames.back();
  f.wordStart = false;
  f.plainWord = false;
  m_escaped = false;
  m_dollar = SString::npos;
  m_name = false;
}

void ShellReader::endWord(Frame& f, unsigned long at) {
  if (f.substitution && f.plainWord && f.word.compare("case") == 0) lose("after case inside $(...)", at);
  f.plainWord = false;
  f.word.erase();
}

void ShellReader::countBytes(unsigned long n) {
  m_inWord = true;
  m_wordBytes += n;
}

void ShellReader::endMeasuredWord() {
  if (!m_inWord) return;
  ++m_words.count;
  m_words.bytes += m_wordBytes;
  if (m_wordBytes > m_words.longest) m_words.longest = m_wordBytes;
  m_inWord = false;
  m_wordBytes = 0;
}

ShellReader::Words ShellReader::words() const {
  ShellReader copy(*this);
  copy.endMeasuredWord();
  return copy.m_words;
}

ShellReader::Words ShellReader::measure(const SString& command) {
  ShellReader reader;
  reader.read(command, false);
  return reader.words();
}

void ShellReader::read(const SString& text, bool valueFollows) {
  m_escaped = false;
  m_dollar = SString::npos;
  m_name = false;
  const unsigned long n = text.length();
  unsigned long i = 0;
  while (i < n && m_refusal == nullptr && m_unclosed == nullptr) {
    Frame& f = m_frames.back();
    const bool top = m_frames.size() == 1;
    char c = text[i];
    if (f.state == STATE_SINGLE) {
      bool closing = c == '\'';
      if (closing) f.state = STATE_UNQUOTED;
      countBytes(closing && top ? 0 : 1);
      ++i;
      continue;
    }
    if (f.state == STATE_COMMENT) {
      if (c == '\n') {
        f.state = STATE_UNQUOTED;
        f.wordStart = true;
        if (top) endMeasuredWord();
      }
      ++i;
      continue;
    }
    // Outside quotes or inside "...".
    if (c == '\\') {
      if (i + 1 < n) {
        char next = text[i + 1];
        if (next != '\n') {
          f.wordStart = false;
          f.plainWord = false;
          // Inside "..." a backslash stays unless it quotes one of these.
          bool kept = f.state == STATE_DOUBLE && strchr("\\$`\"", next) == nullptr;
          countBytes(top ? (kept ? 2 : 1) : 2);
        } else if (!top) {
          countBytes(2);
        }
        i += 2;
        continue;
      }
      // The piece's last byte: it quotes the value's first byte, or stays
      // a backslash at the end of the command.
      if (valueFollows) m_escaped = true;
      f.wordStart = false;
      f.plainWord = false;
      countBytes(1);
      ++i;
      continue;
    }
    if (c == '$') {
      unsigned long next = readDollar(text, i, valueFollows);
      if (m_refusal == nullptr && m_unclosed == nullptr) countBytes(next - i);
      i = next;
      continue;
    }
    if (c == '`') {
      unsigned long next = readBackQuotes(text, i, valueFollows);
      if (m_refusal == nullptr && m_unclosed == nullptr) countBytes(next - i);
      i = next;
      continue;
    }
    if (f.state == STATE_DOUBLE) {
      if (c == '"') {
        f.state = STATE_UNQUOTED;
        if (!top) countBytes(1);
      } else {
        countBytes(1);
      }
      ++i;
      continue;
    }
    i = readUnquoted(text, i);
  }
  if (m_refusal != nullptr) {
    // The rest is counted as blank-separated words.
    for (; i < n; ++i) {
      if (text[i] == ' ' || text[i] == '\t' || text[i] == '\n') {
        endMeasuredWord();
      } else {
        countBytes(1);
      }
    }
  } else if (!valueFollows && m_unclosed == nullptr) {
    Frame& f = m_frames.back();
    if (f.state == STATE_UNQUOTED) endWord(f, m_offset + n);
  }
  m_offset += n;
}

unsigned long ShellReader::readUnquoted(const SString& text, unsigned long i) {
  Frame& f = m_frames.back();
  const bool top = m_frames.size() == 1;
  const unsigned long at = m_offset + i;
  char c = text[i];
  bool delimiter = isDelimiter(c);
  if (delimiter) endWord(f, at);
  if (m_refusal != nullptr) return i;
  const char next = byteAt(text, skipContinuations(text, i + 1));
  if (c == '\'' || c == '"') {
    f.state = c == '\'' ? STATE_SINGLE : STATE_DOUBLE;
    f.openedAt = at;
    f.plainWord = false;
    f.wordStart = false;
    // The quotes themselves are not part of the word.
    if (top) countBytes(0); else countBytes(1);
    return i + 1;
  }
  if (c == '#' && f.wordStart) {
    f.state = STATE_COMMENT;
    if (top) endMeasuredWord(); else countBytes(1);
    return i + 1;
  }
  if ((c == '<' || c == '>') && next == '(') {
    lose("after <( or >(, which shells read in different ways", at);
    return i;
  }
  if (c == '<' && next == '<') {
    lose(kAfterHereDocument, at);
    return i;
  }
  if (c == '(' && next == '(') {
    lose("after ((, which shells read in different ways", at);
    return i;
  }
  if (f.substitution && c == '(') ++f.parens;
  if (f.substitution && c == ')') {
    if (f.parens == 0) {
      // The $(...) ends; its output is part of the word around it.
      m_frames.pop_back();
      Frame& outer = m_frames.back();
      outer.wordStart = false;
      outer.plainWord = false;
      countBytes(1);
      return i + 1;
    }
    --f.parens;
  }
  if (delimiter) {
    if (top) endMeasuredWord(); else countBytes(1);
  } else {
    if (f.wordStart) {
      f.word.erase();
      f.plainWord = true;
    }
    if (f.plainWord && isLetter(c) && f.word.length() < 8) {
      f.word += c;
    } else {
      f.plainWord = false;
    }
    countBytes(1);
  }
  f.wordStart = delimiter;
  return i + 1;
}

unsigned long ShellReader::readDollar(const SString& text, unsigned long i, bool valueFollows) {
  Frame& f = m_frames.back();
  const unsigned long at = m_offset + i;
  f.wordStart = false;
  f.plainWord = false;
  unsigned long j = skipContinuations(text, i + 1);
  const bool doubleQuoted = f.state == STATE_DOUBLE;
  if (j >= text.length()) {
    // A value follows: its first byte must not make this "$" an expansion.
    if (valueFollows) m_dollar = at;
    return j;
  }
  char d = text[j];
  if (d == '\\' && j + 1 == text.length() && valueFollows) {
    // "$\" before a value: the backslash and the line break written before
    // the value vanish, and the "$" would meet the value.
    m_dollar = at;
    return j;
  }
  if (d == '(') {
    unsigned long k = skipContinuations(text, j + 1);
    if (byteAt(text, k) == '(') return readArithmetic(text, i, k + 1, valueFollows);
    Frame inner;
    inner.substitution = true;
    inner.openedAt = at;
    m_frames.push_back(inner);  // f is not used after this
    return j + 1;
  }
  if (d == '{') return readBraced(text, i, j + 1, valueFollows);
  if (d == '[') {
    lose("after $[...], which shells read in different ways", at);
    return i;
  }
  if (d == '\'' && !doubleQuoted) {
    lose("after $'...', which shells read in different ways", at);
    return i;
  }
  if (d == '"' && !doubleQuoted) {
    lose("after $\"...\", which shells read in different ways", at);
    return i;
  }
  if (isLetter(d) || d == '_') {
    unsigned long k = j;
    while (k < text.length() && isNameChar(text[k])) k = skipContinuations(text, k + 1);
    // Outside quotes a value begins with a quote, which ends the name.
    if (k == text.length() && valueFollows && doubleQuoted) m_name = true;
    return k;
  }
  if (isDigit(d) || strchr("@*#?-$!", d) != nullptr) return j + 1;
  // Any other byte: the "$" is a plain character.
  return j;
}

unsigned long ShellReader::readBraced(const SString& text, unsigned long dollar, unsigned long i,
                                      bool valueFollows) {
  const unsigned long at = m_offset + dollar;
  for (; i < text.length(); ++i) {
    char c = text[i];
    if (c == '}') return i + 1;
    if (!plainInBraces(c)) {
      lose("after ${...} with quotes, a backslash, $, back quotes, braces, parentheses or a line "
           "break inside",
           at);
      return i;
    }
  }
  stopInside(kInsideBraces, kOpenBraces, at, valueFollows);
  return i;
}

unsigned long ShellReader::readArithmetic(const SString& text, unsigned long dollar, unsigned long i,
                                          bool valueFollows) {
  const unsigned long at = m_offset + dollar;
  long depth = 0;
  for (; i < text.length(); ++i) {
    char c = text[i];
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth > 0) {
        --depth;
        continue;
      }
      if (i + 1 < text.length() && text[i + 1] == ')') return i + 2;
      if (i + 1 == text.length()) break;
      lose("after $((...)) with more than names, numbers and operators inside", at);
      return i;
    } else if (!plainInArithmetic(c)) {
      lose("after $((...)) with more than names, numbers and operators inside", at);
      return i;
    }
  }
  stopInside(kInsideArithmetic, kOpenArithmetic, at, valueFollows);
  return text.length();
}

unsigned long ShellReader::readBackQuotes(const SString& text, unsigned long i, bool valueFollows) {
  Frame& f = m_frames.back();
  const unsigned long at = m_offset + i;
  f.wordStart = false;
  f.plainWord = false;
  for (unsigned long k = i + 1; k < text.length(); ++k) {
    char c = text[k];
    if (c == '`') return k + 1;
    if (!plainInBackQuotes(c)) {
      lose("after back quotes with quotes, a backslash, $, #, parentheses, braces, < or a line "
           "break inside",
           at);
      return k;
    }
  }
  stopInside(kInsideBackQuotes, kOpenBackQuotes, at, valueFollows);
  return text.length();
}
