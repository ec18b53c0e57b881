// DamagedLauncherException: the launcher file is not the file that bvpack
// wrote (a digest differs, it was cut short, its digest block or index does
// not add up). Its message is exactly the catalog text "The launcher file is
// damaged or incomplete. Download it again." in the user's language; what
// was found wrong is kept apart for the log. Every handler that wraps a
// LauncherException's message passes this one on unchanged, so it reaches
// the user as it is (and a window can show it as it is); Launcher::process
// shows it, logs it with the detail in parentheses, and the run ends with
// 255.
#ifndef BV_ARCHIVE_DAMAGED_LAUNCHER_H_
#define BV_ARCHIVE_DAMAGED_LAUNCHER_H_

#include "foundation/sstring.h"
#include "foundation/launcher_exception.h"

// LauncherFileException: the launcher file itself cannot run (it is damaged,
// or it is the launcher program without a payload). Such a file is found
// out before its settings can be read, so its message does not follow them:
// the Console shows it on standard error (run_console.h).
class LauncherFileException : public LauncherException {
 public:
  using LauncherException::LauncherException;
};

class DamagedLauncherException : public LauncherFileException {
 public:
  // detail: what was found, in English, for the log ("the digest of
  // app.jar differs").
  explicit DamagedLauncherException(const SString& detail);

  const SString& getDetail() const { return m_detail; }

 private:
  SString m_detail;
};

#endif  // BV_ARCHIVE_DAMAGED_LAUNCHER_H_
