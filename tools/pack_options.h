// bvpack's command line: what to pack and where, as a PackJob.
//
//   bvpack [--stub FILE] [--purpose N] [--no-verify-jar] -o OUTPUT ENTRY...
//   bvpack -o OUTPUT --main-class CLASS --jar FILE... [--min-java N] [--max-java N]
//          [--java-option OPT]... [--home-property NAME] [--options-env VAR]...
//          [--ui quiet|status] [--name TEXT] [--java-download-url URL]
//          [--no-cds] [--emit DIR] [--app-dir DIR] [--stub FILE] [--purpose N]
//   bvpack --list LAUNCHER
//   bvpack --help
//
// An ENTRY is TYPE:PATH, optionally preceded by options that apply to it
// alone: --id N, --name NAME, --compressed FILES BYTES, --compressed-flag N,
// --cache. The runtime options (--runtime DIR, --jlink, --add-modules,
// --runtime-use, --compression-level) are described in packHelpText.
// --main-class selects the one-line mode, in which bvpack writes the tag
// files itself and --name is the title. The help text (packHelpText) is the
// full reference.
#ifndef BV_TOOLS_PACK_OPTIONS_H_
#define BV_TOOLS_PACK_OPTIONS_H_

#include <stdexcept>
#include <string>
#include <vector>

// A refusal of bvpack: a usage error or a payload it will not build. The
// message is complete and printed after "bvpack: ".
class PackError : public std::runtime_error {
 public:
  explicit PackError(const std::string& message) : std::runtime_error(message) {}
};

// A mistake on the command line itself (exit status 2).
class PackUsageError : public PackError {
 public:
  explicit PackUsageError(const std::string& message) : PackError(message) {}
};

// One file to embed.
struct PackEntry {
  int type = 0;             // FileType, 0 to 7
  long id = 0;              // file id; the position in the index unless given
  bool idGiven = false;
  std::string path;         // the file to embed
  std::string name;         // stored name; the last part of path unless given
  const std::string* bytes = nullptr;  // built-in content instead of path (not owned)
  int compressedFlag = 0;   // the flag byte: 1 is compressed, 2 for the cache, 0 to 255
  long decompressedFileCount = 0;
  long decompressedSize = 0;
};

// The training run's default time limit, in seconds (--train-time).
const int kDefaultTrainSeconds = 60;

struct PackJob {
  // GENERATE is the one-line mode: the tag files are made from the fields
  // below, then packed (or only written, with --emit).
  enum Mode { PACK, LIST, HELP, GENERATE } mode = PACK;
  std::string output;       // PACK, GENERATE: the launcher to write; LIST: the one to read
  std::string stub;         // empty: bvlauncher next to bvpack
  int purpose = 0;          // the trailer's purpose byte
  bool builtInVerifyJar = true;  // add Verify.jar when JVM files but no verify-jar come
  bool digests = true;           // write the digest block (--no-digest: not)
  std::vector<PackEntry> entries;

  std::string mainClass;                 // --main-class
  std::vector<std::string> jars;         // --jar, in order
  std::string minJava;                   // --min-java, as given
  std::vector<std::string> javaOptions;  // --java-option, in order
  std::string title;                     // --name in the one-line mode
  std::string javaDownloadUrl;           // --java-download-url
  std::string emitDir;                   // --emit
  std::string maxJava;                   // --max-java, as given
  std::string homeProperty;              // --home-property
  std::vector<std::string> optionsEnv;   // --options-env, in order
  bool statusUI = false;                 // --ui status (default quiet)
  bool classDataSharing = true;          // false with --no-cds

  // The bundled Java runtime (both modes; a java-runtime entry in the
  // tag-file mode).
  std::string runtimeDir;                // --runtime DIR (one-line mode)
  bool jlink = false;                    // --jlink (one-line mode)
  std::vector<std::string> addModules;   // --add-modules, with --jlink
  int runtimeUse = 1;                    // --runtime-use: 0 fallback, 1 always (default)
  int compressionLevel = 19;             // --compression-level, 1 to 19
  bool allModules = false;               // --all-modules, with --jlink
  std::string appDir;                    // --app-dir (one-line mode), without a trailing "/"
  std::string sharedRuntimeDir;          // --shared-runtime-dir (one-line mode)

  // Not an option: progress lines on standard error (tools/pack_progress.h).
  bool showProgress = false;
  // The training run (one-line mode, with a bundled runtime): --train, its
  // arguments (after "--") and its time limit (--train-time SECONDS).
  bool train = false;
  std::vector<std::string> trainArgs;
  int trainSeconds = kDefaultTrainSeconds;
};

// Parses the arguments after the program name. Throws PackUsageError for
// every mistake, naming the argument.
PackJob parsePackArguments(const std::vector<std::string>& args);

// The FileType of a type argument: a number 0 to 7 or a type name (any
// case, with or without "FILE_", "-" or "_" between words); -1 if neither.
int parseFileType(const std::string& text);
// The short name of a type ("launch-script"), or "?" out of range.
const char* fileTypeName(int type);

// The text that --help prints.
std::string packHelpText();

#endif  // BV_TOOLS_PACK_OPTIONS_H_
