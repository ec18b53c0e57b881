// Console: where the launcher's own texts go, decided in one place for the
// whole run.
//
// A launcher talks to two kinds of caller. A setup program starts it, reads
// its standard output (status lines, messages, the results of an input
// file's action) and its exit status; for such a launcher every message of
// the launcher is a line of standard output, as the launcher file format
// defines it. A person or a script starts a one-line launcher like any Unix
// command: its standard output belongs to the application, so the
// launcher's errors and warnings go to standard error. The instruction
// script chooses (UNIX_COMMAND, archive/launcher_settings.h); the run makes
// one Console from that setting and the command line (-bv:silent), and every
// text goes through it by its kind, never by a stream that a call site
// picks:
//
//   kind            setup-program launcher          Unix-command launcher
//   message         stdout, unless silent (then     stderr
//                   stderr); also while the
//                   output is off
//   answer          stdout, unless silent           stdout
//   result          stdout                          stdout
//   warning         stderr and the log              stderr and the log
//   diagnostic      stderr                          stderr
//   launcher file   stderr                          stderr
//
// Messages (not warnings) also go to the window of a desktop run (ui_window.h),
// unless the run is silent. The status lines and progress dots are the
// interface of PlatformImpl (platform_ui.cc), which asks the installed
// Console whether the run is silent or quiet and which window it has.
#ifndef BV_PLATFORM_RUN_CONSOLE_H_
#define BV_PLATFORM_RUN_CONSOLE_H_

#include "foundation/sstring.h"
#include "platform/ui_window.h"

class Console {
 public:
  Console() = default;
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Set once, from the launcher's settings, before the command line is read.
  // unixCommand: the conventions of a Unix command (table above, and the
  // other behaviours that UNIX_COMMAND brings, which their owners ask for
  // with isUnixCommand). quiet: nothing of the status display on standard
  // output and nothing asked (CONSOLE_UI 0); messages still reach the user.
  void configure(bool unixCommand, bool quiet);
  bool isUnixCommand() const { return m_unixCommand; }
  bool isQuiet() const { return m_quiet; }

  // -bv:silent and -silent: no status display, no question, no window.
  void setSilent(bool silent) { m_silent = silent; }
  bool isSilent() const { return m_silent; }

  // The window of a desktop run (null: none), kept by the caller until it
  // installs another.
  void setWindow(UIWindow* window) { m_window = window; }
  // The window, or null when there is none or the run is silent.
  UIWindow* window() const { return m_silent ? nullptr : m_window; }

  // A message of the launcher: an error that ends the run or an action, the
  // text of a failed check. kind tells the window how to show it.
  void message(const SString& text, UIMessageKind kind = UI_MESSAGE_ERROR) const;
  // What the user asked for on the command line (-bv:version).
  void answer(const SString& text) const;
  // One line of an input file's result, which the calling program reads.
  void result(const SString& line) const;
  // A warning: the run goes on. Logged as one, never shown in a window.
  void warning(const SString& text) const;
  // A line that explains more than the message said (what was looked for,
  // the reason a system call gave).
  void diagnostic(const SString& text) const;
  // A search found no suitable JVM: message (the catalogued text), then what
  // the program needs and where Java can be had (each on a line of its own,
  // as diagnostics, when not empty); the window explains the same.
  void jvmNotFound(const SString& message, const SString& needs, const SString& downloadUrl) const;
  // A message about the launcher file itself (damaged, or the launcher
  // program without a payload), found out before its settings could be
  // read: standard error in every launcher, and the window.
  void launcherFileMessage(const SString& text) const;
  // What a failed application wrote to its captured standard error, shown
  // when the run ends.
  void applicationErrorOutput(const SString& text) const;

 private:
  // The message's line on the stream the table gives, without the window.
  void printMessage(const SString& text) const;

  bool m_unixCommand = false;
  bool m_quiet = false;
  bool m_silent = false;
  UIWindow* m_window = nullptr;
};

#endif  // BV_PLATFORM_RUN_CONSOLE_H_
