// The message for a failed write: the catalog's "Error writing file = ",
// the error number and the system's text for it, and the hint about
// temporary disk space only when the disk is full or the quota used up.
#ifndef BV_PLATFORM_WRITE_ERROR_H_
#define BV_PLATFORM_WRITE_ERROR_H_

#include "foundation/sstring.h"

// For example "Error writing file = 30 (Read-only file system)"; with
// ENOSPC or EDQUOT the space hint follows. An error of 0 gives the prefix
// and the hint, as when the cause is not known.
SString writeErrorText(int error);

#endif  // BV_PLATFORM_WRITE_ERROR_H_
