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
// followed by " compressed FILES files BYTES bytes" for a compressed entry.
// Throws PackError when the file cannot be read, carries no archive, or its
// index is damaged (with the launcher's message).
std::string listLauncher(const std::string& path);

#endif  // BV_TOOLS_PACK_LIST_H_
