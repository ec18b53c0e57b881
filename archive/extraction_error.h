// The error of a file that extraction cannot write.
#ifndef BV_ARCHIVE_EXTRACTION_ERROR_H_
#define BV_ARCHIVE_EXTRACTION_ERROR_H_

#include "launcher/launcher_exception.h"

// The text of MSG_FILE_WRITE_ERROR, the error number in decimal, then the
// text of MSG_TEMP_SPACE_HINT, with nothing between them. An error number
// of 0 is left out (no room on the disk: nothing was attempted).
LauncherException fileWriteError(int errorNumber);

#endif  // BV_ARCHIVE_EXTRACTION_ERROR_H_
