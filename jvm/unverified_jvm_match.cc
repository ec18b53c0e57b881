#include "jvm/unverified_jvm_match.h"

void UnverifiedJVMMatch::addJVMHome(const SString& home) {
  for (long i = 0; i < m_homeDirs.size(); i++) {
    if (m_homeDirs.at(i).compare(home) == 0) return;
  }
  m_homeDirs.push_back(home);
}

void UnverifiedJVMMatchPtrDeque::addMatch(const JVMFile& file, const SString& home) {
  for (long i = 0; i < size(); i++) {
    UnverifiedJVMMatch* match = at(i);
    if (match != nullptr && match->equals(file)) {
      match->addJVMHome(home);
      return;
    }
  }
}
