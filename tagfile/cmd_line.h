// CmdLine: splits one command string into the argument vector of a process
// that replaces the launcher (PlatformImpl::executeProcess).
//
// Whitespace (space, tab, newline, carriage return) separates arguments.
// A double quote groups, also in the middle of an argument: ab"c d"ef is the
// one argument abc def. A quote that is never closed takes the rest of the
// line. In every argument but the first (the program, where backslashes are
// ordinary characters), a backslash escapes the next character: \" gives a
// plain double quote, any other escaped character keeps its backslash, and a
// backslash at the very end of the line is dropped. Empty arguments ("")
// are not kept.
#ifndef BV_TAGFILE_CMD_LINE_H_
#define BV_TAGFILE_CMD_LINE_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

class CmdLine {
 public:
  CmdLine() : m_optionCount(0) {}
  CmdLine(const CmdLine&) = delete;
  CmdLine& operator=(const CmdLine&) = delete;

  // Splits line into the arguments (those of an earlier parse are dropped).
  // Always returns true.
  bool parse(const SString& line);
  long getOptionCount() const { return m_optionCount; }
  // The characters of argument i, or null when i is out of range. Valid
  // while the object lives.
  const char* getOption(int i) const;

  // Reads one argument of line from start (whitespace before it skipped)
  // into arg; end receives the position after it (past a closing quote),
  // or SString::npos when the argument ran to the end of the line. first
  // tells that this is the program, where backslashes are not escapes.
  // Always returns true.
  bool getNextArg(const SString& line, unsigned long start, bool first, SString& arg,
                  unsigned long& end);

 private:
  long m_optionCount;
  StringDeque m_options;
};

#endif  // BV_TAGFILE_CMD_LINE_H_
