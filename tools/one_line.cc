#include "tools/one_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "archive/archive_format.h"
#include "archive/runtime_archive.h"
#include "platform/web_url.h"
#include "tagfile/tag_file.h"
#include "tools/class_version.h"
#include "tools/pack_writer.h"

namespace {

// Where the example JVM files look for Java; "jre" is a folder next to the
// launcher.
const char* const kLinuxPathHints[] = {
    "/usr/lib/jvm/*",          "/usr/java/*",         "/opt/java/*",
    "/opt/jdk*",               "~/.sdkman/candidates/java/*", "~/.jdks/*",
    "~/.gradle/jdks/*",        "~/.gradle/jdks/*/*",  "~/.asdf/installs/java/*",
    "~/.local/share/mise/installs/java/*", "jre"};
const char* const kMacPathHints[] = {
    "/Library/Java/JavaVirtualMachines/*/Contents/Home",
    "~/Library/Java/JavaVirtualMachines/*/Contents/Home",
    "/opt/homebrew/opt/openjdk*/libexec/openjdk.jdk/Contents/Home",
    "/usr/local/opt/openjdk*/libexec/openjdk.jdk/Contents/Home",
    "~/.sdkman/candidates/java/*",
    "~/.jdks/*"};

std::string baseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A word in single quotes for the shell, unless it needs none.
std::string shellWord(const std::string& text) {
  bool plain = !text.empty();
  for (char c : text) {
    bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '-' || c == '_' || c == '.' || c == '/' || c == ':' || c == '=' || c == ',' ||
                c == '+';
    if (!safe) plain = false;
  }
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// A link planted at path is replaced, not written through.
void writeTagFile(const TagFile& tags, const std::string& path) {
  SString text = tags.getText();
  replaceFile(path, std::string(text.data(), text.length()), 0644);
}

// The number of a java.specification.version ("1.8" is 8).
int versionNumber(const std::string& version) {
  return version.compare(0, 2, "1.") == 0 ? std::stoi(version.substr(2)) : std::stoi(version);
}

// A Java version as people say it: 8 for "1.8".
std::string spokenVersion(const std::string& version) { return version == "1.8" ? "8" : version; }

// The JVM file of one system: the user's choice first (-bv:javahome, then
// JAVA_HOME, warned about when it cannot be used), then the java on PATH,
// then the usual install folders; only on that system (PLATFORM).
void fillJVMFile(TagFile& tags, const std::string& desc, const char* platformHints[], size_t platformHintCount,
                const char* const* pathHints, size_t pathHintCount, const char* osName, const char* systemName,
                const std::string& javaVersion, const std::string& maxVersion, const std::string& downloadUrl) {
  tags.setTagValue("DESC", SString(desc.c_str()));
  tags.setTagValue("JVM_EXE", "bin/java");
  tags.setTagValue("PLATFORM", systemName);
  for (size_t i = 0; i < platformHintCount; ++i) tags.appendTagValue("PLATFORM_HINT", platformHints[i]);
  tags.setTagValue("PLATFORM_HINT_WARNING", "1");
  for (const char* search : {"PLATFORM_HINT", "PATH", "PATH_HINT"}) tags.appendTagValue("SEARCH_ORDER", search);
  for (size_t i = 0; i < pathHintCount; ++i) tags.appendTagValue("PATH_HINT", pathHints[i]);
  tags.appendTagValue("JVM_PROPERTIES", SString("os.name=").append(osName));
  tags.appendTagValue("JVM_PROPERTIES",
                      SString("java.specification.version>=").append(javaVersion.c_str()));
  if (!maxVersion.empty()) {
    tags.appendTagValue("JVM_PROPERTIES",
                        SString("java.specification.version<=").append(maxVersion.c_str()));
  }
  // A home's release file answers for it: no second JVM on a first run.
  tags.setTagValue("RELEASE_FILE_ANSWERS", "1");
  tags.setTagValue("CLASSPATH", "-cp ");
  tags.setTagValue("CLASSPATH_SEPARATOR", ":");
  tags.setTagValue("SYSTEM", "-D");
  tags.setTagValue("SYSTEM_SEPARATOR", "=");
  tags.setTagValue("SEARCH_ALL", "0");
  tags.setTagValue("INIT_JAVA_HEAP", "-Xms");
  tags.setTagValue("MAX_JAVA_HEAP", "-Xmx");
  if (!downloadUrl.empty()) tags.setTagValue("DOWNLOAD_URL", SString(downloadUrl.c_str()));
}

// Throws PackError when --max-java is below the version that the
// application needs (minimum, needed by entry in jar, or given with
// --min-java).
void checkMaximum(const PackJob& job, const std::string& minimum, const std::string& entry,
                  const std::string& jar) {
  std::string maximum = normalizeJavaVersion(job.maxJava);
  if (maximum.empty() || versionNumber(maximum) >= versionNumber(minimum)) return;
  std::string why = job.minJava.empty() ? " (" + entry + " in " + jar + " needs it)" : " (--min-java)";
  throw PackError("--max-java " + job.maxJava + " is lower than Java " + spokenVersion(minimum) + why +
                  ": no Java could run the application");
}

// path made absolute (from the working folder) and plain, by its text: no
// ".", "..", or doubled "/" (links are not followed: a jar that is a link
// inside the folder is what the folder carries).
std::string lexicalAbsolute(const std::string& path) {
  std::string full = path;
  if (full.empty() || full[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) throw PackError(std::string("cannot read the working folder: ") + strerror(errno));
    full = std::string(cwd) + "/" + full;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= full.size()) {
    size_t slash = full.find('/', start);
    if (slash == std::string::npos) slash = full.size();
    std::string part = full.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

// The characters that a path inside the application folder may hold to be
// written into the launch template as it is.
bool isPlainRelativePath(const std::string& path) {
  if (path.empty() || path[0] == '-') return false;
  for (char c : path) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '_' || c == '-' || c == '+' || c == '/';
    if (!plain) return false;
  }
  return true;
}

}  // namespace

std::string pathInsideAppDir(const PackJob& job, const std::string& jar) {
  if (job.appDir.empty()) return std::string();
  std::string folder = lexicalAbsolute(job.appDir);
  std::string file = lexicalAbsolute(jar);
  if (folder == "/") return file.substr(1);
  if (file.compare(0, folder.size() + 1, folder + "/") != 0) return std::string();
  return file.substr(folder.size() + 1);
}

void checkGenerateOptions(const PackJob& job) {
  // A binary class name: Java identifiers separated by dots; '$' for
  // nested classes, bytes above 127 for the letters of other scripts.
  const std::string& name = job.mainClass;
  bool valid = !name.empty() && name.front() != '.' && name.back() != '.' &&
               name.find("..") == std::string::npos && !(name[0] >= '0' && name[0] <= '9');
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
          c == '$' || c == '.' || u >= 0x80)) {
      valid = false;
    }
  }
  if (!valid) throw PackError("\"" + name + "\" is not a Java class name (--main-class)");
  for (const std::string& option : job.javaOptions) {
    if (option.empty()) throw PackError("--java-option needs a non-empty option");
    if (option.find_first_of("%@#\n\r") != std::string::npos || option.find('\0') != std::string::npos) {
      throw PackError("the Java option \"" + option +
                      "\" holds %, @, # or a line end, which the launch template would read as its own "
                      "syntax; write the launch script yourself (--emit DIR, then edit launch.tag)");
    }
  }
  if (job.title.find_first_of("\n\r") != std::string::npos) {
    throw PackError("the title (--name) must be one line");
  }
  // A property name and variable names go into the template as its text:
  // only the characters that need no quoting there.
  if (!job.homeProperty.empty()) {
    bool plain = job.homeProperty[0] != '-';
    for (char c : job.homeProperty) {
      plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '_' || c == '-');
    }
    if (!plain) {
      throw PackError("--home-property needs a property name of letters, digits, '.', '_' and '-', not \"" +
                      job.homeProperty + "\"");
    }
  }
  for (const std::string& variable : job.optionsEnv) {
    bool valid = !variable.empty() && !(variable[0] >= '0' && variable[0] <= '9');
    for (char c : variable) {
      valid = valid && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
    }
    if (!valid) {
      throw PackError("--options-env needs an environment variable name (letters, digits and '_'), not \"" +
                      variable + "\"");
    }
  }
  if (!job.maxJava.empty() && normalizeJavaVersion(job.maxJava).empty()) {
    throw PackError("--max-java needs a Java version such as 8, 1.8, 11 or 17, not \"" + job.maxJava + "\"");
  }
  // A jar that is not there is named as such (before its classes are read).
  for (const std::string& jar : job.jars) {
    struct stat st;
    if (stat(jar.c_str(), &st) != 0) throw PackError("cannot read the jar " + jar + ": " + strerror(errno));
    if (!S_ISREG(st.st_mode)) throw PackError("cannot read the jar " + jar + ": it is not a file");
  }
  if (!job.javaDownloadUrl.empty() && !isWebPageUrl(SString(job.javaDownloadUrl.c_str()))) {
    throw PackError("--java-download-url needs an http or https address (printable ASCII, no blanks, quotes, "
                    "backslashes or < > ^ ` { | } $), not \"" + job.javaDownloadUrl + "\"");
  }
  if (!job.appDir.empty()) {
    struct stat st;
    if (stat(job.appDir.c_str(), &st) != 0) {
      throw PackError("cannot read the --app-dir folder " + job.appDir + ": " + strerror(errno));
    }
    if (!S_ISDIR(st.st_mode)) throw PackError("--app-dir " + job.appDir + " is not a folder");
  }
  std::set<std::string> names;
  for (const std::string& jar : job.jars) {
    std::string inside = pathInsideAppDir(job, jar);
    if (!inside.empty()) {
      if (!isPlainRelativePath(inside)) {
        throw PackError("the jar " + jar + " lies in the --app-dir folder under a name that the launch template "
                        "cannot hold as it is (letters, digits, '.', '_', '-', '+' and '/'): rename it");
      }
      continue;  // taken from the unpacked folder
    }
    if (!names.insert(baseName(jar)).second) {
      throw PackError("two --jar files are named " + baseName(jar) +
                      "; the launcher extracts the jars into one folder, so give them different names");
    }
  }
  if (!job.minJava.empty() && normalizeJavaVersion(job.minJava).empty()) {
    throw PackError("--min-java needs a Java version such as 8, 1.8, 11 or 17, not \"" + job.minJava + "\"");
  }
}

