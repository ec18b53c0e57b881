#include "platform/web_url.h"

#include <strings.h>

#include <cstring>

bool isWebPageUrl(const SString& text) {
  if (text.length() > kLongestWebUrl) return false;
  const char* s = text.c_str();
  unsigned long start;
  if (strncasecmp(s, "http://", 7) == 0) {
    start = 7;
  } else if (strncasecmp(s, "https://", 8) == 0) {
    start = 8;
  } else {
    return false;
  }
  if (start >= text.length() || strchr("/?#", s[start]) != nullptr) return false;  // no host
  for (unsigned long i = 0; i < text.length(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c <= 0x20 || c >= 0x7f) return false;
    if (strchr("\"'<>\\^`{|}$", c) != nullptr) return false;
  }
  return true;
}
