// Locale choice and message formatting of the message catalog.
//
// Each language has two tables: its texts in its traditional character set
// and in UTF-8, both made at build time. The language comes from LC_ALL,
// LC_MESSAGES or LANG, the first that is set and not empty; the console's
// codeset from LC_ALL, LC_CTYPE or LANG. A console whose locale names no
// codeset, or the table's own, gets the table's bytes; a UTF-8 console the
// UTF-8 table; neither needs a conversion at run time. Another codeset
// (de_DE.ISO-8859-15, ru_RU.KOI8-R) gets the UTF-8 texts converted with
// iconv where iconv may load the system's conversion modules
// (conversion_modules.h); when it may not, or the conversion fails, the
// table's bytes are given unchanged. A codeset that does not write ASCII as
// ASCII (UTF-16, UTF-32) gets UTF-8 instead.
#include "platform/messages.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/conversion_modules.h"

namespace {

// Length of the first pass's comparison of locale code and LANG.
const size_t kFirstPassLength = 5;

// Copies text to buffer + used, as much of it as fits before the buffer's
// last byte, which stays NUL.
void appendBounded(char* buffer, size_t& used, const char* text, size_t length) {
  size_t room = kMessageBufferSize - 1 - used;
  if (length > room) length = room;
  memcpy(buffer + used, text, length);
  used += length;
}

// Whether two codeset names name the same set as glibc compares them
// ("UTF-8" and "utf8", "EUC-JP" and "eucJP").
bool sameCodeset(const char* a, const char* b) {
  return normalizedCodeset(a) == normalizedCodeset(b);
}

// False when codeset is known and writes plain ASCII text as other bytes
// (UTF-16, UTF-32, UCS-2, UCS-4, EBCDIC): a console cannot show such bytes
// as text, and their NULs would end the messages. An unknown codeset counts
// as compatible; conversions to it fail and give the table's bytes. UTF-8
// and the tables' sets are known without asking iconv.
bool isAsciiCompatible(const char* codeset) {
  std::string name = normalizedCodeset(codeset);
  for (const char* wide : {"utf16", "utf32", "ucs2", "ucs4", "unicode"}) {
    if (name.compare(0, strlen(wide), wide) == 0) return false;
  }
  if (name == "utf8") return true;
  for (int i = 0; i < kLocaleCount; ++i) {
    if (name == normalizedCodeset(msg_locale_charset[i])) return true;
  }
  if (!iconvUsable("ASCII", codeset)) return true;
  static const char kSample[] = "Az09 .,:;%()/-\n";
  SString converted;
  if (convertCharset(kSample, sizeof kSample - 1, "ASCII", codeset, converted)) {
    return converted.compare(kSample) == 0;
  }
  iconv_t cd = iconv_open(codeset, "ASCII");
  if (cd == reinterpret_cast<iconv_t>(-1)) return true;
  iconv_close(cd);
  return false;
}

// Splits text at its one "%s" into head and rest; false when it has none
// (head is then the whole text).
bool splitAtPlaceholder(const char* text, SString& head, SString& rest) {
  const char* placeholder = strstr(text, "%s");
  if (placeholder == nullptr) {
    head = SString(text);
    rest = SString();
    return false;
  }
  head = SString(text, static_cast<unsigned long>(placeholder - text));
  rest = SString(placeholder + 2);
  return true;
}

}  // namespace

const char* getLocaleVariable(const char* category) {
  for (const char* name : {"LC_ALL", category, "LANG"}) {
    const char* value = getenv(name);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return nullptr;
}

int get_locale() {
  const char* lang = getLocaleVariable("LC_MESSAGES");
  if (lang == nullptr) return 0;
  SString copy(lang);
  if (copy.compare("C") == 0) return 0;
  for (int i = 0; i < kLocaleCount; ++i) {
    if (strncmp(msg_locale_table[i][0], copy.c_str(), kFirstPassLength) == 0) return i;
  }
  for (int i = 0; i < kLocaleCount; ++i) {
    const char* code = msg_locale_table[i][0];
    if (strncmp(code, copy.c_str(), strlen(code)) == 0) return i;
  }
  return 0;
}

SString getConsoleCodeset() {
  const char* lang = getLocaleVariable("LC_CTYPE");
  if (lang == nullptr) return SString();
  const char* dot = strchr(lang, '.');
  if (dot == nullptr) return SString();
  ++dot;
  SString codeset(dot, strcspn(dot, "@"));
  if (!codeset.empty() && !isAsciiCompatible(codeset.c_str())) return SString("UTF-8");
  return codeset;
}

bool convertCharset(const char* text, unsigned long length, const char* from, const char* to,
                    SString& out) {
  if (!iconvUsable(from, to)) return false;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  SString converted;
  char chunk[256];
  char* in = const_cast<char*>(text);
  size_t inLeft = length;
  bool ok = true;
  // One pass over the input, then one call without input that writes the
  // sequence returning a stateful encoding to its initial state.
  for (bool flushing = false;;) {
    char* outPtr = chunk;
    size_t outLeft = sizeof(chunk);
    size_t result = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                             : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    converted.append(chunk, sizeof(chunk) - outLeft);
    if (result != static_cast<size_t>(-1)) {
      if (flushing) break;
      flushing = true;
    } else if (errno != E2BIG) {
      ok = false;  // EILSEQ or EINVAL: a byte sequence that does not convert
      break;
    }
  }
  iconv_close(cd);
  if (ok) out = converted;
  return ok;
}

char* get_msg(int id, void* arg) {
  char* buffer = new char[kMessageBufferSize]();
  if (id < 0 || id >= kMessageCount) {
    snprintf(buffer, kMessageBufferSize, "Error displaying message: id(%d)", id);
    return buffer;
  }
  int locale = get_locale();
  // Split at the one placeholder before any conversion: in the tables' sets
  // and in UTF-8 "%s" can only be the two ASCII characters. The argument is
  // inserted as it is, never read as a format.
  SString head;
  SString rest;
  bool placeholder = splitAtPlaceholder(msg_locale_table[locale][id], head, rest);
  SString codeset = getConsoleCodeset();
  if (!codeset.empty() && !sameCodeset(codeset.c_str(), msg_locale_charset[locale])) {
    SString utf8Head;
    SString utf8Rest;
    splitAtPlaceholder(msg_locale_table_utf8[locale][id], utf8Head, utf8Rest);
    SString convertedHead;
    SString convertedRest;
    if (sameCodeset(codeset.c_str(), "UTF-8")) {
      head = utf8Head;
      rest = utf8Rest;
    } else if (convertCharset(utf8Head.c_str(), utf8Head.length(), "UTF-8", codeset.c_str(),
                              convertedHead) &&
               convertCharset(utf8Rest.c_str(), utf8Rest.length(), "UTF-8", codeset.c_str(),
                              convertedRest)) {
      head = convertedHead;
      rest = convertedRest;
    }
  }
  size_t used = 0;
  appendBounded(buffer, used, head.c_str(), head.length());
  if (placeholder && arg != nullptr) {
    const char* argText = static_cast<const char*>(arg);
    appendBounded(buffer, used, argText, strlen(argText));
  }
  appendBounded(buffer, used, rest.c_str(), rest.length());
  return buffer;
}
