// Helpers of PlatformImpl::executeProcess shared with its tests.
#ifndef BV_PLATFORM_PLATFORM_PROCESS_H_
#define BV_PLATFORM_PLATFORM_PROCESS_H_

#include <sys/types.h>

#include "foundation/sstring.h"

// The most that one read of captured output takes.
const int kReadChunkSize = 4096;

// Reads at most kReadChunkSize bytes from fd. When it read some, appends
// them to *out (unless out is null) and advances the UI progress by one
// dot. Returns the count read: above 0 for data, 0 at the end of data, -1
// when no data is ready or on error.
int readFromFile(int fd, SString* out);

// In a child just forked by the launcher (process launcher): the child is
// ended with SIGKILL when the launcher ends, however it ends (a SIGKILL, a
// crash), so that a launcher that is gone never leaves its application
// running (Linux: PR_SET_PDEATHSIG, kept across exec). A launcher that ended
// between the fork and this call would send nothing: the parent is then
// another process (the child was adopted), and the child ends at once with
// status 127. Async-signal-safe. Elsewhere than on Linux it does nothing.
void endWithLauncher(pid_t launcher);

#endif  // BV_PLATFORM_PLATFORM_PROCESS_H_
