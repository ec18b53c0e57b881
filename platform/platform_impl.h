// PlatformImpl: every operating-system service of the launcher, as static
// operations and static data (the class is never instantiated). The
// operations are split by concern over several files of platform/:
//   console user interface and message catalog   platform_ui.cc
//   temporary files and clean-up                  platform_temp.cc
//   child processes and the environment           platform_process.cc
//   file system search and disk checks            platform_files.cc
//   cancel signals                                platform_signals.cc
//   the running executable                        platform_executable.cc
//   trust checks of files found on disk           platform_trust.cc
// The run is single-threaded; the static state is unguarded, except the
// cancel flag, which a signal handler may set.
#ifndef BV_PLATFORM_PLATFORM_IMPL_H_
#define BV_PLATFORM_PLATFORM_IMPL_H_

#include <csignal>
#include <cwchar>

#include "foundation/deque.h"
#include "foundation/sstring.h"
#include "platform/file_find_listener.h"
#include "platform/ui_window.h"

class Console;
class TagFile;

// Status lines of the console (values are fixed; the script operations pass
// them). Each prints an empty line and then its catalog text.
enum UIStatus {
  UI_STATUS_INITIALIZING = 0,   // "Initializing %s..." with the title
  UI_STATUS_SEARCHING = 1,      // "Searching for Java(tm) Virtual Machine..."
  UI_STATUS_JVM_NOT_FOUND = 2,  // "No Java(tm) ... found." + "%s could not be launched."
  UI_STATUS_RUNNING = 3,        // "Running %s..." with the title
  UI_STATUS_PREPARING_JVM = 4   // "Preparing Java(tm) Virtual Machine..."
};

// Sub-status lines; the data is the description of the JVM file concerned.
enum UISubStatus {
  UI_SUBSTATUS_NONE = 0,       // prints nothing
  UI_SUBSTATUS_SEARCHING = 1,  // "Searching for %s" with the data
  UI_SUBSTATUS_SCANNING = 2,   // "Scanning disk(s) for a Java(tm) Virtual Machine..."
  UI_SUBSTATUS_VERIFYING = 3   // "Verifying %s" with the data
};

// Catalog texts used in exception messages (getMessageText). Values 0 to 14
// select catalog messages 19 to 33, values 15 to 18 messages 36 to 39, and
// 19 message 43.
enum MessageIdentifier {
  MSG_INPUT_FILE_LOAD_ERROR = 0,     // "Could not load the input file."
  MSG_INSTRUCTIONS_LOAD_ERROR = 1,   // "Error loading instructions file."
  MSG_LAUNCH_SCRIPT_LOAD_ERROR = 2,  // "Error loading launch script."
  MSG_JVM_FILE_LOAD_ERROR = 3,       // "Error loading JVM file."
  MSG_INVALID_JVM_FILE_ID = 4,       // "Invalid JVM file id."
  MSG_INVALID_INPUT_ACTION = 5,      // "Invalid action in input file: "
  MSG_LOG_FILE_NAME_MISSING = 6,     // "A log file name must be specified ..."
  MSG_EXTRACT_ERROR = 7,             // "Unable to extract embedded files from the launcher. "
  MSG_FILE_INDEX_LOAD_ERROR = 8,     // "Unable to load the launcher file index. "
  MSG_NO_JVM_INSTALLER = 9,          // "No JVM installer was included in the launcher."
  MSG_INVALID_JVM = 10,              // "The JVM is not valid."
  MSG_INPUT_FILE_NAME_MISSING = 11,  // "An input file name must follow the '-in' ..."
  MSG_NO_SUITABLE_JVM = 12,          // "A suitable JVM could not be found. ..."
  MSG_SEARCH_ALL_ERROR = 13,         // "Unable to search for all JVMs."
  MSG_INPUT_FILE_OPEN_ERROR = 14,    // "Unable to open input file specified ..."
  MSG_FILE_WRITE_ERROR = 15,         // "Error writing file = "
  MSG_TEMP_SPACE_HINT = 16,          // " There may not be enough temporary disk space. ..."
  MSG_CANCELED = 17,                 // "Canceled by the user."
  MSG_TEMP_DIR_MISSING = 18,         // "Cannot use %s as the temp directory ..."
  MSG_LAUNCHER_DAMAGED = 19          // "The launcher file is damaged or incomplete. ..."
};

