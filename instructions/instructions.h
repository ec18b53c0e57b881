// Instructions: the interpreter of the instruction script.
//
// The script is the value list of the tag INSTRUCTIONS of a tag file, one
// statement per value: a command word followed by its arguments, separated
// by white space. Statements run in order from the first; GOTO and JMP0 move
// the line counter to a label line (a statement whose first token begins
// with ':'); the script ends when execution passes its last statement.
// There is no arithmetic: an argument is an expression, plain text in which
// variable references between two '@' (@N1@, @S2@) are replaced by the
// values of the launcher's script variables, then read as a number or used
// as text.
//
// Errors of the script itself are thrown as InstructionsException with the
// 1-based number of the failing statement. Errors of the launcher
// operations, and invalid variable references outside SET, are
// LauncherExceptions and pass through unchanged.
//
// The statements reach the launcher operations and the variables through
// the ScriptOperations object given to the constructor; a test hands in a
// fake that records what a script asks for.
#ifndef BV_INSTRUCTIONS_INSTRUCTIONS_H_
#define BV_INSTRUCTIONS_INSTRUCTIONS_H_

#include "foundation/sstring.h"
#include "instructions/script_operations.h"

class TagFile;
class VariableRef;

class Instructions {
 public:
  // The tag name of the script, "INSTRUCTIONS".
  static const char* g_instructionsTag;

  // tagFile and operations must outlive this object; neither is owned.
  Instructions(const TagFile& tagFile, ScriptOperations& operations)
      : m_tagFile(tagFile), m_operations(operations), m_currentLine(0), m_checking(false) {}
  Instructions(const Instructions&) = delete;
  Instructions& operator=(const Instructions&) = delete;

  // Runs the script from its first statement. Returns the result of the
  // last LAUNCH or ILAUNCH executed, or 0 when none was. Throws
  // InstructionsException or LauncherException; the first error ends it.
  // When the cancel flag is set (PlatformImpl::isCanceled), the script ends
  // before its next statement with the LauncherException "Canceled by the
  // user." (MSG_CANCELED).
  long execute() const;

  // Checks every statement without running any (instructions_check.cc), as
  // bvpack does before it packs a script: unknown commands, missing, extra
  // or invalid arguments, and jumps to labels that no statement defines.
  // Arguments that refer to variables (@N1@) are checked for their syntax
  // only; a computed label (GOTO L@N1@) is not looked up. No launcher
  // operation runs and no variable changes. Throws InstructionsException
  // (with the number of the statement) or LauncherException (an invalid
  // variable reference or string argument, whose statement number is then
  // in *statementNumber) for the first mistake.
  static void check(const TagFile& tagFile, long* statementNumber);

  // The index (from 0) of the first statement that equals ':' followed by
  // label, after variable references in it are replaced. Throws when the
  // label resolves to nothing or no statement matches.
  long gotoLabel(const SString& label) const;

  // Throws InstructionsException with message and the number of the current
  // statement (its index + 1).
  [[noreturn]] void throwException(const SString& message) const;

  // Replaces the variable references in text, in place; references held in
  // an inserted value are replaced too. "@@" stands for one literal '@'.
  // Errors begin with errorPrefix and a blank:
  // InstructionsException for an empty text, an unmatched '@' or a
  // reference that keeps expanding; LauncherException from VariableRef for
  // an invalid reference.
  void evalExpr(SString& text, const SString& errorPrefix) const;
  // The number ("%ld", "%hd") at the start of text after evalExpr.
  long evalLongExpr(const SString& text, const SString& errorPrefix) const;
  short evalShortExpr(const SString& text, const SString& errorPrefix) const;
  // evalLongExpr, which must give 0 (false) or 1 (true).
  bool evalBoolExpr(const SString& text, const SString& errorPrefix) const;
  // Turns a string argument (a word, or a double-quoted string in which ""
  // stands for one quote) into its value in place, then evalExpr. An empty
  // text stays empty.
  void evalStringExpr(SString& text, const SString& errorPrefix) const;
  // Reads a string argument from statement at position, skipping leading
  // white space, and stores its value in result. position is left just
  // after the character that ended the argument (the blank after a word,
  // the closing quote) or at the end of the statement.
  void evalStringExpr(const SString& statement, unsigned long& position, SString& result,
                      const SString& errorPrefix) const;

 private:
  // Runs the statement at m_currentLine; a LAUNCH or ILAUNCH stores its
  // result in *result.
  void executeStatement(const SString& statement, long* result) const;
  // The next token of statement from *position; throws missingMessage when
  // there is none.
  SString requireToken(const SString& statement, unsigned long* position,
                       const char* missingMessage) const;
  // SET: the rest of the statement from position is "variable = value".
  void executeSet(const SString& statement, unsigned long position) const;

  // The checks of check() after a statement's own arguments: no argument
  // may follow.
  void checkNoMoreArguments(const SString& command, const SString& statement,
                            unsigned long position) const;
  // A jump target: a literal label must name a label line; a computed one
  // is checked for its syntax only.
  void checkLabel(const SString& label) const;
  // The value of a SET as the assignment would take it, without storing it.
  void checkValue(const VariableRef& variable, const SString& value, const char* errorPrefix) const;

  const TagFile& m_tagFile;
  ScriptOperations& m_operations;
  mutable long m_currentLine;
  // check() is running: references expand to "0", jumps and assignments
  // are only checked.
  mutable bool m_checking;
};

// Runs the script for the launcher's run: -1 when there is none, 1 when it
// launched nothing because no JVM was found, else the result of execute(). An InstructionsException becomes the
// LauncherException "Error in instructions. <message> Line number (<n>)";
// a LauncherException passes through.
long runInstructions(const Instructions* instructions);

#endif  // BV_INSTRUCTIONS_INSTRUCTIONS_H_
