#include "tools/runtime_pack.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zstd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

#include "archive/archive_format.h"
#include "archive/runtime_archive.h"
#include "jvm/property_condition.h"
#include "jvm/version_compare.h"
#include "foundation/launcher_exception.h"
#include "tagfile/tag_file.h"

extern char** environ;

namespace {

std::string systemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + strerror(errno);
}

// Compresses the member stream into the file as it comes and digests it.
class RuntimeWriter {
 public:
  RuntimeWriter(const std::string& out, int level) : m_path(out), m_cctx(ZSTD_createCCtx()) {
    m_fd = open(out.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0) throw PackError(systemError("cannot create", out));
    if (m_cctx == nullptr) throw PackError("zstd cannot start");
    ZSTD_CCtx_setParameter(m_cctx, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(m_cctx, ZSTD_c_checksumFlag, 1);
    m_out.resize(ZSTD_CStreamOutSize());
    XXH3_128bits_reset(&m_state);
    // The header's place; its digest is known at the end.
    std::string zeros(runtimeHeaderSize, '\0');
    writeRaw(zeros.data(), zeros.size());
  }
  ~RuntimeWriter() {
    ZSTD_freeCCtx(m_cctx);
    if (m_fd >= 0) close(m_fd);
  }
  RuntimeWriter(const RuntimeWriter&) = delete;
  RuntimeWriter& operator=(const RuntimeWriter&) = delete;

  void add(const char* data, size_t n) {
    XXH3_128bits_update(&m_state, data, n);
    ZSTD_inBuffer input = {data, n, 0};
    while (input.pos < input.size) {
      ZSTD_outBuffer output = {&m_out[0], m_out.size(), 0};
      size_t rc = ZSTD_compressStream2(m_cctx, &output, &input, ZSTD_e_continue);
      if (ZSTD_isError(rc)) throw PackError(std::string("zstd: ") + ZSTD_getErrorName(rc));
      writeRaw(m_out.data(), output.pos);
    }
  }
  void add(const std::string& bytes) { add(bytes.data(), bytes.size()); }

  void finish(int use) {
    ZSTD_inBuffer input = {nullptr, 0, 0};
    size_t left;
    do {
      ZSTD_outBuffer output = {&m_out[0], m_out.size(), 0};
      left = ZSTD_compressStream2(m_cctx, &output, &input, ZSTD_e_end);
      if (ZSTD_isError(left)) throw PackError(std::string("zstd: ") + ZSTD_getErrorName(left));
      writeRaw(m_out.data(), output.pos);
    } while (left != 0);
    XXH128_hash_t digest = XXH3_128bits_digest(&m_state);
    RuntimeHeader header;
    header.digestHigh = digest.high64;
    header.digestLow = digest.low64;
    header.use = static_cast<RuntimeUse>(use);
    std::string bytes = encodeRuntimeHeader(header);
    if (pwrite(m_fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()) || close(m_fd) != 0) {
      m_fd = -1;
      throw PackError(systemError("cannot write", m_path));
    }
    m_fd = -1;
  }

 private:
  void writeRaw(const char* data, size_t n) {
    while (n > 0) {
      ssize_t written = write(m_fd, data, n);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) throw PackError(systemError("cannot write", m_path));
      data += written;
      n -= static_cast<size_t>(written);
    }
  }

  std::string m_path;
  int m_fd;
  ZSTD_CCtx* m_cctx;
  std::string m_out;
  XXH3_state_t m_state;
};

std::string memberHead(char kind, int mode, const std::string& name) {
  std::string head;
  appendRuntimeMemberHead(head, kind, mode, name);
  return head;
}

// Walks one image into the writer.
class ImageWalker {
 public:
  ImageWalker(const std::string& root, RuntimeWriter& writer) : m_root(root), m_writer(writer) {
    char resolved[PATH_MAX];
    if (realpath(root.c_str(), resolved) == nullptr) throw PackError(systemError("cannot read", root));
    m_realRoot = resolved;
  }

  PackedRuntime walk() {
    folder(m_root, std::string(), 0);
    return m_result;
  }

