// DesktopUI: the launcher's windows when it runs on a desktop without a
// terminal (desktop_session.h): started from a file manager or a menu,
// where the console's text would reach nobody.
//
// It is the UIWindow that the console operations feed (ui_window.h):
// It is installed only for a desktop start (desktop_start.h).
// - Messages (errors, and information such as the version) are shown in a
//   message window of the first dialog program found in PATH: zenity,
//   kdialog or xmessage (osascript on macOS). The program must pass the
//   ownership check (PlatformImpl::isTrustedFile); one that fails is not
//   run ("Not running PATH: REASON" in the log) and the next is looked
//   for. Without any, the console and the log have the text, as always.
//   A warning (UI_MESSAGE_WARNING) never opens a window. The window is left
//   to a detached process: the launcher goes on and ends with its status
//   without waiting for a click. A canceled run shows no window.
// - The no-JVM message says what the program needs and, when the author
//   gave a download page, offers to open it with xdg-open (open on macOS),
//   which must pass the ownership check too; the detached process opens
//   the page when the user asks for it.
// - Long work (UIWindow::beginWork, the status "Preparing Java(tm) Virtual
//   Machine...") that lasts longer than about a second shows a progress
//   window (zenity, or kdialog with qdbus; progress_window.h), fed with
//   the console's progress steps. Closing it cancels the run as SIGTERM
//   would, clean-up included.
// Every program gets its texts as arguments of their own; none runs
// through a shell.
#ifndef BV_PLATFORM_DESKTOP_UI_H_
#define BV_PLATFORM_DESKTOP_UI_H_

#include <vector>

#include "foundation/sstring.h"
#include "platform/dialog_commands.h"
#include "platform/progress_window.h"
#include "platform/ui_window.h"

// How long work goes on before its progress window opens, in milliseconds;
// BV_PROGRESS_WINDOW_DELAY_MS (0 to 60000) changes it, for tests.
const long kProgressWindowDelayMillis = 1000;

class DesktopUI : public UIWindow {
 public:
  // Writes one line to the run's log; warning: a WARNING line, else INFO.
  typedef void (*LogLine)(const SString& text, bool warning);

  explicit DesktopUI(LogLine log);
  // Closes the progress window when it is open.
  ~DesktopUI() override;
  DesktopUI(const DesktopUI&) = delete;
  DesktopUI& operator=(const DesktopUI&) = delete;

  void showMessage(const SString& text, UIMessageKind kind) override;
  void showJavaNeeded(const SString& needs, const SString& downloadUrl) override;
  void statusLine(const SString& text, bool beginsWork) override;
  void beginWork(long goalSteps) override;
  void endWork() override;
  void progress(long steps) override;
  void consoleHidden() override;
  void poll() override;

  // Why the run is a desktop start (desktop_start.h), for the log.
  void setStartReason(const SString& reason) { m_startReason = reason; }

 private:
  // Looks for the dialog program once; whether there is one.
  bool findDialogProgram();
  // The title of the windows: the console's title, else the launcher's
  // file name.
  SString windowTitle() const;
  // Leaves the window of argv to a detached process (detached_process.h)
  // that outlives the launcher: the run never waits for it. When opener is
  // not empty and the window ends with openStatus (the user chose to open
  // the page), that process then starts opener with url. False (logged)
  // when the process could not be started.
  bool leaveWindow(const std::vector<SString>& argv, const SString& opener, const SString& url, int openStatus);
  // The page opener (xdg-open; open on macOS) that passes the ownership
  // check, or "" (logged).
  SString findPageOpener();

  void startWork(long goalSteps);
  void finishWork();
  void updateWork();
  void openProgressWindow();
  void checkProgressWindow(bool immediately = false);

  // One line to the log.
  void log(const SString& text, bool warning) const;

  LogLine m_log;
  SString m_startReason;
  int m_programState;  // 0: not looked for yet, 1: found, -1: none
  DialogProgramKind m_kind;
  SString m_program;
  std::vector<SString> m_env;
  int m_qdbusState;  // as m_programState, for kdialog's progress window
  SString m_qdbus;

  ProgressWindow m_window;
  long m_delayMillis;
  int m_workDepth;      // beginWork calls not yet ended
  bool m_statusWork;    // the work of a status line
  bool m_working;       // some work is going on
  bool m_windowFailed;  // this work's window could not be opened
  long m_goal;
  long m_done;
  long m_workStart;
  SString m_statusText;  // the last status line, for the window
};

#endif  // BV_PLATFORM_DESKTOP_UI_H_
