// UIWindow: where the console user interface also shows itself when the
// launcher runs on a desktop without a terminal (desktop_ui.h). The console
// operations of PlatformImpl (platform_ui.cc) pass every message, status
// line and progress step on to the window installed with
// PlatformImpl::setUIWindow, unless the run is silent; the window decides
// what it shows.
//
// Texts arrive as the console prints them: in the console's character set.
#ifndef BV_PLATFORM_UI_WINDOW_H_
#define BV_PLATFORM_UI_WINDOW_H_

#include "foundation/sstring.h"

enum UIMessageKind {
  UI_MESSAGE_ERROR = 0,  // something went wrong (most messages)
  UI_MESSAGE_INFO = 1,   // plain information (-bv:version)
  UI_MESSAGE_WARNING = 2  // the run goes on: standard error only, never a window
};

class UIWindow {
 public:
  virtual ~UIWindow() = default;

  // A message that the console printed (showUIMessage). The window shows it
  // (a warning: nothing) and returns at once; the run never waits for a
  // click.
  virtual void showMessage(const SString& text, UIMessageKind kind) = 0;
  // The message of a search that found no suitable JVM: needs is what the
  // program needs (the JVM files' DESC, may be empty), downloadUrl the page
  // where the author says Java can be had (an http or https URL, or empty).
  // The window explains and offers to open the page.
  virtual void showJavaNeeded(const SString& needs, const SString& downloadUrl) = 0;
  // A status line of the console (printed, or not while the console's
  // output is disabled). beginsWork: the line begins
  // work that may take long without a known size (preparing a JVM); it
  // lasts until the next status line or until the console is hidden.
  virtual void statusLine(const SString& text, bool beginsWork) = 0;
  // Work that may take long begins: goalSteps progress steps are expected
  // (0: unknown). Calls nest; the outermost call's goal counts.
  virtual void beginWork(long goalSteps) = 0;
  // The innermost work that beginWork began has ended.
  virtual void endWork() = 0;
  // The console moved its progress by steps (the progress dots).
  virtual void progress(long steps) = 0;
  // The console's output was turned off (hideUI): the status work ends.
  virtual void consoleHidden() = 0;
  // Gives the window a chance to notice that the user closed it while the
  // launcher waits for a child; cheap when nothing is shown.
  virtual void poll() = 0;
};

#endif  // BV_PLATFORM_UI_WINDOW_H_
