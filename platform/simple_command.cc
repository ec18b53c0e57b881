#include "platform/simple_command.h"

namespace {

bool isPlainOutsideQuotes(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '_': case '-': case '.': case ',': case '/': case ':': case '+': case '@': case '%': case '=':
      return true;
    default:
      return false;
  }
}

}  // namespace

bool splitSimpleCommand(const SString& command, StringDeque& words) {
  words.clear();
  SString word;
  bool inWord = false;
  unsigned long i = 0;
  const unsigned long n = command.length();
  while (i < n) {
    char c = command[i];
    if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(word);
      word.erase();
      inWord = false;
      ++i;
    } else if (c == '\'') {
      unsigned long close = command.find('\'', i + 1);
      if (close == SString::npos) return false;
      word.append(command, i + 1, close - i - 1);
      inWord = true;
      i = close + 1;
    } else if (c == '"') {
      ++i;
      for (;;) {
        if (i >= n) return false;
        char d = command[i];
        if (d == '"') break;
        if (d == '$' || d == '`') return false;
        if (d == '\\') {
          if (i + 1 >= n) return false;
          char e = command[i + 1];
          if (e != '\\' && e != '$' && e != '`' && e != '"') return false;
          d = e;
          ++i;
        }
        word += d;
        ++i;
      }
      inWord = true;
      ++i;
    } else if (c == '\\') {
      // Outside quotes a backslash quotes the next byte ('\'' in a
      // single-quoted value); before a line break it would join lines.
      if (i + 1 >= n || command[i + 1] == '\n') return false;
      word += command[i + 1];
      inWord = true;
      i += 2;
    } else if (isPlainOutsideQuotes(c)) {
      // "NAME=value" as the first word would be an assignment.
      if (c == '=' && words.empty()) return false;
      word += c;
      inWord = true;
      ++i;
    } else {
      return false;
    }
  }
  if (inWord) words.push_back(word);
  if (words.empty()) return false;
  const SString& program = words.at(0);
  if (program.find('/') == SString::npos || program.find('\0') != SString::npos) return false;
  for (long k = 0; k < words.size(); ++k) {
    if (words.at(k).find('\0') != SString::npos) return false;
  }
  return true;
}
