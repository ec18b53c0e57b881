#include "launchscript/macro_handler.h"

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "foundation/launcher_exception.h"

namespace {

// Replaces NAME by a value from a table (empty when absent), the way JVM
// files do; "F" takes in a following "(...)" the way a function call does.
class TableMacros : public MacroHandler {
 public:
  std::map<std::string, std::string> values;
  mutable int calls = 0;

  void processMacro(SString& text, char, unsigned long start, unsigned long& end) const override {
    ++calls;
    std::string name(text.c_str() + start + 1, end - start - 1);
    unsigned long stop = end + 1;
    if (name == "F" && text[stop] == '(') {
      unsigned long close = text.find(')', stop);
      stop = close == SString::npos ? text.length() : close + 1;
    }
    auto it = values.find(name);
    std::string value = it == values.end() ? "" : it->second;
    text.replace(start, stop - start, value.c_str());
  }
};

TEST(MacroHandler, ResolvesRescansAndReducesDoubledDelimiters) {
  TableMacros m;
  m.values = {{"A", "alpha"}, {"B", "[@A@]"}, {"C", "@B@@B@"}, {"F", "f"}, {"AT", "@@"}};
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"plain text", "plain text"},
      {"@A@", "alpha"},
      {"x@A@y@A@z", "xalphayalphaz"},
      {"@B@", "[alpha]"},            // the replacement is scanned again
      {"@C@", "[alpha][alpha]"},
      {"@MISSING@", ""},
      {"a@@b", "a@b"},               // a doubled delimiter opening no macro
      {"@@@@", "@"},                 // "@@@" is a macro named "@", then a lone "@"
      {"a@@b@@c", "a@c"},            // "@@b@" is a macro named "@b"
      {"@@A@", ""},                  // "@A" between the first and the last '@'
      {"50@", "50@"},                // no closing delimiter
      {"@", "@"},
      {"@x", "@x"},
      {"@F@(ignored) rest", "f rest"},
      {"@AT@", "@"},                 // a value's doubled delimiter is reduced too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_STREQ(c.out, m.resolve(c.in, '@').c_str());
  }
  // Other delimiters are left alone.
  EXPECT_STREQ("%A% #A#", m.resolve("%A% #A#", '@').c_str());
  EXPECT_STREQ("alpha", m.resolve("#A#", '#').c_str());
}

TEST(MacroHandler, SelfReproducingValueEndsInAnError) {
  struct Case {
    const char* name;
    const char* value;
  } cases[] = {
      {"same length", "@A@"},
      {"growing", "x@A@"},
      {"doubling", "@A@@A@"},
      {"large growth", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TableMacros m;
    m.values["A"] = c.value != nullptr ? c.value : std::string(200000, 'y') + "@A@";
    try {
      m.resolve("start @A@ end", '@');
      FAIL() << "no exception";
    } catch (const LauncherException& e) {
      std::string message = e.getMessage().c_str();
      EXPECT_EQ(0u, message.find("Launch script error: ")) << message;
      EXPECT_NE(std::string::npos, message.find("@A@")) << message;
    }
    EXPECT_LE(m.calls, MacroHandler::maxReplacements);
  }
}

TEST(MacroHandler, ManyDistinctMacrosStayWithinTheBound) {
  TableMacros m;
  m.values["A"] = "a";
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "@A@,";
  SString out = m.resolve(text.c_str(), '@');
  EXPECT_EQ(4000u, out.length());
}

}  // namespace
