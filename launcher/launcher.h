// Launcher: one run of the launcher on its RunState: the command line, the
// input-file actions and the operations that the instruction script calls
// (ScriptOperations).
//
// main() (launcherMain) makes one RunState and one Launcher on its stack and
// removes the run's temporary files when the run ends.
#ifndef BV_LAUNCHER_LAUNCHER_H_
#define BV_LAUNCHER_LAUNCHER_H_

#include "foundation/deque.h"
#include "foundation/log.h"
#include "foundation/sstring.h"
#include "instructions/script_operations.h"
#include "launcher/run_state.h"

class JVMFile;
class LaunchScript;
class TagFile;

// The byte 9 bytes before the end of the file at path (0 to 255), or -1
// when it cannot be read: the launcher's purpose.
long readLauncherPurpose(const SString& path);

class Launcher : public ScriptOperations {
 public:
  // state must outlive the object.
  explicit Launcher(RunState& state) : m_state(state) {}
  Launcher(const Launcher&) = delete;
  Launcher& operator=(const Launcher&) = delete;

  RunState& state() { return m_state; }

  // Runs the launcher: records the launcher path, its purpose and the
  // arguments, then processes the command line. Every LauncherException is
  // shown, logged with "ERROR: " and turned into -1; any other exception
  // (an internal fault) becomes -1 with a generic message. Returns the exit
  // code.
  long process(const StringDeque& args, const SString& launcherPath);
  // The same, with the payload read from executablePath (the running
  // executable) while launcherPath is the name the launcher goes by.
  long process(const StringDeque& args, const SString& launcherPath, const SString& executablePath);
  // Applies the options from left to right and, unless an option turned it
  // off, loads the archive and runs the instruction script. Returns the exit
  // code; throws LauncherException.
  long processCmdLine(const StringDeque& args);
  // Executes the instruction script and returns its result. Without one
  // (no archive, or none in it or in the input file) throws "The launcher
  // file carries no instruction script.", which ends the run with -1.
  // Script errors become "Error in instructions. <message> Line number (<n>)".
  long runInstructionScript();

  // The operations of the instruction script (ScriptOperations).
  ScriptVariables& variables() override { return m_state.variables; }
  void initializeUI() override;
  void findJVM(bool showUI, bool showFailMsg) override;
  void verifyJVM(bool showUI, bool showFailMsg, long fileId) override;
  long launch(const SString& jvmFilePath, short seconds) override;
  long ilaunch(long fileId, short seconds) override;
  void installJVM(InstallJVMOption option) override;
  void executeEmbeddedLauncher(long position) override;

  // The input-file actions, which print their results on standard output.
  void search(bool showUI, bool showFailMsg);
  void searchAll(bool showUI, bool showFailMsg);
  void verifyJVM(bool showUI, bool showFailMsg, TagFile& jvmFile, const SString& javaHome);
  void verifyJVM(bool showUI, bool showFailMsg, const SString& jvmFilePath, const SString& javaHome);
  void installJVM(bool showUI, bool showFailMsg, const SString& installerCommand,
                  const SString& destination);

 private:
  // Reads the input file named after -bv:in and performs its action.
  // Returns whether the instruction script is to run afterwards; sets
  // exitCode to -1 for a VERIFY_JVM that lacks its tags. Other failures
  // throw a LauncherException, which process shows and logs (the run ends
  // with 255), after what the Console's convention shows here
  // (launcher_cmdline.cc).
  bool performInputFileAction(const SString& value, long& exitCode);
  // Opens and parses the input file named by value (-bv:in) into input and
  // applies its LOGFILE; reports a failure as the Console's convention says
  // and throws it on.
  void loadInputFile(const SString& value, TagFile& input);
  // Loads the archive of the running launcher; errors name the file index.
  void loadArchive(bool loadTagFiles);
  // Runs the launch script with jvmFile.
  long launchWith(LaunchScript& script, JVMFile& jvmFile, short seconds);

  RunState& m_state;
};

#endif  // BV_LAUNCHER_LAUNCHER_H_
