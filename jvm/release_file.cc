#include "jvm/release_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/open_file_trust.h"
#include "platform/unique_fd.h"

namespace {

void setProblem(std::string* problem, const std::string& text) {
  if (problem != nullptr) *problem = text;
}

bool isKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Parses one line into key and value; false when it is not KEY=VALUE.
bool parseLine(const std::string& line, std::string& key, std::string& value) {
  size_t equals = line.find('=');
  if (equals == 0 || equals == std::string::npos) return false;
  key = line.substr(0, equals);
  for (char c : key) {
    if (!isKeyChar(c)) return false;
  }
  value = line.substr(equals + 1);
  if (!value.empty() && value[0] == '"') {
    if (value.size() < 2 || value.back() != '"') return false;
    value = value.substr(1, value.size() - 2);
  }
  return value.find('"') == std::string::npos;
}

// The length of the version number at the start of text: numbers without
// leading zeros, separated by single dots ("25.0.3"); 0 when there is none.
size_t versionNumberLength(const std::string& text) {
  size_t i = 0;
  while (true) {
    size_t start = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    if (i == start || (text[start] == '0' && i - start > 1)) return 0;
    if (i + 1 < text.size() && text[i] == '.' && isDigit(text[i + 1])) {
      ++i;
      continue;
    }
    return i;
  }
}

// java.version and java.specification.version from JAVA_VERSION and
// JAVA_RUNTIME_VERSION (version "" when only the feature version is
// certain); false when they do not say it for certain.
bool javaVersions(const ReleaseFields& fields, std::string& version, std::string& feature) {
  auto found = fields.find("JAVA_VERSION");
  if (found == fields.end()) return false;
  const std::string& number = found->second;
  // 8 and earlier: "1.8.0_402" is what the JVM prints.
  if (number.size() >= 3 && number.compare(0, 2, "1.") == 0 && number[2] >= '1' && number[2] <= '8' &&
      (number.size() == 3 || number[3] == '.' || number[3] == '_')) {
    for (char c : number) {
      if (!isDigit(c) && c != '.' && c != '_') return false;
    }
    version = number;
    feature = number.substr(0, 3);
    return true;
  }
  if (number.empty() || versionNumberLength(number) != number.size()) return false;
  // 9 and later: the runtime version "$VNUM(-$PRE)?(+$BUILD)?(-$OPT)?"
  // gives the pre-release part that java.version carries.
  feature = number.substr(0, number.find('.'));
  auto runtime = fields.find("JAVA_RUNTIME_VERSION");
  // A jlink image states JAVA_VERSION only: the feature version is certain, the
  // pre-release part of java.version is not.
  if (runtime == fields.end()) {
    version.clear();
    return true;
  }
  const std::string& full = runtime->second;
  if (full.compare(0, number.size(), number) != 0) return false;
  size_t end = number.size();
  version = number;
  if (end < full.size() && isDigit(full[end])) return false;  // "25" of "250"
  if (end < full.size() && full[end] == '.') return false;    // a longer number
  if (end < full.size() && full[end] == '-' && end + 1 < full.size() && full[end + 1] != '+') {
    size_t pre = end + 1;
    size_t stop = pre;
    while (stop < full.size() && isKeyChar(full[stop]) && full[stop] != '_') ++stop;
    if (stop == pre) return false;
    version += full.substr(end, stop - end);
  }
  return true;
}

// os.arch as the JVM of the system prints it for the release's OS_ARCH.
std::string osArch(const std::string& system, const std::string& arch) {
  if (system == "Linux") {
    if (arch == "x86_64" || arch == "amd64") return "amd64";
    for (const char* same : {"aarch64", "ppc64le", "s390x", "riscv64"}) {
      if (arch == same) return arch;
    }
  } else if (system == "Darwin") {
    if (arch == "x86_64" || arch == "aarch64") return arch;
  }
  return std::string();
}

}  // namespace

bool readReleaseFile(const std::string& home, ReleaseFields& fields, std::string* problem) {
  fields.clear();
  std::string path = home + "/release";
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    setProblem(problem, "The file " + path + " cannot be opened: " + strerror(errno) + ".");
    return false;
  }
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    setProblem(problem, "The file " + path + " is not a regular file.");
    return false;
  }
  SString reason;
  if (!isTrustedOpenFile(fd.get(), SString(path.c_str()), reason)) {
    setProblem(problem, std::string(reason.c_str(), reason.length()));
    return false;
  }
  if (st.st_size > static_cast<off_t>(kMostReleaseFileBytes)) {
    setProblem(problem, "The file " + path + " is larger than " + std::to_string(kMostReleaseFileBytes) +
                            " bytes.");
    return false;
  }
  std::string text;
  char buffer[8192];
  while (true) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      setProblem(problem, "The file " + path + " cannot be read: " + strerror(errno) + ".");
      return false;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > kMostReleaseFileBytes) {
      setProblem(problem, "The file " + path + " grew past " + std::to_string(kMostReleaseFileBytes) +
                              " bytes while it was read.");
      return false;
    }
  }
  ReleaseFields read;
  size_t pos = 0;
  long lineNumber = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::string key, value;
    bool repeated = false;
    if (line.find('\0') != std::string::npos || !parseLine(line, key, value) ||
        (repeated = !read.emplace(key, value).second)) {
      setProblem(problem, "Line " + std::to_string(lineNumber) + " of the file " + path +
                              (repeated ? " repeats a key." : " is not KEY=\"value\"."));
      return false;
    }
  }
  fields.swap(read);
  return true;
}

std::map<std::string, std::string> releaseProperties(const ReleaseFields& fields) {
  std::map<std::string, std::string> properties;
  std::string version, feature;
  if (javaVersions(fields, version, feature)) {
    if (!version.empty()) properties["java.version"] = version;
    properties["java.specification.version"] = feature;
  }
  auto system = fields.find("OS_NAME");
  if (system == fields.end()) return properties;
  if (system->second == "Linux") {
    properties["os.name"] = "Linux";
  } else if (system->second == "Darwin") {
    properties["os.name"] = "Mac OS X";
  }
  auto arch = fields.find("OS_ARCH");
  if (arch != fields.end()) {
    std::string mapped = osArch(system->second, arch->second);
    if (!mapped.empty()) properties["os.arch"] = mapped;
  }
  return properties;
}
