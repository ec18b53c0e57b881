#include "fuzz/fuzz_entries.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <sys/time.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/launcher_input_files.h"
#include "archive/runtime_archive.h"
#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "foundation/sstring.h"
#include "instructions/instructions.h"
#include "instructions/instructions_exception.h"
#include "jvm/verify_cache.h"
#include "launchscript/application_archive.h"
#include "launchscript/launch_script.h"
#include "platform/platform_impl.h"
#include "tagfile/cmd_line.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"
#include "tests/test_util.h"
#include "tools/class_version.h"
#include "tools/pack_options.h"

namespace {

// At most this many entries of a crafted launcher are extracted per input.
const long kMaxExtractedEntries = 4;
// CPU time a script may run before the cancel flag ends it.
const long kScriptBudgetMicros = 5 * 1000;

// The scratch directory of the process, made on first use.
const std::string& scratchDir() {
  static std::string* dir = [] {
    const char* base = getenv("TMPDIR");
    std::string* path = new std::string(std::string(base && *base ? base : "/tmp") + "/bvfuzz.XXXXXX");
    if (mkdtemp(&(*path)[0]) == nullptr) abort();
    // Temporary files that the launcher code makes per input (template
    // functions, extraction) go here too, so they leave with the scratch
    // directory instead of piling up in /var/tmp.
    PlatformImpl::setSystemTempDir(SString(path->c_str()));
    atexit([] { bvtest::removeTree(scratchDir()); });
    return path;
  }();
  return *dir;
}

// Silences the console for one input and restores it after.
class SilentConsole {
 public:
  SilentConsole() : m_wasSilent(PlatformImpl::isSilent()) { PlatformImpl::setSilent(true); }
  ~SilentConsole() { PlatformImpl::setSilent(m_wasSilent); }
  SilentConsole(const SilentConsole&) = delete;
  SilentConsole& operator=(const SilentConsole&) = delete;

 private:
  bool m_wasSilent;
};

std::string scratchFile(const char* name) { return scratchDir() + "/" + name; }

void writeBytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, file) != size) abort();
  fclose(file);
}

SString bytesAsText(const uint8_t* data, size_t size) {
  return SString(reinterpret_cast<const char*>(data), static_cast<unsigned long>(size));
}

// Empties the directory used as extraction target (files only).
void clearExtractionDir(const std::string& dir) {
  bvtest::removeTree(dir);
  if (mkdir(dir.c_str(), 0700) != 0) abort();
}

// Sets the cancel flag when the process has used its CPU budget.
void cancelOnTimer(int) { PlatformImpl::setCanceled(true); }

// Arms the CPU timer for one script run and disarms it on scope exit.
class ScriptBudget {
 public:
  ScriptBudget() {
    struct sigaction action = {};
    action.sa_handler = cancelOnTimer;
    sigaction(SIGVTALRM, &action, &m_previous);
    PlatformImpl::setCanceled(false);
    struct itimerval timer = {};
    timer.it_value.tv_usec = kScriptBudgetMicros;
    setitimer(ITIMER_VIRTUAL, &timer, nullptr);
  }
  ~ScriptBudget() {
    struct itimerval timer = {};
    setitimer(ITIMER_VIRTUAL, &timer, nullptr);
    sigaction(SIGVTALRM, &m_previous, nullptr);
    PlatformImpl::setCanceled(false);
  }
  ScriptBudget(const ScriptBudget&) = delete;
  ScriptBudget& operator=(const ScriptBudget&) = delete;

 private:
  struct sigaction m_previous;
};

// Launcher operations that do nothing but set what real ones would set,
// so that jumps on N1 go both ways.
class QuietOperations : public ScriptOperations {
 public:
  ScriptVariables& variables() override { return m_variables; }
  void initializeUI() override {}
  void findJVM(bool showUI, bool) override {
    m_variables.setLongVariable(1, showUI ? 1 : 0);
    m_variables.setStringVariable(1, "/jvm/home");
    m_variables.setStringVariable(2, "/tmp/found.jvm");
  }
  void verifyJVM(bool, bool, long fileId) override { m_variables.setLongVariable(1, fileId & 1); }
  long launch(const SString& path, short seconds) override {
    return static_cast<long>(path.length()) + seconds;
  }
  long ilaunch(long fileId, short seconds) override { return fileId + seconds; }
  void installJVM(InstallJVMOption) override {}
  void executeEmbeddedLauncher(long) override {}

 private:
  ScriptVariables m_variables;
};

