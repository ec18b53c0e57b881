// UnverifiedJVMMatch: the candidate homes that the disk scan found for one
// JVM file and that still wait for their verification run.
#ifndef BV_JVM_UNVERIFIED_JVM_MATCH_H_
#define BV_JVM_UNVERIFIED_JVM_MATCH_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

class JVMFile;

class UnverifiedJVMMatch {
 public:
  // No homes yet. The JVM file is not owned and must outlive the object.
  explicit UnverifiedJVMMatch(JVMFile& file) : m_jvmFile(&file) {}
  UnverifiedJVMMatch(const UnverifiedJVMMatch&) = delete;
  UnverifiedJVMMatch& operator=(const UnverifiedJVMMatch&) = delete;

  JVMFile* getJVMFile() { return m_jvmFile; }
  // The homes in the order they were found, each once.
  StringDeque& getHomeDirs() { return m_homeDirs; }
  // Appends home unless an equal string (exact comparison) is already kept.
  void addJVMHome(const SString& home);
  // True when file is the very JVM file object of this entry.
  bool equals(const JVMFile& file) const { return m_jvmFile == &file; }

 private:
  JVMFile* m_jvmFile;
  StringDeque m_homeDirs;
};

class UnverifiedJVMMatchPtrDE : public PtrDE<UnverifiedJVMMatch> {
 public:
  using PtrDE::PtrDE;
};

// Owns its entries; at most one entry per JVM file.
class UnverifiedJVMMatchPtrDeque
    : public PtrDeque<UnverifiedJVMMatch, UnverifiedJVMMatchPtrDE> {
 public:
  // Adds home to the first entry for file (addJVMHome); nothing when the
  // file has no entry.
  void addMatch(const JVMFile& file, const SString& home);
};

#endif  // BV_JVM_UNVERIFIED_JVM_MATCH_H_
