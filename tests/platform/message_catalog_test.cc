// The message catalog: the generated tables against their UTF-8 sources,
// the choice of locale from LANG, and get_msg's formatting and conversion
// to the console's codeset.
#include "platform/messages.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/platform/console_capture.h"
#include "tests/test_util.h"

namespace {

const char* const kLocaleOrder[] = {"en", "bg", "cs", "da", "de", "el", "es", "fi", "fr",
                                    "hr", "hu", "it", "ja", "ko", "nl", "no", "pl", "pt",
                                    "pt_BR", "ro", "ru", "sk", "sl", "sv", "tr", "zh", "zh_TW"};

// Converts with iconv in one go; false when a sequence does not convert.
bool recode(const std::string& in, const char* from, const char* to, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string buffer(in.size() * 4 + 16, '\0');
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char* outPtr = &buffer[0];
  size_t outLeft = buffer.size();
  bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (ok) *out = buffer.substr(0, buffer.size() - outLeft);
  return ok;
}

std::vector<std::string> sourceLines(const std::string& locale) {
  std::string text = bvtest::readFile(bvtest::sourcePath("platform/messages/" + locale + ".txt"));
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// get_msg as a std::string, the buffer released.
std::string msg(int id, const char* arg = nullptr) {
  std::unique_ptr<char[]> text(get_msg(id, const_cast<char*>(arg)));
  return text.get();
}

int localeIndex(const std::string& code) {
  for (int i = 0; i < kLocaleCount; ++i) {
    if (code == kLocaleOrder[i]) return i;
  }
  return -1;
}

TEST(MessageCatalog, TablesHoldTheirTextsInLocaleOrderWithOneSharedDot) {
  ASSERT_EQ(nullptr, msg_locale_table[kLocaleCount]);
  ASSERT_EQ(nullptr, msg_locale_table_utf8[kLocaleCount]);
  ASSERT_EQ(nullptr, msg_locale_charset[kLocaleCount]);
  for (int i = 0; i < kLocaleCount; ++i) {
    SCOPED_TRACE(kLocaleOrder[i]);
    const char* const* table = msg_locale_table[i];
    EXPECT_STREQ(kLocaleOrder[i], table[0]);
    for (int id = 0; id < kMessageCount; ++id) ASSERT_NE(nullptr, table[id]) << id;
    EXPECT_EQ(nullptr, table[kMessageCount]);
    EXPECT_STREQ(".", table[MSGID_PROGRESS_DOT]);
    EXPECT_EQ(msg_locale_table[0][MSGID_PROGRESS_DOT], table[MSGID_PROGRESS_DOT]);
  }
}

TEST(MessageCatalog, EveryTableIsItsSourceConvertedWithoutLoss) {
  for (int i = 0; i < kLocaleCount; ++i) {
    const char* charset = msg_locale_charset[i];
    SCOPED_TRACE(std::string(kLocaleOrder[i]) + " in " + charset);
    std::vector<std::string> lines = sourceLines(kLocaleOrder[i]);
    ASSERT_EQ(static_cast<size_t>(kMessageCount), lines.size());
    for (int id = 0; id < kMessageCount; ++id) {
      SCOPED_TRACE(id);
      std::string converted;
      ASSERT_TRUE(recode(lines[id], "UTF-8", charset, &converted));
      EXPECT_EQ(converted, msg_locale_table[i][id]);
      std::string back;
      ASSERT_TRUE(recode(msg_locale_table[i][id], charset, "UTF-8", &back));
      EXPECT_EQ(lines[id], back);
      // The UTF-8 table holds the source as it is.
      EXPECT_EQ(lines[id], msg_locale_table_utf8[i][id]);
    }
  }
}

// Placeholders, option names, leading and trailing blanks and literal "\n"
// pairs are those of the English text; every text but the locale code, the
// class name and the dot is translated.
TEST(MessageCatalog, TranslationsKeepPlaceholdersAndOptionNames) {
  std::vector<std::string> english = sourceLines("en");
  std::regex option("-(bv:)?[a-z]+\\b");
  for (int i = 1; i < kLocaleCount; ++i) {
    SCOPED_TRACE(kLocaleOrder[i]);
    std::vector<std::string> lines = sourceLines(kLocaleOrder[i]);
    ASSERT_EQ(english.size(), lines.size());
    for (int id = 1; id < kMessageCount; ++id) {
      SCOPED_TRACE(id);
      const std::string& en = english[id];
      const std::string& text = lines[id];
      auto count = [](const std::string& s, const std::string& what) {
        size_t n = 0;
        for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
        return n;
      };
      EXPECT_EQ(count(en, "%s"), count(text, "%s"));
      EXPECT_EQ(count(text, "%"), count(text, "%s"));  // no other conversion
      EXPECT_EQ(count(en, "\\n"), count(text, "\\n"));
      EXPECT_EQ(en.front() == ' ', text.front() == ' ');
      EXPECT_EQ(en.back() == ' ', text.back() == ' ');
      for (std::sregex_iterator m(en.begin(), en.end(), option), end; m != end; ++m) {
        EXPECT_NE(std::string::npos, text.find(m->str())) << m->str();
      }
      if (id != 13 && id != MSGID_PROGRESS_DOT) {
        EXPECT_NE(en, text);
      }
    }
  }
}

// The zh_TW table uses only the two-byte code set of EUC-TW (no SS2 four-
// byte forms), so it is a double-byte EUC like the other CJK tables.
TEST(MessageCatalog, TraditionalChineseStaysDoubleByte) {
  int zhTW = localeIndex("zh_TW");
  for (int id = 0; id < kMessageCount; ++id) {
    SCOPED_TRACE(id);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(msg_locale_table[zhTW][id]);
    while (*p != 0) {
      if (*p < 0x80) {
        ++p;
        continue;
      }
      ASSERT_GE(p[0], 0xA1);
      ASSERT_LE(p[0], 0xFE);
      ASSERT_GE(p[1], 0xA1);
      ASSERT_LE(p[1], 0xFE);
      p += 2;
    }
  }
}

TEST(MessageCatalog, GetLocaleFollowsTheTwoPasses) {
  struct Case {
    const char* lang;
    const char* locale;
  } cases[] = {
      {nullptr, "en"},          {"C", "en"},           {"", "en"},
      {"en_US.UTF-8", "en"},    {"xx_YY", "en"},       {"nb_NO", "en"},
      {"POSIX", "en"},          {"de", "de"},          {"de_DE", "de"},
      {"de_DE.UTF-8", "de"},    {"pt_BR.ISO8859-1", "pt_BR"}, {"pt_BR", "pt_BR"},
      {"pt_PT", "pt"},          {"pt", "pt"},          {"zh_CN", "zh"},
      {"zh_CN.GB2312", "zh"},   {"zh_TW.Big5", "zh_TW"}, {"zh_TW", "zh_TW"},
      {"ja_JP.eucJP", "ja"},    {"no_NO", "no"},       {"C.UTF-8", "en"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang == nullptr ? "(unset)" : c.lang);
    bvtest::ScopedLang lang(c.lang);
    EXPECT_EQ(localeIndex(c.locale), get_locale());
  }
  // Every table is chosen by its code alone and by a usual LANG value.
  for (int i = 0; i < kLocaleCount; ++i) {
    std::string code = kLocaleOrder[i];
    std::string usual = code.size() == 2 ? code + "_" + char(toupper(code[0])) +
                                               char(toupper(code[1])) + ".UTF-8"
                                         : code + ".UTF-8";
    for (const std::string& value : {code, usual}) {
      SCOPED_TRACE(value);
      bvtest::ScopedLang lang(value.c_str());
      EXPECT_EQ(i, get_locale());
    }
  }
}

TEST(MessageCatalog, GetMsgFormatsTheEnglishTextsExactly) {
  for (const char* value : {static_cast<const char*>(nullptr), "C", "en_US.UTF-8", "xx_YY"}) {
    SCOPED_TRACE(value == nullptr ? "(unset)" : value);
    bvtest::ScopedLang lang(value);
    EXPECT_EQ("Initializing Demo App...", msg(1, "Demo App"));
    EXPECT_EQ("Demo could not be launched.", msg(5, "Demo"));
    EXPECT_EQ("Canceled by the user.", msg(38));
    EXPECT_EQ("Brenvard(R) is preparing the Brenvard Wizard, which\\nwill guide you through "
              "the rest of the setup process.\\nPlease wait...",
              msg(35));
    EXPECT_EQ("Cannot use /nowhere as the temp directory because it does not exist. Please "
              "run the program again using the option -bv:tempdir <temp dir> to specify a "
              "different directory to use.",
              msg(39, "/nowhere"));
    EXPECT_EQ("en", msg(0));
  }
}

TEST(MessageCatalog, GetMsgHandlesBadIdsNullAndHostileArguments) {
  bvtest::ScopedLang lang("de_DE");
  EXPECT_EQ("Error displaying message: id(45)", msg(kMessageCount));
  EXPECT_EQ("Error displaying message: id(-1)", msg(-1));
  // A missing argument leaves the placeholder empty; an argument is never
  // read as a format.
  EXPECT_EQ("Suche nach ", msg(10));
  EXPECT_EQ("Suche nach %d%n%s", msg(10, "%d%n%s"));
  // A result longer than the buffer is cut, and stays terminated.
  std::string longPath(5000, 'x');
  std::unique_ptr<char[]> text(get_msg(10, const_cast<char*>(longPath.c_str())));
  EXPECT_EQ(static_cast<size_t>(kMessageBufferSize - 1), strlen(text.get()));
  EXPECT_EQ(0, strncmp("Suche nach xxx", text.get(), 14));
}

// Without a codeset in LANG the table's bytes are given unchanged; with one
// they are converted to it; when that fails they are again unchanged.
TEST(MessageCatalog, GetMsgConvertsToTheCodesetThatLangNames) {
  struct Case {
    const char* lang;
    const char* locale;
    const char* codeset;  // null: the table's bytes
  } cases[] = {
      {"de_DE", "de", nullptr},
      {"de_DE.UTF-8", "de", "UTF-8"},
      {"de_DE.utf8", "de", "UTF-8"},
      {"de_DE.ISO-8859-15@euro", "de", "ISO-8859-15"},
      {"ja_JP.eucJP", "ja", nullptr},
      {"ja_JP.UTF-8", "ja", "UTF-8"},
      {"ja_JP.SJIS", "ja", "SHIFT_JIS"},
      {"zh_TW.Big5", "zh_TW", "BIG5"},
      {"zh_TW.UTF-8", "zh_TW", "UTF-8"},
      {"ru_RU.KOI8-R", "ru", "KOI8-R"},
      {"bg_BG.UTF-8", "bg", "UTF-8"},
      {"de_DE.NO-SUCH-CODESET", "de", nullptr},
      {"ja_JP.ISO-8859-1", "ja", nullptr},  // Japanese has no Latin-1 form
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang);
    bvtest::ScopedLang lang(c.lang);
    int locale = localeIndex(c.locale);
    for (int id : {4, 9, 16, 38}) {
      SCOPED_TRACE(id);
      std::string expected = msg_locale_table[locale][id];
      if (c.codeset != nullptr) {
        ASSERT_TRUE(recode(sourceLines(c.locale)[id], "UTF-8", c.codeset, &expected));
      }
      EXPECT_EQ(expected, msg(id));
    }
  }
}

TEST(MessageCatalog, ArgumentIsInsertedUnconvertedBetweenConvertedParts) {
  {
    bvtest::ScopedLang lang("de_DE.UTF-8");
    EXPECT_EQ("Caf\xc3\xa9 wird initialisiert...", msg(1, "Caf\xc3\xa9"));
  }
  {
    // A stateful codeset: each converted part returns to the initial state,
    // so the ASCII argument between them reads as ASCII.
    bvtest::ScopedLang lang("ja_JP.ISO-2022-JP");
    std::string utf8;
    ASSERT_TRUE(recode(msg(1, "Demo"), "ISO-2022-JP", "UTF-8", &utf8));
    EXPECT_EQ("Demo \xe3\x82\x92\xe5\x88\x9d\xe6\x9c\x9f\xe5\x8c\x96\xe3\x81\x97\xe3\x81\xa6"
              "\xe3\x81\x84\xe3\x81\xbe\xe3\x81\x99...",
              utf8);
  }
}

}  // namespace
