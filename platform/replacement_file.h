// ReplacementFile: writes a file that may already exist without ever
// writing into the existing one.
//
// The bytes go to a new file that no one else can have prepared: a
// temporary name beside the target, opened with O_CREAT | O_EXCL |
// O_NOFOLLOW, so neither a planted file nor a planted symbolic link is
// opened. commit() then renames it over the target, which replaces a
// regular file by a new one (a new inode) and never follows a link. A
// symbolic link or a directory already at the target is refused before
// anything is created. Until commit() succeeds the
// target is untouched; the destructor removes an uncommitted temporary file,
// so an error or a cancel leaves no partly written file behind. The
// temporary file is also recorded for the cancel signals' immediate
// clean-up while it exists.
#ifndef BV_PLATFORM_REPLACEMENT_FILE_H_
#define BV_PLATFORM_REPLACEMENT_FILE_H_

#include <sys/types.h>

#include "foundation/sstring.h"

class ReplacementFile {
 public:
  // Checks the target and creates the temporary file with exactly mode
  // (whatever the umask). Throws LauncherException "Refusing to write
  // through the symbolic link <target>." for a link; any other failure (a
  // directory at the target: EISDIR) leaves fd() at -1 and its errno in
  // error().
  ReplacementFile(const SString& target, mode_t mode);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // The open temporary file for writing, or -1 when it could not be made.
  int fd() const { return m_fd; }
  // The errno of the first failure, 0 while there is none.
  int error() const { return m_error; }
  // Writes all of text (EINTR retried); false, with error() set, on failure.
  bool writeAll(const SString& text);
  // Closes the temporary file and renames it over the target. Returns
  // false, with error() set and the temporary file removed, on failure.
  bool commit();

 private:
  void discard();

  SString m_target;
  SString m_tempPath;
  int m_fd;
  int m_error;
};

#endif  // BV_PLATFORM_REPLACEMENT_FILE_H_
