// Which variables choose the catalog's language and the console's codeset:
// LC_ALL, then LC_MESSAGES (LC_CTYPE for the codeset), then LANG, the first
// that is set and not empty; and the UTF-8 output for codesets that do not
// write ASCII as ASCII.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/messages.h"
#include "tests/platform/console_capture.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

std::string sourceLine(const std::string& locale, int id) {
  std::istringstream in(readFile(sourcePath("platform/messages/" + locale + ".txt")));
  std::string line;
  for (int i = 0; i <= id && std::getline(in, line); ++i) {
  }
  return line;
}

std::string msg(int id) {
  std::unique_ptr<char[]> text(get_msg(id, nullptr));
  return text.get();
}

struct Locale {
  const char* all;
  const char* messages;
  const char* ctype;
  const char* lang;
};

// The four variables set (or unset, for null) for the scope.
class ScopedLocale {
 public:
  explicit ScopedLocale(const Locale& l)
      : m_all("LC_ALL", l.all),
        m_messages("LC_MESSAGES", l.messages),
        m_ctype("LC_CTYPE", l.ctype),
        m_lang("LANG", l.lang) {}

 private:
  ScopedVariable m_all;
  ScopedVariable m_messages;
  ScopedVariable m_ctype;
  ScopedVariable m_lang;
};

TEST(LocaleChoice, LcAllThenLcMessagesThenLangChooseTheLanguage) {
  struct Case {
    Locale locale;
    const char* code;
  } cases[] = {
      {{"fr_FR.UTF-8", nullptr, nullptr, "de_DE.UTF-8"}, "fr"},
      {{"fr_FR.UTF-8", "it_IT.UTF-8", nullptr, "de_DE.UTF-8"}, "fr"},
      {{nullptr, "it_IT.UTF-8", nullptr, "de_DE.UTF-8"}, "it"},
      {{"", "it_IT", nullptr, "de_DE"}, "it"},      // empty counts as unset
      {{"", "", "sv_SE", "de_DE"}, "de"},           // LC_CTYPE is not the language
      {{"C", nullptr, nullptr, "de_DE.UTF-8"}, "en"},
      {{nullptr, "C", nullptr, "de_DE.UTF-8"}, "en"},
      {{nullptr, "POSIX", nullptr, "de_DE"}, "en"},
      {{nullptr, nullptr, nullptr, nullptr}, "en"},
      {{nullptr, "pt_BR.UTF-8", nullptr, nullptr}, "pt_BR"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("LC_ALL=") + (c.locale.all ? c.locale.all : "(unset)") +
                 " LC_MESSAGES=" + (c.locale.messages ? c.locale.messages : "(unset)") +
                 " LANG=" + (c.locale.lang ? c.locale.lang : "(unset)"));
    ScopedLocale scope(c.locale);
    EXPECT_EQ(c.code, msg(0));
  }
}

TEST(LocaleChoice, CodesetComesFromLcCtypeAndWideOnesGiveUtf8) {
  std::string germanUtf8 = sourceLine("de", 37);
  std::string germanLatin1 = msg_locale_table[4][37];
  ASSERT_NE(germanUtf8, germanLatin1);  // the text has a character beyond ASCII
  struct Case {
    Locale locale;
    std::string expected;
  } cases[] = {
      {{nullptr, nullptr, nullptr, "de_DE.UTF-16"}, germanUtf8},
      {{nullptr, nullptr, nullptr, "de_DE.UTF-32"}, germanUtf8},
      {{nullptr, nullptr, nullptr, "de_DE.UCS-2"}, germanUtf8},
      {{nullptr, nullptr, nullptr, "de_DE.UCS-4"}, germanUtf8},
      {{nullptr, nullptr, nullptr, "de_DE.UTF-16LE@euro"}, germanUtf8},
      {{"de_DE.UTF-16", nullptr, nullptr, nullptr}, germanUtf8},
      // The language of LC_MESSAGES in the codeset of the console (LANG).
      {{nullptr, "de_DE.ISO-8859-1", nullptr, "en_US.UTF-8"}, germanUtf8},
      {{nullptr, "de_DE.UTF-8", "de_DE.ISO-8859-1", "de_DE.UTF-8"}, germanLatin1},
      {{"de_DE.ISO-8859-1", nullptr, "de_DE.UTF-8", nullptr}, germanLatin1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale.all ? c.locale.all : "") + "|" +
                 (c.locale.messages ? c.locale.messages : "") + "|" +
                 (c.locale.ctype ? c.locale.ctype : "") + "|" + (c.locale.lang ? c.locale.lang : ""));
    ScopedLocale scope(c.locale);
    EXPECT_EQ(c.expected, msg(37));
  }
  ScopedLocale utf16({nullptr, nullptr, nullptr, "de_DE.UTF-16"});
  EXPECT_EQ("UTF-8", std::string(getConsoleCodeset().c_str()));
}

}  // namespace
}  // namespace bvtest
