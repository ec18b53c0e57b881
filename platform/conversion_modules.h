// Whether iconv may convert between two character sets in this process.
//
// glibc converts between UTF-8, ASCII, UCS-2, UCS-4 (WCHAR_T), UTF-16 and
// UTF-32 with code of its own; every other character set needs a module
// that iconv loads from the system (gconv, with dlopen). A module is linked
// against the system's C library. A launcher that carries its own C library
// (the static build) must therefore not load one unless the system's
// library is the same release: a module of another release can crash it.
#ifndef BV_PLATFORM_CONVERSION_MODULES_H_
#define BV_PLATFORM_CONVERSION_MODULES_H_

#include <string>

// The name as glibc compares character-set names: letters in lower case and
// digits, everything else left out ("ISO-8859-1" and "iso88591" give
// "iso88591", "UTF-8" and "utf8" give "utf8").
std::string normalizedCodeset(const char* name);

// Whether glibc converts to and from this set without loading a module.
bool isBuiltInCharset(const char* name);

// True when iconv may be asked to convert between from and to: both are
// built in, or the process uses the system's C library (linked
// dynamically), or it carries its own and the system's library
// (the file the build linked against, e.g. /usr/lib/x86_64-linux-gnu/libc.so.6)
// is the same release. Decided once per process for the last two.
bool iconvUsable(const char* from, const char* to);

// The release that a C library file names in its banner ("2.36" from
// "... release version 2.36."), or "" when it names none or cannot be read.
std::string libcReleaseOf(const char* path);

#endif  // BV_PLATFORM_CONVERSION_MODULES_H_
