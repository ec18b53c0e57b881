// What an instruction script achieved, for its exit status: a script that
// launched nothing and whose last JVM search or check found no JVM has
// failed, even though no statement raised an error.
#ifndef BV_LAUNCHER_RUN_OUTCOME_H_
#define BV_LAUNCHER_RUN_OUTCOME_H_

class RunOutcome {
 public:
  // LAUNCH, ILAUNCH or EXECUTE_LAUNCHER started (or tried to start) a program.
  void noteLaunch() { m_launched = true; }
  // FIND_JVM or VERIFY ended, with or without a JVM.
  void noteJVMResult(bool found) { m_lastJVMResult = found ? 1 : -1; }
  // The exit code of a script whose statements returned scriptResult: 1 when
  // nothing was launched and the last FIND_JVM or VERIFY found no JVM,
  // otherwise scriptResult.
  long scriptExitCode(long scriptResult) const {
    if (!m_launched && m_lastJVMResult < 0) return 1;
    return scriptResult;
  }

 private:
  bool m_launched = false;
  // The last FIND_JVM or VERIFY: 0 none yet, 1 found, -1 not found.
  int m_lastJVMResult = 0;
};

#endif  // BV_LAUNCHER_RUN_OUTCOME_H_
