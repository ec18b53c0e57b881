// The console user interface: what each PlatformImpl UI operation prints on
// standard output and reads from standard input, in and out of silent mode.
#include "platform/platform_impl.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/run_console.h"
#include "tests/platform/console_capture.h"

namespace {

using bvtest::ScopedLang;
using bvtest::StdinFeed;
using bvtest::StdoutCapture;

// Puts the static console state back to its start values around each test.
class ConsoleUI : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }

  static void reset() {
    PlatformImpl::setSilent(false);
    PlatformImpl::showUI();
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_NONE, "");
    PlatformImpl::setCanceled(false);
    g_title = SString();
    ui_progress = 0;
    ui_progressBlock = 0;
  }
};

std::string str(const SString& s) { return std::string(s.data(), s.length()); }

TEST_F(ConsoleUI, StatusLinesAreTheExactEnglishTexts) {
  const char* expected =
      "Demo\n"
      "\nInitializing Demo...\n"
      "\nSearching for Java(tm) Virtual Machine...\n"
      "\nNo Java(tm) Virtual Machine was found.Demo could not be launched.\n"
      "\nRunning Demo...\n"
      "\nPreparing Java(tm) Virtual Machine...\n"
      "\nSearching for JDK 17\n"
      "\nScanning disk(s) for a Java(tm) Virtual Machine...\n"
      "\nVerifying JDK 17\n";
  for (const char* value : {static_cast<const char*>(nullptr), "C", "en_US.UTF-8", "xx_YY"}) {
    SCOPED_TRACE(value == nullptr ? "(unset)" : value);
    ScopedLang lang(value);
    StdoutCapture out;
    PlatformImpl::setUITitle("Demo");
    PlatformImpl::setUIStatus(UI_STATUS_INITIALIZING);
    PlatformImpl::setUIStatus(UI_STATUS_SEARCHING);
    PlatformImpl::setUIStatus(UI_STATUS_JVM_NOT_FOUND);
    PlatformImpl::setUIStatus(UI_STATUS_RUNNING);
    PlatformImpl::setUIStatus(UI_STATUS_PREPARING_JVM);
    PlatformImpl::setUIStatus(static_cast<UIStatus>(5));
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_SEARCHING, "JDK 17");
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_SCANNING, "");
    PlatformImpl::setUISubStatus(UI_SUBSTATUS_VERIFYING, "JDK 17");
    EXPECT_EQ(expected, out.take());
    EXPECT_EQ(UI_SUBSTATUS_VERIFYING, PlatformImpl::getUISubStatus());
    EXPECT_EQ("JDK 17", str(PlatformImpl::getUISubStatusData()));
  }
}

TEST_F(ConsoleUI, StatusLinesFollowTheLanguage) {
  ScopedLang lang("de_DE.UTF-8");
  StdoutCapture out;
  PlatformImpl::setUITitle("Demo");
  PlatformImpl::setUIStatus(UI_STATUS_RUNNING);
  PlatformImpl::setUISubStatus(UI_SUBSTATUS_SCANNING, "");
  EXPECT_EQ("Demo\n\nDemo wird ausgef\xc3\xbchrt...\n"
            "\nDatentr\xc3\xa4ger werden nach einer Java(tm) Virtual Machine durchsucht...\n",
            out.take());
}

TEST_F(ConsoleUI, UnknownSubStatusPrintsNothingAndRecordsNone) {
  StdoutCapture out;
  PlatformImpl::setUISubStatus(UI_SUBSTATUS_SEARCHING, "A");
  out.take();
  StdoutCapture again;
  PlatformImpl::setUISubStatus(static_cast<UISubStatus>(7), "B");
  EXPECT_EQ("", again.take());
  EXPECT_EQ(UI_SUBSTATUS_NONE, PlatformImpl::getUISubStatus());
}

TEST_F(ConsoleUI, HiddenOutputStillShowsMessages) {
  StdoutCapture out;
  PlatformImpl::hideUI(0);
  EXPECT_EQ(0, PlatformImpl::isUIVisible());
  PlatformImpl::setUIStatus(UI_STATUS_RUNNING);
  PlatformImpl::advanceUIProgress(3);
  PlatformImpl::console().message("Canceled by the user.");
  PlatformImpl::showUI();
  EXPECT_EQ(1, PlatformImpl::isUIVisible());
  PlatformImpl::setUIStatus(UI_STATUS_SEARCHING);
  EXPECT_EQ("Canceled by the user.\n\nSearching for Java(tm) Virtual Machine...\n", out.take());
}

