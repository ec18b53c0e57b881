// The path of a file with every symbolic link, "." and ".." resolved.
#ifndef BV_PLATFORM_REAL_PATH_H_
#define BV_PLATFORM_REAL_PATH_H_

#include "foundation/sstring.h"

// Sets resolved to the absolute path of path without symbolic links
// (realpath(3)) and returns true; false, resolved unchanged, when path does
// not exist or cannot be resolved (a loop, a directory that cannot be
// searched).
bool resolveRealPath(const SString& path, SString& resolved);

// path as a message names it: without "." parts, empty parts and trailing
// separators, and without "NAME/.." pairs. The folder before a ".." is
// resolved first when it exists (NAME may be a link, after which ".."
// leads elsewhere than the text says); one that does not exist is taken as
// written. A relative path stays relative ("" becomes "."); ".." parts at
// its start stay.
SString normalisedPath(const SString& path);

#endif  // BV_PLATFORM_REAL_PATH_H_
