// Limits for the child processes that the launcher runs while an object of
// ChildLimits lives: the JVM check uses them, so that a Java program that
// never answers, or answers without end, cannot hold the launcher.
#ifndef BV_PLATFORM_CHILD_LIMITS_H_
#define BV_PLATFORM_CHILD_LIMITS_H_

// Default bounds of a JVM check.
const long kVerifyTimeoutMillis = 30 * 1000;
const unsigned long kVerifyOutputLimit = 1024 * 1024;

class ChildLimits {
 public:
  // timeoutMillis: a child still running after this long is ended, with
  // every process of its group (0: no bound). outputLimit: captured text of
  // each stream beyond this many bytes is read and dropped (0: no bound).
  ChildLimits(long timeoutMillis, unsigned long outputLimit);
  ~ChildLimits();
  ChildLimits(const ChildLimits&) = delete;
  ChildLimits& operator=(const ChildLimits&) = delete;

  // The limits of a JVM check: kVerifyTimeoutMillis, or the value of the
  // environment variable BV_VERIFY_TIMEOUT_MS when that is a positive
  // number; kVerifyOutputLimit.
  static long verifyTimeoutMillis();

  long timeoutMillis() const { return m_timeoutMillis; }
  unsigned long outputLimit() const { return m_outputLimit; }
  // Whether a child run under these limits was ended for taking too long.
  bool timedOut() const { return m_timedOut; }
  void setTimedOut() { m_timedOut = true; }
  // Whether captured text was dropped.
  bool outputCut() const { return m_outputCut; }
  void setOutputCut() { m_outputCut = true; }

  // The innermost living object, or null: what executeProcess applies.
  static ChildLimits* current();

 private:
  long m_timeoutMillis;
  unsigned long m_outputLimit;
  bool m_timedOut;
  bool m_outputCut;
  ChildLimits* m_outer;
};

// The limits of a JVM check for its lifetime.
class VerificationLimits : public ChildLimits {
 public:
  VerificationLimits() : ChildLimits(verifyTimeoutMillis(), kVerifyOutputLimit) {}
};

#endif  // BV_PLATFORM_CHILD_LIMITS_H_
