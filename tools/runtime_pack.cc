#include "tools/runtime_pack.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <memory>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <utility>

#include "archive/archive_format.h"
#include "archive/runtime_archive.h"
#include "archive/runtime_entry_builder.h"
#include "jvm/property_condition.h"
#include "jvm/version_compare.h"
#include "foundation/launcher_exception.h"
#include "platform/cache_store.h"
#include "platform/stale_temp.h"
#include "tagfile/tag_file.h"
#include "tools/class_version.h"
#include "tools/process_run.h"

namespace {

std::string systemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + strerror(errno);
}

// The names in the folder at path but "." and "..", in name order; false
// when it cannot be read.
bool folderNames(const std::string& path, std::vector<std::string>& names) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return true;
}

// A member of the image as the walk finds it; a file's bytes are read
// when its pieces are compressed.
struct ImageMember {
  char kind;
  int mode;
  std::string name;
  std::string target;  // a link's
  std::string path;    // a file's
  uint64_t size = 0;   // a file's
};

// Walks one image into its member list, in name order.
class ImageWalker {
 public:
  explicit ImageWalker(const std::string& root) : m_root(root) {
    char resolved[PATH_MAX];
    if (realpath(root.c_str(), resolved) == nullptr) throw PackError(systemError("cannot read", root));
    m_realRoot = resolved;
  }

  std::vector<ImageMember> walk() {
    folder(m_root, std::string(), 0);
    return m_members;
  }

 private:
  // The members of the folder at path, named under prefix, depth folders
  // below the top.
  void folder(const std::string& path, const std::string& prefix, int depth) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) throw PackError(systemError("cannot read", path));
    std::pair<dev_t, ino_t> id(st.st_dev, st.st_ino);
    if (!m_open.insert(id).second) throw PackError(path + " leads back into a folder above it");
    std::vector<std::string> names;
    if (!folderNames(path, names)) throw PackError(systemError("cannot read", path));
    // A folder taken from the launchers' cache, or from a run's temporary
    // folder, holds the launcher's own marker at its top: it is no part of
    // what is packed, and a launcher refuses to unpack it.
    if (depth == 0) {
      names.erase(std::remove_if(names.begin(), names.end(),
                                 [](const std::string& name) {
                                   return name == cacheMarkerName || name == kOwnerMarkerName;
                                 }),
                  names.end());
    }
    for (const std::string& name : names) member(path + "/" + name, prefix.empty() ? name : prefix + "/" + name, depth);
    m_open.erase(id);
  }

  void member(const std::string& path, const std::string& name, int depth) {
    if (!isSafeRuntimeName(name)) throw PackError("the folder holds a name the launcher cannot unpack: " + path);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) throw PackError(systemError("cannot read", path));
    if (S_ISLNK(st.st_mode)) {
      char resolved[PATH_MAX];
      if (realpath(path.c_str(), resolved) == nullptr) throw PackError(systemError("the link leads nowhere:", path));
      std::string target = resolved;
      if (target == m_realRoot) throw PackError("the link " + path + " leads to the runtime's own folder");
      if (target.compare(0, m_realRoot.size() + 1, m_realRoot + "/") == 0) {
        // Inside: up to the top, then down to the target.
        std::string relative;
        for (int i = 0; i < depth; ++i) relative += "../";
        relative += target.substr(m_realRoot.size() + 1);
        if (static_cast<long>(relative.size()) > maxRuntimeNameLength) {
          throw PackError("the link " + path + " leads to a path longer than the launcher unpacks");
        }
        m_members.push_back(ImageMember{'l', 0777, name, relative, std::string(), 0});
        return;
      }
      // Outside: what it leads to is copied in.
      if (stat(path.c_str(), &st) != 0) throw PackError(systemError("the link leads nowhere:", path));
    }
    int mode = static_cast<int>(st.st_mode & 0777);
    if (S_ISDIR(st.st_mode)) {
      m_members.push_back(ImageMember{'d', mode, name, std::string(), std::string(), 0});
      folder(path, name, depth + 1);
    } else if (S_ISREG(st.st_mode)) {
      m_members.push_back(ImageMember{'f', mode, name, std::string(), path, static_cast<uint64_t>(st.st_size)});
    } else {
      throw PackError(path + " is not a file, folder or link");
    }
  }

  std::string m_root;
  std::string m_realRoot;
  std::vector<ImageMember> m_members;
  std::set<std::pair<dev_t, ino_t>> m_open;
};

