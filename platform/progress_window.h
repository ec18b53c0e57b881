// ProgressWindow: the window that shows long work (extracting large files,
// preparing a JVM) on the desktop, fed with the console's progress steps.
//
// zenity shows it as "zenity --progress", fed with percentages and text
// lines on its standard input (non-blocking: a line that does not fit into
// the pipe is dropped, the next one says the same); kdialog as "kdialog
// --progressbar", driven through qdbus (set value, label, wasCancelled,
// close), which is needed for that: without qdbus there is no progress
// window. The user closes it with its Cancel button or the window's close
// button, which check reports once.
#ifndef BV_PLATFORM_PROGRESS_WINDOW_H_
#define BV_PLATFORM_PROGRESS_WINDOW_H_

#include <vector>

#include "foundation/sstring.h"
#include "platform/dialog_commands.h"
#include "platform/dialog_process.h"

class ProgressWindow {
 public:
  ProgressWindow();
  // Closes the window when it is open.
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // Opens the window with program (zenity, or kdialog with qdbus at the
  // path qdbus). pulsate: work of unknown size. False, with the reason in
  // error, when it cannot be shown.
  bool show(DialogProgramKind kind, const SString& program, const SString& qdbus, const SString& title,
            const SString& text, bool pulsate, const std::vector<SString>& env, SString& error);
  bool isOpen() const { return m_open; }
  // Shows percent (0 to 99) when it differs from what is shown.
  void setPercent(int percent);
  void setText(const SString& text);
  // What became of the window: still shown; closed by the user (the
  // window is gone then, isOpen is false); or its program ended at once,
  // before anybody could have closed it (no display to show it on: gone
  // too). Reported once. Looks at most every few tenths of a second (cheap
  // in between), unless immediately is set.
  enum State { kShown, kClosedByUser, kNotShown };
  State check(bool immediately = false);
  // The wait status of a program that ended (kNotShown).
  int endStatus() const { return m_zenity.waitStatus(); }
  // The work is done: shows the full bar and closes the window.
  void finish();

 private:
  // Runs a qdbus command line, bounded in time; its output into *output
  // when not null. True when it ended with status 0.
  bool runQdbus(const std::vector<SString>& argv, SString* output);

  bool m_open;
  DialogProgramKind m_kind;
  DialogProcess m_zenity;
  SString m_qdbus;
  SString m_service;
  SString m_path;
  std::vector<SString> m_env;
  int m_shownPercent;
  long m_lastUpdate;
  long m_lastCheck;
  long m_openedAt;
};

#endif  // BV_PLATFORM_PROGRESS_WINDOW_H_
