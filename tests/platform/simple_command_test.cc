// The split of commands that need no shell, checked against /bin/sh itself.
#include "platform/simple_command.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/test_util.h"

namespace bvtest {
namespace {

std::vector<std::string> wordsOf(const StringDeque& words) {
  std::vector<std::string> out;
  for (long i = 0; i < words.size(); ++i) out.push_back(std::string(words.at(i).data(), words.at(i).length()));
  return out;
}

// The arguments that /bin/sh passes to printf for "printf '%s\0' REST",
// split at the NUL bytes.
std::vector<std::string> shellWords(const std::string& rest) {
  std::string out;
  EXPECT_EQ(0, runShell("/usr/bin/printf '%s\\0' " + rest, &out));
  std::vector<std::string> words;
  size_t start = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\0') {
      words.push_back(out.substr(start, i - start));
      start = i + 1;
    }
  }
  return words;
}

TEST(SimpleCommandTest, SimpleCommandsSplitAsTheShellSplitsThem) {
  const char* rests[] = {
      "plain words -cp a.jar:b.jar Main a\\ b \\$x",
      "\"/opt/my jdk/bin/java\" -Dx=\"a b\" 'it'\\''s' \"\\$HOME \\`x\\` \\\\ \\\"q\\\"\"",
      "'$(touch x)' \"100%\" me@example.com '' \"\" a''b\"\"c",
      "'line\nbreak' \"tab\there\" +x,y:z",
  };
  for (const char* rest : rests) {
    SCOPED_TRACE(rest);
    std::string command = std::string("/usr/bin/printf '%s\\0' ") + rest;
    StringDeque words;
    ASSERT_TRUE(splitSimpleCommand(SString(command.c_str()), words));
    std::vector<std::string> expected = {"/usr/bin/printf", std::string("%s\\0")};
    for (const std::string& w : shellWords(rest)) expected.push_back(w);
    EXPECT_EQ(expected, wordsOf(words));
  }
}

TEST(SimpleCommandTest, AnythingTheShellWouldReadIsNotSimple) {
  const char* commands[] = {
      "java -version",                  // no "/": a PATH search, a builtin or a function
      "X=1 /bin/java",                  // an assignment
      "JAVA_HOME=/opt/jdk /bin/java",   // one whose word holds a "/"
      "/bin/java $HOME",                // an expansion
      "/bin/java \"$HOME\"",            // an expansion in double quotes
      "/bin/java `id`",                 // a command substitution
      "/bin/java \"`id`\"",
      "/bin/java *.jar",                // a glob
      "/bin/java a > log",              // a redirection
      "/bin/java a | tee log",          // a pipe
      "/bin/java a; rm x",              // a list
      "/bin/java a & b",
      "/bin/java # comment",
      "/bin/java ~/x",                  // tilde expansion
      "/bin/java a\\\nb",              // a backslash that joins lines
      "/bin/java \"a\\nb\"",            // a backslash that stays
      "/bin/java a\nrm x",              // a line break outside quotes
      "/bin/java 'open",                // a quote that is not closed
      "/bin/java \"open",
      "/bin/java (a)",
      "/bin/java {a,b}",
      "",
      "   ",
  };
  for (const char* command : commands) {
    SCOPED_TRACE(command);
    StringDeque words;
    EXPECT_FALSE(splitSimpleCommand(SString(command), words));
  }
}

}  // namespace
}  // namespace bvtest
