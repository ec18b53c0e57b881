#include "instructions/script_variables.h"

#include "foundation/launcher_exception.h"
#include "tagfile/text_utils.h"

namespace {

[[noreturn]] void invalidNumber(const char* kind, long n) {
  SString message("Invalid ");
  message.append(kind).append(" variable number: ").append(convertToString(n));
  throw LauncherException(message);
}

}  // namespace

ScriptVariables::ScriptVariables() : m_found(), m_numbers() {}

SString ScriptVariables::getStringVariable(long n) const {
  if (!isValidStringVariable(n)) invalidNumber("string", n);
  return m_strings[n - 1];
}

void ScriptVariables::setStringVariable(long n, const SString& value) {
  if (!isValidStringVariable(n)) invalidNumber("string", n);
  m_strings[n - 1] = value;
  m_found[n - 1] = false;
}

void ScriptVariables::setFoundStringVariable(long n, const SString& value) {
  setStringVariable(n, value);
  m_found[n - 1] = true;
}

bool ScriptVariables::isFoundStringVariable(long n) const {
  return isValidStringVariable(n) && m_found[n - 1];
}

long ScriptVariables::getLongVariable(long n) const {
  if (!isValidLongVariable(n)) invalidNumber("numeric", n);
  return m_numbers[n - 1];
}

void ScriptVariables::setLongVariable(long n, long value) {
  if (!isValidLongVariable(n)) invalidNumber("numeric", n);
  m_numbers[n - 1] = value;
}
