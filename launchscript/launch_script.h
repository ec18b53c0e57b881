// LaunchScript: the template language of the launch script and the running
// of the Java command that it builds.
//
// The COMMAND tag of a launch script is a shell command line written as a
// template. Before it runs, three passes turn it into the command for the
// JVM that was found, in this order:
//   %NAME%(args)  functions (classpath option, system properties, launcher
//                 paths...), whose values are scanned again, so a value may
//                 hold further calls;
//   @NAME@        value 0 of the tag NAME of the JVM file (JVMFile::resolve);
//   #NAME#        the environment variable NAME (empty when unset).
// A doubled delimiter that opens no macro stands for the delimiter itself.
//
// What the packager wrote (the template, function arguments, the JVM file's
// own tags such as @JVM_EXE@) is shell text. Every value found at run time
// (the launcher's paths, the temporary directory, extracted archives,
// @JVM_HOME@, @JVM_FILE@ and @JVM_TEMP@, #NAME# values, -cp:p/-cp:a values,
// the lines of the files next to the launcher, the arguments handed on) is
// data: it goes in once, as a placeholder that no later pass looks into, and
// the finished command gets each one escaped for the quoting state where it
// stands (shell_quoting.h).
//
// Function arguments are double-quoted strings in which a doubled double
// quote stands for one: %SYSTEMPROP%("bv.jvm.home", """@JVM_HOME@""") passes
// the value "@JVM_HOME@" with its quotes, so that it reaches the shell in
// double quotes.
//
// Because every replacement is scanned again, a value that reproduces its own
// call would grow for ever; the scan of MacroHandler is bounded and fails
// with "Launch script error: ..." past its bounds.
//
// Files next to the launcher adjust the command without rebuilding it; their
// base name is the original launcher's name without its extension:
//   base.cp1  classpath entries put after the -cp:p classpath
//   base.cp   classpath entries put after the JVM file's JVM_CLASSPATH
//   base.cp2  classpath entries put before the -cp:a classpath
//   base.sp   system properties ("name=value", one per line)
//   base.ja   Java arguments (one or more per line)
// Each is optional; empty lines add nothing. Their lines are data: a
// classpath line is one entry, an .sp line one name and one value, and an
// .ja line is split into words as the shell would split it (quotes and
// backslashes honoured, nothing expanded or run), each word one argument
// after its @ macros are resolved. A file that fails the ownership check
// (PlatformImpl::isTrustedFile) is ignored with a warning.
//
// Every operation that can fail throws LauncherException and nothing else.
// Single-threaded, like the whole launcher.
#ifndef BV_LAUNCHSCRIPT_LAUNCH_SCRIPT_H_
#define BV_LAUNCHSCRIPT_LAUNCH_SCRIPT_H_

#include <vector>

#include "foundation/deque.h"
#include "foundation/sstring.h"
#include "launchscript/jvm_tag_lookup.h"
#include "launchscript/launch_context.h"
#include "launchscript/macro_handler.h"

class ClassDataSharing;
class TagFile;

// The environment variable that holds the JVM home while the command runs.
extern const char* setEnvVarAtLaunch;

class LaunchScript final : public MacroHandler {
 public:
  // Reads COMMAND, DESC, DISPLAY_CONSOLE (default false),
  // AUTO_SET_WORKING_DIR (default true) and ARCHIVE; %CP% adds the classpath
  // archives of the launcher archive. Keeps no reference to tagFile; keeps
  // one to context, which must outlive the script.
  LaunchScript(const TagFile& tagFile, bool captureOutput, const LaunchContext& context);
  // A script of one command: no console, the launcher's directory as the
  // working directory, no DESC or ARCHIVE. The JVM check passes
  // (command, true, false).
  LaunchScript(const SString& command, bool captureOutput, bool extractJars,
               const LaunchContext& context);
  LaunchScript(const LaunchScript&) = delete;
  LaunchScript& operator=(const LaunchScript&) = delete;

  SString getDesc() const { return m_desc; }
  // Everything that the executions so far captured (each execute appends).
  const SString& getStdOut() const { return m_stdOut; }
  const SString& getStdErr() const { return m_stdErr; }

  // The shell command: the template with its functions, then its @ macros
  // (from jvmFile), then its # macros replaced, each value found at run time
  // escaped for its place. jvmFile is used only during the call.
  SString resolve(const JVMTagLookup& jvmFile);

  // Replaces, in text, the function call (delimiter '%') or environment
  // macro ('#') whose delimiters stand at start and end; other delimiters
  // change nothing. A function call extends from start past the closing
  // parenthesis of its argument list. Throws "Launch script error: ..." for
  // an unknown function, a malformed argument list or a wrong number of
  // arguments, and the error of parseStringArgument for an argument string
  // that is not closed. end is not changed.
  void processMacro(SString& text, char delimiter, unsigned long start,
                    unsigned long& end) const override;

