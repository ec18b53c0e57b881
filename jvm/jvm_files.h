// JVMFiles: every JVM description file of the run, and the search for a JVM
// that satisfies one of them.
//
// A search tries, in this order: the Java home named on the command line
// against every file; then, file by file, the platform hints, the path hints
// and the PATH directories (or the order of the file's SEARCH_ORDER), up to
// and including the first file that allows a disk scan (SEARCH_ALL); then,
// when such a file was reached, a scan of the disks for the distinct JVM_EXE
// names. Files for another system (PLATFORM) take no part. Each candidate
// home is checked with JVMFile::verify, which runs the candidate's Java on
// the verification class, each real home once per file and search.
//
// The scan is the slow part, so when one JVM is wanted the first file's finds
// are verified during the walk and the walk ends at the first that passes;
// the other files' finds are kept, each home once per file, and verified
// after the walk in the order their files were first found.
//
// Single-threaded: the walk calls foundFile synchronously.
#ifndef BV_JVM_JVM_FILES_H_
#define BV_JVM_JVM_FILES_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"
#include "jvm/jvm_file.h"
#include "jvm/jvm_match.h"
#include "jvm/unverified_jvm_match.h"

class FileIndexEntry;

class JVMFiles {
 public:
  // No JVM files, no matches, empty verification class path and name.
  // The verification archive is extracted from context's launcher archive;
  // context must outlive the object.
  explicit JVMFiles(const LaunchContext& context);
  // Deletes the JVM files and the unverified finds. Not virtual: a JVMFiles
  // is never deleted through a base pointer.
  virtual ~JVMFiles();
  JVMFiles(const JVMFiles&) = delete;
  JVMFiles& operator=(const JVMFiles&) = delete;

  // The record of the candidates that the checks of this set turned down.
  CandidateReport& getCandidateReport() { return m_report; }

  // Appends file and takes ownership of it; its checks record into this
  // set's report.
  void addJVMFile(JVMFile* file);
  long getJVMFileCount() const { return m_files.size(); }
  // The file at index. Throws LauncherException with the catalog text "No
  // Java(tm) Virtual Machine was found." (in the user's language) when index
  // is below 0 or not below the count.
  JVMFile* getJVMFile(long index) const;

  // Sets the class path and class name of the verification command, as the
  // shell is to see them (quote them yourself); writeVerifyJar then leaves
  // them alone. The bundled runtime's recorded answers (those of the
  // payload's class) then stand in for no run of it.
  void setVerifyClass(const SString& classpath, const SString& className);
  // When no verification class is set yet: extracts every embedded file of
  // type FILE_VERIFY_JAR into a new temporary subdirectory (the last one
  // wins) and sets the class path to its path and the class name to Verify,
  // each in double quotes. Without such a file both stay empty, and then no
  // check can succeed. Throws the LauncherException of the extraction.
  void writeVerifyJar();
  // writeVerifyJar(), then copies the two values out.
  void writeVerifyJar(SString& classpath, SString& className);

  // Looks for one JVM (user home, hints, then the disk scan when a file up
  // to the first with SEARCH_ALL allows it) and appends at most one match,
  // which then belongs to matches. userJavaHome (-bv:javahome), when not
  // empty, is checked first. A payload with a Java runtime
  // (archive/cached_entries.h) adds it as a candidate, checked with every
  // file in order: right after the user's home when its use is "always",
  // else after everything else found nothing ("fallback"); it is unpacked
  // only then. A LauncherException from a check ends the search and
  // reaches the caller.
  void search(JVMMatchPtrDeque& matches, const SString& userJavaHome);
  // Scans the disks whatever the files' SEARCH_ALL and appends one match
  // for every home, of every file, that passes, each home once per file.
  // With stopAtFirstMatch the first file's finds are verified during the
  // walk, and the first match ends everything (it is appended too).
  void searchAll(JVMMatchPtrDeque& matches, bool stopAtFirstMatch);
  // The disk scan and the verification of its finds; used by search and
  // searchAll. Both check each real home once per file (JVMFile::verify).
  void exhaustiveSearch(JVMMatchPtrDeque& matches);

  // Called by the walk for every path that ends with one of the JVM_EXE
  // names. Records the home (path less "/" and JVM_EXE) for each file whose
  // JVM_EXE ends the path as whole path components; for the first file,
  // when one match is wanted, verifies it at once instead. True (stop the
  // walk) when that verification passed.
  virtual bool foundFile(const SString& path);
  // Records home as a candidate of file: appended to the file's entry
  // unless already there, or a new entry at the end.
  void addUnverifiedMatch(JVMFile* file, const SString& home);

 protected:
  // Walks the disks for names, reporting to foundFile: the search
  // partitions (PlatformImpl::findFiles). Tests point the walk elsewhere.
  virtual void scanForFiles(const StringDeque& names);

 private:
  // Unpacks (when needed) and checks the bundled runtime with every file in
  // order; sets m_match when one accepts it.
  void verifyBundledRuntime(const FileIndexEntry& runtime);

  friend class JVMFilesTestAccess;

  // JVMFile::forgetCheckedHomes for every file: a search begins.
  void forgetCheckedHomes();
  // Whether the searches use file: a file for another system
  // (JVMFile::isForThisSystem) is skipped, with a log line.
  bool isSearched(const JVMFile& file) const;
  // Writes the warnings of the files' unusable PLATFORM_HINT homes to
  // standard error and the log, one per variable and value, except for the
  // home that match (may be null) is.
  void reportUnusableHints(const JVMMatch* match) const;

  JVMFilePtrDeque m_files;
  UnverifiedJVMMatchPtrDeque m_unverifiedMatches;
  JVMMatch* m_match;
  bool m_stopAtFirstMatch;
  SString m_verifyClasspath;
  SString m_verifyClassName;
  bool m_verifyClassGiven = false;  // setVerifyClass: not the payload's class
  const LaunchContext& m_context;
  CandidateReport m_report;
};

#endif  // BV_JVM_JVM_FILES_H_
