// The path of a file with every symbolic link, "." and ".." resolved.
#ifndef BV_PLATFORM_REAL_PATH_H_
#define BV_PLATFORM_REAL_PATH_H_

#include "foundation/sstring.h"

// Sets resolved to the absolute path of path without symbolic links
// (realpath(3)) and returns true; false, resolved unchanged, when path does
// not exist or cannot be resolved (a loop, a directory that cannot be
// searched).
bool resolveRealPath(const SString& path, SString& resolved);

#endif  // BV_PLATFORM_REAL_PATH_H_
