#include "tools/pack_options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "archive/archive_format.h"

namespace {

const char* const typeNames[fileTypeCount] = {
    "instructions",  "jvm",         "launch-script",       "classpath-jar",
    "jvm-installer", "verify-jar",  "application-archive", "embedded-launcher",
    "java-runtime",  "application-folder"};

// A decimal number in [min, max], the whole text; what names the option in
// the message.
long parseNumber(const std::string& text, long min, long max, const std::string& what) {
  errno = 0;
  char* end = nullptr;
  long value = text.empty() ? 0 : strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < min || value > max) {
    throw PackUsageError(what + " needs a number from " + std::to_string(min) + " to " +
                    std::to_string(max) + ", not \"" + text + "\"");
  }
  return value;
}

// The value after option args[i]; advances i.
const std::string& optionValue(const std::vector<std::string>& args, size_t& i) {
  if (i + 1 >= args.size()) throw PackUsageError(args[i] + " needs a value");
  return args[++i];
}

}  // namespace

int parseFileType(const std::string& text) {
  if (!text.empty() && isdigit(static_cast<unsigned char>(text[0]))) {
    if (text.size() == 1 && text[0] < '0' + fileTypeCount) return text[0] - '0';
    return -1;
  }
  std::string key;
  for (char c : text) key += c == '_' ? '-' : static_cast<char>(tolower(static_cast<unsigned char>(c)));
  if (key.compare(0, 5, "file-") == 0) key.erase(0, 5);
  for (int type = 0; type < fileTypeCount; ++type) {
    if (key == typeNames[type]) return type;
  }
  return -1;
}

const char* fileTypeName(int type) {
  return type >= 0 && type < fileTypeCount ? typeNames[type] : "?";
}

