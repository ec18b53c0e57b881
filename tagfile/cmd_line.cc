#include "tagfile/cmd_line.h"

#include "tagfile/text_utils.h"

bool CmdLine::parse(const SString& line) {
  // A second parse starts afresh, so that indexes and arguments agree.
  m_optionCount = 0;
  m_options.clear();
  unsigned long pos = line.find_first_not_of(whitespaceChars);
  while (pos != SString::npos && pos < line.length()) {
    SString arg;
    unsigned long end = SString::npos;
    getNextArg(line, pos, m_optionCount == 0, arg, end);
    if (!arg.empty()) {
      m_options.push_back(arg);
      ++m_optionCount;
    }
    pos = end >= line.length() ? SString::npos : line.find_first_not_of(whitespaceChars, end);
  }
  return true;
}

const char* CmdLine::getOption(int i) const {
  if (i < 0 || i >= m_optionCount) return nullptr;
  return m_options.at(i).c_str();
}

bool CmdLine::getNextArg(const SString& line, unsigned long start, bool first, SString& arg,
                         unsigned long& end) {
  arg.erase();
  bool quoted = false;
  bool escaped = false;
  bool done = false;
  unsigned long pos = start < line.length() ? line.find_first_not_of(whitespaceChars, start) : SString::npos;
  if (pos != SString::npos && line[pos] == '"') {
    quoted = true;
    ++pos;
  }
  while (pos != SString::npos && pos < line.length() && !done) {
    char c = line[pos];
    if (!first && !escaped && c == '\\') {
      escaped = true;
      ++pos;
      continue;
    }
    if (escaped) {
      // \" is a plain quote; any other escaped character keeps its backslash.
      if (c != '"') arg.append(1, '\\');
      arg.append(1, c);
      escaped = false;
    } else if (quoted) {
      if (c == '"') {
        done = true;
        ++pos;
      } else {
        arg.append(1, c);
      }
    } else if (isWhitespace(c)) {
      done = true;
    } else if (c == '"') {
      // A quoted piece inside the argument: ab"c d"ef is abc def.
      SString piece;
      unsigned long pieceEnd = SString::npos;
      getNextArg(line, pos, first, piece, pieceEnd);
      arg.append(piece);
      if (pieceEnd == SString::npos || pieceEnd >= line.length()) {
        done = true;
        pos = SString::npos;
      } else {
        pos = pieceEnd;
      }
      continue;
    } else {
      arg.append(1, c);
    }
    if (!done) ++pos;
  }
  end = pos;
  return true;
}
