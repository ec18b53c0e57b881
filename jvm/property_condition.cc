#include "jvm/property_condition.h"

#include "jvm/version_compare.h"
#include "tagfile/text_utils.h"

namespace {

const char* kPrefixEnding = "...";

bool isComparison(char c) { return c == '<' || c == '>'; }

}  // namespace

bool parsePropertyCondition(const SString& setting, SString& name, PropertyOperator& op,
                            SString& value) {
  unsigned long start = setting.find_first_of("=<>", 0);
  if (start == SString::npos) return false;
  unsigned long valueStart = start + 1;
  char first = setting[start];
  bool followedByEquals = valueStart < setting.length() && setting[valueStart] == '=';
  if (first == '=') {
    // "=>" and "=<" are misspelt comparisons, not exact values.
    if (valueStart < setting.length() && isComparison(setting[valueStart])) return false;
    op = PROPERTY_EQUALS;
  } else if (followedByEquals) {
    op = first == '>' ? PROPERTY_AT_LEAST : PROPERTY_AT_MOST;
    ++valueStart;
  } else {
    op = first == '>' ? PROPERTY_ABOVE : PROPERTY_BELOW;
  }
  name.assign(setting, 0, start);
  value.assign(setting, valueStart, SString::npos);
  trim(name, whitespaceChars);
  trim(value, whitespaceChars);
  if (name.empty()) return false;
  if (op != PROPERTY_EQUALS) {
    if (value.empty() || value.find_first_of("=<>", 0) == 0) return false;
  }
  return true;
}

bool propertySatisfies(const SString& printed, PropertyOperator op, const SString& value) {
  if (op == PROPERTY_EQUALS) {
    unsigned long prefixLength = stringEndsWith(value, kPrefixEnding);
    if (prefixLength == SString::npos) return printed.compare(value) == 0;
    return printed.length() >= prefixLength &&
           printed.compare(0, prefixLength, value, 0, prefixLength) == 0;
  }
  if (!isComparableVersion(printed) || !isComparableVersion(value)) return false;
  int order = compareVersions(printed, value);
  switch (op) {
    case PROPERTY_AT_LEAST:
      return order >= 0;
    case PROPERTY_AT_MOST:
      return order <= 0;
    case PROPERTY_ABOVE:
      return order > 0;
    case PROPERTY_BELOW:
      return order < 0;
    case PROPERTY_EQUALS:
      break;
  }
  return false;
}

const char* propertyOperatorText(PropertyOperator op) {
  switch (op) {
    case PROPERTY_AT_LEAST:
      return ">=";
    case PROPERTY_AT_MOST:
      return "<=";
    case PROPERTY_ABOVE:
      return ">";
    case PROPERTY_BELOW:
      return "<";
    case PROPERTY_EQUALS:
      break;
  }
  return nullptr;
}