// Fixed variable values for the expression target: plain ones, numbers,
// nested references, a self reference and a literal '@'.
void setFuzzVariables(ScriptVariables& variables) {
  static const char* const strings[10] = {"/jvm/home", "x@N1@", "@S3@@S3@", "", " 1 ",
                                          "@@", "\"quoted\"", "@S2@-@N2@", "12abc", "@S1"};
  for (long i = 0; i < 10; ++i) variables.setStringVariable(i + 1, strings[i]);
  static const long numbers[5] = {0, 1, -1, 2147483647L, -32769};
  for (long i = 0; i < 5; ++i) variables.setLongVariable(i + 1, numbers[i]);
}

bool hasLineBreak(const SString& s) { return s.find('\n') != SString::npos || s.find('\r') != SString::npos; }

// Whether a tag that was read can be expected back unchanged from write:
// not for line breaks, nor for empty or "/:" values of a block (the
// documented limits of the format).
bool survivesWrite(const StringDeque& values) {
  for (long i = 0; i < values.size(); ++i) {
    const SString& v = values.at(i);
    if (hasLineBreak(v)) return false;
    if (values.size() > 1) {
      SString trimmed(v);
      trim(trimmed, whitespaceChars);
      if (v.empty() || trimmed.compare("/:") == 0) return false;
    }
  }
  return true;
}

// Writes a loaded tag file and reads it back; the tags that survive writing
// must come back with the same values.
void checkRoundTrip(const TagFile& original) {
  const TagFileEntryPtrDeque& entries = original.getEntries();
  for (long i = 0; i < entries.size(); ++i) {
    SString key = entries.at(i)->getKey();
    // Names are C strings: a NUL byte cuts a name short, and what is left
    // may end in a blank that the reader would trim.
    SString trimmedKey(key);
    trim(trimmedKey, whitespaceChars);
    if (key.empty() || trimmedKey.compare(key) != 0 || key.find(':') != SString::npos ||
        key.find('\0') != SString::npos) {
      return;
    }
    if (!survivesWrite(*entries.at(i)->getValue())) return;
  }
  std::string path = scratchFile("roundtrip.tag");
  original.write(SString(path.c_str()));
  TagFile copy;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) abort();
  copy.load(file, "roundtrip", 0, -1);  // a throw here is a finding
  fclose(file);
  for (long i = 0; i < entries.size(); ++i) {
    SString key = entries.at(i)->getKey();
    const StringDeque& values = *entries.at(i)->getValue();
    if (values.size() == 0) continue;
    if (copy.getTagValueCount(key.c_str()) != values.size()) abort();
    for (long j = 0; j < values.size(); ++j) {
      if (copy.getTagValue(key.c_str(), static_cast<unsigned long>(j)).compare(values.at(j)) != 0) abort();
    }
  }
}

// The JVM file that launch templates are resolved against: the usual tags,
// a value with a blank, one that refers to another and one that refers to
// itself.
TagFile& launchJVMTags() {
  static TagFile* tags = [] {
    TagFile* t = new TagFile();
    const char* const pairs[][2] = {
        {"JVM_HOME", "/usr/lib/jvm/java home\\"}, {"JVM_EXE", "bin/java"},
        {"CLASSPATH", "-cp "}, {"CLASSPATH_SEPARATOR", ":"},
        {"SYSTEM", " -D"}, {"SYSTEM_SEPARATOR", "="},
        {"INIT_JAVA_HEAP", "-Xms"}, {"JVM_CLASSPATH", "/opt/a.jar:@JVM_HOME@/lib"},
        {"JVM_FILE", "/tmp/found.jvm"}, {"JVM_TEMP", "1"},
        {"SELF", "x@SELF@@SELF@"}, {"QUOTE", "\"q\""},
    };
    for (const auto& pair : pairs) t->setTagValue(pair[0], pair[1]);
    return t;
  }();
  return *tags;
}

}  // namespace

int fuzzArchiveIndex(const uint8_t* data, size_t size) {
  SilentConsole quiet;
  std::string launcher = scratchFile("launcher");
  std::string target = scratchFile("extracted");
  writeBytes(launcher, data, size);
  resetLog();
  LauncherInputFiles files;
  try {
    files.load(SString(launcher.c_str()), true);
  } catch (const LauncherException&) {
  }
  clearExtractionDir(target);
  long count = files.getEmbeddedFileCount();
  for (long i = 0; i < count && i < kMaxExtractedEntries; ++i) {
    try {
      files.getFileAt(i)->extract(SString(target.c_str()));
    } catch (const LauncherException&) {
    }
  }
  bvtest::removeTree(target);
  return 0;
}

