// JVMFile: a JVM description file, and the check of JVM homes against it.
//
// A JVM description file is a tag file that describes one kind of JVM the
// application accepts: where to look for homes (PATH_HINT, PLATFORM_HINT),
// where the Java executable lies in a home (JVM_EXE), which system
// properties the JVM must report (JVM_PROPERTIES, "name=value", a value
// ending in "..." being a prefix, or a version comparison such as
// "name>=17", property_condition.h), and how that JVM spells the options the
// launch script builds (CLASSPATH, SYSTEM, MAX_JAVA_HEAP, ...).
//
// A candidate home is checked by running its Java executable on the
// verification class, which prints the line "1739021872" and then one line
// per property name given to it: the property's value, or "null". The values
// are matched against JVM_PROPERTIES; a match yields a new JVMMatch that the
// caller owns.
//
// A home whose path holds a character that the shell or the launch template
// would interpret (" $ ` \ % @ # or a line break) is never put into a
// command: the check logs that it skipped it and fails.
//
// The check writes into the tag file: JVM_HOME holds the home of the last
// candidate that was run. The tag file is not owned and outlives the
// JVMFile.
//
// JVMFile is also the source of the @NAME@ macros of the launch script
// through its base JVMTagLookup (launchscript/jvm_tag_lookup.h).
//
// Every operation that can fail throws LauncherException and nothing else.
#ifndef BV_JVM_JVM_FILE_H_
#define BV_JVM_JVM_FILE_H_

#include <string>
#include <utility>
#include <vector>

#include "foundation/deque.h"
#include "foundation/sstring.h"
#include "jvm/candidate_report.h"
#include "launchscript/jvm_tag_lookup.h"
#include "launchscript/launch_context.h"

class JVMMatch;
class StringPairPtrDeque;
class TagFile;

// The line that the verification class prints before the property values.
extern const char* verificationMarker;

// What a runtime's java printed for system properties when bvpack packed it
// (the bundled runtime's recorded answers): name and value pairs.
typedef std::vector<std::pair<std::string, std::string>> RecordedAnswers;

// A home from a PLATFORM_HINT variable that a file with
// PLATFORM_HINT_WARNING turned down: what the warning says.
struct UnusableHint {
  SString variable;  // JAVA_HOME
  SString value;     // the home as the variable gives it
  SString home;      // its real home, as checked
  SString line;      // the warning line
};

// Not meant to be derived from: it is deleted through JVMFile pointers and
// its destructor is not virtual.
class JVMFile final : public JVMTagLookup {
 public:
  // tagFile and context must outlive the object; neither is owned. The
  // verification command runs as a launch script in context.
  JVMFile(TagFile& tagFile, const LaunchContext& context) : JVMTagLookup(tagFile), m_context(&context) {}
  JVMFile(const JVMFile&) = delete;
  JVMFile& operator=(const JVMFile&) = delete;

  // Where the checks record the candidates they turn down (JVMFiles hands
  // in its own); by default a record of the file's own.
  void setCandidateReport(CandidateReport* report) { m_report = report; }

  // Value 0 of JVM_EXE.
  SString getJVMExe() const;
  // SEARCH_ALL, default false: a search may scan the disks for this file.
  bool isSearchAll() const;

  // Checks the home named by the file's own JVM_HOME tag; null, with a
  // warning, when JVM_PROPERTIES has no value.
  JVMMatch* verify(const SString& verifyClasspath, const SString& verifyClassName);
  // Checks one home: null when JVM_EXE or the home is empty, when the
  // executable does not exist, when the executable (as found) was examined
  // or its real home was checked already since forgetCheckedHomes, or when
  // the verification fails. Unless
  // namedHome (a home the user or the calling program named), an executable
  // that PlatformImpl::isTrustedFile turns down is not run: the check logs
  // the path and the reason, advances the progress by 2 and returns null.
  // What is run and matched is the real home (real_home.h): the folder that
  // the executable lies in once every link is resolved. Only a candidate
  // that is run gets the "Verifying" status line.
  // verifyClasspath is normally a path in double quotes. recorded: the
  // answers recorded for this home when it was packed (performVerify), or
  // null.
  JVMMatch* verify(const SString& jvmHome, const SString& verifyClasspath,
                   const SString& verifyClassName, bool namedHome = false,
                   const RecordedAnswers* recorded = nullptr);
  // A new search begins: every real home may be checked again, and the
  // unusable hints are forgotten.
  void forgetCheckedHomes() {
    m_checkedHomes.clear();
    m_examinedPaths.clear();
    m_unusableHints.clear();
  }

  // Whether the file is for the running system: true without a PLATFORM
  // tag, else whether one of its values is the system's name as uname gives
  // it ("Linux", "Darwin"). The searches skip a file for another system
  // (jvm_file_search.cc).
  bool isForThisSystem() const;
  // The searches through hints in the order of SEARCH_ORDER, a block of
  // "PLATFORM_HINT", "PATH_HINT" and "PATH" (default: that order), up to
  // the first match. A value that names no search is skipped with a log
  // warning; a search that the block leaves out is not made.
  JVMMatch* verifyWithHints(const SString& verifyClasspath, const SString& verifyClassName);
  // With PLATFORM_HINT_WARNING: records that the home value of the
  // variable was turned down, with the reason of the check (the candidate
  // report's last reason). Nothing without the flag, or when the home was
  // not run because it was checked already.
  void noteUnusableHint(const SString& variable, const SString& value);
  // The homes recorded since forgetCheckedHomes, in order.
  const std::vector<UnusableHint>& getUnusableHints() const { return m_unusableHints; }

