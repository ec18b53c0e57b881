// ApplicationArchive: the archive that %APPLICATION_ARCHIVE% names, made
// once per run: the embedded application archive extracted into a new
// temporary directory, or a named file next to the original launcher
// copied there. The first call that finds one fixes it for the run.
#ifndef BV_LAUNCHSCRIPT_APPLICATION_ARCHIVE_H_
#define BV_LAUNCHSCRIPT_APPLICATION_ARCHIVE_H_

#include "foundation/sstring.h"

class LauncherInputFiles;

class ApplicationArchive {
 public:
  ApplicationArchive() {}
  ApplicationArchive(const ApplicationArchive&) = delete;
  ApplicationArchive& operator=(const ApplicationArchive&) = delete;

  // The path of the archive: the last embedded entry of type
  // FILE_APPLICATION_ARCHIVE of inputFiles, extracted into a new temporary
  // directory; empty when there is none.
  const SString& archivePath(const LauncherInputFiles& inputFiles);
  // The file fileName in launcherDir (the original launcher's directory)
  // copied into a new temporary directory (0600), under the rules of the
  // side files: opened without waiting, a regular file that passes the
  // ownership check (PlatformImpl::isTrustedFile), else LauncherException
  // "The file PATH next to the launcher cannot be the application archive:
  // REASON". A missing file gives "" (and a log warning). Throws
  // LauncherException with the read or write error when the copy fails, and
  // on a cancel; a short copy is not kept.
  const SString& archivePath(const SString& fileName, const SString& launcherDir);

 private:
  SString m_path;
};

#endif  // BV_LAUNCHSCRIPT_APPLICATION_ARCHIVE_H_
