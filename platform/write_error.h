// The message for a failed write: the catalog's "Error writing file = ",
// the error number and the system's text for it, the file that could not
// be written, and the hint about temporary disk space only when the disk is
// full or the quota used up.
#ifndef BV_PLATFORM_WRITE_ERROR_H_
#define BV_PLATFORM_WRITE_ERROR_H_

#include "foundation/launcher_exception.h"
#include "foundation/sstring.h"

// For example "Error writing file = 30 (Read-only file system): /var/tmp/x";
// with ENOSPC or EDQUOT the space hint follows. An error of 0 (no room:
// nothing was attempted) gives the prefix, the path (a folder then) and the
// hint. An empty path leaves ": PATH" out.
SString writeErrorText(int error, const SString& path);

// Whether error means that the file system has no room left: ENOSPC,
// EDQUOT, or 0 (the space check said no before anything was written).
bool isNoRoomError(int error);

// A failed write, with the message of writeErrorText(error, path) and the
// error number kept, so that a caller can try elsewhere when the disk is
// full.
class WriteErrorException : public LauncherException {
 public:
  WriteErrorException(int error, const SString& path);
  ~WriteErrorException() override;
  int error() const { return m_error; }

 private:
  int m_error;
};

#endif  // BV_PLATFORM_WRITE_ERROR_H_