std::string requiredJavaVersion(const PackJob& job, std::string* notes) {
  std::string given = normalizeJavaVersion(job.minJava);
  std::string classPath = job.mainClass;
  for (char& c : classPath) {
    if (c == '.') c = '/';
  }
  classPath += ".class";
  int highest = 0;
  std::string highestJar, highestEntry;
  bool mainFound = false;
  for (const std::string& jar : job.jars) {
    JarClasses classes;
    try {
      classes = readJarClasses(jar);
    } catch (const PackError& e) {
      if (!given.empty()) {  // the author has said which Java it needs
        checkMaximum(job, given, "", "");
        return given;
      }
      throw PackError(std::string(e.what()) + "; give the Java version that the application needs with --min-java N");
    }
    for (const std::string& entry : classes.names) {
      if (entry == classPath) mainFound = true;
    }
    if (classes.highestMajor > highest) {
      highest = classes.highestMajor;
      highestJar = jar;
      highestEntry = classes.highestEntry;
    }
  }
  if (!mainFound) {
    throw PackError("no --jar holds the main class " + job.mainClass + " (" + classPath + ")");
  }
  std::string needed = javaVersionForMajor(highest);
  std::string result = given.empty() ? needed : given;
  if (!given.empty() && versionNumber(given) < versionNumber(needed) && notes != nullptr) {
    *notes += "bvpack: note: --min-java " + job.minJava + " is lower than " + highestEntry + " in " +
              highestJar + " needs (Java " + needed + ")\n";
  }
  checkMaximum(job, result, highestEntry, highestJar);
  return result;
}