  // Parses a function's argument list: optional white space, "(", double
  // quoted strings separated by ",", ")". pos starts just past the name's
  // closing '%' and ends just past the ')', or npos when the last argument's
  // closing quote ends the text (the list is then taken as closed). Errors
  // "Expected left parenthesis.", "Expected string arg." and "Expected right
  // parenthesis." go through throwException with " (near character <n>)",
  // n being the position after the last element that was read correctly.
  void getArguments(const SString& text, unsigned long& pos, StringDeque& arguments) const;

  // Logs "Launch command:" and text (the command as far as it is resolved),
  // then throws LauncherException "Launch script error: " + message.
  [[noreturn]] void throwException(const SString& text, const char* message) const;
  [[noreturn]] void throwException(const SString& text, const SString& message) const;

  // Resolves the command, appends extraArguments (each in double quotes,
  // escaped like every value, so that it reaches the program byte for byte),
  // and runs it through the shell in the launcher's directory (when
  // AUTO_SET_WORKING_DIR) with JAVA_HOME set to the JVM file's JVM_HOME for
  // the duration of the command. Launchers of purpose 0 or 2 first apply the
  // JVM file's SET_ENV_FOR_WIZARD settings (they stay for the rest of the
  // run). Output is captured (and logged) unless the console is shown
  // (DISPLAY_CONSOLE or forceConsole) or capture is off. Returns the
  // command's exit code; failures to start it throw. sharing, when given,
  // supplies the options of %CDS_OPTIONS%() (class_data_sharing.h) and is
  // told when the command has ended.
  long execute(const JVMTagLookup& jvmFile, const StringDeque* extraArguments, bool forceConsole,
               ClassDataSharing* sharing = nullptr);

  // --- Values of the classpath and property functions ---

  // Adds entry after the JVM file's CLASSPATH_SEPARATOR, or alone while the
  // classpath is empty; an empty entry adds nothing.
  void addToClasspath(const JVMTagLookup* jvmFile, SString& classpath, const SString& entry) const;
  // A -cp:p / -cp:a value: trimmed; empty adds nothing; "@file" adds the
  // lines of file (a warning is logged when it is missing); anything else
  // is added as one entry in double quotes. Entries are values (placeholders).
  void appendClasspathArg(const JVMTagLookup* jvmFile, SString& classpath, const SString& value) const;
  // The classpath made of the file's lines, each a value; empty when it
  // cannot be opened (with a warning when logMissing) or, for a file next to
  // the launcher (sideFile), when it fails the ownership check (warning).
  SString buildClasspathFromFile(const JVMTagLookup* jvmFile, const SString& fileName,
                                 bool logMissing, bool sideFile = false) const;
  // buildClasspathFromFile(base + suffix, false).
  SString buildRuntimeClasspath(const JVMTagLookup* jvmFile, const char* suffix) const;
  // Value 0 of JVM_CLASSPATH of the JVM file being resolved.
  SString buildJVMClasspath() const;
  // The paths of the classpath archives of the launcher archive as a
  // classpath (each path in double quotes when quote), extracted once per
  // resolution into one new temporary directory (extractJars). Empty when
  // the script does not extract them.
  SString buildJARClasspath(bool quote) const;
  // SYSTEM + name + SYSTEM_SEPARATOR + value with its @ macros resolved.
  SString makeSystemProp(const JVMTagLookup* jvmFile, const SString& name, const SString& value) const;
  // The options of the ".sp" file, separated by one blank: SYSTEM, the name
  // as a value, SYSTEM_SEPARATOR, the value with its @ macros resolved as a
  // value.
  SString buildRuntimeSystemProps(const JVMTagLookup* jvmFile) const;
  // The words of the ".ja" file's lines (splitShellWords), each with its @
  // macros resolved and inserted as one value, separated by one blank. A
  // line with a quote that is not closed is skipped with a warning.
  SString buildRuntimeJavaArgs(const JVMTagLookup* jvmFile) const;

  // Checks a COMMAND template without resolving it (launch_script_check.cc),
  // as bvpack does before it packs a launch script: every function call is
  // scanned as resolve() scans it (the names, the argument lists, the
  // argument counts, and the calls inside arguments whose text the command
  // takes in); then the shell text of the template, each call standing for
  // the text and the values that it inserts, @ and # names for theirs, and
  // the arguments handed on after it, is read by the model that quotes the
  // values (ShellValues::check): every quote, $(, ${, $(( and back quote
  // must be closed, and no value may stand where the launcher would refuse
  // it. Throws LauncherException with the message that the launcher would
  // give ("Launch script error: ...") and sets *position to the place in
  // command: the start of the faulty call, the construct that is not closed
  // or cannot be followed, or command.length() for the end.
  static void checkTemplate(const SString& command, unsigned long* position);

