// One JVM_PROPERTIES setting: a system property's name, an operator and the
// value that the property must have.
//
//   name=value      the printed value equals value
//   name=prefix...  the printed value begins with prefix ("..." alone: any)
//   name>=version   the printed value, read as a version, is at least version
//   name<=version   ... at most version
//   name>version    ... higher than version
//   name<version    ... lower than version
//
// Versions compare as version_compare.h says; a printed value or a given
// version that does not begin with a number ("null", "") never satisfies a
// comparison. Name and value are trimmed of blanks, tabs and line breaks.
#ifndef BV_JVM_PROPERTY_CONDITION_H_
#define BV_JVM_PROPERTY_CONDITION_H_

#include "foundation/sstring.h"

enum PropertyOperator {
  PROPERTY_EQUALS,     // "=": exact, or a prefix when the value ends in "..."
  PROPERTY_AT_LEAST,   // ">="
  PROPERTY_AT_MOST,    // "<="
  PROPERTY_ABOVE,      // ">"
  PROPERTY_BELOW,      // "<"
};

// Splits setting at its operator: the first '=', '<' or '>' begins it, and
// an '=' right after '<' or '>' belongs to it. On success name, op and
// value are set and the result is true. False (outputs unspecified) for a
// malformed setting: no operator, an empty name, a comparison without a
// value or whose value begins with '<', '>' or '=', and "=>" or "=<".
// So "a=b>c" is the name "a" and the exact value "b>c", as it always was.
bool parsePropertyCondition(const SString& setting, SString& name, PropertyOperator& op,
                            SString& value);

// ">=", "<=", ">" or "<" for a comparison; null for PROPERTY_EQUALS.
const char* propertyOperatorText(PropertyOperator op);

// True when the printed value (one trimmed line of the verification class's
// output) satisfies the operator and value.
bool propertySatisfies(const SString& printed, PropertyOperator op, const SString& value);

#endif  // BV_JVM_PROPERTY_CONDITION_H_