TEST_F(ConsoleUI, SilentModePrintsAndAsksNothing) {
  StdinFeed in("/opt/jvm\n");
  StdoutCapture out;
  PlatformImpl::setSilent(true);
  PlatformImpl::showUI();
  EXPECT_EQ(0, PlatformImpl::isUIVisible());
  PlatformImpl::setUITitle("Demo");
  PlatformImpl::setUIStatus(UI_STATUS_INITIALIZING);
  PlatformImpl::setUISubStatus(UI_SUBSTATUS_VERIFYING, "JDK");
  PlatformImpl::advanceUIProgress(80);
  PlatformImpl::setUIProgress(200);
  PlatformImpl::console().message("error");
  EXPECT_EQ("", str(PlatformImpl::promptJVMDestinationDirectory()));
  EXPECT_EQ("", out.take());
  // Nothing was recorded or counted, and the answer was not read.
  EXPECT_EQ(UI_SUBSTATUS_NONE, PlatformImpl::getUISubStatus());
  EXPECT_EQ(0, ui_progress);
  EXPECT_EQ("Demo", str(g_title));
  PlatformImpl::setSilent(false);
  EXPECT_EQ("/opt/jvm", str(getLine()));
}

TEST_F(ConsoleUI, ProgressDotsEndARowAtEachNewMultipleOfSeventy) {
  StdoutCapture out;
  for (int i = 0; i < 70; ++i) PlatformImpl::advanceUIProgress(1);
  PlatformImpl::setUIProgress(100);  // 100 / 70 is still 1: no second line end
  std::string row = std::string(70, '.') + "\n";
  EXPECT_EQ(row, out.take());

  // The block is never lowered: after going back to 0, rows end again only
  // past 140.
  StdoutCapture again;
  PlatformImpl::setUIProgress(0);
  for (int i = 0; i < 139; ++i) PlatformImpl::advanceUIProgress(1);
  EXPECT_EQ(std::string(139, '.'), again.take());
  StdoutCapture last;
  PlatformImpl::advanceUIProgress(1);
  EXPECT_EQ(".\n", last.take());
}

// Standard output is a socket that keeps every write a message of its own.
std::vector<std::string> writesOf(const std::function<void()>& body) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds) != 0) return {"socketpair failed"};
  fflush(stdout);
  int saved = dup(1);
  dup2(fds[1], 1);
  close(fds[1]);
  body();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::vector<std::string> writes;
  char buffer[4096];
  ssize_t n;
  while ((n = recv(fds[0], buffer, sizeof buffer, MSG_DONTWAIT)) > 0) writes.emplace_back(buffer, n);
  close(fds[0]);
  return writes;
}

TEST_F(ConsoleUI, ManyStepsAtOnceGoOutInOneWriteWithARowEndAfterEachSeventiethDot) {
  std::vector<std::string> writes = writesOf([] {
    PlatformImpl::advanceUIProgress(71);
    PlatformImpl::advanceUIProgress(140);  // to 211: past 140 and 210
    PlatformImpl::advanceUIProgress(0);
  });
  std::vector<std::string> expected = {std::string(70, '.') + "\n.",
                                       std::string(69, '.') + "\n" + std::string(70, '.') + "\n."};
  EXPECT_EQ(expected, writes);
}

TEST_F(ConsoleUI, SettingProgressTo100EndsAnOpenRow) {
  StdoutCapture out;
  PlatformImpl::advanceUIProgress(5);
  PlatformImpl::setUIProgress(100);
  PlatformImpl::setUIProgress(100);
  EXPECT_EQ(".....\n", out.take());
}

TEST_F(ConsoleUI, RowsDoNotEndWhileOutputIsHidden) {
  StdoutCapture out;
  PlatformImpl::hideUI(0);
  PlatformImpl::advanceUIProgress(75);
  PlatformImpl::showUI();
  PlatformImpl::advanceUIProgress(1);  // the pending row end comes now
  EXPECT_EQ(".\n", out.take());
}

// The enclosing line is the current one again: a setup program's console
// shows it again ("Searching for ..." after each "Verifying"), a Unix
// command's does not print it a second time.
TEST_F(ConsoleUI, SubStatusWrapperRestoresTheEnclosingLine) {
  for (bool unixCommand : {false, true}) {
    SCOPED_TRACE(unixCommand ? "unix command" : "setup program");
    PlatformImpl::console().configure(unixCommand, false);
    StdoutCapture out;
    {
      SubStatusWrapper outer;
      PlatformImpl::setUISubStatus(UI_SUBSTATUS_SEARCHING, "JDK 17");
      {
        SubStatusWrapper inner;
        PlatformImpl::setUISubStatus(UI_SUBSTATUS_VERIFYING, "JDK 17");
      }
      EXPECT_EQ(UI_SUBSTATUS_SEARCHING, PlatformImpl::getUISubStatus());
    }
    EXPECT_EQ(UI_SUBSTATUS_NONE, PlatformImpl::getUISubStatus());
    EXPECT_EQ(unixCommand ? "\nSearching for JDK 17\n\nVerifying JDK 17\n"
                          : "\nSearching for JDK 17\n\nVerifying JDK 17\n\nSearching for JDK 17\n",
              out.take());
    PlatformImpl::console().configure(false, false);
  }
}