  // Try the homes that the hints give, in order, up to the first match:
  // the environment variables named by PLATFORM_HINT (each value split at
  // ':'); the PATH_HINT directories (absolute ones under every search
  // partition, "~/" ones in HOME, others relative to the launcher's
  // directory: a match found that way is temporary; patterns give their
  // matches newest first, path_hint.h); the absolute directories of PATH
  // that end with the directory part of JVM_EXE as whole components, less
  // that part ("/usr/bin" gives "/usr" for "bin/java"; "/usr/sbin" and
  // "bin" give nothing).
  // Each returns null, with a warning, when JVM_PROPERTIES has no value.
  JVMMatch* verifyWithPlatformHints(const SString& verifyClasspath,
                                    const SString& verifyClassName);
  JVMMatch* verifyWithPathHints(const SString& verifyClasspath, const SString& verifyClassName);
  JVMMatch* verifyWithPlatformJVMPaths(const SString& verifyClasspath,
                                       const SString& verifyClassName);

  // Runs the verification class under the JVM of jvmHome (through a launch
  // script, with JAVA_HOME set to the home) and matches its output. Sets
  // JVM_HOME to jvmHome first. When recorded answers are given, every
  // property asked is among them, the home's executable holds code for
  // this machine (platform/machine_code.h) and no variable gives the JVM
  // options (jvmOptionVariables), the output is made of them and no JVM
  // starts. Else, with RELEASE_FILE_ANSWERS, when the home's release file
  // (jvm/release_file.h) can be read and states every property asked, with
  // the same conditions on the executable and the environment, the output
  // is made of its answers and no JVM starts either. Else the verification
  // cache or a real run answers.
  bool performVerify(const SString& jvmHome, const SString& verifyClasspath,
                     const SString& verifyClassName, const RecordedAnswers* recorded = nullptr);
  // Lines before the marker are ignored; without the marker the result is
  // false (logged as an error). Then line i must satisfy condition i
  // (propertySatisfies); conditions that the output does not reach are not
  // compared.
  bool verifyJVMOutput(const SString& output, const StringPairPtrDeque& expected);

  // The verification command for jvmHome, before the launch script resolves
  // it: the quoted executable ("home/@JVM_EXE@"), %CP%(classpath), the class
  // name and the property names. expected receives the (name, value,
  // operator) conditions of JVM_PROPERTIES in order; a malformed setting
  // (parsePropertyCondition) is skipped with a warning.
  SString buildVerifyCommand(const SString& jvmHome, const SString& verifyClasspath,
                             const SString& verifyClassName, StringPairPtrDeque& expected) const;

  // True when path holds a line feed or carriage return. Such a home is
  // skipped: a tag value cannot hold a line break, so the JVM file written
  // for a match would be read back wrong. Every other byte is fine, since
  // the home goes into the command as a value.
  static bool holdsLineBreak(const SString& path);

 private:
  // True, after the warning, when JVM_PROPERTIES has no value 0.
  bool lacksProperties() const;

  CandidateReport& candidateReport() const { return m_report != nullptr ? *m_report : m_ownReport; }

  const LaunchContext* m_context;
  CandidateReport* m_report = nullptr;
  mutable CandidateReport m_ownReport;
  StringDeque m_checkedHomes;   // the real homes run since forgetCheckedHomes
  StringDeque m_examinedPaths;  // the executables examined, as found
  std::vector<UnusableHint> m_unusableHints;
  // A candidate that gives no executable to examine (a PATH folder that is
  // relative or not a .../bin one): a setup program's console shows it as a
  // check of a home without the executable ("Verifying" and two progress
  // steps); a Unix command's shows nothing.
  void showCandidateNotExamined() const;

  SString m_lastCheckedHome;    // the real home of the last candidate run, or ""
};

class JVMFilePtrDE : public DequeEntry {
 public:
  JVMFilePtrDE(JVMFile* value, bool owned) : m_value(value), m_owned(owned) {}
  ~JVMFilePtrDE() override {
    if (m_owned) delete m_value;
  }
  JVMFilePtrDE(const JVMFilePtrDE&) = delete;
  JVMFilePtrDE& operator=(const JVMFilePtrDE&) = delete;
  JVMFile* getValue() const { return m_value; }
  bool isOwned() const { return m_owned; }

 private:
  JVMFile* m_value;
  bool m_owned;
};

// A sequence of JVM files; each is deleted with its entry only when it was
// inserted with the ownership flag set.
class JVMFilePtrDeque : public PtrDeque<JVMFile, JVMFilePtrDE> {
 public:
  void push_back(JVMFile* file, bool owned) { GenericDeque::insert(-1, new JVMFilePtrDE(file, owned)); }
  void push_front(JVMFile* file, bool owned) { GenericDeque::insert(0, new JVMFilePtrDE(file, owned)); }
  void insert(long i, JVMFile* file, bool owned) {
    GenericDeque::insert(i, new JVMFilePtrDE(file, owned));
  }
};

#endif  // BV_JVM_JVM_FILE_H_
