#include "platform/simple_command.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <unordered_map>

extern char** environ;

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

namespace {

// The length of the shell name that entry begins with when "=" follows it,
// else 0.
size_t shellNameLength(const char* entry) {
  size_t n = 0;
  if (!((entry[0] >= 'a' && entry[0] <= 'z') || (entry[0] >= 'A' && entry[0] <= 'Z') || entry[0] == '_')) {
    return 0;
  }
  for (n = 1; entry[n] != '\0' && entry[n] != '='; ++n) {
    char c = entry[n];
    bool nameChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!nameChar) return 0;
  }
  return entry[n] == '=' ? n : 0;
}

// PWD names the current directory (the shell's own test).
bool namesCurrentDirectory(const char* path) {
  struct stat there, here;
  return path[0] == '/' && stat(path, &there) == 0 && stat(".", &here) == 0 && there.st_dev == here.st_dev &&
         there.st_ino == here.st_ino;
}

}  // namespace

std::vector<std::string> shellEnvironment() {
  std::vector<std::string> entries;
  std::unordered_map<std::string, size_t> slots;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    size_t length = shellNameLength(*entry);
    if (length == 0) continue;
    auto slot = slots.emplace(std::string(*entry, length), entries.size());
    if (slot.second) {
      entries.emplace_back(*entry);
    } else {
      entries[slot.first->second] = *entry;
    }
  }
  auto pwd = slots.find("PWD");
  if (pwd == slots.end() || !namesCurrentDirectory(entries[pwd->second].c_str() + 4)) {
    if (char* cwd = getcwd(nullptr, 0)) {
      std::string value = std::string("PWD=") + cwd;
      free(cwd);
      if (pwd == slots.end()) {
        entries.push_back(value);
      } else {
        entries[pwd->second] = value;
      }
    }
  }
  return entries;
}
