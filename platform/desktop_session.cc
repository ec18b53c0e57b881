#include "platform/desktop_session.h"

#include <fcntl.h>
#include <locale.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

#include "platform/messages.h"
#include "platform/platform_impl.h"

extern char** environ;

namespace {

// The codeset that the launcher's texts are in: the console's, else the
// catalog table's.
SString textCodeset() {
  SString codeset = getConsoleCodeset();
  if (codeset.empty()) codeset = msg_locale_charset[get_locale()];
  return codeset;
}

// The length of the UTF-8 sequence that starts at p (at most left bytes),
// or 0 when no valid sequence starts there.
unsigned long utf8SequenceLength(const unsigned char* p, unsigned long left) {
  unsigned char c = p[0];
  unsigned long length;
  unsigned int lowest;
  if (c < 0x80) return 1;
  if (c >= 0xc2 && c <= 0xdf) {
    length = 2;
    lowest = 0x80;
  } else if (c >= 0xe0 && c <= 0xef) {
    length = 3;
    lowest = 0x800;
  } else if (c >= 0xf0 && c <= 0xf4) {
    length = 4;
    lowest = 0x10000;
  } else {
    return 0;
  }
  if (left < length) return 0;
  unsigned int code = c & (0xff >> (length + 1));
  for (unsigned long i = 1; i < length; ++i) {
    if ((p[i] & 0xc0) != 0x80) return 0;
    code = (code << 6) | (p[i] & 0x3f);
  }
  if (code < lowest || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
  return length;
}

#ifndef __APPLE__
// The name of a UTF-8 locale that the system has, or "" when none is known.
SString utf8LocaleName() {
  for (const char* name : {"C.UTF-8", "en_US.UTF-8"}) {
    locale_t locale = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
    if (locale != static_cast<locale_t>(0)) {
      freelocale(locale);
      return SString(name);
    }
  }
  return SString();
}
#endif

}  // namespace

SString findTrustedProgram(const char* name, std::vector<SString>& refused) {
  const char* path = getenv("PATH");
  if (path == nullptr) return SString();
  SString folders(path);
  unsigned long start = 0;
  while (start <= folders.length()) {
    unsigned long colon = folders.find(':', start);
    if (colon == SString::npos) colon = folders.length();
    SString folder = folders.substr(start, colon - start);
    start = colon + 1;
    // An empty or relative entry means a folder that depends on where the
    // launcher was started: never a place to take a program from.
    if (folder.empty() || folder[0] != '/') continue;
    SString candidate = folder;
    if (candidate[candidate.length() - 1] != '/') candidate += '/';
    candidate += name;
    struct stat st;
    if (stat(candidate.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(candidate.c_str(), X_OK) != 0) {
      continue;
    }
    SString reason;
    if (PlatformImpl::isTrustedFile(candidate, reason)) return candidate;
    refused.push_back(SString("Not running ").append(candidate).append(": ").append(reason));
  }
  return SString();
}

bool consoleTextsAreUtf8() {
  SString codeset = textCodeset();
  return strcasecmp(codeset.c_str(), "UTF-8") == 0 || strcasecmp(codeset.c_str(), "UTF8") == 0;
}

void windowProgramEnvironment(std::vector<SString>& env) {
  env.clear();
  SString utf8Locale;
  bool replaceAll = false;
#ifndef __APPLE__
  // The locale that the environment names, as a program that starts sees
  // it: when the system lacks it, the program falls back to "C".
  locale_t userLocale = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
  if (userLocale != static_cast<locale_t>(0)) freelocale(userLocale);
  replaceAll = userLocale == static_cast<locale_t>(0);
  if (replaceAll || !consoleTextsAreUtf8()) utf8Locale = utf8LocaleName();
  if (utf8Locale.empty()) replaceAll = false;
#endif
  const char* all = getenv("LC_ALL");
  bool moveAll = !utf8Locale.empty() && !replaceAll && all != nullptr && all[0] != '\0';
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    SString text(*entry);
    if (!utf8Locale.empty() && (text.find("LC_CTYPE=") == 0 || text.find("LC_ALL=") == 0)) continue;
    if (moveAll && text.find("LC_MESSAGES=") == 0) continue;
    env.push_back(text);
  }
  if (utf8Locale.empty()) return;
  if (replaceAll) {
    env.push_back(SString("LC_ALL=").append(utf8Locale));
    return;
  }
  env.push_back(SString("LC_CTYPE=").append(utf8Locale));
  // LC_ALL named the language too; LC_MESSAGES keeps it.
  if (moveAll) env.push_back(SString("LC_MESSAGES=").append(all));
}

SString textForWindow(const SString& consoleText) {
  SString text = consoleText;
  if (!consoleTextsAreUtf8()) {
    SString converted;
    if (convertCharset(consoleText.data(), consoleText.length(), textCodeset().c_str(), "UTF-8", converted)) {
      text = converted;
    }
  }
  SString result;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  unsigned long left = text.length();
  while (left > 0) {
    unsigned long length = utf8SequenceLength(p, left);
    if (length == 0) {
      result += '?';
      length = 1;
    } else if (length == 1 && (p[0] < 0x20 || p[0] == 0x7f)) {
      if (p[0] == '\n') result += '\n';
      if (p[0] == '\t') result += ' ';
    } else {
      result.append(reinterpret_cast<const char*>(p), length);
    }
    p += length;
    left -= length;
  }
  return result;
}
