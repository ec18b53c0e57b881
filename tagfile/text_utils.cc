#include "tagfile/text_utils.h"

#include <cstring>

#include "foundation/launcher_exception.h"

const char* whitespaceChars = " \t\n\r";

namespace {

// A position as it appears in messages: signed, npos as -1.
long signedPosition(unsigned long pos) {
  return pos == SString::npos ? -1L : static_cast<long>(pos);
}

// White space of the C locale; bytes of 128 and above never are.
bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads exactly count bytes into buffer or throws errorMessage.
void loadBytes(FILE* file, char* buffer, unsigned long count, const char* errorMessage) {
  if (getBytes(file, buffer, count) < count) throw LauncherException(errorMessage);
}

}  // namespace

void trim(SString& s, const char* chars) {
  unsigned long last = s.find_last_not_of(chars);
  if (last == SString::npos) {
    s.erase();
    return;
  }
  s.erase(last + 1);
  s.erase(0, s.find_first_not_of(chars));
}

bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void appendPathSeparator(SString& path) {
  if (!path.empty() && stringEndsWith(path, "/") == SString::npos) path += '/';
}

unsigned long stringEndsWith(const SString& s, const char* suffix) {
  unsigned long n = strlen(suffix);
  if (n > s.length()) return SString::npos;
  unsigned long start = s.length() - n;
  return s.compare(start, n, suffix, n) == 0 ? start : SString::npos;
}

void stripQuotes(SString& s) {
  if (!s.empty() && s[0] == '"') s.erase(0, 1);
  if (!s.empty() && s[s.length() - 1] == '"') s.erase(s.length() - 1, 1);
}

SString convertToString(long n) {
  char buffer[32];
  snprintf(buffer, sizeof buffer, "%ld", n);
  return SString(buffer);
}

bool convertToLong(const SString& s, long& n) {
  long value;
  if (sscanf(s.c_str(), "%ld", &value) != 1) return false;
  n = value;
  return true;
}

bool convertToShort(const SString& s, short& n) {
  short value;
  if (sscanf(s.c_str(), "%hd", &value) != 1) return false;
  n = value;
  return true;
}

long bigEndianLong(const char* p) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(p);
  unsigned long value = (static_cast<unsigned long>(b[0]) << 24) |
                        (static_cast<unsigned long>(b[1]) << 16) |
                        (static_cast<unsigned long>(b[2]) << 8) | b[3];
  return static_cast<long>(static_cast<int>(static_cast<unsigned int>(value)));
}

short bigEndianShort(const char* p) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<short>(static_cast<unsigned short>((b[0] << 8) | b[1]));
}

unsigned long getBytes(FILE* file, char* buffer, unsigned long count) {
  unsigned long stored = 0;
  while (stored < count) {
    int c = fgetc(file);
    if (c == EOF) break;
    buffer[stored++] = static_cast<char>(c);
  }
  return stored;
}

long loadLongValue(FILE* file, const char* errorMessage) {
  char bytes[4];
  loadBytes(file, bytes, 4, errorMessage);
  return bigEndianLong(bytes);
}

short loadShortValue(FILE* file, const char* errorMessage) {
  char bytes[2];
  loadBytes(file, bytes, 2, errorMessage);
  return bigEndianShort(bytes);
}

bool readLineFromStream(FILE* file, SString& line, unsigned long maxLength) {
  // Bytes are gathered in a small buffer so that a long line costs one
  // append per buffer, not one per byte.
  char buffer[256];
  unsigned long used = 0;
  unsigned long count = 0;
  bool whole = true;
  for (;;) {
    int c = fgetc(file);
    if (c == EOF || c == '\n') break;
    if (c == '\r') continue;
    if (count == maxLength) {
      ungetc(c, file);
      whole = false;
      break;
    }
    buffer[used++] = static_cast<char>(c);
    ++count;
    if (used == sizeof buffer) {
      line.append(buffer, used);
      used = 0;
    }
  }
  line.append(buffer, used);
  trim(line, whitespaceChars);
  return whole;
}

void readLineFromString(const SString& text, unsigned long& pos, SString& line) {
  unsigned long length = text.length();
  if (pos >= length) return;
  unsigned long end = text.find('\n', pos);
  if (end == SString::npos) end = length;
  for (unsigned long i = pos; i < end; ++i) {
    if (text[i] != '\r') line += text[i];
  }
  pos = end + 1;
  trim(line, whitespaceChars);
}

SString parseStringArgument(const SString& text, unsigned long& pos, bool quoted) {
  unsigned long length = text.length();
  SString result;
  if (!quoted) {
    if (pos >= length) {
      pos = SString::npos;
      return result;
    }
    unsigned long end = text.find_first_of(whitespaceChars, pos);
    result.assign(text, pos, end == SString::npos ? SString::npos : end - pos);
    pos = end;
    return result;
  }
  for (;;) {
    unsigned long quote = text.find('"', pos);
    if (quote == SString::npos) break;
    if (quote + 1 >= length || text[quote + 1] != '"') {
      result.append(text, pos, quote - pos);
      pos = quote + 1;
      if (pos >= length) pos = SString::npos;
      return result;
    }
    if (quote + 1 == length - 1) {
      pos = SString::npos;
      break;
    }
    result.append(text, pos, quote + 1 - pos);
    pos = quote + 2;
  }
  SString message("Expected double quote to end argument near ");
  message += convertToString(signedPosition(pos));
  throw LauncherException(message);
}

SString getTokenFromString(const SString& text, unsigned long& pos, bool& noToken) {
  unsigned long length = text.length();
  while (pos < length && isCSpace(text[pos])) ++pos;
  SString token;
  if (pos < length) {
    unsigned long start = pos;
    while (pos < length && !isCSpace(text[pos])) ++pos;
    token.assign(text, start, pos - start);
    ++pos;
  }
  noToken = token.empty();
  return token;
}

wchar_t* convertToUnicode(const SString& s) {
  unsigned long length = s.length();
  wchar_t* result = new wchar_t[length + 1]();
  unsigned long out = 0;
  unsigned long i = 0;
  while (i < length) {
    if (s[i] == '\\' && i + 5 < length && (s[i + 1] == 'u' || s[i + 1] == 'U')) {
      char digits[5];
      s.copy(digits, 4, i + 2);
      digits[4] = '\0';
      unsigned int value;
      if (sscanf(digits, "%x", &value) == 1) {
        result[out++] = static_cast<wchar_t>(value);
        i += 6;
        continue;
      }
    }
    result[out++] = static_cast<wchar_t>(static_cast<unsigned char>(s[i]));
    ++i;
  }
  return result;
}
