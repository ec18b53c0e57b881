// Launcher: the static run state of one launcher run and the operations that
// the command line, the input file and the instruction script call.
//
// One process performs exactly one run, so all run state lives in static
// members and every other subsystem reaches it through static accessors; no
// Launcher pointer is passed around. main() creates one Launcher object on
// its stack only so that its destructor removes the run's temporary files on
// a normal return.
#ifndef BV_LAUNCHER_LAUNCHER_H_
#define BV_LAUNCHER_LAUNCHER_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

class LauncherInputFiles;
class TagFile;

enum LogMessageType { LOG_INFO = 0, LOG_WARNING = 1, LOG_ERROR = 2 };

// How INSTALL_JVM places and shows a JVM installation.
enum InstallJVMOption {
  JVM_INSTALL_SILENT_TEMP = 0,  // hidden UI, a new temporary directory
  JVM_INSTALL_TEMP = 1,         // shown UI, a new temporary directory
  JVM_INSTALL_PROMPT = 2,       // shown UI, a directory asked of the user
};

class Launcher {
 public:
  // Destroying the object removes the temporary files recorded in the run.
  Launcher() {}
  ~Launcher();
  Launcher(const Launcher&) = delete;
  Launcher& operator=(const Launcher&) = delete;

  // Runs the launcher: records the launcher path and the arguments, then
  // processes the command line. Every LauncherException is shown, logged
  // with "ERROR: " and turned into -1; any other exception (an internal
  // fault) becomes -1 with a generic message. Returns the exit code.
  static long process(StringDeque& args, const SString& launcherPath);
  // The same, with the payload read from executablePath (the running
  // executable) while launcherPath is the name the launcher goes by.
  static long process(StringDeque& args, const SString& launcherPath,
                      const SString& executablePath);
  // Applies the options from left to right and, unless an option turned it
  // off, loads the archive and runs the instruction script. Returns the exit
  // code; throws LauncherException.
  static long processCmdLine(const StringDeque& args);
  // Executes the instruction script and returns its result. Without one
  // (no archive, or none in it or in the input file) throws "The launcher
  // file carries no instruction script.", which ends the run with -1.
  // Script errors become "Error in instructions. <message> Line number (<n>)".
  static long run();

  // Appends one line to the log file (when one is set), preceded by a line
  // of 18 hyphens the first time in the run. The file is opened and closed
  // for every message; failure to open it is ignored.
  static void logMessage(const char* text, LogMessageType type);
  static void logMessage(const SString& text, LogMessageType type);

  // The byte 9 bytes before the end of the file (0 to 255), or -1 when it
  // cannot be read. Cached for the running launcher's own file, which is
  // read from the running executable (getExecutableFileName).
  static long getLauncherPurpose(const char* path);
  // The original launcher's directory without the trailing "/", or empty
  // when its name holds no "/" (a backslash is part of a name).
  static SString getOriginalLauncherDir();

  // Run state accessors.
  static LauncherInputFiles& getInputFiles();
  static SString& getUserJavaHome() { return m_userJavaHome; }
  static SString& getPrependClasspath() { return m_prependClasspath; }
  static SString& getAppendClasspath() { return m_appendClasspath; }
  static SString& getErrOutput() { return m_errOutput; }
  static SString& getStdOutput() { return m_stdOutput; }
  static StringDeque& getPassThroughArgs() { return m_passThroughArgs; }
  static StringDeque& getArgs() { return m_args; }
  static bool getShowJavaConsole() { return m_showJavaConsole; }
  static SString getLauncherFileName() { return m_launcherFileName; }
  static SString getOriginalLauncherFileName() { return m_origLauncherFileName; }
  // The file the payload is read from and that -bv:orig deletes: the
  // running executable itself (the launcher file name in tests).
  static SString getExecutableFileName() { return m_executableFileName; }
  static const SString& getLogFileName() { return m_logFileName; }
  static void setLogFileName(const SString& name) { m_logFileName = name; }

  // Script variables N1..N5 and S1..S10. The accessors throw
  // LauncherException "Invalid string variable number: <n>" or
  // "Invalid numeric variable number: <n>" for an invalid number.
  static bool isValidStringVariable(long n) { return n >= 1 && n <= 10; }
  static bool isValidLongVariable(long n) { return n >= 1 && n <= 5; }
  static SString getStringVariable(long n);
  static void setStringVariable(long n, const SString& value);
  // Stores a path that an operation found or made (FIND_JVM, VERIFY,
  // INSTALL_JVM) into S<n>. Such a value is data: an expression inserts it
  // once and never reads it again for references. setStringVariable (SET)
  // makes the variable plain text again.
  static void setFoundStringVariable(long n, const SString& value);
  // Whether S<n> holds a value stored by setFoundStringVariable.
  static bool isFoundStringVariable(long n);
  static long getLongVariable(long n);
  static void setLongVariable(long n, long value);

  // Operations called by the instruction script and the input-file actions.
  static void initializeUI();
  static void findJVM(bool showUI, bool showFailMsg);
  static void search(bool showUI, bool showFailMsg);
  static void searchAll(bool showUI, bool showFailMsg);
  static void verifyJVM(bool showUI, bool showFailMsg, long fileId);
  static void verifyJVM(bool showUI, bool showFailMsg, TagFile& jvmFile, const SString& javaHome);
  static void verifyJVM(bool showUI, bool showFailMsg, const SString& jvmFilePath,
                        const SString& javaHome);
  static long launch(const SString& jvmFilePath, short seconds);
  static long ilaunch(long fileId, short seconds);
  static void executeEmbeddedLauncher(long position);
  static SString& getApplicationArchive();
  static SString& getApplicationArchive(const SString& fileName);
  static void installJVM(InstallJVMOption option);
  static void installJVM(bool showUI, bool showFailMsg, const SString& installerCommand,
                         const SString& destination);

  // Resets the static run state to its initial values, for tests that
  // perform several runs in one process.
  static void resetRunState();

 private:
  friend class LauncherTestAccess;

  static SString m_logFileName;
  static bool m_logFileInitialized;
  static SString m_launcherFileName;
  static SString m_origLauncherFileName;
  static SString m_executableFileName;
  static SString m_stringVariables[10];
  static bool m_stringVariableFound[10];
  static StringDeque m_passThroughArgs;
  static StringDeque m_args;
  static bool m_showJavaConsole;
  static SString m_userJavaHome;
  static SString m_prependClasspath;
  static SString m_appendClasspath;
  static SString m_applicationArchive;
  static long m_launcherPurpose;
  static SString m_stdOutput;
  static SString m_errOutput;
  static long m_numericVariables[5];
};

#endif  // BV_LAUNCHER_LAUNCHER_H_