class PlatformImpl {
 public:
  PlatformImpl() = delete;

  // ---------------------------------------------------------------------
  // Console user interface (platform_ui.cc).
  //
  // The title, the status lines and the progress dots are printed on
  // standard output. Output can be disabled (hideUI: writeLine and write
  // print nothing) and the whole interface can be made silent (nothing of
  // it is printed and nothing is asked, showUI keeps output disabled). The
  // settings (silent, quiet, the window) and the launcher's messages belong
  // to the run's Console (run_console.h), which decides where each text
  // goes; these operations ask the Console installed with setConsole.
  //
  // A window (ui_window.h; the desktop mode of a launcher without a
  // terminal, desktop_ui.h) gets what the console shows, unless the run is
  // silent: the status lines (also while output is disabled), the progress
  // steps and the work that extraction announces (beginUIWork).
  // ---------------------------------------------------------------------

  // Installs the run's console (null: a console of default settings) for the
  // rest of the run; the caller keeps it alive until it installs another.
  static void setConsole(Console* console);
  static Console& console();

  // Shorthands for the installed console's settings.
  static void setUIWindow(UIWindow* window);
  static UIWindow* getUIWindow();
  static void setSilent(bool silent);
  static bool isSilent();
  // Enables output, unless silent: then it disables it (hideUI).
  static void showUI();
  // Disables output; the argument is not used.
  static void hideUI(short how);
  // Whether output is enabled (g_enableOutput).
  static int isUIVisible();

  // Decodes \uXXXX escapes of the title, stores it in the console's
  // character set as g_title and, unless silent, prints it on a line.
  // Characters the console cannot show become '?': the title is never cut.
  static void setUITitle(const SString& title);
  // Unless silent: an empty line, then the status text; an unknown value
  // prints nothing.
  static void setUIStatus(UIStatus status);
  // Unless silent: for SEARCHING, SCANNING and VERIFYING an empty line and
  // the sub-status text, and the pair is recorded; any other value prints
  // nothing and records UI_SUBSTATUS_NONE. Silent mode records nothing.
  static void setUISubStatus(UISubStatus subStatus, const SString& data);
  // Unless silent: records the pair as the current sub-status without
  // printing it again (the line of a phase that goes on is already shown).
  static void restoreUISubStatus(UISubStatus subStatus, const SString& data);
  static UISubStatus getUISubStatus();
  static SString getUISubStatusData();

  // Unless silent: adds n to the progress counter and prints n dots, all in
  // one write; a row of dots ends (a line end) after each dot that brings
  // the counter to a multiple of 70 beyond the highest one already reached,
  // however many steps the call covers. The one place where progress steps
  // are counted and shown.
  static void advanceUIProgress(long n);
  // Unless silent: sets the progress counter, ending the dot row as above.
  static void setUIProgress(long progress);
  // Unless silent: ends the row of dots of a phase that is over (a line end
  // while output is enabled).
  static void endUIProgressRow();

  // Work that may take long begins (UIWindow::beginWork; nothing without a
  // window): goalSteps progress steps are expected, 0 when unknown. Each
  // call is ended by endUIWork; UIWork pairs them.
  static void beginUIWork(long goalSteps);
  static void endUIWork();
  // Lets the window notice meanwhile that the user closed it (a loop that
  // waits for a child calls it each round).
  static void pollUIWindow();
  // The catalog text for id in the user's language, or "" for an unknown id.
  static SString getMessageText(MessageIdentifier id);
  // Silent: "". Otherwise prints the destination question and reads one
  // word from standard input ("" at the end of input).
  static SString promptJVMDestinationDirectory();

