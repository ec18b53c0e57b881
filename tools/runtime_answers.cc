#include "tools/runtime_answers.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "jvm/jvm_file.h"
#include "tools/process_run.h"

// The verification archive built into bvpack (generated from
// java/Verify.jar by tools/embed_file.cmake).
extern const unsigned char kBuiltInVerifyJar[];
extern const unsigned long kBuiltInVerifyJarSize;

namespace {

// A private folder for the class, removed with what it holds.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/bvpack-ask.XXXXXX";
    if (mkdtemp(&pattern[0]) != nullptr) m_path = pattern;
  }
  ~ScratchFolder() {
    if (m_path.empty()) return;
    unlink((m_path + "/Verify.jar").c_str());
    rmdir(m_path.c_str());
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

bool writeNewFile(const std::string& path, const unsigned char* bytes, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  while (size > 0) {
    ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(fd);
      return false;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return close(fd) == 0;
}

}  // namespace

const std::vector<std::string>& recordedRuntimeProperties() {
  static const std::vector<std::string> names = {
      "java.version",           "java.version.date",           "java.vendor",
      "java.vendor.url",        "java.vendor.version",         "java.specification.name",
      "java.specification.vendor", "java.specification.version", "java.vm.name",
      "java.vm.vendor",         "java.vm.version",             "java.vm.specification.name",
      "java.vm.specification.vendor", "java.vm.specification.version", "java.runtime.name",
      "java.runtime.version",   "java.class.version",          "os.name",
      "os.arch",                "sun.arch.data.model",         "file.separator",
      "path.separator",
  };
  return names;
}

std::vector<RuntimeAnswer> askRuntime(const std::string& dir, std::string& why, int timeoutSeconds) {
  why.clear();
  ScratchFolder scratch;
  if (scratch.path().empty()) {
    why = std::string("cannot make a temporary folder: ") + strerror(errno);
    return {};
  }
  std::string jar = scratch.path() + "/Verify.jar";
  if (!writeNewFile(jar, kBuiltInVerifyJar, kBuiltInVerifyJarSize)) {
    why = "cannot write " + jar + ": " + strerror(errno);
    return {};
  }
  std::vector<std::string> argv = {dir + "/bin/java", "-cp", jar, "Verify"};
  const std::vector<std::string>& names = recordedRuntimeProperties();
  argv.insert(argv.end(), names.begin(), names.end());
  // Only what a JVM needs to start: no option variables, no CLASSPATH.
  std::vector<std::string> env = {"PATH=/usr/bin:/bin", "LC_ALL=C"};
  ToolLimits limits;
  limits.timeoutSeconds = timeoutSeconds;
  limits.environment = &env;
  ToolResult run = runFor(argv, limits);
  why = run.why;
  int status = run.status;
  const std::string& out = run.out;
  if (status < 0) return {};
  if (status != 0) {
    why = argv[0] + " ended with status " + std::to_string(status);
    return {};
  }
  // The lines after the marker, one per name.
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    lines.push_back(out.substr(start, end - start));
    start = end + 1;
  }
  size_t marker = 0;
  while (marker < lines.size() && lines[marker] != verificationMarker) ++marker;
  if (marker == lines.size() || lines.size() - marker - 1 < names.size()) {
    why = argv[0] + " did not answer the verification";
    return {};
  }
  std::vector<RuntimeAnswer> answers;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& value = lines[marker + 1 + i];
    if (value.find('\r') == std::string::npos) answers.emplace_back(names[i], value);
  }
  return answers;
}
