// What the console operations hand on to an installed window (the desktop
// mode): each message with its kind, the no-JVM message's parts, the status
// lines with the one that begins work, the progress steps, the work that
// extraction announces, and nothing at all in a silent run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/platform_impl.h"
#include "platform/run_console.h"
#include "tests/platform/console_capture.h"

namespace {

// Records every call as one line.
class RecordingWindow : public UIWindow {
 public:
  void showMessage(const SString& text, UIMessageKind kind) override {
    calls.push_back(std::string(kind == UI_MESSAGE_ERROR ? "error " : "info ") + text.c_str());
  }
  void showJavaNeeded(const SString& needs, const SString& downloadUrl) override {
    calls.push_back(std::string("java ") + needs.c_str() + " | " + downloadUrl.c_str());
  }
  void statusLine(const SString& text, bool beginsWork) override {
    calls.push_back(std::string(beginsWork ? "work-status " : "status ") + text.c_str());
  }
  void beginWork(long goalSteps) override { calls.push_back("begin " + std::to_string(goalSteps)); }
  void endWork() override { calls.push_back("end"); }
  void progress(long steps) override { calls.push_back("progress " + std::to_string(steps)); }
  void consoleHidden() override { calls.push_back("hidden"); }
  void poll() override { calls.push_back("poll"); }

  std::vector<std::string> calls;
};

class UIWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformImpl::setSilent(false);
    PlatformImpl::showUI();
    PlatformImpl::setUIWindow(&window);
    g_title = SString("Demo");
  }
  void TearDown() override {
    PlatformImpl::setUIWindow(nullptr);
    PlatformImpl::console().configure(false, false);
    PlatformImpl::setSilent(false);
    PlatformImpl::showUI();
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_NONE, "");
    g_title = SString();
    ui_progress = 0;
    ui_progressBlock = 0;
  }

  bvtest::ScopedLang lang{"C"};
  RecordingWindow window;
};

TEST_F(UIWindowTest, TheWindowGetsWhatTheConsoleShows) {
  bvtest::StdoutCapture capture;
  bvtest::StdoutCapture errors(2);
  PlatformImpl::setUIStatus(UI_STATUS_INITIALIZING);
  PlatformImpl::setUIStatus(UI_STATUS_PREPARING_JVM);
  PlatformImpl::advanceUIProgress(3);
  PlatformImpl::advanceUIProgress(0);
  {
    UIWork work(42);
    PlatformImpl::pollUIWindow();
  }
  PlatformImpl::setUISubStatus(UI_SUBSTATUS_VERIFYING, "Java 17 or later");
  PlatformImpl::hideUI(0);
  // Status lines reach the window while the console's output is off.
  PlatformImpl::setUIStatus(UI_STATUS_RUNNING);
  PlatformImpl::console().message("Something failed.");
  PlatformImpl::console().answer("2.51");
  PlatformImpl::console().jvmNotFound("No JVM.", "Java 17 or later", "https://example.org/java");
  PlatformImpl::console().jvmNotFound("No JVM.", "", "");
  std::string out = capture.take();
  std::string err = errors.take();
  EXPECT_EQ(
      (std::vector<std::string>{"status Initializing Demo...", "work-status Preparing Java(tm) Virtual Machine...",
                                "progress 3", "begin 42", "poll", "end", "status Verifying Java 17 or later", "hidden",
                                "status Running Demo...", "error Something failed.", "info 2.51",
                                "java Java 17 or later | https://example.org/java", "java  | "}),
      window.calls);
  // A setup program's console: the messages on standard output, what is
  // needed and where it can be had on standard error, each on a line of
  // its own.
  EXPECT_EQ("The program needs Java 17 or later.\n"
            "A compatible JVM can be downloaded from https://example.org/java\n",
            err);
  EXPECT_NE(std::string::npos, out.find("Something failed.\n2.51\nNo JVM.\nNo JVM.\n")) << out;
}

// A quiet console (CONSOLE_UI: 0) prints nothing of the interface on
// standard output, and the window of a desktop run gets what it would get.
TEST_F(UIWindowTest, AQuietConsoleStillFeedsTheWindow) {
  bvtest::StdoutCapture capture;
  PlatformImpl::console().configure(false, true);
  PlatformImpl::setUITitle("Demo");
  PlatformImpl::setUIStatus(UI_STATUS_INITIALIZING);
  PlatformImpl::showUI();
  PlatformImpl::setUIStatus(UI_STATUS_SEARCHING);
  PlatformImpl::advanceUIProgress(3);
  bvtest::StdoutCapture errors(2);
  PlatformImpl::console().message("Something failed.");
  PlatformImpl::console().message("It broke.");
  PlatformImpl::console().configure(false, false);
  errors.take();
  EXPECT_EQ("", capture.take());
  EXPECT_EQ((std::vector<std::string>{"status Initializing Demo...", "status Searching for Java(tm) Virtual Machine...",
                                      "progress 3", "error Something failed.", "error It broke."}),
            window.calls);
}

TEST_F(UIWindowTest, ASilentRunHandsNothingOn) {
  bvtest::StdoutCapture capture;
  bvtest::StdoutCapture errors(2);
  PlatformImpl::setSilent(true);
  PlatformImpl::setUIStatus(UI_STATUS_PREPARING_JVM);
  PlatformImpl::advanceUIProgress(3);
  {
    UIWork work(42);
    PlatformImpl::pollUIWindow();
  }
  PlatformImpl::hideUI(0);
  PlatformImpl::console().message("Something failed.");
  PlatformImpl::console().jvmNotFound("No JVM.", "Java 17 or later", "https://example.org/java");
  EXPECT_EQ("", capture.take());
  // Silent means no progress display, not no error.
  EXPECT_EQ("Something failed.\nNo JVM.\nThe program needs Java 17 or later.\n"
            "A compatible JVM can be downloaded from https://example.org/java\n",
            errors.take());
  EXPECT_TRUE(window.calls.empty());
  EXPECT_EQ(nullptr, PlatformImpl::getUIWindow());
}

}  // namespace