  // The cancel flag, tested by long operations (extraction, the disk walk).
  // setCanceled is safe to call from a signal handler.
  static bool isCanceled();
  static void setCanceled(bool canceled);

  // ---------------------------------------------------------------------
  // Cancel signals (platform_signals.cc, child_supervisor.cc).
  //
  // SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2 and SIGALRM ask the
  // run to stop. The first sets the cancel flag; long operations see it and
  // the run ends with "Canceled by the user.", removing the temporary files
  // as usual, but only after a running child has ended: every such signal
  // is passed on to the child's process group (the last four as SIGTERM),
  // and a group that has not ended 10 s after the first is ended with
  // SIGKILL. A second signal while no child runs removes the temporary files
  // and directories at once and ends the process with 128 + its number.
  // SIGPIPE is ignored (children get the action of before).
  // ---------------------------------------------------------------------

  // Installs the handlers; a signal that is ignored (nohup) stays ignored.
  // On Linux the launcher also becomes the reaper of its orphaned
  // descendants (child_reaper.h).
  static void installCancelHandlers();
  // Puts the handlers of before back.
  static void removeCancelHandlers();
  // The signal that set the cancel flag, or 0.
  static int getCancelSignal();
  // The exit code of a canceled run: 128 + the signal number (-1 without
  // one).
  static long getCanceledExitCode();

  // ---------------------------------------------------------------------
  // Temporary files and clean-up (platform_temp.cc).
  // ---------------------------------------------------------------------

  // Sets the temporary directory (-bv:tempdir, or fromVariable: the
  // variable TMPDIR). A relative directory is made absolute against the
  // current directory now, since children run elsewhere; empty restores the
  // default "/var/tmp/".
  static void setSystemTempDir(const SString& dir, bool fromVariable = false);
  // The temporary directory, after checking that it exists and is a
  // directory; otherwise throws LauncherException with message 39 (the
  // directory cannot be used, use -bv:tempdir) for the default directory
  // and, on a setup program's console, for one given with -bv:tempdir;
  // message 44 (its first sentence, "Cannot use <dir> as the temp directory
  // because it does not exist.") for a missing one that a Unix command was
  // given or that TMPDIR named (the run goes on without it: no advice to
  // run again), "<dir> cannot be the temporary directory: it is not a
  // directory." for a file there; or with "<dir> cannot be the
  // temporary directory: its path holds a line break." when it holds a line
  // feed or carriage return, or "<dir> cannot be the temporary directory:
  // <reason>" when another user (not root) owns it, or when group or others
  // may write to it and it is not sticky.
  static SString getSystemTempDirectory();
  // Creates a new directory "bvj..." in the temporary directory, atomically
  // and under a name nobody else can have planted, with mode 0700 whatever
  // the umask, writes its owner marker into it (stale_temp.h), records it
  // for clean-up and returns its path. Throws LauncherException (message
  // 39, or the system's error text). The first folder or file that a run
  // makes also removes the folders that killed launchers left behind.
  static SString createTempSubDirectory();
  // Creates a new empty file "bvj..." in the temporary directory (as safely
  // as above, mode 0600), records it for clean-up and returns its path. Throws
  // LauncherException (message 39, or "Error creating tmp file <path>").
  static SString createTempFile();
  static void addFileToCleanupList(const SString& path);
  // Takes the first equal path off the file (or directory) list, so that
  // it outlives the launcher; nothing when it is not there.
  static void removeFileFromCleanupList(const SString& path);
  static void removeDirFromCleanupList(const SString& path);
  // True when path (as given, or with its links resolved) is a file or
  // folder that this run made and records for clean-up, or lies inside
  // such a folder: it will be gone after the run.
  static bool isRunTemporaryPath(const SString& path);
  // Deletes the recorded files, then the recorded directories with their
  // trees, in creation order, then the launcher file when so set. Never
  // throws; every failure is one warning in the log. The lists stay.
  static void cleanup();
  // A directory (not a link to one) is removed with its whole tree, without
  // following links; anything else is removed as itself. Never throws.
  static void deleteFile(const SString& path);
  // Makes cleanup delete file, the running executable (-bv:orig); empty
  // (the start) deletes none.
  static void setLauncherToDelete(const SString& file);
  // Unlinks file, the running executable (never a name taken from
  // argv[0]), and tries to remove its directory (which
  // goes only when empty). Results are not examined. Only a copy
  // that lies in a directory made by createTempSubDirectory ("bvj..." in
  // the temporary directory) is deleted; for any other file a warning is
  // logged and nothing is deleted.
  static void deleteLauncher(const SString& file);

