// Version comparison of the values that a JVM reports ("1.8.0_392", "17",
// "17.0.15", "21-ea") and the ordering of names by the numbers in them
// ("jdk-21" before "jdk-17").
//
// A version is split at '.', '_', '-' and '+' into parts; its leading parts
// that are numbers (digits only, not empty) are compared as numbers from the
// left, a missing part counting as 0; the first part that is not a number
// ends the version. So "1.8.0_392" < "9" < "17" = "17.0" < "17.0.15" and
// "21-ea" counts as 21. Numbers of any length compare exactly.
#ifndef BV_JVM_VERSION_COMPARE_H_
#define BV_JVM_VERSION_COMPARE_H_

#include "foundation/sstring.h"

// True when version begins with a number ("null", "", "ea-17" do not).
bool isComparableVersion(const SString& version);

// Compares two versions: negative, 0 or positive as a is lower, equal or
// higher. REQUIRES: both are comparable versions; the numbers that a
// version lacks count as 0.
int compareVersions(const SString& a, const SString& b);

// Compares two decimal digit strings as numbers (leading zeros ignored):
// negative, 0 or positive. Empty counts as 0.
int compareDigitStrings(const SString& a, const SString& b);

// Compares names by every run of digits in them, read from the left and
// compared as numbers: negative when a has the lower numbers, a run that
// one name lacks counting as lower than any; 0 when the numbers are equal,
// whatever the rest of the names. Sorting descending by it tries "17.0.15"
// before "17.0.9" and "jdk-21" before "jdk-17".
int compareNamesByNumbers(const SString& a, const SString& b);

#endif  // BV_JVM_VERSION_COMPARE_H_
