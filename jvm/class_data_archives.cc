#include "jvm/class_data_archives.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include <algorithm>
#include <cstring>
#include <map>

#include "foundation/log.h"
#include "jvm/carried_aot_cache.h"
#include "jvm/java_command_line.h"
#include "jvm/jvm_identity.h"
#include "jvm/release_file.h"
#include "jvm/tag_names.h"
#include "platform/detached_process.h"
#include "platform/file_digest.h"
#include "platform/platform_impl.h"
#include "platform/user_cache.h"
#include "tagfile/tag_file.h"

namespace {

const char kArchiveSuffix[] = ".jsa";
const char kLockSuffix[] = ".lock";
const char kFailedSuffix[] = ".failed";
const char kClassListInfix[] = ".classes-";
const char kTemporaryArchiveInfix[] = ".jsa-";
// The first bytes of an archive: the JVM's magic number 0xf00baba2, little
// end first.
const unsigned char kArchiveMagic[] = {0xa2, 0xab, 0x0b, 0xf0};
// Unfinished files of a key that nobody works on are removed after this
// many seconds.
const time_t kLeftoverAge = 60 * 60;
// Environment variables through which the JVM takes options.
const char* const kOptionVariables[] = {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "_JAVA_OPTIONS"};

void log(const std::string& text) {
  logMessage(SString("Class-data sharing: ").append(text.c_str()), LOG_INFO);
}

std::string tagValue(const TagFile& tags, const char* name) {
  SString value = tags.getTagValue(name, 0);
  return std::string(value.c_str(), value.length());
}

bool cdsOff() {
  const char* setting = getenv("BV_CDS");
  return setting != nullptr && strcmp(setting, "0") == 0;
}

// A field of the key: its length, so that no two lists of fields give the
// same text.
void addField(std::string& key, const std::string& field) {
  key += std::to_string(field.size());
  key += ':';
  key += field;
  key += '\n';
}

// The words of an option variable, split at blanks as the JVM splits them.
std::vector<std::string> variableWords(const char* name) {
  std::vector<std::string> words;
  const char* value = getenv(name);
  std::string word;
  for (const char* p = value == nullptr ? "" : value;; ++p) {
    if (*p == '\0' || *p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') {
      if (!word.empty()) words.push_back(word);
      word.clear();
      if (*p == '\0') break;
    } else {
      word += *p;
    }
  }
  return words;
}

// The file belongs to the effective user and group and others cannot write
// it.
bool isPrivateStatus(const struct stat& st) {
  return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The archive file at path is the user's, regular, private and begins as an
// archive does. With touch, its times are set to now.
bool isGoodArchive(const std::string& path, bool touch) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  unsigned char magic[sizeof kArchiveMagic];
  bool good = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && isPrivateStatus(st) &&
              read(fd, magic, sizeof magic) == static_cast<ssize_t>(sizeof magic) &&
              memcmp(magic, kArchiveMagic, sizeof magic) == 0;
  if (good && touch) futimens(fd, nullptr);
  close(fd);
  return good;
}

// Opens and locks the key's lock file; -1 when it cannot be had (another
// process holds it, or the file fails the checks).
int lockKey(const std::string& lockPath) {
  int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !isPrivateStatus(st) ||
      flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A new private file named prefix + six characters; "" when none can be
// made.
std::string makeTemporaryFile(const std::string& prefix) {
  std::string path = prefix + "XXXXXX";
  int fd = mkostemp(&path[0], O_CLOEXEC);
  if (fd < 0) return std::string();
  fchmod(fd, 0600);
  close(fd);
  return path;
}

// Marks the key as one whose archive the JVM could not make.
void markFailed(const std::string& base) {
  int fd = open((base + kFailedSuffix).c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) close(fd);
}

// The work of the detached process: makes the archive from the class list
// and publishes it, then prunes the folder. The lock stays held until the
// process ends.
void makeArchive(const std::string& folder, const std::string& key, const std::string& classList,
                 const std::string& javaExe, const std::vector<std::string>& options,
                 const std::string& classPath, const std::string& workingDirectory) {
  // The JVM that makes the archive takes its options from here only.
  for (const char* variable : kOptionVariables) unsetenv(variable);
  unsetenv("CLASSPATH");
  std::string base = folder + "/" + key;
  std::string temporary = makeTemporaryFile(base + kTemporaryArchiveInfix);
  if (!temporary.empty()) {
    std::vector<std::string> argv = {javaExe};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back("-Xshare:dump");
    argv.push_back("-XX:SharedClassListFile=" + classList);
    argv.push_back("-XX:SharedArchiveFile=" + temporary);
    argv.push_back("-cp");
    argv.push_back(classPath);
    int status = runProgramAndWait(argv, workingDirectory, classDataArchiveTimeout);
    bool published = false;
    if (status == 0 && isGoodArchive(temporary, false)) {
      int fd = open(temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
      published = fd >= 0 && fchmod(fd, 0600) == 0 && fsync(fd) == 0 &&
                  rename(temporary.c_str(), (base + kArchiveSuffix).c_str()) == 0;
      if (fd >= 0) close(fd);
    }
    if (!published) unlink(temporary.c_str());
    // A JVM that ran and refused gives up the key; a time-out does not.
    if (!published && status > 0) markFailed(base);
  }
  unlink(classList.c_str());
  ClassDataArchives::prune(folder, time(nullptr), key);
}

}  // namespace

ClassDataArchives::ClassDataArchives(const TagFile& jvmFile)
    : m_home(tagValue(jvmFile, "JVM_HOME")),
      m_jvmExe(tagValue(jvmFile, jvmExeTagName)),
      m_version(tagValue(jvmFile, jvmVersionTagName)),
      m_identity(tagValue(jvmFile, jvmIdentityTagName)),
      m_lockFd(-1) {
  // A check that did not ask the Java's version: the checked home's
  // release file states it (the identity below proves the home unchanged).
  if (m_version.empty() && !m_home.empty()) {
    ReleaseFields fields;
    if (readReleaseFile(m_home, fields)) {
      std::map<std::string, std::string> stated = releaseProperties(fields);
      auto found = stated.find("java.specification.version");
      if (found != stated.end()) m_version = found->second;
    }
  }
}

ClassDataArchives::~ClassDataArchives() { dropRecording(); }

void ClassDataArchives::dropRecording() {
  if (!m_classList.empty()) unlink(m_classList.c_str());
  m_classList.clear();
  if (m_lockFd >= 0) close(m_lockFd);
  m_lockFd = -1;
}

int ClassDataArchives::featureVersion(const std::string& specificationVersion) {
  std::string text = specificationVersion;
  if (text.compare(0, 2, "1.") == 0) text.erase(0, 2);
  int version = 0;
  size_t digits = 0;
  while (digits < text.size() && digits < 6 && text[digits] >= '0' && text[digits] <= '9') {
    version = version * 10 + (text[digits] - '0');
    ++digits;
  }
  return digits == 0 ? 0 : version;
}

std::string ClassDataArchives::archiveFolder(bool create) {
  std::string cache = userCacheFolder(create);
  if (cache.empty()) return std::string();
  std::string folder = cache + "/cds";
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0) {
    // mkdir never follows a link at the name; the check below turns down
    // whatever is there instead of a folder.
    if (errno != ENOENT || !create || (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) ||
        lstat(folder.c_str(), &st) != 0) {
      return std::string();
    }
  }
  return S_ISDIR(st.st_mode) && isPrivateStatus(st) ? folder : std::string();
}

std::vector<std::string> ClassDataArchives::optionsFor(const std::vector<std::string>& words,
                                                       const std::string& workingDirectory) {
  std::vector<std::string> none;
  dropRecording();
  if (cdsOff()) {
    log("off (BV_CDS=0)");
    return none;
  }
  int feature = featureVersion(m_version);
  if (feature < firstClassDataSharingJava) {
    log(m_version.empty() ? "none, since the JVM file does not say which Java version was checked"
                          : "none for Java " + m_version + " (it takes Java " +
                                std::to_string(firstClassDataSharingJava) + " or newer)");
    return none;
  }
  // The folder the command runs in: relative paths in it are taken there.
  std::string cwd = workingDirectory;
  if (cwd.empty()) {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) != nullptr) cwd = buffer;
  }
  // The Java that runs must be the one that was checked, unchanged.
  std::string exe, home, commandExe, commandHome;
  std::string exePath = m_home + (m_home.empty() || m_home.back() == '/' ? "" : "/") + m_jvmExe;
  std::string program = words.empty() ? std::string() : words[0];
  if (!program.empty() && program[0] != '/') program = cwd + "/" + program;
  if (program.empty() || !resolveJVMExecutable(exePath, m_jvmExe, exe, home) ||
      !resolveJVMExecutable(program, "", commandExe, commandHome) || commandExe != exe) {
    log("none, since the command does not run the Java of the JVM file");
    return none;
  }
  // A Java that the run unpacked into its temporary folder is gone when
  // the archive would be made, and its path may then be another user's.
  if (PlatformImpl::isRunTemporaryPath(SString(exe.c_str()))) {
    log("none, since the Java at " + exe + " lies in this run's temporary folder");
    return none;
  }
  std::string identity;
  if (!jvmIdentity(exe, home, identity) || jvmIdentityDigest(identity) != m_identity) {
    log("none, since the Java at " + exe + " is not the one that was checked");
    return none;
  }
  const char* classPathVariable = getenv("CLASSPATH");
  JavaCommandLine line = parseJavaCommandLine(words, classPathVariable == nullptr ? "" : classPathVariable);
  // The variables' options count as the command's own: the same ones are
  // left alone.
  std::vector<std::string> variableOptions[3];
  for (size_t i = 0; i < 3 && line.usable; ++i) {
    variableOptions[i] = variableWords(kOptionVariables[i]);
    std::vector<std::string> asCommand = {"java"};
    asCommand.insert(asCommand.end(), variableOptions[i].begin(), variableOptions[i].end());
    asCommand.push_back("Main");
    JavaCommandLine probe = parseJavaCommandLine(asCommand, "");
    if (!probe.usable || probe.jarMode) {
      line.usable = false;
      line.reason = std::string(kOptionVariables[i]) + " holds options that class-data sharing leaves alone";
    }
  }
  if (!line.usable) {
    log("none, since " + line.reason);
    return none;
  }
  // A bundled runtime that carries the cache of a training run: used as it
  // is, from the first run on (jvm/carried_aot_cache.h).
  std::vector<std::string> carried = carriedAOTCacheOptions(home, feature);
  if (!carried.empty()) {
    log("using the ahead-of-time cache that the runtime carries, " + carried[0].substr(strlen("-XX:AOTCache=")));
    return carried;
  }

  // The key: the Java, the options, the class path with its jars.
  std::string material = "bvlauncher class-data archive 1\n";
  addField(material, exe);
  addField(material, identity);
  addField(material, m_version);
  for (const std::string& option : line.options) {
    if (option.compare(0, 2, "-D") != 0) addField(material, option);
  }
  addField(material, line.mainClass);
  bool relative = false;
  size_t start = 0;
  for (;;) {
    size_t colon = line.classPath.find(':', start);
    std::string entry = line.classPath.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (entry.empty()) {
      log("none, since the class path has an empty entry (the current folder)");
      return none;
    }
    std::string path = entry;
    if (path[0] != '/') {
      relative = true;
      path = cwd + "/" + path;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      log("none, since the class path entry " + entry + " is not a file (only jars can be archived)");
      return none;
    }
    if (PlatformImpl::isRunTemporaryPath(SString(path.c_str()))) {
      log("none, since the class path is not stable: " + entry +
          " lies in this run's temporary folder");
      return none;
    }
    std::string digest = fileDigest(path);
    if (digest.empty()) {
      log("none, since " + entry + " cannot be read");
      return none;
    }
    char stamp[96];
    snprintf(stamp, sizeof stamp, "%lld %lld.%09ld", static_cast<long long>(st.st_size),
             static_cast<long long>(st.st_mtim.tv_sec), static_cast<long>(st.st_mtim.tv_nsec));
    addField(material, path);
    addField(material, stamp);
    addField(material, digest);
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (relative) addField(material, cwd);
  for (const char* variable : kOptionVariables) {
    const char* value = getenv(variable);
    addField(material, value == nullptr ? std::string("-") : "=" + std::string(value));
  }
  std::string key = textDigest(material);

  std::vector<std::string> quiet = {"-Xlog:cds*=off"};
  if (feature >= 25) quiet.push_back("-Xlog:aot*=off");
  std::string folder = archiveFolder(true);
  if (folder.empty()) {
    log("none, since there is no usable cache folder");
    return none;
  }
  // The JVM reads a ':' in -XX:SharedArchiveFile as a list of archives.
  if (folder.find(':') != std::string::npos) {
    log("none, since the path of the cache folder " + folder + " holds a ':'");
    return none;
  }
  std::string base = folder + "/" + key;
  std::string archive = base + kArchiveSuffix;
  if (isGoodArchive(archive, true)) {
    log("using the archive " + archive);
    std::vector<std::string> options = {"-Xshare:auto", "-XX:SharedArchiveFile=" + archive};
    options.insert(options.end(), quiet.begin(), quiet.end());
    return options;
  }
  struct stat st;
  if (lstat(archive.c_str(), &st) == 0) {
    log("removing the damaged archive " + archive);
    unlink(archive.c_str());
  }
  // A failure mark holds for a while, not for good: the cause (a full disk
  // for a moment) may have gone. It is never refreshed here.
  if (lstat((base + kFailedSuffix).c_str(), &st) == 0) {
    if (st.st_mtime + classDataFailureLifetime > time(nullptr)) {
      log("none, since the Java could not make the archive " + archive + " before");
      return none;
    }
    unlink((base + kFailedSuffix).c_str());
  }
  m_lockFd = lockKey(base + kLockSuffix);
  if (m_lockFd < 0) {
    log("none, since the archive " + archive + " is being made by another run, or cannot be made");
    return none;
  }
  m_classList = makeTemporaryFile(base + kClassListInfix);
  if (m_classList.empty()) {
    dropRecording();
    log("none, since no file can be made in " + folder);
    return none;
  }
  m_folder = folder;
  m_key = key;
  m_javaExe = exe;
  m_classPath = line.classPath;
  m_workingDirectory = relative ? cwd : std::string();
  std::vector<std::string> heap;
  for (size_t i = 0; i < 3; ++i) {
    if (i == 2) heap.insert(heap.end(), line.options.begin(), line.options.end());
    heap.insert(heap.end(), variableOptions[i].begin(), variableOptions[i].end());
  }
  m_dumpOptions = archiveRelevantOptions(heap);
  log("recording the classes of this run for the archive " + archive);
  std::vector<std::string> options = {"-XX:DumpLoadedClassList=" + m_classList};
  options.insert(options.end(), quiet.begin(), quiet.end());
  return options;
}