namespace {

// The options that both modes share (-o, --stub, --purpose): applies the
// one at args[i] to job and returns true, or returns false for any other.
bool parseOutputOption(const std::vector<std::string>& args, size_t& i, PackJob& job) {
  const std::string& arg = args[i];
  if (arg == "-o" || arg == "--output") {
    job.output = optionValue(args, i);
  } else if (arg == "--stub") {
    job.stub = optionValue(args, i);
    if (job.stub.empty()) throw PackUsageError("--stub needs a file name");
  } else if (arg == "--purpose") {
    job.purpose = static_cast<int>(parseNumber(optionValue(args, i), 0, 255, arg));
  } else if (arg == "--runtime-use") {
    const std::string& use = optionValue(args, i);
    if (use == "fallback") {
      job.runtimeUse = 0;
    } else if (use == "always") {
      job.runtimeUse = 1;
    } else {
      throw PackUsageError("--runtime-use needs \"fallback\" or \"always\", not \"" + use + "\"");
    }
  } else if (arg == "--compression-level") {
    job.compressionLevel = static_cast<int>(parseNumber(optionValue(args, i), 1, 19, arg));
  } else {
    return false;
  }
  return true;
}

// The options that only the one-line mode takes.
bool isOneLineOption(const std::string& arg) {
  for (const char* option : {"--jar", "--min-java", "--max-java", "--java-option", "--emit", "--ui",
                             "--home-property", "--options-env", "--java-download-url", "--runtime",
                             "--jlink", "--add-modules", "--all-modules", "--no-cds", "--app-dir", "--shared-runtime-dir",
                             "--train", "--train-time"}) {
    if (arg == option) return true;
  }
  return false;
}

// The one-line mode: --main-class and the options that describe the
// application; no TYPE:PATH entries.
PackJob parseGenerateArguments(const std::vector<std::string>& args) {
  PackJob job;
  bool trainTimeGiven = false;
  job.mode = PackJob::GENERATE;
  for (size_t i = 0; i < args.size(); ++i) {
    if (parseOutputOption(args, i, job)) continue;
    const std::string& arg = args[i];
    if (arg == "--main-class") {
      job.mainClass = optionValue(args, i);
    } else if (arg == "--jar") {
      job.jars.push_back(optionValue(args, i));
      if (job.jars.back().empty()) throw PackUsageError("--jar needs a file name");
    } else if (arg == "--min-java") {
      job.minJava = optionValue(args, i);
    } else if (arg == "--java-option") {
      job.javaOptions.push_back(optionValue(args, i));
    } else if (arg == "--name") {
      job.title = optionValue(args, i);
    } else if (arg == "--java-download-url") {
      job.javaDownloadUrl = optionValue(args, i);
    } else if (arg == "--no-cds") {
      job.classDataSharing = false;
    } else if (arg == "--emit") {
      job.emitDir = optionValue(args, i);
      if (job.emitDir.empty()) throw PackUsageError("--emit needs a directory");
    } else if (arg == "--max-java") {
      job.maxJava = optionValue(args, i);
    } else if (arg == "--home-property") {
      job.homeProperty = optionValue(args, i);
    } else if (arg == "--options-env") {
      job.optionsEnv.push_back(optionValue(args, i));
    } else if (arg == "--ui") {
      const std::string& ui = optionValue(args, i);
      if (ui != "quiet" && ui != "status") {
        throw PackUsageError("--ui takes quiet or status, not \"" + ui + "\"");
      }
      job.statusUI = ui == "status";
    } else if (arg == "--runtime") {
      job.runtimeDir = optionValue(args, i);
      if (job.runtimeDir.empty()) throw PackUsageError("--runtime needs a directory");
    } else if (arg == "--jlink") {
      job.jlink = true;
    } else if (arg == "--app-dir") {
      job.appDir = optionValue(args, i);
      if (job.appDir.empty()) throw PackUsageError("--app-dir needs a directory");
      while (job.appDir.size() > 1 && job.appDir.back() == '/') job.appDir.pop_back();
    } else if (arg == "--shared-runtime-dir") {
      job.sharedRuntimeDir = optionValue(args, i);
      if (job.sharedRuntimeDir.empty() || job.sharedRuntimeDir[0] != '/' ||
          job.sharedRuntimeDir.find_first_of("\n\r") != std::string::npos) {
        throw PackUsageError("--shared-runtime-dir needs an absolute path of one line, not \"" +
                             job.sharedRuntimeDir + "\"");
      }
    } else if (arg == "--all-modules") {
      job.allModules = true;
    } else if (arg == "--add-modules") {
      const std::string& modules = optionValue(args, i);
      if (modules.empty() || modules.find_first_not_of(
                                 "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._,") !=
                                 std::string::npos) {
        throw PackUsageError("--add-modules needs module names separated by commas, not \"" + modules + "\"");
      }
      job.addModules.push_back(modules);
    } else if (arg == "--train") {
      job.train = true;
    } else if (arg == "--train-time") {
      job.trainSeconds = static_cast<int>(parseNumber(optionValue(args, i), 1, 3600, arg));
      trainTimeGiven = true;
    } else if (arg == "--") {
      // The rest are the training run's arguments.
      job.trainArgs.assign(args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (!arg.empty() && arg[0] == '-') {
      throw PackUsageError("unknown option " + arg + " with --main-class (see bvpack --help)");
    } else {
      throw PackUsageError("\"" + arg + "\": with --main-class, give the application's jars with --jar");
    }
  }
  if (job.jars.empty()) throw PackUsageError("--main-class needs at least one --jar");
  if (job.jlink && !job.runtimeDir.empty()) throw PackUsageError("give --runtime DIR or --jlink, not both");
  if (!job.addModules.empty() && !job.jlink) throw PackUsageError("--add-modules goes with --jlink");
  if (!job.train && !job.trainArgs.empty()) throw PackUsageError("arguments after -- go with --train");
  if (!job.train && trainTimeGiven) throw PackUsageError("--train-time goes with --train");
  if (job.train && !job.jlink && job.runtimeDir.empty()) {
    throw PackUsageError("--train goes with --jlink or --runtime DIR: it records what the bundled runtime runs");
  }
  if (job.allModules && !job.jlink) throw PackUsageError("--all-modules goes with --jlink");
  if (job.output.empty() && job.emitDir.empty()) {
    throw PackUsageError("no output file given (-o OUTPUT, or --emit DIR)");
  }
  return job;
}

}  // namespace

PackJob parsePackArguments(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") break;
    if (arg == "--main-class") return parseGenerateArguments(args);
  }
  PackJob job;
  PackEntry next;           // options gathered for the next entry
  bool nextHasOptions = false;
  bool listGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (parseOutputOption(args, i, job)) continue;
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      job.mode = PackJob::HELP;
      return job;
    } else if (arg == "--list") {
      job.output = optionValue(args, i);
      listGiven = true;
    } else if (arg == "--no-verify-jar") {
      job.builtInVerifyJar = false;
    } else if (arg == "--no-digest") {
      job.digests = false;
    } else if (arg == "--id") {
      next.id = parseNumber(optionValue(args, i), -maxArchiveValue - 1, maxArchiveValue, arg);
      next.idGiven = nextHasOptions = true;
    } else if (arg == "--name") {
      next.name = optionValue(args, i);
      if (next.name.empty()) throw PackUsageError("--name needs a non-empty name");
      nextHasOptions = true;
    } else if (arg == "--compressed") {
      next.decompressedFileCount = parseNumber(optionValue(args, i), 0, maxArchiveValue, arg);
      next.decompressedSize = parseNumber(optionValue(args, i), 0, maxArchiveValue, arg);
      next.compressedFlag = compressedFlagValue;
      nextHasOptions = true;
    } else if (arg == "--compressed-flag") {
      next.compressedFlag = static_cast<int>(parseNumber(optionValue(args, i), 0, 255, arg));
      nextHasOptions = true;
    } else if (arg == "--cache") {
      next.compressedFlag = cacheFlagValue;
      nextHasOptions = true;
    } else if (isOneLineOption(arg)) {
      throw PackUsageError(arg + " belongs to the one-line mode, which needs --main-class CLASS (see bvpack --help)");
    } else if (!arg.empty() && arg[0] == '-') {
      throw PackUsageError("unknown option " + arg + " (see bvpack --help)");
    } else {
      size_t colon = arg.find(':');
      if (colon == std::string::npos || colon + 1 == arg.size()) {
        throw PackUsageError("\"" + arg + "\" is not TYPE:PATH (see bvpack --help)");
      }
      int type = parseFileType(arg.substr(0, colon));
      if (type < 0) throw PackUsageError("unknown file type \"" + arg.substr(0, colon) + "\"");
      next.type = type;
      next.path = arg.substr(colon + 1);
      if (!next.idGiven) next.id = static_cast<long>(job.entries.size());
      if (next.name.empty()) {
        // A folder (a java-runtime) may be given with a trailing "/".
        std::string path = next.path;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        size_t slash = path.find_last_of('/');
        next.name = slash == std::string::npos ? path : path.substr(slash + 1);
      }
      job.entries.push_back(next);
      next = PackEntry();
      nextHasOptions = false;
    }
  }
  if (nextHasOptions) throw PackUsageError("options after the last TYPE:PATH apply to no file");
  if (listGiven) {
    if (!job.entries.empty() || !job.stub.empty()) {
      throw PackUsageError("--list takes no other arguments");
    }
    job.mode = PackJob::LIST;
    return job;
  }
  if (job.output.empty()) throw PackUsageError("no output file given (-o OUTPUT)");
  return job;
}

