// CandidateReport: the record of the JVM homes that a search examined and
// why each was turned down, for the diagnostics of a search that found no
// JVM ("what was looked for, what was found, why it did not do").
//
// JVMFile::verify opens a candidate with beginCandidate and the steps of the
// check call reject with their reason; the launcher operations clear the
// record before a search and write the report when it found nothing. The
// JVMFiles of a search owns the record and hands it to each of its files.
// The record keeps the first kReportedCandidates candidates in full and
// counts the rest.
#ifndef BV_JVM_CANDIDATE_REPORT_H_
#define BV_JVM_CANDIDATE_REPORT_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

class Console;
class JVMFiles;

// Candidates named one by one in the report; the rest are counted.
const long kReportedCandidates = 20;

class CandidateReport {
 public:
  CandidateReport() : m_rejectedCount(0), m_startFailures(0), m_answers(0) {}

  // Forgets every candidate (a new search begins).
  void clear();
  // A check of the Java executable at exePath begins; it counts as accepted
  // until reject is called.
  void beginCandidate(const SString& exePath);
  // The current candidate was turned down; reason is one English phrase
  // ("no executable", "did not answer within 30 s", ...). Only the first
  // reason of a candidate is kept. Nothing without a current candidate.
  void reject(const SString& reason);
  // reject with "property NAME is "ACTUAL", not "WANTED"" (an exact or
  // prefix value), or "property NAME is "ACTUAL", not >=WANTED" for a
  // version comparison (comparison is ">=", "<=", ">" or "<"); returns false.
  bool rejectProperty(const SString& name, const SString& actual, const SString& wanted,
                             const char* comparison = nullptr);
  // reject with "did not answer within N s", and a warning in the log.
  void rejectTimeout(long millis);
  // The reason the last candidate was turned down, or "" when it was not.
  SString lastReason() const;
  // The current candidate's JVM did not start: reject with "did not start:
  // " and the JVM's first error line (jvmStartError).
  void rejectStart(const SString& errorLine);
  // Whether every JVM that was run failed to start: at least one did not
  // start, and none answered (a property that did not match, no answer in
  // time, an answer without the verification's marker). Candidates turned
  // down without a run (no executable) do not count.
  bool onlyStartFailures() const { return m_startFailures > 0 && m_answers == 0; }
  // The message for a search where onlyStartFailures holds: "Java was
  // found, but it did not start: " and the first JVM's error line, then
  // which of JAVA_TOOL_OPTIONS, _JAVA_OPTIONS and JDK_JAVA_OPTIONS are set
  // ("JAVA_TOOL_OPTIONS is set: the JVM takes options from it.").
  SString startFailureMessage() const;

  // Replaces out with the lines of the report, which follows the catalogued
  // not-found message: "Looked for:" and what the JVM files of files asked
  // for (each file's DESC and its JVM_PROPERTIES conditions; files for
  // another system are left out), then each candidate examined with its
  // path and reason, at most kReportedCandidates, then a count of the
  // others; last, when the files name variables in PLATFORM_HINT, "A
  // suitable Java can also be named with JAVA_HOME or JDK_HOME." with those
  // names.
  // A launcher that is a Unix command (UNIX_COMMAND, unixCommand) leaves that last
  // line out: its no-Java text (noJavaText) names the variables first.
  void lines(const JVMFiles& files, StringDeque& out, bool unixCommand = false) const;
  // The first line of the no-Java message of a launcher that is a Unix
  // command: "No suitable Java was found. Set JAVA_HOME (or JDK_HOME) to
  // the folder of a Java installation, or run again with -bv:javahome
  // DIR.", with the variables that the files name in PLATFORM_HINT
  // (JAVA_HOME when none).
  static SString noJavaText(const JVMFiles& files);
  // Writes lines(files) to the log and, as diagnostics, to the console.
  void reportNotFound(const JVMFiles& files, const Console& console);
  // A home named with -bv:javahome that no JVM file accepted: one warning,
  // with the reason.
  void reportUserHome(const SString& home, const Console& console);

 private:
  StringDeque m_lines;      // "path: reason" of the first candidates turned down
  long m_rejectedCount;     // every candidate turned down
  SString m_currentPath;    // the candidate being checked, or ""
  SString m_currentReason;  // its reason, or ""
  long m_startFailures;     // candidates whose JVM did not start
  long m_answers;           // candidates that were run and answered, but not as wanted
  SString m_firstStartError;
};

// The first line of a JVM's error output that says why it did not start:
// "Picked up ..." notes of the option variables and empty lines are
// skipped, blanks around the line dropped; after the heading "Error
// occurred during initialization of VM" comes ": " and the next line. At
// most 200 bytes are kept ("..." marks a cut). "" when the JVM ended with
// status 0, or wrote nothing else.
SString jvmStartError(long exitCode, const SString& errorOutput);

#endif  // BV_JVM_CANDIDATE_REPORT_H_