int fuzzTagFile(const uint8_t* data, size_t size) {
  SilentConsole quiet;
  std::string path = scratchFile("input.tag");
  writeBytes(path, data, size);
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) abort();
  TagFile whole;
  bool loaded = false;
  try {
    whole.load(file, "fuzz.tag", 0, -1);
    loaded = true;
  } catch (const LauncherException&) {
  }
  // An embedded stretch: the first byte picks where it begins, the second
  // how long it is.
  if (size >= 2) {
    long offset = data[0] % static_cast<long>(size);
    long length = data[1] % static_cast<long>(size - static_cast<size_t>(offset) + 1);
    TagFile stretch;
    try {
      stretch.load(file, "stretch.tag", offset, length);
    } catch (const LauncherException&) {
    }
  }
  fclose(file);
  if (loaded) checkRoundTrip(whole);
  return 0;
}

int fuzzInstructions(const uint8_t* data, size_t size) {
  SilentConsole quiet;
  resetLog();
  TagFile script;
  SString all = bytesAsText(data, size);
  unsigned long pos = 0;
  while (pos < all.length()) {
    SString line;
    readLineFromString(all, pos, line);
    if (!line.empty()) script.appendTagValue(Instructions::g_instructionsTag, line);
  }
  QuietOperations operations;
  Instructions instructions(script, operations);
  ScriptBudget budget;
  try {
    runInstructions(&instructions);
  } catch (const LauncherException&) {
  }
  return 0;
}

int fuzzExpressions(const uint8_t* data, size_t size) {
  SilentConsole quiet;
  if (size == 0) return 0;
  QuietOperations operations;
  setFuzzVariables(operations.variables());
  TagFile empty;
  Instructions instructions(empty, operations);
  SString input = bytesAsText(data + 1, size - 1);
  try {
    switch (data[0] % 6) {
      case 0:
        instructions.evalExpr(input, "prefix");
        break;
      case 1:
        instructions.evalLongExpr(input, "prefix");
        break;
      case 2:
        instructions.evalShortExpr(input, "prefix");
        break;
      case 3:
        instructions.evalBoolExpr(input, "prefix");
        break;
      case 4:
        instructions.evalStringExpr(input, "prefix");
        break;
      default: {
        unsigned long position = data[0] / 6 % (input.length() + 1);
        SString result;
        instructions.evalStringExpr(input, position, result, "prefix");
        if (position > input.length()) abort();
        break;
      }
    }
  } catch (const LauncherException&) {
  } catch (const InstructionsException&) {
  }
  return 0;
}

int fuzzCmdLine(const uint8_t* data, size_t size) {
  SString line = bytesAsText(data, size);
  CmdLine cmdLine;
  cmdLine.parse(line);
  // Empty arguments are dropped (a NUL byte, which no argument can hold,
  // may still make one look empty).
  bool hasNul = line.find('\0') != SString::npos;
  for (long i = 0; i < cmdLine.getOptionCount(); ++i) {
    const char* option = cmdLine.getOption(static_cast<int>(i));
    if (option == nullptr || (option[0] == '\0' && !hasNul)) abort();
  }
  if (cmdLine.getOption(static_cast<int>(cmdLine.getOptionCount())) != nullptr) abort();
  if (size > 0) {
    CmdLine other;
    SString arg;
    unsigned long end = 0;
    other.getNextArg(line, data[0] % (size + 1), (data[0] & 1) != 0, arg, end);
    if (end != SString::npos && end > line.length()) abort();
  }
  return 0;
}

int fuzzTextArguments(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  SString line = bytesAsText(data + 1, size - 1);
  const uint8_t control = data[0];
  const unsigned long start = (control >> 1) % (line.length() + 2);
  try {
    unsigned long pos = start;
    parseStringArgument(line, pos, (control & 1) != 0);
  } catch (const LauncherException&) {
  }
  // The whole text as tokens: each call must move on.
  unsigned long pos = start;
  for (;;) {
    bool noToken = false;
    unsigned long before = pos;
    getTokenFromString(line, pos, noToken);
    if (noToken) break;
    if (pos <= before) abort();
  }
  // The whole text as arguments, the way a line of a launch template or
  // a tag value is taken apart: quoted when it starts with a quote.
  pos = 0;
  while (pos != SString::npos && pos < line.length()) {
    unsigned long before = pos;
    pos = line.find_first_not_of(whitespaceChars, pos);
    if (pos == SString::npos) break;
    bool quoted = line[pos] == '"';
    if (quoted) ++pos;
    try {
      parseStringArgument(line, pos, quoted);
    } catch (const LauncherException&) {
      break;
    }
    if (pos != SString::npos && pos <= before) abort();
  }
  SString copy(line);
  trim(copy, whitespaceChars);
  stripQuotes(copy);
  long n = 0;
  short s = 0;
  convertToLong(line, n);
  convertToShort(line, s);
  stringEndsWith(line, "java");
  pos = 0;
  while (pos < line.length()) {
    SString one;
    unsigned long before = pos;
    readLineFromString(line, pos, one);
    if (pos <= before) abort();
  }
  delete[] convertToUnicode(line);
  return 0;
}

