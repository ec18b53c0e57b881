#include "jvm/java_command_line.h"

#include <cstring>

namespace {

bool startsWith(const std::string& text, const char* prefix) {
  return text.compare(0, strlen(prefix), prefix) == 0;
}

// Options of the java launcher that take the next word as their value.
const char* const kOptionsWithValue[] = {
    "-cp", "-classpath", "--class-path", "--add-modules", "--limit-modules", "--add-reads",
    "--add-exports", "--add-opens", "--enable-native-access", "--illegal-native-access"};

// Options after which the JVM runs something else than a main class from
// the class path, or nothing at all.
const char* const kUnsupportedOptions[] = {
    "-m", "--module", "-p", "--module-path", "--upgrade-module-path", "--patch-module",
    "--source", "-version", "--version", "-help", "--help", "-h", "-?", "-X", "--help-extra",
    "--list-modules", "--dry-run", "--validate-modules", "-d", "--describe-module",
    "-fullversion", "--full-version"};

// Prefixes of options that set up class-data sharing or an AOT cache
// themselves, or load agents (which change classes as they load).
const char* const kUnsupportedPrefixes[] = {
    "-Xshare", "-XX:SharedArchiveFile", "-XX:ArchiveClassesAtExit", "-XX:+AutoCreateSharedArchive",
    "-XX:-AutoCreateSharedArchive", "-XX:DumpLoadedClassList", "-XX:SharedClassListFile",
    "-XX:AOT", "-XX:+AOT", "-XX:-AOT", "-XX:+RecordDynamicDumpInfo", "-XX:-UseSharedSpaces",
    "-XX:+UseSharedSpaces", "-javaagent", "-agentlib", "-agentpath", "-XX:Flags=", "-XX:VMOptionsFile=", "--module-path=",
    "--upgrade-module-path=", "--patch-module=", "--module=", "--source=", "--describe-module="};

bool isOneOf(const std::string& word, const char* const* list, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (word == list[i]) return true;
  }
  return false;
}

}  // namespace

JavaCommandLine parseJavaCommandLine(const std::vector<std::string>& words,
                                     const std::string& classPathVariable) {
  JavaCommandLine line;
  std::string classPath = classPathVariable.empty() ? std::string(".") : classPathVariable;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.empty() || word[0] != '-') {
      if (!word.empty() && word[0] == '@') {
        line.reason = "an argument file (" + word + ") holds words that are not known";
        return line;
      }
      if (word.size() > 5 && word.compare(word.size() - 5, 5, ".java") == 0) {
        line.reason = "a source file runs";
        return line;
      }
      line.mainClass = word;
      line.classPath = classPath;
      line.usable = !word.empty();
      if (!line.usable) line.reason = "the main class is empty";
      return line;
    }
    if (isOneOf(word, kUnsupportedOptions, sizeof kUnsupportedOptions / sizeof *kUnsupportedOptions)) {
      line.reason = "the option " + word + " runs no class from the class path";
      return line;
    }
    for (const char* prefix : kUnsupportedPrefixes) {
      if (startsWith(word, prefix)) {
        line.reason = "the option " + word + " is given";
        return line;
      }
    }
    line.options.push_back(word);
    if (word == "-jar") {
      if (i + 1 >= words.size()) {
        line.reason = "-jar names no file";
        return line;
      }
      line.options.push_back(words[i + 1]);
      line.mainClass = words[i + 1];
      line.classPath = words[i + 1];
      line.jarMode = true;
      line.usable = true;
      return line;
    }
    if (isOneOf(word, kOptionsWithValue, sizeof kOptionsWithValue / sizeof *kOptionsWithValue)) {
      if (i + 1 >= words.size()) {
        line.reason = word + " has no value";
        return line;
      }
      line.options.push_back(words[++i]);
      if (word == "-cp" || word == "-classpath" || word == "--class-path") classPath = words[i];
    } else if (startsWith(word, "--class-path=")) {
      classPath = word.substr(strlen("--class-path="));
    }
  }
  line.reason = "no main class is named";
  return line;
}

std::vector<std::string> archiveRelevantOptions(const std::vector<std::string>& options) {
  static const char* const kPrefixes[] = {
      "-Xmx", "-XX:MaxHeapSize=", "-XX:+UseCompressedOops", "-XX:-UseCompressedOops",
      "-XX:+UseCompressedClassPointers", "-XX:-UseCompressedClassPointers",
      "-XX:ObjectAlignmentInBytes=", "-XX:+UnlockExperimentalVMOptions",
      "-XX:+UnlockDiagnosticVMOptions", "--enable-preview"};
  std::vector<std::string> kept;
  for (const std::string& option : options) {
    bool keep = (startsWith(option, "-XX:+Use") || startsWith(option, "-XX:-Use")) &&
                option.size() > 2 && option.compare(option.size() - 2, 2, "GC") == 0;
    for (const char* prefix : kPrefixes) keep = keep || startsWith(option, prefix);
    if (keep) kept.push_back(option);
  }
  return kept;
}
