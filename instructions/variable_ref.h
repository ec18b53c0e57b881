// VariableRef: a reference to one script variable, N1..N5 or S1..S10.
//
// A VariableRef only names a variable (a type letter and a number); it
// reads or writes it in the ScriptVariables handed to it. References are written as a letter,
// N or S in either case, followed by the number: "N2", "s10".
#ifndef BV_INSTRUCTIONS_VARIABLE_REF_H_
#define BV_INSTRUCTIONS_VARIABLE_REF_H_

#include "foundation/sstring.h"
#include "instructions/script_variables.h"

class VariableRef {
 public:
  // Unset until init() succeeds.
  VariableRef() : m_type('\0'), m_number(0) {}

  // Parses a reference such as "N1" or "S10". On error throws
  // LauncherException with errorPrefix, a blank and the reason; the object
  // is then unusable.
  void init(const SString& reference, const SString& errorPrefix);

  // Stores value into the variable. A numeric variable takes the number at
  // the start of value ("%ld"); when there is none, throws LauncherException
  // with errorPrefix + " Invalid numeric expression in " + value.
  // REQUIRES: init() succeeded.
  void setValue(ScriptVariables& variables, const SString& value, const SString& errorPrefix) const;

  // The value as text: a numeric variable in decimal, a string variable as
  // it is. REQUIRES: init() succeeded.
  SString getStringValue(const ScriptVariables& variables) const;

  // Whether the variable holds a path that a launcher operation stored
  // (ScriptVariables::setFoundStringVariable): data, not expression text.
  bool holdsFoundValue(const ScriptVariables& variables) const;

  bool isNumericVariable() const { return m_type == 'N'; }
  bool isStringVariable() const { return m_type == 'S'; }

 private:
  char m_type;      // 'N' or 'S' once initialised
  long m_number;    // from 1, valid for the type once initialised
};

#endif  // BV_INSTRUCTIONS_VARIABLE_REF_H_