std::string packHelpText() {
  return
      "Usage: bvpack -o OUTPUT --main-class CLASS --jar FILE [--jar FILE]...\n"
      "              [--min-java N] [--max-java N] [--java-option OPT]...\n"
      "              [--home-property NAME] [--options-env VAR]... [--ui quiet|status]\n"
      "              [--name TEXT] [--java-download-url URL] [--no-cds] [--emit DIR]\n"
      "              [--app-dir DIR]\n"
      "              [--runtime DIR | --jlink [--add-modules M,...] [--all-modules]]\n"
      "              [--runtime-use always|fallback] [--compression-level N]\n"
      "              [--shared-runtime-dir DIR] [--train [--train-time S]] [--stub FILE]\n"
      "              [--purpose N] [-- ARGS...]\n"
      "       bvpack [--stub FILE] [--purpose N] [--no-verify-jar] [--no-digest]\n"
      "              [--runtime-use always|fallback] [--compression-level N] -o OUTPUT ENTRY...\n"
      "       bvpack --list LAUNCHER\n"
      "       bvpack --help\n"
      "\n"
      "One-line mode (--main-class): makes a complete launcher for a Java\n"
      "application that behaves like a command. It finds a Java (Linux and\n"
      "macOS) whose java.specification.version is at least N: -bv:javahome,\n"
      "JAVA_HOME (a warning when it cannot be used), the java on PATH, then the\n"
      "usual install folders, newest first. It runs CLASS with every --jar on\n"
      "the class path in the order given, the Java options and the user's\n"
      "arguments, in the user's working folder, shows the application's output,\n"
      "and exits with its status (1 when no Java is found). The launcher prints\n"
      "nothing of its own on standard output, errors go to standard error, only\n"
      "-bv: arguments are its options (-- ends them), and TMPDIR is honoured.\n"
      "With Java 13 or newer and jars at a stable path, it keeps a class-data\n"
      "archive of the application per user and Java, which makes later starts\n"
      "faster.\n"
      "  --main-class CLASS   the class whose main method runs\n"
      "  --jar FILE           a jar of the application; repeat for each jar\n"
      "  --min-java N         the lowest Java version (8, 1.8, 11, 17...); default:\n"
      "                       what the jars' class files need, read from the jars\n"
      "  --max-java N         the highest Java version (java.specification.version<=N)\n"
      "  --java-option OPT    an option for java (-Xmx1g, -Dname=value); repeat;\n"
      "                       no %, @, # or line end in it\n"
      "  --home-property NAME set the system property NAME to the folder that\n"
      "                       holds the jars as the application sees them (with\n"
      "                       --app-dir: the unpacked application folder)\n"
      "  --options-env VAR    pass the Java options in the environment variable\n"
      "                       VAR (words and quotes, nothing expanded); repeat\n"
      "  --ui quiet|status    quiet (default): no status lines; status: the\n"
      "                       title, search and progress lines on standard output\n"
      "  --name TEXT          the title shown while the launcher starts\n"
      "  --java-download-url URL\n"
      "                       the web page (http or https) where users can get\n"
      "                       the Java the application needs: when none is\n"
      "                       found, the launcher prints it and, started from\n"
      "                       a desktop without a terminal, offers to open it\n"
      "  --no-cds             no class-data archive (%CDS_OPTIONS%() is left out of\n"
      "                       the launch template)\n"
      "  --emit DIR           write the generated tag files into DIR (and print\n"
      "                       the command that packs them) instead of, or with\n"
      "                       -o as well as, the launcher\n"
      "  --app-dir DIR        carry the whole folder DIR (data, plugins, scripts,\n"
      "                       jars), unpacked once per user and content; a --jar\n"
      "                       inside DIR is taken from the unpacked folder\n"
      "  --runtime DIR        carry the Java runtime image DIR (a JDK or a jlink\n"
      "                       image) in the launcher, for machines without Java\n"
      "  --jlink              make that runtime with the jdeps and jlink of the\n"
      "                       JDK in JAVA_HOME or on PATH (the modules the jars\n"
      "                       need, the providers applications load by name:\n"
      "                       jdk.crypto.ec, jdk.charsets, jdk.zipfs,\n"
      "                       jdk.unsupported, jdk.net; --strip-debug\n"
      "                       --no-man-pages --no-header-files). bvpack prints\n"
      "                       what it added and why, and names the JDK modules\n"
      "                       that the jars' class names point to but that the\n"
      "                       runtime lacks (add them with --add-modules)\n"
      "  --add-modules M,...  with --jlink: more modules for the runtime\n"
      "  --all-modules        with --jlink: every module of the JDK\n"
      "  --train [-- ARGS...] with --jlink or --runtime: run the application once\n"
      "                       with ARGS (its output shown) and record what it\n"
      "                       uses: with --jlink the modules it loads are added\n"
      "                       to the runtime (and printed); a runtime of Java 24\n"
      "                       or newer carries the JVM's ahead-of-time cache of\n"
      "                       the run, used from the very first start\n"
      "  --train-time S       end the training run after S seconds (default 60;\n"
      "                       it is asked to stop, then stopped)\n"
      "  --runtime-use always|fallback\n"
      "                       always (default): the bundled runtime runs, a\n"
      "                       Java of the machine only when it cannot;\n"
      "                       fallback: a Java found on the machine that fits\n"
      "                       runs first, the bundled one only when none does\n"
      "  --shared-runtime-dir DIR\n"
      "                       a folder (absolute) that an administrator fills\n"
      "                       with unpacked runtimes, owned by root: the\n"
      "                       launcher takes the bundled runtime from there\n"
      "                       when it holds it, read-only, and unpacks nothing\n"
      "  --compression-level N\n"
      "                       zstd level of the runtime, 1 to 19 (default 19)\n"
      "  --stub, --purpose    as in the tag-file mode\n"
      "The jars are unpacked once per user into ~/.cache/bvlauncher (or\n"
      "$XDG_CACHE_HOME/bvlauncher), so the class path is the same on every run;\n"
      "so is the runtime, when it is needed.\n"
      "\n"
      "Tag-file mode: copies the stub (the launcher program) to OUTPUT and\n"
      "appends the bytes of each ENTRY, the file index, the digest block (the\n"
      "SHA-256 of the stub, of each entry and of the index, by which the\n"
      "launcher refuses a damaged or incomplete file) and the 9-byte trailer.\n"
      "OUTPUT is replaced if it exists and is made executable. The same\n"
      "arguments and files always give the same bytes.\n"
      "\n"
      "Options:\n"
      "  -o, --output OUTPUT  the launcher to write\n"
      "  --stub FILE          the executable image to copy (default:\n"
      "                       bvlauncher-stripped in bvpack's own directory,\n"
      "                       else bvlauncher there)\n"
      "  --purpose N          the launcher purpose byte, 0 to 255 (default 0)\n"
      "  --no-verify-jar      do not add the built-in Verify.jar (it is added\n"
      "                       as the last entry when the payload has JVM files\n"
      "                       and no verify-jar)\n"
      "  --no-digest          write no digest block: the launcher then cannot\n"
      "                       tell a damaged file\n"
      "  --list LAUNCHER      print the purpose, the index offset and the file\n"
      "                       index of an existing launcher, read as the\n"
      "                       launcher reads it, and check its digests\n"
      "  -h, --help           print this text\n"
      "\n"
      "ENTRY: [--id N] [--name NAME] [--compressed FILES BYTES]\n"
      "       [--compressed-flag N] [--cache] TYPE:PATH\n"
      "  Embeds the file PATH; entries are stored in the order given. The\n"
      "  options before a TYPE:PATH apply to that entry only:\n"
      "  --id N               file id, a signed 32-bit number (default: the\n"
      "                       entry's position in the index, from 0)\n"
      "  --name NAME          stored file name (default: the last part of PATH);\n"
      "                       not empty, \".\" or \"..\", no \"/\" or line feed,\n"
      "                       at most 32767 bytes\n"
      "  --compressed FILES BYTES\n"
      "                       mark the entry compressed (flag 1): it expands to\n"
      "                       FILES files of BYTES bytes in all; the bytes are\n"
      "                       stored as they are\n"
      "  --compressed-flag N  store N (0 to 255) as the compressed flag byte;\n"
      "                       only 1 means compressed\n"
      "  --cache              a classpath-jar that the launcher unpacks once per\n"
      "                       user into its cache folder (flag byte 2)\n"
      "\n"
      "TYPE: a number or a name (any case; \"FILE_\" prefix and \"_\" allowed):\n"
      "  0 instructions         instruction script (tag file)\n"
      "  1 jvm                  JVM description file (tag file)\n"
      "  2 launch-script        launch script (tag file)\n"
      "  3 classpath-jar        archive for the application classpath\n"
      "  4 jvm-installer        JVM installer (made executable when extracted)\n"
      "  5 verify-jar           archive with the JVM verification class\n"
      "  6 application-archive  the application archive\n"
      "  7 embedded-launcher    another launcher (made executable when extracted)\n"
      "  8 java-runtime         a Java runtime image: PATH is its folder, packed\n"
      "                         compressed; one per launcher\n"
      "  9 application-folder   a folder of the application: PATH is the folder,\n"
      "                         packed compressed, unpacked once per user into\n"
      "                         the cache; %APP_DIR%() names it; one per launcher\n"
      "\n"
      "Tag files (types 0 to 2) are parsed as the launcher parses them; one\n"
      "with a syntax error, or that does not end with a line feed, is refused\n"
      "with the launcher's report. Instruction scripts (commands, arguments,\n"
      "labels) and launch templates (functions, argument lists, shell quotes)\n"
      "are checked with the launcher's parsers; a mistake is refused with the\n"
      "file, the line and the character. Classpath archives need different\n"
      "stored names. A payload whose index would begin at or after byte\n"
      "2147483648 is refused (offsets are signed 32-bit).\n"
      "\n"
      "Examples:\n"
      "  bvpack -o app --main-class com.example.Main --jar app.jar --jar lib.jar\n"
      "  bvpack -o setup instructions:instructions.tag launch-script:launch.tag \\\n"
      "         jvm:jvm-linux.tag jvm:jvm-macos.tag classpath-jar:app.jar\n"
      "\n"
      "The authors' guide (docs/guide.md) describes the tag files.\n"
      "\n"
      "Exit status: 0 on success, 1 when the payload is refused or a file\n"
      "cannot be read or written, 2 for a usage error.\n";
}