TEST_F(ConsoleUI, MessageTextsForEveryIdentifier) {
  ScopedLang lang(nullptr);
  const char* expected[] = {
      "Could not load the input file.",
      "Error loading instructions file.",
      "Error loading launch script.",
      "Error loading JVM file.",
      "Invalid JVM file id.",
      "Invalid action in input file: ",
      "A log file name must be specified after the -bv:log option on the command line.",
      "Unable to extract embedded files from the launcher. ",
      "Unable to load the launcher file index. ",
      "No JVM installer was included in the launcher.",
      "The JVM is not valid.",
      "An input file name must follow the '-bv:in' command line option.",
      "A suitable JVM could not be found. Please run the program again using the option "
      "-bv:javahome <JAVA HOME DIR>",
      "Unable to search for all JVMs.",
      "Unable to open input file specified on the command line after the -bv:in option.",
      "Error writing file = ",
      " There may not be enough temporary disk space. Try using -bv:tempdir to use a "
      "temporary directory on a partition with more disk space.",
      "Canceled by the user.",
      "Cannot use  as the temp directory because it does not exist. Please run the program "
      "again using the option -bv:tempdir <temp dir> to specify a different directory to use.",
      "The launcher file is damaged or incomplete. Download it again.",
  };
  for (int id = 0; id <= MSG_LAUNCHER_DAMAGED; ++id) {
    SCOPED_TRACE(id);
    EXPECT_EQ(expected[id], str(PlatformImpl::getMessageText(static_cast<MessageIdentifier>(id))));
  }
  EXPECT_EQ("", str(PlatformImpl::getMessageText(static_cast<MessageIdentifier>(20))));
  EXPECT_EQ("", str(PlatformImpl::getMessageText(static_cast<MessageIdentifier>(-1))));
  ScopedLang french("fr_FR");
  EXPECT_EQ("Annul\xe9 par l'utilisateur.", str(PlatformImpl::getMessageText(MSG_CANCELED)));
}

TEST_F(ConsoleUI, PromptReadsOneWord) {
  struct Case {
    const char* input;
    const char* answer;
  } cases[] = {
      {"  /opt/jvm  rest\n", "/opt/jvm"},
      {"\n\t/usr/local/jdk", "/usr/local/jdk"},
      {"", ""},
      {"   \n  ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    StdinFeed in(c.input);
    StdoutCapture out;
    EXPECT_EQ(c.answer, str(PlatformImpl::promptJVMDestinationDirectory()));
    EXPECT_EQ("Supply the destination directory for the Java Virtual Machine:\n", out.take());
  }
}

// A word that does not fit the buffer is dropped whole, never cut, and the
// next word is read normally.
TEST_F(ConsoleUI, OverlongWordIsDroppedNotCut) {
  std::string longWord = "/" + std::string(kLineBufferSize + 500, 'd');
  std::string fits = "/" + std::string(kLineBufferSize - 2, 'f');
  StdinFeed in(longWord + " " + fits + " next");
  EXPECT_EQ("", str(getLine()));
  EXPECT_EQ(fits, str(getLine()));
  EXPECT_EQ("next", str(getLine()));
  EXPECT_EQ("", str(getLine()));
}

// A title with escapes or raw non-ASCII bytes is shown whole: escapes in the
// console's codeset, raw bytes as they are, '?' where the codeset has no
// such character.
TEST_F(ConsoleUI, TitleIsNeverCutShort) {
  struct Case {
    const char* lang;
    const char* title;
    const char* shown;
  } cases[] = {
      {"en_US.UTF-8", "Caf\\u00e9 Suite", "Caf\xc3\xa9 Suite"},
      {"en_US.UTF-8", "Caf\xc3\xa9 Suite", "Caf\xc3\xa9 Suite"},
      {"ja_JP.UTF-8", "\\u4e2d\\u6587 App", "\xe4\xb8\xad\xe6\x96\x87 App"},
      {"de_DE", "Caf\\u00e9 Suite", "Caf\xe9 Suite"},
      {"de_DE.ISO-8859-1", "\\u4e2d Suite", "? Suite"},
      {nullptr, "Caf\\u00e9 Suite", "Caf? Suite"},
      {"C", "Plain \\u0041SCII", "Plain ASCII"},
      {"en_US.UTF-8", "Bad \\uZZZZ and \\u12", "Bad \\uZZZZ and \\u12"},
      {"en_US.UTF-8", "Cut\\u0000here", "Cut"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    ScopedLang lang(c.lang);
    StdoutCapture out;
    PlatformImpl::setUITitle(c.title);
    EXPECT_EQ(c.shown, str(g_title));
    EXPECT_EQ(std::string(c.shown) + "\n", out.take());
  }
}

TEST_F(ConsoleUI, CancelFlag) {
  EXPECT_FALSE(PlatformImpl::isCanceled());
  PlatformImpl::setCanceled(true);
  EXPECT_TRUE(PlatformImpl::isCanceled());
  PlatformImpl::setCanceled(false);
  EXPECT_FALSE(PlatformImpl::isCanceled());
}

}  // namespace
