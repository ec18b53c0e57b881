// Web page addresses that the launcher offers to open (a JVM file's
// DOWNLOAD_URL, bvpack --java-download-url).
#ifndef BV_PLATFORM_WEB_URL_H_
#define BV_PLATFORM_WEB_URL_H_

#include "foundation/sstring.h"

// The longest address accepted.
const unsigned long kLongestWebUrl = 2048;

// Whether text is an http or https address that may be handed to a page
// opener as it is: "http://" or "https://" (the scheme in any case), then a
// host that is not empty, and nothing but printable ASCII without blanks,
// quotes, backslashes or the characters < > ^ ` { | } $ (a non-ASCII
// address is written percent-encoded; openers are often shell scripts, so
// nothing that a careless one could expand gets through); at most
// kLongestWebUrl bytes. Anything else (another scheme, a file name, an
// option) is never opened.
bool isWebPageUrl(const SString& text);

#endif  // BV_PLATFORM_WEB_URL_H_
