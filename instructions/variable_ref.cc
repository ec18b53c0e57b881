#include "instructions/variable_ref.h"

#include <cctype>

#include "foundation/launcher_exception.h"
#include "tagfile/text_utils.h"

void VariableRef::init(const SString& reference, const SString& errorPrefix) {
  m_type = '\0';
  m_number = 0;
  SString error(errorPrefix);
  error += ' ';
  if (reference.length() < 2) {
    throw LauncherException(error.append("Variable references must be at least 2 characters (e.g. N1 and S10)."));
  }
  char type = static_cast<char>(toupper(static_cast<unsigned char>(reference[0])));
  if (type != 'N' && type != 'S') {
    throw LauncherException(error.append("Invalid variable reference (")
                                .append(reference)
                                .append("). Must use N or S as the variable type, e.g. N2 or S1."));
  }
  SString rest = reference.substr(1);
  long number = 0;
  bool valid = convertToLong(rest, number) &&
               (type == 'N' ? ScriptVariables::isValidLongVariable(number)
                            : ScriptVariables::isValidStringVariable(number));
  if (!valid) {
    throw LauncherException(error.append("Variable number is invalid (").append(rest).append(")"));
  }
  m_type = type;
  m_number = number;
}

void VariableRef::setValue(ScriptVariables& variables, const SString& value,
                           const SString& errorPrefix) const {
  if (isNumericVariable()) {
    long number = 0;
    if (!convertToLong(value, number)) {
      SString error(errorPrefix);
      throw LauncherException(error.append(" Invalid numeric expression in ").append(value));
    }
    variables.setLongVariable(m_number, number);
  } else {
    variables.setStringVariable(m_number, value);
  }
}

bool VariableRef::holdsFoundValue(const ScriptVariables& variables) const {
  return isStringVariable() && variables.isFoundStringVariable(m_number);
}

SString VariableRef::getStringValue(const ScriptVariables& variables) const {
  if (isNumericVariable()) return convertToString(variables.getLongVariable(m_number));
  return variables.getStringVariable(m_number);
}
