// The run's Console: which stream each kind of text reaches under each
// convention, silent or not, and what the window gets.
#include "platform/run_console.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/console.h"
#include "tests/platform/console_capture.h"

namespace {

using bvtest::StdoutCapture;

// A window that records what it was asked to show.
class RecordingWindow : public UIWindow {
 public:
  void showMessage(const SString& text, UIMessageKind) override { shown.push_back(std::string(text.c_str())); }
  void showJavaNeeded(const SString& needs, const SString&) override {
    shown.push_back("needs " + std::string(needs.c_str()));
  }
  void statusLine(const SString&, bool) override {}
  void beginWork(long) override {}
  void endWork() override {}
  void progress(long) override {}
  void consoleHidden() override {}
  void poll() override {}
  std::vector<std::string> shown;
};

struct Streams {
  std::string out;
  std::string err;
};

Streams capture(const std::function<void()>& action) {
  StdoutCapture err(2);
  StdoutCapture out(1);
  action();
  Streams result;
  result.out = out.take();
  result.err = err.take();
  return result;
}

TEST(RunConsole, EachKindOfTextGoesWhereItsConventionSays) {
  struct Case {
    const char* kind;
    bool unixCommand;
    bool quiet;
    bool silent;
    const char* out;
    const char* err;
  };
  const Case cases[] = {
      // A setup program reads messages on standard output.
      {"message", false, false, false, "m\n", ""},
      {"message", false, false, true, "", "m\n"},
      {"message", false, true, false, "", "m\n"},
      {"message", true, false, false, "", "m\n"},
      {"message", true, false, true, "", "m\n"},
      {"answer", false, false, false, "m\n", ""},
      {"answer", false, false, true, "", ""},
      {"answer", true, false, true, "m\n", ""},
      {"result", false, false, true, "m\n", ""},
      {"result", true, true, true, "m\n", ""},
      {"warning", false, false, false, "", "m\n"},
      {"warning", true, false, true, "", "m\n"},
      {"diagnostic", false, false, false, "", "m\n"},
      {"diagnostic", true, false, false, "", "m\n"},
      {"error output", false, false, false, "m\n", ""},
      {"error output", true, false, false, "", "m\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + (c.unixCommand ? " unix" : " setup") + (c.quiet ? " quiet" : "") +
                 (c.silent ? " silent" : ""));
    Console console;
    console.configure(c.unixCommand, c.quiet);
    console.setSilent(c.silent);
    std::string kind = c.kind;
    Streams streams = capture([&] {
      if (kind == "message") console.message("m");
      if (kind == "answer") console.answer("m");
      if (kind == "result") console.result("m");
      if (kind == "warning") console.warning("m");
      if (kind == "diagnostic") console.diagnostic("m");
      if (kind == "error output") console.applicationErrorOutput("m");
    });
    EXPECT_EQ(c.out, streams.out);
    EXPECT_EQ(c.err, streams.err);
    g_enableOutput = 1;  // configure(quiet) turned it off
  }
}

TEST(RunConsole, TheWindowGetsMessagesButNeverAWarningAndNothingWhenSilent) {
  RecordingWindow window;
  Console console;
  console.configure(true, true);
  console.setWindow(&window);
  capture([&] {
    console.message("error");
    console.warning("a warning");
    console.diagnostic("more");
    console.jvmNotFound("no java", "Java 17", "");
    console.setSilent(true);
    console.message("unseen");
  });
  EXPECT_EQ((std::vector<std::string>{"error", "needs Java 17"}), window.shown);
  EXPECT_EQ(nullptr, console.window());
  g_enableOutput = 1;
}

TEST(RunConsole, TheNoJavaMessageIsAMessageAndWhatTheProgramNeedsADiagnostic) {
  Console console;
  Streams streams = capture([&] { console.jvmNotFound("No Java.", "Java 17", "https://example.org/java"); });
  EXPECT_EQ("No Java.\n", streams.out);
  EXPECT_EQ("The program needs Java 17.\nA compatible JVM can be downloaded from https://example.org/java\n",
            streams.err);
}

}  // namespace