std::vector<PackEntry> writeGeneratedFiles(const PackJob& job, const std::string& javaVersion,
                                           const std::string& dir) {
  // The default title is the class's simple name.
  std::string title = job.title.empty() ? job.mainClass.substr(job.mainClass.find_last_of('.') + 1) : job.title;
  std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";

  // A command: no status display unless asked for, only -bv: options with
  // -- ending them, TMPDIR honoured, a stop by a signal named
  // (archive/launcher_settings.h).
  TagFile instructions;
  instructions.setTagValue("DESC", SString((title + " instructions").c_str()));
  instructions.setTagValue("CONSOLE_UI", job.statusUI ? "1" : "0");
  instructions.setTagValue("BV_OPTIONS_ONLY", "1");
  instructions.setTagValue("USE_TMPDIR", "1");
  instructions.setTagValue("UNIX_COMMAND", "1");
  if (!job.sharedRuntimeDir.empty()) {
    instructions.setTagValue("SHARED_RUNTIME_DIR", SString(job.sharedRuntimeDir.c_str()));
  }
  for (const char* statement : {"INITIALIZE_UI", "FIND_JVM 1 1", "JMP0 @N1@ DO_FIND_ELSE", "LAUNCH @S2@ 5",
                                "GOTO DO_FIND_DONE", ":DO_FIND_ELSE", ":DO_FIND_DONE"}) {
    instructions.appendTagValue("INSTRUCTIONS", statement);
  }

  // The Java options are template text: each one shell-quoted, so that it
  // stays one argument. Options from the .ja file come after them and so
  // win where Java takes the last one. The options of class-data sharing
  // come first, so that the author's and the user's win over them too; then
  // the home property, so that an option may override it; the users'
  // variables come after the .ja file's options, the most particular last.
  std::string command = "\"@JVM_HOME@/@JVM_EXE@\"";
  if (job.classDataSharing) command += " %CDS_OPTIONS%()";
  if (!job.homeProperty.empty()) {
    std::string folder = job.appDir.empty() ? "%CLASSPATH_JAR_DIR%()" : "%APP_DIR%()";
    command += " %SYSTEMPROP%(\"" + job.homeProperty + "\", \"\"\"" + folder + "\"\"\")";
  }
  for (const std::string& option : job.javaOptions) command += " " + shellWord(option);
  command += " %RUNTIME_JAVAARGS%() %RUNTIME_SYSTEMPROP%()";
  for (const std::string& variable : job.optionsEnv) command += " %ENV_JAVAARGS%(\"" + variable + "\")";
  // The jars inside the application folder come from the unpacked folder,
  // first; the others from their cache folder, in the order given.
  std::string inFolder;
  for (const std::string& jar : job.jars) {
    std::string inside = pathInsideAppDir(job, jar);
    if (!inside.empty()) inFolder += std::string(inFolder.empty() ? "" : ", ") + "\"\"\"%APP_DIR%()/" + inside + "\"\"\"";
  }
  command += " %CP%(" + inFolder + ") " + shellWord(job.mainClass);
  TagFile launch;
  launch.setTagValue("DESC", SString(title.c_str()));
  launch.setTagValue("DISPLAY_CONSOLE", "1");
  launch.setTagValue("AUTO_SET_WORKING_DIR", "0");
  launch.setTagValue("COMMAND", SString(command.c_str()));

  const char* linuxPlatformHints[] = {"JAVA_HOME", "JDK_HOME"};
  const char* macPlatformHints[] = {"JAVA_HOME"};
  std::string maxVersion = normalizeJavaVersion(job.maxJava);
  std::string range = "Java " + spokenVersion(javaVersion) + " or later";
  if (!maxVersion.empty()) {
    range = maxVersion == javaVersion ? "Java " + spokenVersion(javaVersion)
                                      : "Java " + spokenVersion(javaVersion) + " to " + spokenVersion(maxVersion);
  }
  TagFile linux, mac;
  // The DESC is what a user without a suitable Java is told the
  // application needs ("The program needs Java 17 or later.").
  fillJVMFile(linux, range, linuxPlatformHints, 2, kLinuxPathHints, sizeof kLinuxPathHints / sizeof *kLinuxPathHints,
              "Linux", "Linux", javaVersion, maxVersion, job.javaDownloadUrl);
  fillJVMFile(mac, range, macPlatformHints, 1, kMacPathHints, sizeof kMacPathHints / sizeof *kMacPathHints,
              "Mac OS X", "Darwin", javaVersion, maxVersion, job.javaDownloadUrl);

  writeTagFile(instructions, prefix + "instructions.tag");
  writeTagFile(launch, prefix + "launch.tag");
  writeTagFile(linux, prefix + "jvm-linux.tag");
  writeTagFile(mac, prefix + "jvm-macos.tag");

  std::vector<PackEntry> entries;
  const struct {
    int type;
    const char* name;
  } files[] = {{0, "instructions.tag"}, {2, "launch.tag"}, {1, "jvm-linux.tag"}, {1, "jvm-macos.tag"}};
  for (const auto& file : files) {
    PackEntry entry;
    entry.type = file.type;
    entry.path = prefix + file.name;
    entry.name = file.name;
    entries.push_back(entry);
  }
  // The jars go into the user's cache, once per digest: the class path is
  // the same on every run.
  for (const std::string& jar : job.jars) {
    if (!pathInsideAppDir(job, jar).empty()) continue;
    PackEntry entry;
    entry.type = FILE_CLASSPATH_JAR;
    entry.path = jar;
    entry.name = baseName(jar);
    entry.compressedFlag = cacheFlagValue;
    entries.push_back(entry);
  }
  if (!job.appDir.empty()) {
    PackEntry entry;
    entry.type = FILE_APPLICATION_FOLDER;
    entry.path = job.appDir;
    entry.name = baseName(lexicalAbsolute(job.appDir));
    if (entry.name.empty()) entry.name = "app";
    entries.push_back(entry);
  }
  if (!job.runtimeDir.empty()) {
    PackEntry entry;
    entry.type = FILE_JAVA_RUNTIME;
    entry.path = job.runtimeDir;
    entry.name = "runtime";
    entries.push_back(entry);
  }
  for (size_t i = 0; i < entries.size(); ++i) entries[i].id = static_cast<long>(i);
  return entries;
}

std::string packCommandFor(const PackJob& job, const std::string& dir) {
  std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
  std::string output = job.output.empty() ? "OUTPUT" : job.output;
  std::string command = "bvpack -o " + shellWord(output) + " instructions:" + shellWord(prefix + "instructions.tag") +
                        " launch-script:" + shellWord(prefix + "launch.tag") + " jvm:" +
                        shellWord(prefix + "jvm-linux.tag") + " jvm:" + shellWord(prefix + "jvm-macos.tag");
  for (const std::string& jar : job.jars) {
    if (pathInsideAppDir(job, jar).empty()) command += " --cache classpath-jar:" + shellWord(jar);
  }
  if (!job.appDir.empty()) command += " application-folder:" + shellWord(job.appDir);
  if (!job.runtimeDir.empty()) {
    if (job.runtimeUse != RUNTIME_USE_ALWAYS) command += " --runtime-use fallback";
    if (job.compressionLevel != 19) command += " --compression-level " + std::to_string(job.compressionLevel);
    command += " java-runtime:" + shellWord(job.runtimeDir);
  }
  return command + "\n";
}
