#include "jvm/version_compare.h"

#include <cstring>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isVersionSeparator(char c) { return c == '.' || c == '_' || c == '-' || c == '+'; }

// Reads the part of version that starts at pos into digits when it is a
// number; pos moves past the part and its separator. False when the part is
// not a number (or the version has no part left), which ends the version.
bool nextNumber(const SString& version, unsigned long& pos, SString& digits) {
  digits.erase();
  if (pos >= version.length()) return false;
  unsigned long end = pos;
  while (end < version.length() && !isVersionSeparator(version[end])) ++end;
  bool number = end > pos;
  for (unsigned long i = pos; i < end && number; ++i) number = isDigit(version[i]);
  if (number) digits.assign(version, pos, end - pos);
  pos = end + 1;
  return number;
}

int sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

}  // namespace

bool isComparableVersion(const SString& version) {
  unsigned long pos = 0;
  SString digits;
  return nextNumber(version, pos, digits);
}

int compareDigitStrings(const SString& a, const SString& b) {
  unsigned long i = 0;
  unsigned long j = 0;
  while (i < a.length() && a[i] == '0') ++i;
  while (j < b.length() && b[j] == '0') ++j;
  unsigned long lengthA = a.length() - i;
  unsigned long lengthB = b.length() - j;
  if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
  return sign(memcmp(a.data() + i, b.data() + j, lengthA));
}

int compareVersions(const SString& a, const SString& b) {
  unsigned long posA = 0;
  unsigned long posB = 0;
  bool moreA = true;
  bool moreB = true;
  SString digitsA;
  SString digitsB;
  for (;;) {
    if (moreA) moreA = nextNumber(a, posA, digitsA);
    if (moreB) moreB = nextNumber(b, posB, digitsB);
    if (!moreA && !moreB) return 0;
    // A version that has ended counts as 0 from here on.
    int result = compareDigitStrings(moreA ? digitsA : SString(), moreB ? digitsB : SString());
    if (result != 0) return result;
  }
}

int compareNamesByNumbers(const SString& a, const SString& b) {
  unsigned long i = 0;
  unsigned long j = 0;
  for (;;) {
    while (i < a.length() && !isDigit(a[i])) ++i;
    while (j < b.length() && !isDigit(b[j])) ++j;
    bool endA = i >= a.length();
    bool endB = j >= b.length();
    if (endA || endB) {
      if (endA && endB) return 0;
      return endA ? -1 : 1;
    }
    unsigned long startA = i;
    unsigned long startB = j;
    while (i < a.length() && isDigit(a[i])) ++i;
    while (j < b.length() && isDigit(b[j])) ++j;
    int result = compareDigitStrings(SString(a, startA, i - startA), SString(b, startB, j - startB));
    if (result != 0) return result;
  }
}