int fuzzLaunchScript(const uint8_t* data, size_t size) {
  SilentConsole quiet;
  resetLog();
  // The runtime files (.cp, .sp, .ja) next to this name do not exist.
  LauncherPaths paths;
  paths.setLauncherFile(SString(scratchFile("setup.bin").c_str()));
  ClasspathOptions classpath;
  LauncherInputFiles inputFiles;
  ApplicationArchive applicationArchive;
  LaunchContext context{paths, classpath, inputFiles, applicationArchive, PlatformImpl::console()};
  JVMTagLookup jvmFile(launchJVMTags());
  LaunchScript script(bytesAsText(data, size), false, false, context);
  try {
    script.resolve(jvmFile);
  } catch (const LauncherException&) {
  }
  return 0;
}

int fuzzVerifyCache(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<VerifyCacheEntry> entries;
  if (!parseVerifyCache(bytes, entries)) {
    if (!entries.empty()) abort();
    return 0;
  }
  // What reads must be exactly what writing gives back.
  if (formatVerifyCache(entries) != bytes) abort();
  return 0;
}

int fuzzClassVersion(const uint8_t* data, size_t size) {
  std::string path = scratchFile("classes.jar");
  writeBytes(path, data, size);
  try {
    // With the scan of class names, bounded as the packing bounds it.
    JarClasses classes = readJarClasses(path, true, 1 << 20);
    for (const auto& package : classes.referencedPackages) {
      // A package is a name before a dot of the name it came from.
      if (package.first.empty() || package.second.compare(0, package.first.size() + 1, package.first + ".") != 0) {
        abort();
      }
    }
    // A class file's version is two bytes, and only .class entries count.
    if (classes.highestMajor < 0 || classes.highestMajor > 0xFFFF) abort();
    if (classes.highestMajor > 0 && classes.highestEntry.empty()) abort();
    for (const std::string& name : classes.names) {
      if (name.size() <= 6 || name.compare(name.size() - 6, 6, ".class") != 0) abort();
    }
  } catch (const PackError&) {
  }
  return 0;
}

namespace {

// Every path below dir, links resolved, stays in dir.
void checkStaysInside(const std::string& dir, const std::string& real) {
  std::vector<std::string> names;
  if (DIR* handle = opendir(dir.c_str())) {
    while (struct dirent* entry = readdir(handle)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(handle);
  }
  for (const std::string& name : names) {
    std::string path = dir + "/" + name;
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr &&
        std::string(resolved).compare(0, real.size() + 1, real + "/") != 0 && std::string(resolved) != real) {
      abort();  // a member left its folder
    }
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) checkStaysInside(path, real);
  }
}

}  // namespace

int fuzzRuntimeArchive(const uint8_t* data, size_t size) {
  SilentConsole quiet;
  std::string entry;
  if (size > 0 && data[0] % 2 == 0) {
    // The rest is a table, the header made to fit it: the members are made
    // as they say (the files without bytes, as pieces cannot follow).
    std::string table(reinterpret_cast<const char*>(data) + 1, size - 1);
    XXH128_hash_t digest = XXH3_128bits(table.data(), table.size());
    RuntimeHeader header;
    header.digestHigh = digest.high64;
    header.digestLow = digest.low64;
    header.tableLength = static_cast<uint32_t>(table.size());
    entry = encodeRuntimeHeader(header) + table;
  } else if (size > 0) {
    entry.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  }
  std::string file = scratchFile("runtime-entry");
  writeBytes(file, reinterpret_cast<const uint8_t*>(entry.data()), entry.size());
  std::string dir = scratchFile("runtime");
  clearExtractionDir(dir);
  char real[PATH_MAX];
  if (realpath(dir.c_str(), real) == nullptr) abort();
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) abort();
  // A small input may expand a lot: the unpacking stops at 16 MiB.
  long written = 0;
  try {
    unpackRuntimeArchive(fd, 0, static_cast<long>(entry.size()), dir,
                         [&written](long steps) { written += steps * runtimeProgressStep; },
                         [&written] { return written > (16L << 20); });
  } catch (const LauncherException&) {
  }
  close(fd);
  checkStaysInside(dir, real);
  return 0;
}

const FuzzEntry fuzzEntries[] = {
    {"archive_index", fuzzArchiveIndex}, {"tag_file", fuzzTagFile},
    {"instructions", fuzzInstructions},   {"expressions", fuzzExpressions},
    {"cmd_line", fuzzCmdLine},           {"text_arguments", fuzzTextArguments},
    {"launch_script", fuzzLaunchScript}, {"verify_cache", fuzzVerifyCache},
    {"class_version", fuzzClassVersion},
    {"runtime_archive", fuzzRuntimeArchive},
};
const size_t fuzzEntryCount = sizeof fuzzEntries / sizeof fuzzEntries[0];
