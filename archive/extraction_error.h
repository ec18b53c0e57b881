// The error of a file that extraction cannot write.
#ifndef BV_ARCHIVE_EXTRACTION_ERROR_H_
#define BV_ARCHIVE_EXTRACTION_ERROR_H_

#include <string>

#include "foundation/sstring.h"
#include "platform/write_error.h"

// writeErrorText (platform/write_error.h): MSG_FILE_WRITE_ERROR, the error
// number and the system's text for it, the path that could not be written,
// and MSG_TEMP_SPACE_HINT only for a full disk or quota. An error number of
// 0 (no room on the disk: nothing was attempted) gives the prefix, the path
// (the folder) and the hint. It keeps the error number
// (WriteErrorException).
WriteErrorException fileWriteError(int errorNumber, const SString& path);
WriteErrorException fileWriteError(int errorNumber, const std::string& path);

#endif  // BV_ARCHIVE_EXTRACTION_ERROR_H_
