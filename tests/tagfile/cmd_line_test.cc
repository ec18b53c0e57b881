#include "tagfile/cmd_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> split(const std::string& line) {
  CmdLine cmdLine;
  EXPECT_TRUE(cmdLine.parse(line.c_str()));
  std::vector<std::string> args;
  for (long i = 0; i < cmdLine.getOptionCount(); ++i) args.push_back(cmdLine.getOption(static_cast<int>(i)));
  EXPECT_EQ(nullptr, cmdLine.getOption(static_cast<int>(cmdLine.getOptionCount())));
  EXPECT_EQ(nullptr, cmdLine.getOption(-1));
  return args;
}

TEST(CmdLineTest, SplitsOnWhitespaceWithQuotesAndEscapes) {
  struct Case {
    const char* line;
    std::vector<std::string> args;
  } cases[] = {
      {"\"/opt/my app/run\" -x \"two words\"", {"/opt/my app/run", "-x", "two words"}},
      {"  prog\t a \r\n b  ", {"prog", "a", "b"}},
      {" \t\r\n ", {}},
      {"", {}},
      // Quoted pieces join their neighbours.
      {"prog ab\"c d\"ef", {"prog", "abc def"}},
      // An argument that opens with a quote ends at its closing quote.
      {"prog \"a\"\"b\"", {"prog", "a", "b"}},
      {"prog \"a\"b", {"prog", "a", "b"}},
      // Empty arguments are dropped, and the program is the first non-empty.
      {"\"\" prog \"\" x", {"prog", "x"}},
      // Backslashes escape in arguments, not in the program.
      {"C:\\dir\\prog a\\\"b", {"C:\\dir\\prog", "a\"b"}},
      {"prog a\\ b", {"prog", "a\\ b"}},
      {"prog a\\\\b", {"prog", "a\\\\b"}},
      {"prog \"say \\\"hi\\\"\"", {"prog", "say \"hi\""}},
      {"prog trailing\\", {"prog", "trailing"}},
      // An unclosed quote takes the rest of the line.
      {"prog \"open to the end", {"prog", "open to the end"}},
      {"prog x\"open rest  ", {"prog", "xopen rest  "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(c.args, split(c.line));
  }
}

TEST(CmdLineTest, ASecondParseReplacesTheFirst) {
  CmdLine cmdLine;
  cmdLine.parse("first a b");
  cmdLine.parse("second");
  ASSERT_EQ(1, cmdLine.getOptionCount());
  EXPECT_STREQ("second", cmdLine.getOption(0));
  EXPECT_EQ(nullptr, cmdLine.getOption(1));
}

TEST(CmdLineTest, GetNextArgReportsWhereTheArgumentEnded) {
  CmdLine cmdLine;
  SString arg;
  unsigned long end = 0;
  SString line("  one \"two\" three");
  cmdLine.getNextArg(line, 0, true, arg, end);
  EXPECT_STREQ("one", arg.c_str());
  EXPECT_EQ(5u, end);
  cmdLine.getNextArg(line, end, false, arg, end);
  EXPECT_STREQ("two", arg.c_str());
  EXPECT_EQ(11u, end);
  cmdLine.getNextArg(line, end, false, arg, end);
  EXPECT_STREQ("three", arg.c_str());
  EXPECT_GE(end, line.length());
}

}  // namespace
