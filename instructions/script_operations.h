// ScriptOperations: what the instruction script asks of the launcher. The
// interpreter (instructions.h) calls these for FIND_JVM, VERIFY, LAUNCH,
// ILAUNCH, INSTALL_JVM and EXECUTE_LAUNCHER and reads and writes the
// variables through it; the launcher implements it (launcher/launcher.h),
// and the input-file actions use the same object.
#ifndef BV_INSTRUCTIONS_SCRIPT_OPERATIONS_H_
#define BV_INSTRUCTIONS_SCRIPT_OPERATIONS_H_

#include "foundation/sstring.h"
#include "instructions/script_variables.h"

// How INSTALL_JVM places and shows a JVM installation.
enum InstallJVMOption {
  JVM_INSTALL_SILENT_TEMP = 0,  // hidden UI, a new temporary directory
  JVM_INSTALL_TEMP = 1,         // shown UI, a new temporary directory
  JVM_INSTALL_PROMPT = 2,       // shown UI, a directory asked of the user
};

class ScriptOperations {
 public:
  // The run's variables N1..N5 and S1..S10.
  virtual ScriptVariables& variables() = 0;

  // INITIALIZE_UI: the console in its initial state, shown.
  virtual void initializeUI() = 0;
  // FIND_JVM: N1 = 1 and S1, S2 = the home and a new JVM file when a JVM
  // is found, else N1 = 0.
  virtual void findJVM(bool showUI, bool showFailMsg) = 0;
  // VERIFY: checks the embedded JVM file with this file id; N1 = 1 and
  // S1 = the home when it passes.
  virtual void verifyJVM(bool showUI, bool showFailMsg, long fileId) = 0;
  // LAUNCH: runs the launch script with the JVM file at jvmFilePath;
  // returns the command's exit code.
  virtual long launch(const SString& jvmFilePath, short seconds) = 0;
  // ILAUNCH: the same with the embedded JVM file of this file id.
  virtual long ilaunch(long fileId, short seconds) = 0;
  // INSTALL_JVM: N1 = 1 and S1 = the new JVM file when it worked.
  virtual void installJVM(InstallJVMOption option) = 0;
  // EXECUTE_LAUNCHER: replaces the process with the embedded launcher at
  // this index position.
  virtual void executeEmbeddedLauncher(long position) = 0;

 protected:
  // Never deleted through this interface.
  ~ScriptOperations() {}
};

#endif  // BV_INSTRUCTIONS_SCRIPT_OPERATIONS_H_
