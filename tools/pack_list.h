// bvpack --list: the index of an existing launcher, read by the launcher's
// own reader.
#ifndef BV_TOOLS_PACK_LIST_H_
#define BV_TOOLS_PACK_LIST_H_

#include <string>

// The listing of the launcher at path:
//   launcher purpose: P
//   file index offset: O
//   file count: N
// then one line per entry in index order:
//   POSITION type TYPE (NAME) id ID length LENGTH offset OFFSET name FILE
// followed by " compressed FILES files BYTES bytes" for a compressed entry,
// then "digests: none" or, when every digest matched (the index, the
// executable image and every entry, compressed ones too),
//   digests: SHA-256, executable image of S bytes, index and every file whole
// Throws PackError when the file cannot be read, carries no archive, its
// index is damaged (with the launcher's message) or a digest differs (the
// launcher's message, and in parentheses what differs).
std::string listLauncher(const std::string& path);

#endif  // BV_TOOLS_PACK_LIST_H_
