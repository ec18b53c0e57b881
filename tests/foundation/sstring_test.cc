#include "foundation/sstring.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string str(const SString& s) { return std::string(s.data(), s.size()); }

// The reference count byte sits just before the first character.
unsigned refcount(const SString& s) { return reinterpret_cast<const unsigned char*>(s.data())[-1]; }

TEST(SStringTest, DefaultStringHasNoBuffer) {
  SString s;
  EXPECT_EQ(0u, s.size());
  EXPECT_EQ(0u, s.capacity());
  EXPECT_STREQ("", s.c_str());
  EXPECT_EQ('\0', s[0]);
}

TEST(SStringTest, CapacitiesRunInStepsOf32) {
  SString s;
  s += 'a';
  EXPECT_EQ(31u, s.capacity());
  while (s.size() < 31) s += 'a';
  EXPECT_EQ(31u, s.capacity());
  s += 'a';
  EXPECT_EQ(63u, s.capacity());
  s.append(40, 'b');
  EXPECT_EQ(95u, s.capacity());
  EXPECT_EQ(72u, s.size());
}

TEST(SStringTest, AssignmentTrimsEraseKeepsTheBuffer) {
  SString s(100, 'x');
  EXPECT_EQ(127u, s.capacity());
  s.erase(0);
  EXPECT_EQ(0u, s.size());
  EXPECT_EQ(127u, s.capacity());
  s = "abc";
  EXPECT_EQ(31u, s.capacity());
  s = "";
  EXPECT_EQ(0u, s.capacity());
  SString big(50, 'y');
  big.reserve(10);
  EXPECT_EQ(63u, big.capacity());
}

TEST(SStringTest, CopiesShareUntilOneChanges) {
  SString a("hello");
  SString b(a);
  EXPECT_EQ(a.data(), b.data());
  EXPECT_EQ(1u, refcount(a));
  b += " world";
  EXPECT_NE(a.data(), b.data());
  EXPECT_EQ("hello", str(a));
  EXPECT_EQ("hello world", str(b));
  EXPECT_EQ(0u, refcount(a));

  SString c(a);
  c.erase(0, 1);  // erase and replace unshare first
  EXPECT_EQ("hello", str(a));
  EXPECT_EQ("ello", str(c));
  SString d(a);
  d.replace(0, 1, "J");
  EXPECT_EQ("hello", str(a));
  EXPECT_EQ("Jello", str(d));

  SString empty1, empty2("");
  SString e(empty1);
  EXPECT_EQ(nullptr, empty1.capacity() ? empty1.data() : nullptr);
  EXPECT_EQ(0u, e.capacity());
}

TEST(SStringTest, PartialCopiesAndUnsharingKeepEmbeddedNuls) {
  SString a("ab\0cd", 5);
  SString b(a);
  b.erase(0, 1);
  EXPECT_EQ(std::string("b\0cd", 4), str(b));
  SString sub = a.substr(1, 3);
  EXPECT_NE(a.data(), sub.data());
  EXPECT_EQ(std::string("b\0c", 3), str(sub));
}

TEST(SStringTest, AtMost255StringsShareOneBuffer) {
  SString a("shared");
  std::vector<SString> copies(260, a);
  // A buffer is shared while its count is at most 253, so it ends at 254.
  EXPECT_EQ(254u, refcount(a));
  EXPECT_EQ(a.data(), copies[253].data());
  EXPECT_NE(a.data(), copies[254].data());
  for (const SString& c : copies) EXPECT_EQ("shared", str(c));
}

TEST(SStringTest, WritableAccessFreezesTheBuffer) {
  SString a("abc");
  SString before(a);
  a.at(1) = 'X';
  EXPECT_EQ("abc", str(before));
  EXPECT_EQ("aXc", str(a));
  EXPECT_EQ(255u, refcount(a));
  SString after(a);
  EXPECT_NE(a.data(), after.data());
  a[0] = 'Y';
  EXPECT_EQ("aXc", str(after));
  EXPECT_EQ("YXc", str(a));
}

TEST(SStringTest, RangeAndLengthErrorsLeaveTheStringUnchanged) {
  SString s("abcd");
  const SString& cs = s;
  EXPECT_THROW(s.at(4), RangeException);
  EXPECT_EQ('\0', cs[4]);
  EXPECT_THROW(s.erase(5), RangeException);
  EXPECT_NO_THROW(s.erase(4));
  EXPECT_THROW(s.insert(5, "x"), RangeException);
  EXPECT_THROW(s.replace(5, 1, "x"), RangeException);
  EXPECT_THROW(s.substr(5), RangeException);
  EXPECT_THROW(s.compare(5, 1, "x"), RangeException);
  EXPECT_THROW(s.append(SString("xy"), 3, 1), RangeException);
  char buf[4];
  EXPECT_THROW(s.copy(buf, 1, 5), RangeException);
  EXPECT_THROW(s.assign(SString::npos, 'x'), LengthException);
  EXPECT_THROW(s.append(SString::npos - 4, 'x'), LengthException);
  EXPECT_THROW(s.insert(0, SString::npos - 4, 'x'), LengthException);
  EXPECT_THROW(s.replace(0, 1, SString::npos - 3, 'x'), LengthException);
  EXPECT_THROW(s.reserve(SString::npos - 1), LengthException);
  EXPECT_EQ("abcd", str(s));
}

