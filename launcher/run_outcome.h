// What an instruction script achieved, for its exit status: a script that
// launched nothing and whose last JVM search or check found no JVM has
// failed, even though no statement raised an error.
#ifndef BV_LAUNCHER_RUN_OUTCOME_H_
#define BV_LAUNCHER_RUN_OUTCOME_H_

// LAUNCH, ILAUNCH or EXECUTE_LAUNCHER started (or tried to start) a program.
void noteLaunch();
// FIND_JVM or VERIFY ended, with or without a JVM.
void noteJVMResult(bool found);
// The exit code of a script whose statements returned scriptResult: 1 when
// nothing was launched and the last FIND_JVM or VERIFY found no JVM,
// otherwise scriptResult.
long scriptExitCode(long scriptResult);
// Forgets everything noted (a new run).
void resetRunOutcome();

#endif  // BV_LAUNCHER_RUN_OUTCOME_H_
