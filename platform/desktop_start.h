// Whether a person started the launcher from a desktop (a file manager, a
// menu, a desktop file), so that what ends the run and the progress of long
// work are shown in windows (desktop_ui.h). A run that nobody watches (a
// CI job, cron, a service, a script reading a pipe) never gets a window,
// even when a display is named in its environment.
//
// The rule, in this order:
//  1. BV_WINDOWS=0 (or "never"): no windows.
//  2. BV_WINDOWS=1 (or "always"): windows, whatever follows (for tests).
//  3. No display (neither DISPLAY nor WAYLAND_DISPLAY is set and not empty;
//     macOS always has one): no windows.
//  4. A controlling terminal (/dev/tty opens), or standard output or error
//     on a terminal: no windows; the console reaches the user.
//  5. INVOCATION_ID is set: a systemd service, no windows.
//  6. Standard output and standard error must both go where no program
//     reads them: closed, /dev/null, the session's journal (a socket whose
//     device and inode JOURNAL_STREAM names) or the session's log file
//     ~/.xsession-errors. A pipe, another file or another socket is read by
//     whoever started the launcher (a CI job, cron, a script): no windows.
// Otherwise the run is a desktop start.
//
// -bv:nowindows turns the windows off for one run (the launcher's command
// line); BV_WINDOWS is read by every launcher.
#ifndef BV_PLATFORM_DESKTOP_START_H_
#define BV_PLATFORM_DESKTOP_START_H_

#include "foundation/sstring.h"

// The name of the variable that turns windows off (0) or forces them (1).
extern const char* const kWindowsVariable;  // "BV_WINDOWS"

// The decision of the rule above; reason says which step decided, as one
// English phrase for the log ("standard output is a pipe").
bool isDesktopStart(SString& reason);

// Where one standard stream goes, as step 6 sees it: true for nowhere a
// program reads (closed, /dev/null, the journal, the session's log); what
// it is in what ("a pipe", "the file /x/out", ...).
bool streamGoesNowhere(int fd, SString& what);

#endif  // BV_PLATFORM_DESKTOP_START_H_