// One piece to compress: a part of a file.
struct PieceTask {
  const ImageMember* file;
  uint64_t offset;
  size_t size;
  std::string frame;
};

// Reads and compresses one piece into its frame; throws PackError.
void compressPiece(PieceTask& task, int level, std::vector<char>& buffer) {
  int fd = open(task.file->path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw PackError(systemError("cannot read", task.file->path));
  size_t done = 0;
  while (done < task.size) {
    ssize_t got = pread(fd, buffer.data() + done, task.size - done, static_cast<off_t>(task.offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      close(fd);
      throw PackError(got < 0 ? systemError("cannot read", task.file->path)
                              : task.file->path + " changed while it was being packed");
    }
    done += static_cast<size_t>(got);
  }
  close(fd);
  try {
    task.frame = compressRuntimePiece(buffer.data(), task.size, level);
  } catch (const std::runtime_error& e) {
    throw PackError(e.what());
  }
}

// Compresses every piece, on as many threads as the machine has processors;
// progress (when set) is told the bytes done and the total, on this thread.
void compressPieces(std::vector<PieceTask>& tasks, int level,
                    const std::function<void(uint64_t, uint64_t)>& progress) {
  std::atomic<size_t> next(0);
  std::atomic<uint64_t> doneBytes(0);
  uint64_t totalBytes = 0;
  for (const PieceTask& task : tasks) totalBytes += task.size;
  std::thread::id self = std::this_thread::get_id();
  std::mutex mutex;
  std::string error;
  auto work = [&]() {
    std::vector<char> buffer(runtimeChunkSize);
    for (;;) {
      size_t index = next.fetch_add(1);
      if (index >= tasks.size()) return;
      if (pendingSignal() != 0) {
        std::lock_guard<std::mutex> lock(mutex);
        if (error.empty()) error = "interrupted";
        next.store(tasks.size());
        return;
      }
      try {
        compressPiece(tasks[index], level, buffer);
        doneBytes += tasks[index].size;
        if (progress && std::this_thread::get_id() == self) progress(doneBytes.load(), totalBytes);
      } catch (const PackError& e) {
        std::lock_guard<std::mutex> lock(mutex);
        if (error.empty()) error = e.what();
        next.store(tasks.size());
        return;
      }
    }
  };
  unsigned threads = std::thread::hardware_concurrency();
  std::vector<std::thread> workers;
  for (unsigned i = 1; i < threads && i < tasks.size(); ++i) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
  if (!error.empty()) throw PackError(error);
  if (progress) progress(totalBytes, totalBytes);
}

bool isExecutable(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string findJdk() {
  const char* javaHome = getenv("JAVA_HOME");
  if (javaHome != nullptr && javaHome[0] != '\0' && isExecutable(std::string(javaHome) + "/bin/jlink")) {
    return javaHome;
  }
  const char* path = getenv("PATH");
  std::string dirs = path != nullptr ? path : "";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t colon = dirs.find(':', start);
    std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!dir.empty() && isExecutable(dir + "/jlink")) {
      char resolved[PATH_MAX];
      if (realpath((dir + "/jlink").c_str(), resolved) != nullptr) {
        std::string home = resolved;
        size_t slash = home.rfind("/bin/jlink");
        if (slash != std::string::npos && slash + 10 == home.size()) return home.substr(0, slash);
      }
    }
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  throw PackError("--jlink needs a JDK with jlink and jdeps: none in JAVA_HOME or on PATH");
}

namespace {

std::string trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  size_t end = text.find_last_not_of(" \t\r\n");
  return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

}  // namespace

std::string runtimeJavaVersion(const std::string& dir) {
  if (!isExecutable(dir + "/bin/java")) {
    throw PackError(dir + " is not a Java runtime image: it has no bin/java");
  }
  FILE* file = fopen((dir + "/release").c_str(), "r");
  if (file == nullptr) throw PackError(dir + " is not a Java runtime image: it has no release file");
  char line[4096];
  std::string version;
  while (fgets(line, sizeof line, file) != nullptr) {
    std::string text = line;
    if (text.compare(0, 13, "JAVA_VERSION=") != 0) continue;
    version = trimmed(text.substr(13));
    if (version.size() >= 2 && version.front() == '"' && version.back() == '"') {
      version = version.substr(1, version.size() - 2);
    }
  }
  fclose(file);
  if (version.empty() || !isComparableVersion(SString(version.c_str()))) {
    throw PackError(dir + "/release gives no JAVA_VERSION");
  }
  return version;
}

std::string specificationVersionOf(const std::string& javaVersion) {
  size_t end = javaVersion.find_first_not_of("0123456789");
  std::string first = javaVersion.substr(0, end);
  if (first == "1" && end != std::string::npos && javaVersion[end] == '.') {
    size_t next = javaVersion.find_first_not_of("0123456789", end + 1);
    return "1." + javaVersion.substr(end + 1, next == std::string::npos ? std::string::npos : next - end - 1);
  }
  return first;
}

PackedRuntime packRuntimeImage(const std::string& dir, int use, int level, const std::string& out,
                               const std::vector<RuntimeAnswer>& answers,
                               const std::function<void(uint64_t, uint64_t)>& progress) {
  std::vector<ImageMember> members = ImageWalker(dir).walk();
  std::vector<PieceTask> tasks;
  PackedRuntime result;
  for (const ImageMember& member : members) {
    ++result.files;
    if (member.kind != 'f') continue;
    result.bytes += static_cast<long>(member.size);
    for (uint64_t done = 0; done < member.size; done += runtimeChunkSize) {
      size_t n = member.size - done < static_cast<uint64_t>(runtimeChunkSize) ? static_cast<size_t>(member.size - done)
                                                                           : static_cast<size_t>(runtimeChunkSize);
      tasks.push_back(PieceTask{&member, done, n, std::string()});
    }
  }
  compressPieces(tasks, level, progress);

  RuntimeEntryBuilder builder(answers);
  size_t task = 0;
  for (const ImageMember& member : members) {
    if (member.kind == 'd') {
      builder.addFolder(member.mode, member.name);
    } else if (member.kind == 'l') {
      builder.addLink(member.name, member.target);
    } else {
      std::vector<std::string> pieces;
      while (task < tasks.size() && tasks[task].file == &member) pieces.push_back(std::move(tasks[task++].frame));
      builder.addFile(member.mode, member.name, member.size, pieces);
    }
  }
  if (builder.table().size() + 1 > static_cast<size_t>(maxRuntimeTableSize)) {
    throw PackError("the folder " + dir + " has more members than a launcher holds");
  }
  std::string entry = builder.finish(static_cast<RuntimeUse>(use));
  int fd = open(out.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) throw PackError(systemError("cannot create", out));
  size_t written = 0;
  while (written < entry.size()) {
    ssize_t n = write(fd, entry.data() + written, entry.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(fd);
      throw PackError(systemError("cannot write", out));
    }
    written += static_cast<size_t>(n);
  }
  if (close(fd) != 0) throw PackError(systemError("cannot write", out));
  return result;
}

void checkRuntimeFloor(const PackJob& job, const std::string& runtimeDir, const std::string& javaVersion) {
  SString spec(specificationVersionOf(javaVersion).c_str());
  // Each condition that turns the runtime down, with the files that hold it.
  std::vector<std::pair<std::string, std::string>> refusals;
  bool anyFile = false;
  for (const PackEntry& entry : job.entries) {
    if (entry.type != FILE_JVM || entry.bytes != nullptr) continue;
    anyFile = true;
    std::unique_ptr<TagFile> tags;
    try {
      tags.reset(new TagFile(SString(entry.path.c_str())));
    } catch (const LauncherException&) {
      continue;  // the payload check reports it
    }
    const StringDeque* conditions = tags->getValue("JVM_PROPERTIES");
    bool accepted = true;
    for (long i = 0; conditions != nullptr && i < conditions->size(); ++i) {
      SString name, value;
      PropertyOperator op;
      if (!parsePropertyCondition(conditions->at(i), name, op, value)) continue;
      if (name.compare("java.specification.version") != 0 || propertySatisfies(spec, op, value)) continue;
      accepted = false;
      std::string condition = conditions->at(i).c_str();
      auto known = std::find_if(refusals.begin(), refusals.end(),
                                [&](const std::pair<std::string, std::string>& r) { return r.first == condition; });
      if (known == refusals.end()) {
        refusals.emplace_back(condition, entry.name);
      } else {
        known->second += ", " + entry.name;
      }
    }
    if (accepted) return;
  }
  if (!anyFile) {
    throw PackError("a Java runtime needs JVM description files (jvm entries) to be checked against");
  }
  std::string wanted;
  for (const auto& refusal : refusals) {
    wanted += (wanted.empty() ? "" : "; ") + refusal.first + " (" + refusal.second + ")";
  }
  throw PackError("the Java runtime " + runtimeDir + " is Java " + javaVersion +
                  " (JAVA_VERSION in its release file), but the JVM files need " + wanted);
}

namespace {

// A tool of the JDK run to its end: PackError with its output when it
// fails.
ToolResult runJdkTool(const std::vector<std::string>& argv, int timeoutSeconds, size_t maxOutput,
                      const std::function<void()>& tick = std::function<void()>()) {
  ToolLimits limits;
  limits.timeoutSeconds = timeoutSeconds;
  limits.maxOutput = maxOutput;
  limits.tick = tick;
  return runFor(argv, limits);
}

std::vector<std::string> splitList(const std::string& text, char separator) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string item = trimmed(text.substr(start, end - start));
    if (!item.empty()) items.push_back(item);
    start = end + 1;
  }
  return items;
}

// The modules of the JDK: `jimage list` of its lib/modules, else (no
// packages then) `java --list-modules`; none when neither answers.
JdkModules jdkModules(const std::string& jdk, std::string& why) {
  ToolResult listed = runJdkTool({jdk + "/bin/jimage", "list", jdk + "/lib/modules"}, 300, 256u << 20);
  if (listed.status == 0) return parseJimageList(listed.out);
  why = listed.status < 0 ? listed.why : "jimage ended with status " + std::to_string(listed.status);
  JdkModules modules;
  ToolResult names = runJdkTool({jdk + "/bin/java", "--list-modules"}, 120, 1u << 20);
  if (names.status == 0) {
    for (const std::string& line : splitList(names.out, '\n')) modules.names.insert(line.substr(0, line.find('@')));
  }
  return modules;
}

// The MODULES of the release file of the runtime dir.
std::set<std::string> releaseModules(const std::string& dir) {
  std::set<std::string> modules;
  FILE* file = fopen((dir + "/release").c_str(), "r");
  if (file == nullptr) return modules;
  char line[65536];
  while (fgets(line, sizeof line, file) != nullptr) {
    std::string text = line;
    if (text.compare(0, 8, "MODULES=") != 0) continue;
    text = trimmed(text.substr(8));
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    for (const std::string& module : splitList(text, ' ')) modules.insert(module);
  }
  fclose(file);
  return modules;
}

}  // namespace

