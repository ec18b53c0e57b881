// Locale choice and message formatting of the message catalog.
//
// The tables hold each language's texts in its traditional character set.
// The language comes from LC_ALL, LC_MESSAGES or LANG, the first that is
// set and not empty; the console's codeset from LC_ALL, LC_CTYPE or LANG.
// A console whose locale names a codeset (de_DE.UTF-8, ja_JP.eucJP) gets
// the texts converted to that codeset with iconv, so that a UTF-8 terminal
// does not show Latin-1 or EUC bytes as garbage; without a codeset, or when
// the conversion fails, the table's bytes are given unchanged. A codeset
// that does not write ASCII as ASCII (UTF-16, UTF-32) gets UTF-8 instead.
#include "platform/messages.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

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

// False when codeset is known and writes plain ASCII text as other bytes
// (UTF-16, UTF-32, UCS-2, UCS-4, EBCDIC): a console cannot show such bytes
// as text, and their NULs would end the messages. An unknown codeset counts
// as compatible; conversions to it fail and give the table's bytes.
bool isAsciiCompatible(const char* codeset) {
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
  const char* text = msg_locale_table[locale][id];
  // Split at the one placeholder while the text is still in the table's
  // character set, where "%s" can only be the two ASCII characters; the
  // argument is inserted as it is, never read as a format.
  const char* placeholder = strstr(text, "%s");
  size_t headLength = placeholder != nullptr ? placeholder - text : strlen(text);
  const char* tail = placeholder != nullptr ? placeholder + 2 : text + headLength;
  SString head(text, headLength);
  SString rest(tail);
  SString codeset = getConsoleCodeset();
  if (!codeset.empty()) {
    SString convertedHead;
    SString convertedRest;
    if (convertCharset(head.c_str(), head.length(), msg_locale_charset[locale],
                       codeset.c_str(), convertedHead) &&
        convertCharset(rest.c_str(), rest.length(), msg_locale_charset[locale],
                       codeset.c_str(), convertedRest)) {
      head = convertedHead;
      rest = convertedRest;
    }
  }
  size_t used = 0;
  appendBounded(buffer, used, head.c_str(), head.length());
  if (placeholder != nullptr && arg != nullptr) {
    const char* argText = static_cast<const char*>(arg);
    appendBounded(buffer, used, argText, strlen(argText));
  }
  appendBounded(buffer, used, rest.c_str(), rest.length());
  return buffer;
}
