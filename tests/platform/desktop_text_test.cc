// What the desktop windows are given: the download addresses that may be
// opened, the texts in UTF-8 escaped for each dialog program, the command
// lines and the environment of those programs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/desktop_session.h"
#include "platform/dialog_commands.h"
#include "platform/web_url.h"
#include "tests/platform/console_capture.h"
#include "tests/test_util.h"

namespace {

std::vector<std::string> strings(const std::vector<SString>& values) {
  std::vector<std::string> result;
  for (const SString& value : values) result.push_back(value.c_str());
  return result;
}

// A window program is taken from an absolute folder of PATH only: a
// relative entry (and an empty one, the current folder) names a folder
// that depends on where the launcher was started.
TEST(DesktopText, WindowProgramsComeOnlyFromAbsoluteFoldersOfPath) {
  bvtest::TempDir dir;
  for (const char* folder : {"rel", "abs"}) {
    mkdir(dir.file(folder).c_str(), 0755);
    bvtest::writeFile(dir.file(folder) + "/bv-window-program", "#!/bin/sh\n", 0755);
  }
  char saved[4096];
  ASSERT_NE(nullptr, getcwd(saved, sizeof saved));
  ASSERT_EQ(0, chdir(dir.file("rel").c_str()));
  struct Case {
    std::string path, found;
  } cases[] = {
      {"../rel:" + dir.file("abs"), dir.file("abs") + "/bv-window-program"},
      {":rel:.:" + dir.file("abs"), dir.file("abs") + "/bv-window-program"},
      {"../rel::.", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    bvtest::ScopedVariable path("PATH", c.path.c_str());
    std::vector<SString> refused;
    EXPECT_EQ(c.found, findTrustedProgram("bv-window-program", refused).c_str());
    EXPECT_TRUE(refused.empty());
  }
  ASSERT_EQ(0, chdir(saved));
}

TEST(DesktopText, OnlyHttpAndHttpsAddressesAreOpened) {
  struct Case {
    std::string url;
    bool accepted;
  } cases[] = {
      {"https://example.org/java", true},
      {"http://example.org", true},
      {"HTTPS://Example.org/get?os=linux&arch=x64#top", true},
      {"https://example.org/%C3%A4", true},
      {"", false},
      {"https://", false},
      {"https:///path", false},
      {"https://?q", false},
      {"ftp://example.org/java", false},
      {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},
      {"-https://example.org", false},
      {"/usr/bin/evil", false},
      {"https://example.org/a b", false},
      {"https://example.org/a\tb", false},
      {"https://example.org/\n", false},
      {"https://example.org/$(id)", false},
      {"https://example.org/`id`", false},
      {"https://example.org/'x'", false},
      {"https://example.org/\"x\"", false},
      {"https://example.org/a\\b", false},
      {"https://example.org/\xc3\xa4", false},
      {std::string("https://example.org/\0x", 22), false},
      {"https://example.org/" + std::string(2100, 'a'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(c.accepted, isWebPageUrl(SString(c.url.data(), c.url.size())));
  }
}

TEST(DesktopText, EachProgramGetsItsTextAsOneEscapedArgument) {
  // zenity's progress text is markup read after backslash escapes; its
  // text lines are plain but read escapes too.
  EXPECT_EQ("a &amp; &lt;b&gt; &quot;c&quot; \\\\n", std::string(zenityMarkupText("a & <b> \"c\" \\n").c_str()));
  EXPECT_EQ("# C:\\\\new dir two\n", std::string(zenityProgressTextLine("C:\\new\ndir\rtwo").c_str()));
  // kdialog (Qt) takes text that looks like markup for rich text.
  EXPECT_EQ("No markup here\nline 2", std::string(kdialogText("No markup here\nline 2").c_str()));
  EXPECT_EQ("<qt>&lt;b&gt;x&lt;/b&gt;<br>a &amp; b</qt>", std::string(kdialogText("<b>x</b>\na & b").c_str()));
  // The X toolkit takes a leading - or + for an option; button labels
  // cannot hold its separators.
  EXPECT_EQ(" -rv", std::string(xmessageText("-rv").c_str()));
  EXPECT_EQ(" +iconic", std::string(xmessageText("+iconic").c_str()));
  EXPECT_EQ("a-b", std::string(xmessageText("a-b").c_str()));
  EXPECT_EQ("Open  now ", std::string(xmessageButtonLabel("Open, now:").c_str()));

  // The text is always one argument, whatever it holds; zenity takes it in
  // the --text= form, so it is never read as an option.
  SString text("-x; $(rm -rf ~) `id` <i>\nline");
  std::vector<std::string> zenity = strings(messageDialogCommand(DIALOG_ZENITY, "/z/zenity", "T", text, true, "Close"));
  EXPECT_EQ((std::vector<std::string>{"/z/zenity", "--error", "--no-markup", "--width=480", "--title=T",
                                      "--text=-x; $(rm -rf ~) `id` <i>\nline", "--ok-label=Close"}),
            zenity);
  std::vector<std::string> question =
      strings(questionDialogCommand(DIALOG_KDIALOG, "/k/kdialog", "T", "plain", "Open & go", "Close"));
  EXPECT_EQ((std::vector<std::string>{"/k/kdialog", "--title", "T", "--yes-label", "Open && go", "--no-label", "Close",
                                      "--warningyesno", "plain"}),
            question);
  EXPECT_EQ(0, questionOpenStatus(DIALOG_ZENITY));
  std::vector<std::string> xmessage =
      strings(questionDialogCommand(DIALOG_XMESSAGE, "/x/xmessage", "T", "-text", "Open", "Close"));
  EXPECT_EQ((std::vector<std::string>{"/x/xmessage", "-title", "T", "-center", "-buttons", "Open:70,Close:1",
                                      "-default", "Open", " -text"}),
            xmessage);
  EXPECT_EQ(70, questionOpenStatus(DIALOG_XMESSAGE));
  EXPECT_FALSE(hasProgressWindow(DIALOG_XMESSAGE));
  std::vector<std::string> progress =
      strings(progressDialogCommand(DIALOG_ZENITY, "/z/zenity", "T", "Preparing <x>", true));
  EXPECT_EQ((std::vector<std::string>{"/z/zenity", "--progress", "--auto-close", "--width=480", "--title=T",
                                      "--text=Preparing &lt;x&gt;", "--pulsate"}),
            progress);
}

TEST(DesktopText, KdialogsProgressAddressIsReadStrictly) {
  SString service, path;
  ASSERT_TRUE(kdialogProgressAddress("org.kde.kdialog_progress_helper-4242 /ProgressDialog\n", service, path));
  EXPECT_EQ("org.kde.kdialog_progress_helper-4242", std::string(service.c_str()));
  EXPECT_EQ("/ProgressDialog", std::string(path.c_str()));
  for (const char* output :
       {"", "\n", "org.kde.kdialog-1", "org.kde.kdialog-1 ProgressDialog", "org.kde;rm -rf ~ /ProgressDialog",
        "org.kde.kdialog-1 /Progress Dialog", " /ProgressDialog", "org.kde.kdialog-1 /Progress$Dialog"}) {
    SCOPED_TRACE(output);
    EXPECT_FALSE(kdialogProgressAddress(output, service, path));
  }
}

TEST(DesktopText, WindowsGetUtf8WithoutControlCharacters) {
  {
    // A German table without a codeset in the locale: the catalog's
    // Latin-1 bytes become UTF-8.
    bvtest::ScopedLang lang("de_DE");
    EXPECT_FALSE(consoleTextsAreUtf8());
    EXPECT_EQ(
        "Schlie\xc3\x9f"
        "en",
        std::string(textForWindow("Schlie\xdf"
                                  "en")
                        .c_str()));
  }
  {
    bvtest::ScopedLang lang("ja_JP.eucJP");
    EXPECT_EQ("\xe9\x96\x89\xe3\x81\x98\xe3\x82\x8b", std::string(textForWindow("\xca\xc4\xa4\xb8\xa4\xeb").c_str()));
  }
  bvtest::ScopedLang lang("en_US.UTF-8");
  EXPECT_TRUE(consoleTextsAreUtf8());
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain\nsecond line", "plain\nsecond line"},
      {"tab\there", "tab here"},
      {"bell\a esc\x1b[31m del\x7f cr\r", "bell esc[31m del cr"},
      {"\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80", "\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80"},
      {"bad \xff and \xc3 cut", "bad ? and ? cut"},
      {"overlong \xc0\xaf surrogate \xed\xa0\x80", "overlong ?? surrogate ???"},
      {std::string("nul\0in", 6), "nulin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(c.out, std::string(textForWindow(SString(c.in.data(), c.in.size())).c_str()));
  }
}

TEST(DesktopText, DialogProgramsReadUtf8InTheUsersLanguage) {
  auto value = [](const std::vector<SString>& env, const char* name) -> std::string {
    std::string prefix = std::string(name) + "=";
    std::string found = "(unset)";
    for (const SString& entry : env) {
      std::string text = entry.c_str();
      if (text.compare(0, prefix.size(), prefix) == 0) found = text.substr(prefix.size());
    }
    return found;
  };
  // (Only the locales C, POSIX and C.UTF-8 are certain to exist.)
  std::vector<SString> env;
  {
    // UTF-8 texts in a locale that the system has: the environment as it
    // is.
    bvtest::ScopedLang lang("C.UTF-8");
    bvtest::ScopedVariable marker("BV_TEST_MARKER", "kept");
    windowProgramEnvironment(env);
    EXPECT_EQ("C.UTF-8", value(env, "LANG"));
    EXPECT_EQ("(unset)", value(env, "LC_CTYPE"));
    EXPECT_EQ("(unset)", value(env, "LC_ALL"));
    EXPECT_EQ("kept", value(env, "BV_TEST_MARKER"));
  }
  {
    // ASCII texts made UTF-8: the program reads UTF-8, and LC_ALL's
    // language moves to LC_MESSAGES.
    bvtest::ScopedLang lang("POSIX");
    bvtest::ScopedVariable all("LC_ALL", "C");
    bvtest::ScopedVariable messages("LC_MESSAGES", "POSIX");
    windowProgramEnvironment(env);
    EXPECT_EQ("C.UTF-8", value(env, "LC_CTYPE"));
    EXPECT_EQ("(unset)", value(env, "LC_ALL"));
    EXPECT_EQ("C", value(env, "LC_MESSAGES"));
    EXPECT_EQ("POSIX", value(env, "LANG"));
  }
  {
    // A locale that the system lacks: the program would fall back to
    // ASCII and refuse the texts, so it gets a UTF-8 locale for all.
    bvtest::ScopedLang lang("xx_YY.UTF-8");
    bvtest::ScopedVariable ctype("LC_CTYPE", "xx_YY.UTF-8");
    windowProgramEnvironment(env);
    EXPECT_EQ("C.UTF-8", value(env, "LC_ALL"));
    EXPECT_EQ("(unset)", value(env, "LC_CTYPE"));
    EXPECT_EQ("xx_YY.UTF-8", value(env, "LANG"));
  }
}

}  // namespace
