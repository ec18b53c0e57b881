#include "tagfile/text_utils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "tests/test_util.h"

namespace {

const unsigned long kNpos = SString::npos;

std::string str(const SString& s) { return std::string(s.data(), s.length()); }

// An anonymous temporary file holding bytes, positioned at its start.
class Stream {
 public:
  explicit Stream(const std::string& bytes) : m_file(tmpfile()) {
    fwrite(bytes.data(), 1, bytes.size(), m_file);
    rewind(m_file);
  }
  ~Stream() { fclose(m_file); }
  FILE* get() const { return m_file; }

 private:
  FILE* m_file;
};

TEST(TextUtilsTest, TrimRemovesTheSetFromBothEnds) {
  struct Case {
    const char* in;
    const char* chars;
    const char* out;
  } cases[] = {
      {"  a b \r\n", whitespaceChars, "a b"},
      {"\t \n", whitespaceChars, ""},
      {"", whitespaceChars, ""},
      {"abc", whitespaceChars, "abc"},
      {"xxaxbxx", "x", "axb"},
      {"\v a \f", whitespaceChars, "\v a \f"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    SString s(c.in);
    trim(s, c.chars);
    EXPECT_EQ(c.out, str(s));
  }
}

TEST(TextUtilsTest, WhitespaceIsBlankTabLineFeedAndCarriageReturnOnly) {
  for (int c = 0; c < 256; ++c) {
    bool expected = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    EXPECT_EQ(expected, isWhitespace(static_cast<char>(c))) << c;
  }
}

TEST(TextUtilsTest, PathSeparatorSuffixesAndQuotes) {
  struct Case {
    const char* in;
    const char* out;
  } paths[] = {{"", ""}, {"/tmp", "/tmp/"}, {"/tmp/", "/tmp/"}, {"a", "a/"}, {"/", "/"}};
  for (const Case& c : paths) {
    SCOPED_TRACE(c.in);
    SString s(c.in);
    appendPathSeparator(s);
    EXPECT_EQ(c.out, str(s));
  }

  EXPECT_EQ(3UL, stringEndsWith("1.4...", "..."));
  EXPECT_EQ(6UL, stringEndsWith("1.4...", ""));
  EXPECT_EQ(0UL, stringEndsWith("abc", "abc"));
  EXPECT_EQ(kNpos, stringEndsWith("bc", "abc"));
  EXPECT_EQ(kNpos, stringEndsWith("1.4.2", "..."));
  EXPECT_EQ(0UL, stringEndsWith("", ""));

  Case quotes[] = {{"\"a b\"", "a b"}, {"ab\"", "ab"}, {"\"ab", "ab"}, {"\"", ""},
                   {"\"\"", ""},       {"a\"b", "a\"b"}, {"", ""},     {"\"\"\"", "\""}};
  for (const Case& c : quotes) {
    SCOPED_TRACE(c.in);
    SString s(c.in);
    stripQuotes(s);
    EXPECT_EQ(c.out, str(s));
  }
}

TEST(TextUtilsTest, NumberConversions) {
  EXPECT_EQ("-1", str(convertToString(-1)));
  EXPECT_EQ("0", str(convertToString(0)));
  EXPECT_EQ("339612", str(convertToString(339612)));

  long n = 7;
  EXPECT_TRUE(convertToLong(" 42x", n));
  EXPECT_EQ(42, n);
  EXPECT_TRUE(convertToLong("-897398142", n));
  EXPECT_EQ(-897398142, n);
  n = 7;
  EXPECT_FALSE(convertToLong("x42", n));
  EXPECT_FALSE(convertToLong("", n));
  EXPECT_EQ(7, n);

  short s = 5;
  EXPECT_FALSE(convertToShort("abc", s));
  EXPECT_EQ(5, s);
  EXPECT_TRUE(convertToShort("1abc", s));
  EXPECT_EQ(1, s);
  EXPECT_TRUE(convertToShort("\t-2", s));
  EXPECT_EQ(-2, s);
}

TEST(TextUtilsTest, BigEndianValuesOnAnyHost) {
  Stream trailer(std::string("\xCA\x82\xCA\x82\xFF\xFE\x00\x10\x7F", 9));
  EXPECT_EQ(-897398142L, loadLongValue(trailer.get(), "long"));
  EXPECT_EQ(-2, loadShortValue(trailer.get(), "short"));
  EXPECT_EQ(16, loadShortValue(trailer.get(), "short"));
  // One byte left: the caller's message, exactly.
  EXPECT_EQ("Unable to load file id.",
            bvtest::launcherErrorOf([&] { loadShortValue(trailer.get(), "Unable to load file id."); }));

  Stream three(std::string("\x00\x05\x24", 3));
  char buffer[4];
  EXPECT_EQ(3UL, getBytes(three.get(), buffer, 4));
  EXPECT_EQ(0UL, getBytes(three.get(), buffer, 4));
  rewind(three.get());
  EXPECT_EQ("Unable to read the file count.",
            bvtest::launcherErrorOf([&] { loadLongValue(three.get(), "Unable to read the file count."); }));

  Stream positive(std::string("\x00\x05\x24\x64\x00\x00\x00\xAE", 8));
  EXPECT_EQ(336996L, loadLongValue(positive.get(), "x"));
  EXPECT_EQ(174L, loadLongValue(positive.get(), "x"));
}

TEST(TextUtilsTest, ReadLineFromStreamDropsCarriageReturnsAndTrims) {
  Stream s("  first \r\na\rb\r\n\n\tlast without feed ");
  const char* expected[] = {"first", "ab", "", "last without feed"};
  for (const char* e : expected) {
    SString line;
    readLineFromStream(s.get(), line);
    EXPECT_EQ(e, str(line));
  }
  SString line;
  readLineFromStream(s.get(), line);
  EXPECT_EQ("", str(line));
  EXPECT_TRUE(feof(s.get()));

  // A long line and a NUL byte survive whole.
  std::string longLine(5000, 'x');
  longLine[2500] = '\0';
  Stream big(longLine + "\nnext");
  SString first;
  readLineFromStream(big.get(), first);
  EXPECT_EQ(longLine, str(first));
}

TEST(TextUtilsTest, ReadLineFromStringMovesPastTheLineFeed) {
  // Successive reads of one text: the line and pos after each read.
  struct Step {
    const char* line;
    unsigned long pos;
  };
  struct Case {
    const char* text;
    std::vector<Step> steps;
  } cases[] = {
      {"x\ny", {{"x", 2}, {"y", 4}, {"", 4}}},
      {" a\rb \r\n\r\n", {{"ab", 7}, {"", 9}, {"", 9}}},
      {"", {{"", 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SString text(c.text);
    unsigned long pos = 0;
    for (const Step& step : c.steps) {
      SString line;
      readLineFromString(text, pos, line);
      EXPECT_EQ(step.line, str(line));
      EXPECT_EQ(step.pos, pos);
    }
  }
}

TEST(TextUtilsTest, QuotedArgumentsHalveDoubledQuotes) {
  struct Case {
    std::string text;
    unsigned long pos;
    std::string value;
    unsigned long endPos;
  } cases[] = {
      {"\"a\"\"b\" rest", 1, "a\"b", 6},
      {"\"abc\"", 1, "abc", kNpos},
      {"\"\"", 1, "", kNpos},
      {"\"\" x", 1, "", 2},
      {"\"\"\"\"\"\"", 1, "\"\"", kNpos},
      {"x \"  keep blanks \" ignored", 3, "  keep blanks ", 18},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    unsigned long pos = c.pos;
    EXPECT_EQ(c.value, str(parseStringArgument(SString(c.text.c_str()), pos, true)));
    EXPECT_EQ(c.endPos, pos);
  }
}

TEST(TextUtilsTest, UnclosedQuotedArgumentsReportWhereTheLastScanBegan) {
  struct Case {
    std::string text;
    unsigned long pos;
    const char* message;
  } cases[] = {
      {"\"abc", 1, "Expected double quote to end argument near 1"},
      {"\"a\"\"", 1, "Expected double quote to end argument near -1"},
      {"\"a\"\"bc", 1, "Expected double quote to end argument near 4"},
      {"\"", 1, "Expected double quote to end argument near 1"},
      {"ab", kNpos, "Expected double quote to end argument near -1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    unsigned long pos = c.pos;
    EXPECT_EQ(c.message, bvtest::launcherErrorOf([&] { parseStringArgument(c.text.c_str(), pos, true); }));
  }
}

TEST(TextUtilsTest, UnquotedArgumentsStopAtWhitespace) {
  struct Case {
    const char* text;
    unsigned long pos;
    const char* value;
    unsigned long endPos;
  } cases[] = {
      {"abc def", 0, "abc", 3},
      {"abc def", 4, "def", kNpos},
      {"abc\tdef", 0, "abc", 3},
      {"abc def", 3, "", 3},
      {"abc", 3, "", kNpos},
      {"abc", kNpos, "", kNpos},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    unsigned long pos = c.pos;
    EXPECT_EQ(c.value, str(parseStringArgument(c.text, pos, false)));
    EXPECT_EQ(c.endPos, pos);
  }
}

TEST(TextUtilsTest, TokensAreSeparatedByCLocaleWhitespace) {
  SString text("  GOTO LABEL");
  unsigned long pos = 0;
  bool noToken = true;
  EXPECT_EQ("GOTO", str(getTokenFromString(text, pos, noToken)));
  EXPECT_EQ(7UL, pos);
  EXPECT_FALSE(noToken);
  EXPECT_EQ("LABEL", str(getTokenFromString(text, pos, noToken)));
  EXPECT_EQ(13UL, pos);
  EXPECT_FALSE(noToken);
  EXPECT_EQ("", str(getTokenFromString(text, pos, noToken)));
  EXPECT_EQ(13UL, pos);
  EXPECT_TRUE(noToken);

  // Vertical tab and form feed separate; a byte of 128 or above does not.
  SString other("\v\fA\xA0" "B\fC  ");
  pos = 0;
  EXPECT_EQ("A\xA0" "B", str(getTokenFromString(other, pos, noToken)));
  EXPECT_EQ(6UL, pos);
  EXPECT_EQ("C", str(getTokenFromString(other, pos, noToken)));
  EXPECT_EQ(8UL, pos);
  EXPECT_EQ("", str(getTokenFromString(other, pos, noToken)));
  EXPECT_EQ(9UL, pos);
  EXPECT_TRUE(noToken);
}

TEST(TextUtilsTest, ConvertToUnicodeDecodesEscapes) {
  struct Case {
    const char* in;
    std::wstring out;
  } cases[] = {
      {"A\\u00e9B", L"A\u00e9B"},
      {"\\uZZZZ", L"\\uZZZZ"},
      {"\\u41", L"\\u41"},
      {"\\U0041x", L"Ax"},
      {"\\u4Zzz!", L"\x4!"},  // one digit read, all six characters consumed
      {"\\u0041", L"A"},
      {"a\\", L"a\\"},
      {"", L""},
      {"\xE9", std::wstring(1, static_cast<wchar_t>(0xE9))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    wchar_t* w = convertToUnicode(c.in);
    EXPECT_EQ(c.out, std::wstring(w));
    delete[] w;
  }
}

}  // namespace
