// The table of hostile names that the tests put wherever the launcher takes
// a text from outside (folder and file names, the temporary folder, a JVM
// home, -cp:p, side files, arguments). Each is a valid file name (no "/",
// no NUL). A name that ran as shell code would create the file
// kHostileMarker in the current directory.
#ifndef BV_TESTS_HOSTILE_NAMES_H_
#define BV_TESTS_HOSTILE_NAMES_H_

#include <string>
#include <vector>

namespace bvtest {

constexpr const char* kHostileMarker = "bv-marker";

struct HostileName {
  const char* label;
  std::string name;
};

inline const std::vector<HostileName>& hostileNames() {
  static const std::vector<HostileName> names = {
      {"command substitution", "inj $(touch bv-marker)"},
      {"back quotes", "inj `touch bv-marker`"},
      {"single quote", "it's"},
      {"double quote", "say \"hi\""},
      {"backslash", "back\\slash"},
      {"trailing backslash", "ends\\"},
      {"newline", "line\nbreak; touch bv-marker"},
      {"blanks", "two  blanks "},
      {"variable", "$HOME"},
      {"percent", "100%"},
      {"at sign", "me@example.com"},
      {"hash", "C#"},
      {"function call", "%CP%()"},
      {"JVM file macro", "@JVM_HOME@"},
      {"globs", "* ? ["},
      {"operators", "; | & < > touch bv-marker"},
      {"not UTF-8", "caf\xe9\xff"},
  };
  return names;
}

}  // namespace bvtest

#endif  // BV_TESTS_HOSTILE_NAMES_H_
