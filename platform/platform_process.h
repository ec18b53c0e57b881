// Helpers of PlatformImpl::executeProcess shared with its tests.
#ifndef BV_PLATFORM_PLATFORM_PROCESS_H_
#define BV_PLATFORM_PLATFORM_PROCESS_H_

#include "foundation/sstring.h"

// The most that one read of captured output takes.
const int kReadChunkSize = 4096;

// Reads at most kReadChunkSize bytes from fd. When it read some, appends
// them to *out (unless out is null) and advances the UI progress by one
// dot. Returns the count read: above 0 for data, 0 at the end of data, -1
// when no data is ready or on error.
int readFromFile(int fd, SString* out);

#endif  // BV_PLATFORM_PLATFORM_PROCESS_H_