JlinkOutcome jlinkRuntime(const JlinkRequest& request) {
  JlinkOutcome outcome;
  std::string jdk = findJdk();
  outcome.jdk = jdk;
  std::vector<std::string> jdeps = {jdk + "/bin/jdeps", "--print-module-deps", "--ignore-missing-deps",
                                    "--multi-release", "base"};
  std::string classPath;
  for (const std::string& jar : request.jars) classPath += (classPath.empty() ? "" : ":") + jar;
  jdeps.push_back("--class-path");
  jdeps.push_back(classPath);
  for (const std::string& jar : request.jars) jdeps.push_back(jar);
  if (request.stage) request.stage("jdeps");
  ToolResult found = runJdkTool(jdeps, 600, 16u << 20, request.tick);
  if (found.status != 0) {
    throw PackError("jdeps could not list the modules that the jars need:\n" +
                    (found.status < 0 ? found.why : trimmed(found.out + "\n" + found.err)));
  }
  std::string modules = trimmed(found.out);
  // The last line holds the list; jdeps may warn before it.
  size_t lastLine = modules.find_last_of('\n');
  if (lastLine != std::string::npos) modules = trimmed(modules.substr(lastLine + 1));
  if (modules.empty() || modules.find_first_of(" \t") != std::string::npos) {
    throw PackError("jdeps gave no module list: " + trimmed(found.out + "\n" + found.err));
  }
  ModuleSources sources;
  sources.jdeps = splitList(modules, ',');
  for (const std::string& list : request.addModules) {
    for (const std::string& module : splitList(list, ',')) sources.requested.push_back(module);
  }
  sources.everyModule = request.allModules;
  sources.byName = request.byNameModules;
  sources.extra = request.extra;
  if (request.stage) request.stage("modules");
  std::string why;
  JdkModules available = jdkModules(jdk, why);
  if (!why.empty()) outcome.notes.push_back("the JDK's packages are unknown (" + why + "): the jars are not scanned for modules they name");
  if (available.names.empty()) outcome.notes.push_back("the JDK's modules are unknown: no provider modules are added");
  outcome.list = chooseJlinkModules(sources, available);

  std::vector<std::string> jlink = {jdk + "/bin/jlink", "--add-modules", outcome.list.text(), "--strip-debug",
                                    "--no-man-pages", "--no-header-files", "--output", request.outDir};
  // A jlink that can (Java 17 and later) also makes the runtime's default
  // class-data archive: every JVM started from it, the first included,
  // starts faster, wherever the runtime is unpacked.
  ToolResult plugins = runJdkTool({jdk + "/bin/jlink", "--list-plugins"}, 120, 1u << 20);
  if (plugins.status == 0 && plugins.out.find("--generate-cds-archive") != std::string::npos) {
    jlink.insert(jlink.end() - 2, "--generate-cds-archive");
  }
  if (request.stage) request.stage("jlink");
  ToolResult made = runJdkTool(jlink, 3600, 16u << 20, request.tick);
  if (made.status != 0) {
    throw PackError("jlink could not make the runtime:\n" +
                    (made.status < 0 ? made.why : trimmed(made.out + "\n" + made.err)));
  }
  // The archive for heaps of 32 GB and more (no compressed object
  // pointers) is left out: it would add a sixth to what every first run
  // unpacks, for a few applications that start a little slower.
  unlink((request.outDir + "/lib/server/classes_nocoops.jsa").c_str());

  // What the jars name of the JDK that the runtime lacks.
  if (!available.packageModule.empty()) {
    std::map<std::string, std::string> referenced;
    for (const std::string& jar : request.jars) {
      throwIfInterrupted();
      try {
        JarClasses classes = readJarClasses(jar, true);
        for (const auto& item : classes.referencedPackages) {
          referenced.emplace(item.first, item.second + " in " + jar);
        }
      } catch (const PackError& e) {
        outcome.notes.push_back(std::string(e.what()) + "; its class names are not scanned");
      }
    }
    outcome.unlisted = unlistedModules(referenced, available, releaseModules(request.outDir));
  }
  return outcome;
}

std::vector<std::string> jarsInFolder(const std::string& folder, int depth) {
  std::vector<std::string> jars, names;
  if (!folderNames(folder, names)) return jars;
  for (const std::string& name : names) {
    std::string path = folder + "/" + name;
    struct stat st, own;
    if (stat(path.c_str(), &st) != 0 || lstat(path.c_str(), &own) != 0) continue;
    if (S_ISDIR(st.st_mode) && !S_ISLNK(own.st_mode) && depth < 32) {
      for (const std::string& jar : jarsInFolder(path, depth + 1)) {
        if (jars.size() < 10000) jars.push_back(jar);
      }
    } else if (S_ISREG(st.st_mode) && name.size() > 4 && name.compare(name.size() - 4, 4, ".jar") == 0 &&
               jars.size() < 10000) {
      jars.push_back(path);
    }
  }
  return jars;
}

void removeTree(const std::string& path) {
  nftw(
      path.c_str(),
      [](const char* file, const struct stat*, int, struct FTW*) { return remove(file) == 0 ? 0 : 0; }, 16,
      FTW_DEPTH | FTW_PHYS);
}