void ClassDataArchives::commandEnded(long exitCode) {
  if (m_classList.empty()) return;
  struct stat st;
  if (PlatformImpl::isCanceled() || exitCode >= 128 || exitCode < 0 ||
      lstat(m_classList.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
    log("no archive from this run (it was ended, or no class was recorded)");
    dropRecording();
    return;
  }
  std::string folder = m_folder, key = m_key, classList = m_classList, javaExe = m_javaExe;
  std::vector<std::string> options = m_dumpOptions;
  std::string classPath = m_classPath, workingDirectory = m_workingDirectory;
  bool started = startDetached(
      [=]() { makeArchive(folder, key, classList, javaExe, options, classPath, workingDirectory); },
      m_lockFd, "bvlauncher-cds");
  if (started) {
    log("the archive " + folder + "/" + key + kArchiveSuffix + " is being made in the background");
    // The detached process holds the list and the lock now.
    m_classList.clear();
  }
  dropRecording();
}

unsigned long long classDataArchiveBudget() {
  const char* text = getenv("BV_CDS_BUDGET_MB");
  if (text == nullptr || text[0] == '\0') return defaultClassDataArchiveBudget;
  char* end = nullptr;
  errno = 0;
  unsigned long long mebibytes = strtoull(text, &end, 10);
  if (*end != '\0' || errno != 0 || text[0] < '0' || text[0] > '9' || mebibytes > (1ULL << 20)) {
    return defaultClassDataArchiveBudget;
  }
  return mebibytes << 20;
}

void ClassDataArchives::prune(const std::string& folder, time_t now, const std::string& ownKey,
                              unsigned long long budget) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  struct KeyFiles {
    std::vector<std::string> names;
    time_t lastUse = 0;
    bool kept = false;  // has an archive or a failure mark
    time_t newest = 0;
    unsigned long long bytes = 0;  // of its archive
  };
  std::map<std::string, KeyFiles> keys;
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    size_t dot = name.find('.');
    if (name[0] == '.' || dot == std::string::npos || dot == 0) continue;
    struct stat st;
    if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    KeyFiles& files = keys[name.substr(0, dot)];
    files.names.push_back(name);
    std::string suffix = name.substr(dot);
    files.newest = std::max(files.newest, st.st_mtime);
    if (suffix == kArchiveSuffix) files.bytes = static_cast<unsigned long long>(st.st_size);
    if (suffix == kArchiveSuffix || suffix == kFailedSuffix) {
      files.kept = true;
      files.lastUse = std::max(files.lastUse, st.st_mtime);
    }
  }
  closedir(dir);
  std::vector<std::pair<time_t, std::string>> byUse;
  for (const auto& item : keys) {
    if (item.second.kept) byUse.emplace_back(item.second.lastUse, item.first);
  }
  std::sort(byUse.rbegin(), byUse.rend());
  std::map<std::string, bool> expired;
  unsigned long long total = 0;
  for (size_t i = 0; i < byUse.size(); ++i) {
    total += keys[byUse[i].second].bytes;
    expired[byUse[i].second] = i >= maxClassDataArchives || byUse[i].first + classDataArchiveLifetime < now ||
                               (i > 0 && total > budget);
  }
  for (const auto& item : keys) {
    const KeyFiles& files = item.second;
    bool expiredKey = files.kept && expired[item.first];
    bool leftovers = !files.kept && files.newest + kLeftoverAge < now;
    bool unfinished = false;
    for (const std::string& name : files.names) {
      unfinished = unfinished || name.find(kClassListInfix) != std::string::npos ||
                   name.find(kTemporaryArchiveInfix) != std::string::npos;
    }
    if (!expiredKey && !leftovers && !unfinished) continue;
    std::string base = folder + "/" + item.first;
    bool own = item.first == ownKey;
    int lock = own ? -1 : lockKey(base + kLockSuffix);
    if (lock < 0 && !own) continue;  // a process works on it
    if (own) expiredKey = leftovers = false;
    for (const std::string& name : files.names) {
      bool temporary = name.find(kClassListInfix) != std::string::npos ||
                       name.find(kTemporaryArchiveInfix) != std::string::npos;
      if (expiredKey || leftovers || temporary) unlinkat(AT_FDCWD, (folder + "/" + name).c_str(), 0);
    }
    if (expiredKey || leftovers) unlink((base + kLockSuffix).c_str());
    if (lock >= 0) close(lock);
  }
}
