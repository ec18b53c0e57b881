// Shell-style path patterns below a fixed base directory: "*", "?" and
// "[...]" in a component match names in that directory as fnmatch(3) does,
// and a name that begins with a dot only when the component spells the dot.
//
// The base is taken literally (a home or launcher directory may hold
// pattern characters of its own); only the pattern's components are
// matched. The walk is bounded: each level keeps at most maxPaths paths, so
// a pattern over a huge directory costs one read of it and no more memory.
#ifndef BV_PLATFORM_PATH_PATTERN_H_
#define BV_PLATFORM_PATH_PATTERN_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

// True when text holds '*', '?' or '['.
bool hasPathPatternChars(const SString& text);

// Appends to matches every directory (symbolic links to directories
// included) whose path is base followed by components that match pattern's
// components in turn, in the order the directories list them. Empty
// components of pattern ("a//b", a trailing "/") are ignored; a component
// without pattern characters is taken as it is. Unreadable directories give
// no matches. Returns false when some level had more than maxPaths paths and
// the rest were left out.
bool expandPathPattern(const SString& base, const SString& pattern, long maxPaths,
                       StringDeque& matches);

#endif  // BV_PLATFORM_PATH_PATTERN_H_
