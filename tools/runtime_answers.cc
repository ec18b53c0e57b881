#include "tools/runtime_answers.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "jvm/jvm_file.h"

// The verification archive built into bvpack (generated from
// java/Verify.jar by tools/embed_file.cmake).
extern const unsigned char kBuiltInVerifyJar[];
extern const unsigned long kBuiltInVerifyJarSize;

namespace {

// More output than any answer takes: a runtime that prints more is stopped
// (its output is not kept whole in memory).
const size_t kMaxOutput = 1 << 20;

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

// Runs argv with the environment env, its standard output to out, its
// standard error dropped, for at most timeoutSeconds. The exit status, or
// -1 with why set.
int runFor(const std::vector<std::string>& argv, const std::vector<std::string>& env, int timeoutSeconds,
           std::string& out, std::string& why) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    why = std::string("cannot make a pipe: ") + strerror(errno);
    return -1;
  }
  // Neither end may stay open in a program bvpack starts later.
  fcntl(pipeFds[0], F_SETFD, FD_CLOEXEC);
  fcntl(pipeFds[1], F_SETFD, FD_CLOEXEC);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> args, envp;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  for (const std::string& var : env) envp.push_back(const_cast<char*>(var.c_str()));
  envp.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pipeFds[1]);
  if (rc != 0) {
    close(pipeFds[0]);
    why = "cannot start " + argv[0] + ": " + strerror(rc);
    return -1;
  }
  time_t deadline = time(nullptr) + timeoutSeconds;
  bool timedOut = false;
  bool tooLong = false;
  char buffer[4096];
  for (;;) {
    long left = static_cast<long>(deadline - time(nullptr));
    if (left <= 0) {
      timedOut = true;
      break;
    }
    struct pollfd fd = {pipeFds[0], POLLIN, 0};
    int ready = poll(&fd, 1, static_cast<int>(left * 1000));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timedOut = ready == 0;
      break;
    }
    ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    out.append(buffer, static_cast<size_t>(got));
    if (out.size() > kMaxOutput) {
      tooLong = true;
      break;
    }
  }
  close(pipeFds[0]);
  if (timedOut || tooLong) kill(-pid, SIGKILL);
  int status = 0;
  for (;;) {
    pid_t ended = waitpid(pid, &status, timedOut || tooLong ? 0 : WNOHANG);
    if (ended < 0 && errno == EINTR) continue;
    if (ended != 0) break;
    // Its output has ended but it runs on (it closed its standard output):
    // the same time limit holds.
    if (time(nullptr) >= deadline) {
      timedOut = true;
      kill(-pid, SIGKILL);
    } else {
      usleep(10 * 1000);
    }
  }
  if (tooLong) {
    why = argv[0] + " printed more than " + std::to_string(kMaxOutput) + " bytes";
    return -1;
  }
  if (timedOut) {
    why = argv[0] + " gave no answer within " + std::to_string(timeoutSeconds) + " s";
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
  std::string out;
  int status = runFor(argv, env, timeoutSeconds, out, why);
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