  // ---------------------------------------------------------------------
  // Child processes and the environment (platform_process.cc).
  // ---------------------------------------------------------------------

  // Runs command (shell syntax) and returns its exit code.
  // Normally a child runs "/bin/sh -c command" in workingDirectory (empty:
  // the current one; the launcher's own directory is restored at once); a
  // command longer than 64 KiB is written to a private temporary file run as
  // "/bin/sh FILE" and removed afterwards, and one longer than the system
  // passes to a program throws before anything runs. The child leads its
  // own process group; when the launcher is in the terminal's foreground,
  // the child gets the terminal while it runs (not under ChildLimits).
  // Under ChildLimits (child_limits.h) the child is ended after the timeout
  // and captured text beyond the output limit is dropped.
  // With captureOutput the child's standard output and error go to pipes
  // (when redirectOutput) that are read while it runs; the text is appended
  // to *stdOut and *stdErr (either may be null: read and dropped), one
  // progress dot per chunk read. A child that dies from signal n gives
  // 128 + n. With replaceProcess the command is split with CmdLine and the
  // launcher is replaced by it (execvp); if that fails the result is 0.
  // showConsole is not used here. Throws LauncherException when the working
  // directory, the pipes, the fork or the wait fail, and "Canceled by the
  // user." (nothing is run) once the cancel flag is set; a command that
  // fails is not an error of this operation. A cancel signal that arrives
  // while the child runs is passed on to its group (see Cancel signals).
  static long executeProcess(const SString& command, const SString& workingDirectory,
                             bool showConsole, bool captureOutput, bool redirectOutput,
                             SString* stdOut, SString* stdErr, bool replaceProcess);
  // Replaces the launcher with the program argv[0] (looked up in PATH when
  // it holds no "/"), giving it argv as its arguments, each exactly as it
  // is (empty ones too). With cleanUpFirst the run's temporary files are
  // removed first (cleanup), once the program is known to be executable.
  // The cancel handlers are taken away for the new program. Returns only
  // when the program cannot be started: false, with the system's error
  // text in error (the handlers are back then).
  static bool replaceProcessWith(const StringDeque& argv, bool cleanUpFirst, SString& error);
  // The variable's value, or "" when it is not set.
  static SString getEnvironmentVariable(const SString& name);
  // Sets the variable for the rest of the process and its later children.
  static void setEnvironmentVariable(const SString& name, const SString& value);
  // Adds execute permission for the owner only; 0 on success, negative on
  // failure.
  static int setFileExecutable(const SString& path);
  // Called just before the Java command runs; nothing to do here.
  static void preJavaLaunch(int how, const TagFile& jvmFile);

  // ---------------------------------------------------------------------
  // The running executable and system (platform_executable.cc).
  // ---------------------------------------------------------------------

  // The absolute path of the running executable's file, symbolic links
  // resolved (Linux: /proc/self/exe; macOS: _NSGetExecutablePath), or ""
  // where the system does not tell. Never derived from argv[0].
  static SString getExecutablePath();
  // The name of the running system as uname gives it ("Linux", "Darwin"),
  // or "" when it cannot be had.
  static SString getSystemName();

  // ---------------------------------------------------------------------
  // Trust checks (platform_trust.cc).
  // ---------------------------------------------------------------------

