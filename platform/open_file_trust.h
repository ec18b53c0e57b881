// The ownership check (PlatformImpl::isTrustedFile) of a file that is open
// already. A check by name alone leaves a gap: in a folder where another
// user may add entries (a sticky /tmp), the file opened and the file
// checked a moment later need not be the same, and the bytes read would be
// theirs. Here what is read is what was checked.
#ifndef BV_PLATFORM_OPEN_FILE_TRUST_H_
#define BV_PLATFORM_OPEN_FILE_TRUST_H_

#include "foundation/sstring.h"

// True when path passes the ownership check, still names the file open
// as fd, and that file belongs to root or the user and is not writable by
// group or others. On false, reason holds one English sentence that says
// what is wrong (the check's own, or "The file PATH was replaced after it
// was opened.").
bool isTrustedOpenFile(int fd, const SString& path, SString& reason);

#endif  // BV_PLATFORM_OPEN_FILE_TRUST_H_