 private:
  // The members of the folder at path, named under prefix, depth folders
  // below the top.
  void folder(const std::string& path, const std::string& prefix, int depth) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) throw PackError(systemError("cannot read", path));
    std::pair<dev_t, ino_t> id(st.st_dev, st.st_ino);
    if (!m_open.insert(id).second) throw PackError(path + " leads back into a folder above it");
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) throw PackError(systemError("cannot read", path));
    std::vector<std::string> names;
    while (struct dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) member(path + "/" + name, prefix.empty() ? name : prefix + "/" + name, depth);
    m_open.erase(id);
  }

  void member(const std::string& path, const std::string& name, int depth) {
    if (!isSafeRuntimeName(name)) throw PackError("the runtime holds a name the launcher cannot unpack: " + path);
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
        ++m_result.files;
        std::string link;
        appendRuntimeMember(link, 'l', 0777, name, relative);
        m_writer.add(link);
        return;
      }
      // Outside: what it leads to is copied in.
      if (stat(path.c_str(), &st) != 0) throw PackError(systemError("the link leads nowhere:", path));
    }
    int mode = static_cast<int>(st.st_mode & 0777);
    ++m_result.files;
    if (S_ISDIR(st.st_mode)) {
      m_writer.add(memberHead('d', mode, name));
      folder(path, name, depth + 1);
    } else if (S_ISREG(st.st_mode)) {
      file(path, name, mode);
    } else {
      throw PackError(path + " is not a file, folder or link");
    }
  }

  void file(const std::string& path, const std::string& name, int mode) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw PackError(systemError("cannot read", path));
    struct stat st;
    if (fstat(fd, &st) != 0) {
      close(fd);
      throw PackError(systemError("cannot read", path));
    }
    std::string head = memberHead('f', mode, name);
    uint64_t size = static_cast<uint64_t>(st.st_size);
    for (int shift = 56; shift >= 0; shift -= 8) head += static_cast<char>((size >> shift) & 0xFF);
    m_writer.add(head);
    std::vector<char> buffer(1 << 20);
    uint64_t left = size;
    while (left > 0) {
      ssize_t got = read(fd, buffer.data(), left < buffer.size() ? static_cast<size_t>(left) : buffer.size());
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        close(fd);
        throw PackError(got < 0 ? systemError("cannot read", path) : path + " changed while it was being packed");
      }
      m_writer.add(buffer.data(), static_cast<size_t>(got));
      left -= static_cast<uint64_t>(got);
    }
    close(fd);
    m_result.bytes += static_cast<long>(size);
  }

  std::string m_root;
  std::string m_realRoot;
  RuntimeWriter& m_writer;
  PackedRuntime m_result;
  std::set<std::pair<dev_t, ino_t>> m_open;
};

// Runs argv (argv[0] a path) and returns its exit status; its standard
// output goes to out, its standard error to err.
int runTool(const std::vector<std::string>& argv, std::string& out, std::string& err) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0) throw PackError(std::string("cannot start ") + argv[0] + ": " + strerror(errno));
  if (pipe(errPipe) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    throw PackError(std::string("cannot start ") + argv[0] + ": " + strerror(errno));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  posix_spawn_file_actions_addclose(&actions, outPipe[0]);
  posix_spawn_file_actions_addclose(&actions, errPipe[0]);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  if (rc != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    throw PackError("cannot start " + argv[0] + ": " + strerror(rc));
  }
  // Both outputs to their ends, whichever writes.
  char buffer[4096];
  struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? out : err).append(buffer, static_cast<size_t>(got));
      }
    }
  }
  for (const struct pollfd& entry : fds) {
    if (entry.fd >= 0) close(entry.fd);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool isExecutable(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The JDK home whose bin/jlink and bin/jdeps to run.
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

PackedRuntime packRuntimeImage(const std::string& dir, int use, int level, const std::string& out) {
  RuntimeWriter writer(out, level);
  ImageWalker walker(dir, writer);
  PackedRuntime result = walker.walk();
  std::string end;
  appendRuntimeEnd(end);
  writer.add(end);
  writer.finish(use);
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

std::string jlinkRuntime(const std::vector<std::string>& jars, const std::vector<std::string>& addModules,
                         const std::string& outDir, std::string* jdkHome) {
  std::string jdk = findJdk();
  if (jdkHome != nullptr) *jdkHome = jdk;
  std::vector<std::string> jdeps = {jdk + "/bin/jdeps", "--print-module-deps", "--ignore-missing-deps",
                                    "--multi-release", "base"};
  std::string classPath;
  for (const std::string& jar : jars) classPath += (classPath.empty() ? "" : ":") + jar;
  jdeps.push_back("--class-path");
  jdeps.push_back(classPath);
  for (const std::string& jar : jars) jdeps.push_back(jar);
  std::string out, err;
  if (runTool(jdeps, out, err) != 0) {
    throw PackError("jdeps could not list the modules that the jars need:\n" + trimmed(out + "\n" + err));
  }
  std::string modules = trimmed(out);
  // The last line holds the list; jdeps may warn before it.
  size_t lastLine = modules.find_last_of('\n');
  if (lastLine != std::string::npos) modules = trimmed(modules.substr(lastLine + 1));
  if (modules.empty() || modules.find_first_of(" \t") != std::string::npos) {
    throw PackError("jdeps gave no module list: " + trimmed(out + "\n" + err));
  }
  for (const std::string& extra : addModules) modules += "," + extra;

  std::vector<std::string> jlink = {jdk + "/bin/jlink", "--add-modules", modules, "--strip-debug",
                                    "--no-man-pages", "--no-header-files", "--output", outDir};
  out.clear();
  err.clear();
  if (runTool(jlink, out, err) != 0) {
    throw PackError("jlink could not make the runtime:\n" + trimmed(out + "\n" + err));
  }
  return modules;
}

void removeTree(const std::string& path) {
  nftw(
      path.c_str(),
      [](const char* file, const struct stat*, int, struct FTW*) { return remove(file) == 0 ? 0 : 0; }, 16,
      FTW_DEPTH | FTW_PHYS);
}
