// ScriptVariables: the script's variables N1..N5 (numbers) and S1..S10
// (text), and for each S variable whether it holds a path that a launcher
// operation found or made (FIND_JVM, VERIFY, INSTALL_JVM): such a value is
// data, which an expression inserts once and never reads again for
// references. One set per run, in the run's state.
#ifndef BV_INSTRUCTIONS_SCRIPT_VARIABLES_H_
#define BV_INSTRUCTIONS_SCRIPT_VARIABLES_H_

#include "foundation/sstring.h"

class ScriptVariables {
 public:
  static bool isValidStringVariable(long n) { return n >= 1 && n <= 10; }
  static bool isValidLongVariable(long n) { return n >= 1 && n <= 5; }

  // All empty and 0, none found.
  ScriptVariables();

  // The accessors throw LauncherException "Invalid string variable number:
  // <n>" or "Invalid numeric variable number: <n>" for an invalid number.
  SString getStringVariable(long n) const;
  // Stores plain text (SET): S<n> is no longer a found value.
  void setStringVariable(long n, const SString& value);
  // Stores a path that an operation found or made into S<n>.
  void setFoundStringVariable(long n, const SString& value);
  // Whether S<n> holds a value stored by setFoundStringVariable.
  bool isFoundStringVariable(long n) const;
  long getLongVariable(long n) const;
  void setLongVariable(long n, long value);

 private:
  SString m_strings[10];
  bool m_found[10];
  long m_numbers[5];
};

#endif  // BV_INSTRUCTIONS_SCRIPT_VARIABLES_H_