TEST(SStringTest, CountsAreClampedToWhatIsAvailable) {
  SString s("abcdef");
  EXPECT_EQ("cdef", str(s.substr(2, 100)));
  EXPECT_EQ("", str(s.substr(6)));
  char buf[10] = {'-', '-', '-', '-'};
  EXPECT_EQ(2u, SString("abc").copy(buf, 10, 1));
  EXPECT_EQ(std::string("bc--"), std::string(buf, 4));
  SString t("abcdef");
  t.erase(4, 100);
  EXPECT_EQ("abcd", str(t));
  t.replace(1, 100, "XY");
  EXPECT_EQ("aXY", str(t));
}

TEST(SStringTest, EditsMoveTheTail) {
  struct Case {
    const char* start;
    unsigned long pos, n;
    const char* with;
    const char* want;
  } cases[] = {
      {"hello world", 6, 5, "there", "hello there"},
      {"hello world", 0, 5, "bye", "bye world"},
      {"hello world", 5, 0, ",", "hello, world"},
      {"abc", 1, 1, "", "ac"},
      {"abc", 3, 0, "def", "abcdef"},
      {"", 0, 0, "x", "x"},
      {"abc", 0, 3, "a much longer text than thirty-one chars", "a much longer text than thirty-one chars"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " / " + c.with);
    SString s(c.start);
    s.replace(c.pos, c.n, c.with);
    EXPECT_EQ(c.want, str(s));
  }
  SString s("ac");
  s.insert(1, "b").insert(0, 2, '>').insert(s.size(), "<");
  EXPECT_EQ(">>abc<", str(s));
  s.insert(2, s);  // inserting itself
  EXPECT_EQ(">>>>abc<abc<", str(s));
  s.append(s, 0, 2);
  EXPECT_EQ(">>>>abc<abc<>>", str(s));
  s.assign(s, 4, 3);
  EXPECT_EQ("abc", str(s));
  s.resize(5, '!');
  EXPECT_EQ("abc!!", str(s));
  s.resize(2);
  EXPECT_EQ("ab", str(s));
  s.resize(3);
  EXPECT_EQ(std::string("ab\0", 3), str(s));
}

TEST(SStringTest, SearchesFollowTheNposRules) {
  const unsigned long npos = SString::npos;
  SString abc("abc"), ab("ab"), text("abcabc");
  EXPECT_EQ(3u, abc.find("", 3));
  EXPECT_EQ(npos, ab.find("", 3));
  EXPECT_EQ(3u, abc.rfind("", npos));
  EXPECT_EQ(1u, abc.rfind("", 1));
  EXPECT_EQ(npos, abc.find_first_of("", 0));
  EXPECT_EQ(0u, abc.find_first_not_of("", 0));
  EXPECT_EQ(2u, abc.find_last_not_of("", npos));
  EXPECT_EQ(npos, SString().find_last_of("a"));
  EXPECT_EQ(3u, text.find("abc", 1));
  EXPECT_EQ(npos, text.find("abcd"));
  EXPECT_EQ(npos, text.find("c", 6));
  EXPECT_EQ(3u, text.rfind("abc"));
  EXPECT_EQ(0u, text.rfind("abc", 2));
  EXPECT_EQ(npos, ab.rfind("abc"));
  EXPECT_EQ(5u, text.rfind('c'));
  EXPECT_EQ(2u, text.find_first_of("xc"));
  EXPECT_EQ(4u, text.find_last_of("ba", 4));
  EXPECT_EQ(2u, text.find_first_not_of("ab"));
  EXPECT_EQ(4u, text.find_last_not_of("c"));
  EXPECT_EQ(npos, text.find_first_not_of("abc"));
  SString nul("a\0b", 3);
  EXPECT_EQ(1u, nul.find(SString("\0b", 2)));
}

TEST(SStringTest, ComparisonIsBytewiseAndPrefixesAreLess) {
  EXPECT_LT(SString("ab").compare("abc"), 0);
  EXPECT_GT(SString("abc").compare("ab"), 0);
  EXPECT_EQ(0, SString("abc").compare("abc"));
  EXPECT_NE(0, SString("ABC").compare("abc"));
  EXPECT_EQ(0, SString("xabcx").compare(1, 3, "abc"));
  EXPECT_EQ(0, SString("xabcx").compare(1, 3, SString("--abc"), 2, 3));
  EXPECT_EQ(0, SString("abcdef").compare(3, SString::npos, "def"));
  EXPECT_EQ(0, SString().compare(""));
}

}  // namespace
