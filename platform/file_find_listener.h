// FoundFileHandler: the callback through which the disk scan reports the
// files it finds (FindFiles, platform/file_navigator.h). The JVM search
// hands one in to check every Java executable found.
#ifndef BV_PLATFORM_FILE_FIND_LISTENER_H_
#define BV_PLATFORM_FILE_FIND_LISTENER_H_

#include <functional>

#include "foundation/sstring.h"

// Called synchronously from the walk for every matching path. Returning
// true stops the whole scan.
using FoundFileHandler = std::function<bool(const SString& path)>;

#endif  // BV_PLATFORM_FILE_FIND_LISTENER_H_
