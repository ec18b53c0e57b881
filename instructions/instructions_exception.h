// InstructionsException: an error of the instruction script.
//
// It carries the message and the 1-based position of the failing statement
// among the statements of the script (not a line of the file). It is not a
// LauncherException: runInstructions turns it into one, adding the line number
// to the text, so it never travels further than the script runner.
#ifndef BV_INSTRUCTIONS_INSTRUCTIONS_EXCEPTION_H_
#define BV_INSTRUCTIONS_INSTRUCTIONS_EXCEPTION_H_

#include "foundation/sstring.h"

class InstructionsException {
 public:
  InstructionsException(const SString& message, long lineNumber)
      : m_message(message), m_lineNumber(lineNumber) {}
  InstructionsException(const InstructionsException& other) = default;
  virtual ~InstructionsException() {}

  const SString& getMessage() const { return m_message; }
  long getLineNumber() const { return m_lineNumber; }

 private:
  SString m_message;
  long m_lineNumber;
};

#endif  // BV_INSTRUCTIONS_INSTRUCTIONS_EXCEPTION_H_