  // The base name of the runtime files: the original launcher file name, cut
  // at its last "." when that comes after its last "/" or "\" (a name
  // without either keeps its extension).
  SString getRuntimeFileBase() const;

 private:
  // A script that is only checked (checkTemplate): it has no context and
  // never resolves.
  explicit LaunchScript(const SString& command);

  // The three passes without the final quoting: values are still
  // placeholders. Needs a live ShellValueScope.
  SString resolveTemplate(const JVMTagLookup& jvmFile);

  typedef SString (LaunchScript::*FunctionCall)(const SString& text,
                                                const StringDeque& arguments) const;
  // One entry of the function table (launch_script_functions.cc).
  struct FunctionDef {
    const char* name;
    long minArguments;
    long maxArguments;         // -1: any number
    const char* countMessage;  // for a wrong number of arguments
    FunctionCall call;
  };
  static const FunctionDef* findFunction(const SString& name);
  // The function whose name stands between the '%' at start and the one at
  // end, with its arguments parsed into arguments and counted; pos ends
  // past the ')' (npos when the list runs to the end of text). Throws
  // through throwException for an unknown name, a malformed list or a
  // wrong number of arguments.
  const FunctionDef& parseCall(const SString& text, unsigned long start, unsigned long end,
                               unsigned long& pos, StringDeque& arguments) const;

  // checkTemplate's scan of the calls in text; every place it records is
  // origin[i] for a character i of text. Appends the shell text of text to
  // *shell (a call stands for the arguments that its value takes in) with
  // the place of each character in *places.
  void checkCalls(const SString& text, const unsigned long* origin, int depth, SString* shell,
                  std::vector<unsigned long>* places, unsigned long* position) const;

  // The value of the function call being replaced; arguments as parsed.
  SString callREPLACE(const SString& text, const StringDeque& arguments) const;
  SString callRUNTIME_SYSTEMPROP(const SString& text, const StringDeque& arguments) const;
  SString callRUNTIME_JAVAARGS(const SString& text, const StringDeque& arguments) const;
  SString callSYSTEMPROP(const SString& text, const StringDeque& arguments) const;
  SString callCP(const SString& text, const StringDeque& arguments) const;
  SString callIF_EXISTS(const SString& text, const StringDeque& arguments) const;
  SString callLAUNCHER_FILE(const SString& text, const StringDeque& arguments) const;
  SString callLAUNCHER_DIR(const SString& text, const StringDeque& arguments) const;
  SString callAPPLICATION_ARCHIVE(const SString& text, const StringDeque& arguments) const;
  SString callTEMP_DIR(const SString& text, const StringDeque& arguments) const;
  SString callCLASSPATH_JAR_DIR(const SString& text, const StringDeque& arguments) const;
  // The folder of the payload's application folder entry, unpacked
  // (LauncherInputFiles::getApplicationFolder); empty when there is none.
  SString callAPP_DIR(const SString& text, const StringDeque& arguments) const;
  SString callENV_JAVAARGS(const SString& text, const StringDeque& arguments) const;

  // Extracts the classpath archives the first time a resolution asks for
  // them; later calls of the same resolution find m_jarDirectory and
  // m_jarPaths set.
  void extractJars() const;
  SString callCDS_OPTIONS(const SString& text, const StringDeque& arguments) const;

  // text (a resolved command, values as placeholders) with the mark of
  // %CDS_OPTIONS%() replaced by the options that sharing gives for it (see
  // class_data_sharing.h), or left empty.
  SString insertSharingOptions(const SString& text, const SString& workingDirectory,
                               ClassDataSharing* sharing) const;

  // The JVM file of the resolution in progress; throws when a function that
  // needs one is used outside resolve.
  const JVMTagLookup& currentJVMFile(const SString& text) const;

  SString m_command;
  bool m_captureOutput;
  bool m_displayConsole;
  bool m_autoSetWorkingDir;
  SString m_stdOut;
  SString m_stdErr;
  const JVMTagLookup* m_jvmFile;
  const LaunchContext* m_context;
  bool m_extractJars;
  SString m_desc;
  SString m_archive;
  // The classpath archives of the resolution in progress (extractJars).
  mutable bool m_jarsExtracted;
  mutable SString m_jarDirectory;
  mutable StringDeque m_jarPaths;
  // The placeholder that %CDS_OPTIONS%() left in the command being
  // resolved (an empty value), or empty.
  mutable SString m_sharingMark;
};

#endif  // BV_LAUNCHSCRIPT_LAUNCH_SCRIPT_H_
