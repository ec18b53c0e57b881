// JVMMatch: a JVM home that passed the check of a JVM description file.
//
// It remembers the home as it was given to the check, the JVM description
// file's tag file (not owned; it outlives the match) and whether the JVM is a
// temporary one (found relative to the launcher, e.g. on the install medium,
// or installed into a temporary directory). writeNewJVMFile() writes a copy
// of the JVM description file completed with JVM_HOME, JVM_FILE and JVM_TEMP,
// which the launch reads.
#ifndef BV_JVM_JVM_MATCH_H_
#define BV_JVM_JVM_MATCH_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

class TagFile;

class JVMMatch {
 public:
  // The temporary flag starts false.
  JVMMatch(const SString& jvmHome, TagFile& tagFile);
  virtual ~JVMMatch() {}
  JVMMatch(const JVMMatch&) = delete;
  JVMMatch& operator=(const JVMMatch&) = delete;

  SString getJVMHome() const { return m_jvmHome; }
  bool isJVMTemporary() const { return m_jvmTemporary; }
  void setJVMTemporary(bool temporary) { m_jvmTemporary = temporary; }
  TagFile* getTagFile() { return m_tagFile; }

  // Sets JVM_HOME, JVM_FILE and JVM_TEMP on the tag file (they stay set) and
  // writes it to a new temporary file, which is on the clean-up list; returns
  // its path. The file holds the JVM file's own tags and these three: what
  // the check learned of the Java for the launcher itself (JVM_VERSION,
  // JVM_IDENTITY) stays in the tag file in memory and in getJVMVersion and
  // getJVMIdentity. Throws LauncherException when no temporary file can be
  // made or the file could not be written.
  SString writeNewJVMFile();
  // JVM_VERSION and JVM_IDENTITY as writeNewJVMFile found them ("" before).
  const SString& getJVMVersion() const { return m_version; }
  const SString& getJVMIdentity() const { return m_identity; }

 private:
  SString m_jvmHome;
  bool m_jvmTemporary;
  TagFile* m_tagFile;
  SString m_version;
  SString m_identity;
};

class JVMMatchPtrDE : public PtrDE<JVMMatch> {
 public:
  using PtrDE::PtrDE;
};
// Owns its matches.
class JVMMatchPtrDeque : public PtrDeque<JVMMatch, JVMMatchPtrDE> {};

#endif  // BV_JVM_JVM_MATCH_H_