  // Whether the file at path may be run, or read as configuration, by this
  // user: after every symbolic link is resolved, the file and every
  // directory above it belong to root or to the user running the launcher
  // and are not writable by group or others (a directory with the sticky
  // bit, such as /tmp, is fine as an ancestor). The same holds along the
  // path as given, where every symbolic link on the way must belong to root
  // or the user as well. On false, reason holds one English sentence that
  // names the offending path and what is wrong with it; a file that cannot
  // be examined is not trusted.
  static bool isTrustedFile(const SString& path, SString& reason);
  // The same check for a folder that files are made in, such as the
  // temporary folder: the folder itself may be writable by others when it
  // is sticky (/tmp). On true, resolved holds the path that every link
  // leads to, which is the one to use from then on (a link checked now may
  // not be followed again later); on false, resolved is left as it is and
  // reason holds one English sentence.
  static bool isTrustedFolder(const SString& path, SString& resolved, SString& reason);

  // ---------------------------------------------------------------------
  // File system search and disk checks (platform_files.cc).
  // ---------------------------------------------------------------------

  // Walks every search partition in order (skipping the temporary
  // directory and /var/tmp) and reports each file whose path ends with one
  // of names as whole components, until the handler asks to stop. Throws
  // LauncherException (message 39) when the temporary directory is missing.
  static void findFiles(const StringDeque& names, const FoundFileHandler& handler);
  // Appends "/" to out.
  static void getJVMSearchPartitions(StringDeque& out);
  // Clears out, then appends the ":"-separated pieces of the variable's
  // value, empty pieces included; nothing for an empty name or value.
  static void getPlatformHint(StringDeque& out, const SString& variable);
  // getPlatformHint(out, "PATH").
  static void getPlatformJVMPaths(StringDeque& out);
  // Whether stat succeeds (links followed; any kind of file).
  static bool fileExists(const SString& path);
  static SString getPathSeparator();
  // Whether the file system holding path (the current directory when path
  // is not absolute) has room for size bytes in fileCount files, counting a
  // partial last block per file. Throws LauncherException with the system's
  // error text when statfs fails.
  static bool checkFreeSpace(const SString& path, long size, long fileCount);
  // text in the C library's multibyte form, up to the first character that
  // does not convert.
  static SString wideToMultiByte(const wchar_t* text);
  // The big-endian signed 32-bit integer at p.
  static long convertToLong(char* p);
  // The big-endian signed 16-bit integer at p.
  static short convertToShort(char* p);

 private:
  // Console state (platform_ui.cc).
  static Console* m_console;
  static UISubStatus m_subStatus;
  static SString m_subStatusData;
  static volatile sig_atomic_t m_canceled;

  // Temporary files and clean-up state (platform_temp.cc).
  static SString m_tempDir;
  static bool m_tempDirFromVariable;
  static StringDeque m_sdqCreatedFiles;
  static StringDeque m_sdqCreatedDrs;
  static SString m_launcherToDelete;
  friend class PlatformTempTestAccess;
};

// Puts the UI sub-status of the enclosing scope back when a phase that set
// its own sub-status ends: the constructor saves the current pair, the
// destructor sets it again, which shows its line again ("Searching for"
// after each "Verifying" of a search); a Unix-command console records it
// without printing the line a second time.
class SubStatusWrapper {
 public:
  SubStatusWrapper();
  ~SubStatusWrapper();
  SubStatusWrapper(const SubStatusWrapper&) = delete;
  SubStatusWrapper& operator=(const SubStatusWrapper&) = delete;

 private:
  SString m_savedData;
  UISubStatus m_savedSubStatus;
};

// Work that may take long, announced to the window for the object's
// lifetime (PlatformImpl::beginUIWork and endUIWork).
class UIWork {
 public:
  explicit UIWork(long goalSteps) { PlatformImpl::beginUIWork(goalSteps); }
  ~UIWork() { PlatformImpl::endUIWork(); }
  UIWork(const UIWork&) = delete;
  UIWork& operator=(const UIWork&) = delete;
};

#endif  // BV_PLATFORM_PLATFORM_IMPL_H_
