// The words of a command measured as its program receives them, checked
// against what /bin/sh gives printf.
#include "platform/shell_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_util.h"

namespace bvtest {
namespace {

TEST(ShellReaderTest, WordsAreMeasuredAsTheShellPassesThem) {
  const char* rests[] = {
      "plain words a\\ b \\$x",
      "'it'\\''s' \"a \\\"q\\\" \\\\ \\$ \\x\" '' \"\"",
      "\"tab\there\" 'line\nbreak' x\\\ny",
      "a'b'\"c\"d    e\t\tf",
      "-Dx=\"$(printf 12)\" $#",
  };
  for (const char* rest : rests) {
    SCOPED_TRACE(rest);
    std::string command = std::string("printf '%s\\0' ") + rest;
    std::string out;
    ASSERT_EQ(0, runShell(command, &out));
    ShellReader::Words expected;
    expected.count = 2;  // printf and its format
    expected.bytes = 6 + 4;
    expected.longest = 6;
    size_t start = 0;
    for (size_t i = 0; i < out.size(); ++i) {
      if (out[i] != '\0') continue;
      ++expected.count;
      expected.bytes += i - start;
      if (i - start > expected.longest) expected.longest = i - start;
      start = i + 1;
    }
    ShellReader::Words got = ShellReader::measure(SString(command.c_str(), command.size()));
    // Substitutions count as long as their text; these print no more.
    EXPECT_EQ(expected.count, got.count);
    EXPECT_LE(expected.bytes, got.bytes);
    EXPECT_LE(expected.longest, got.longest);
    if (std::string(rest).find('$') == std::string::npos) {
      EXPECT_EQ(expected.bytes, got.bytes);
      EXPECT_EQ(expected.longest, got.longest);
    }
  }
}

}  // namespace
}  // namespace bvtest
