// Child processes and the environment.
//
// A command runs in a forked child as "/bin/sh -c command", the way the C
// library's system() runs it, so quoting, redirection and variables are the
// shell's. Captured output is read from two non-blocking pipes while the
// child runs, the two in turn, waiting at most kPollMillis in poll() whenever
// neither pipe has data. Progress shows one dot per kReadChunkSize bytes
// read (per started chunk of a read), as if the output were read in chunks
// of that size; capture reads up to kCaptureReadSize at once, since a pipe
// drained in page-sized reads costs a task switch per page. The text of each
// stream is gathered in blocks that grow geometrically and is appended to
// the caller's string once at the end, so capturing costs time and memory
// linear in the size of the output.
#include "platform/platform_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "launcher/cmd_line.h"
#include "launcher/launcher.h"
#include "launcher/launcher_exception.h"
#include "platform/platform_impl.h"
#include "platform/platform_signals.h"

namespace {

// The longest wait for data in one poll.
const int kPollMillis = 10;
// After the command has ended, its output is read to the end. A descendant
// that keeps the pipes open is given up on after this long without data, or
// this long in all.
const long kDrainIdleMillis = 500;
const long kDrainTotalMillis = 5000;
// Exit code of a child that could not set up its output or run the shell.
const int kChildFailureExit = 127;
// The most that one read of captured output takes.
const unsigned long kCaptureReadSize = 64 * 1024;
// Captured blocks grow from the first size by doubling up to the last.
const unsigned long kFirstBlockSize = kCaptureReadSize;
const unsigned long kLastBlockSize = 8 * 1024 * 1024;

SString errorText(const char* prefix) { return SString(prefix).append(strerror(errno)); }

long nowMillis() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Reads up to size bytes into buffer, with one progress dot per started
// kReadChunkSize bytes. -1 when no data is ready or on error.
int readChunk(int fd, char* buffer, unsigned long size) {
  ssize_t n = read(fd, buffer, size);
  if (n < 0) return -1;
  if (n > 0) PlatformImpl::advanceUIProgress((n + kReadChunkSize - 1) / kReadChunkSize);
  return static_cast<int>(n);
}

// A file descriptor closed when the object goes.
class Fd {
 public:
  Fd() : m_fd(-1) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }
  int* address() { return &m_fd; }
  void reset() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd;
};

// A pipe whose ends are closed on scope exit; both ends close on exec.
struct Pipe {
  Fd ends[2];
  bool open() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    *ends[0].address() = fds[0];
    *ends[1].address() = fds[1];
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    return true;
  }
  int readEnd() const { return ends[0].get(); }
  int writeEnd() const { return ends[1].get(); }
};

// The text read from one pipe, kept in blocks until it is handed over.
// Without a target the text is read and dropped.
class CaptureBuffer {
 public:
  explicit CaptureBuffer(SString* target) : m_target(target), m_used(0), m_total(0) {}
  CaptureBuffer(const CaptureBuffer&) = delete;
  CaptureBuffer& operator=(const CaptureBuffer&) = delete;

  // readFromFile into the buffer.
  int read(int fd) {
    if (m_target == nullptr) {
      char scratch[kCaptureReadSize];
      return readChunk(fd, scratch, sizeof scratch);
    }
    if (m_blocks.empty() || m_blockSizes.back() == m_used) addBlock();
    unsigned long room = m_blockSizes.back() - m_used;
    int n = readChunk(fd, m_blocks.back().get() + m_used,
                      room < kCaptureReadSize ? room : kCaptureReadSize);
    if (n > 0) {
      m_used += static_cast<unsigned long>(n);
      m_total += static_cast<unsigned long>(n);
    }
    return n;
  }

  // Appends everything read to the target, the blocks released as they go.
  void handOver() {
    if (m_target == nullptr || m_total == 0) return;
    unsigned long room = m_target->max_size() - m_target->length();
    if (m_total > room) {
      Launcher::logMessage("Captured output was cut at the largest string size.", LOG_WARNING);
      m_total = room;
    }
    m_target->reserve(m_target->length() + m_total);
    for (size_t i = 0; i < m_blocks.size() && m_total > 0; ++i) {
      unsigned long n = i + 1 == m_blocks.size() ? m_used : m_blockSizes[i];
      if (n > m_total) n = m_total;
      m_target->append(m_blocks[i].get(), n);
      m_total -= n;
      m_blocks[i].reset();
    }
    m_blocks.clear();
    m_blockSizes.clear();
    m_used = 0;
  }

 private:
  void addBlock() {
    unsigned long size = m_blockSizes.empty() ? kFirstBlockSize : m_blockSizes.back() * 2;
    if (size > kLastBlockSize) size = kLastBlockSize;
    m_blocks.emplace_back(new char[size]);
    m_blockSizes.push_back(size);
    m_used = 0;
  }

  SString* m_target;
  std::vector<std::unique_ptr<char[]>> m_blocks;
  std::vector<unsigned long> m_blockSizes;
  unsigned long m_used;   // bytes used in the last block
  unsigned long m_total;  // bytes in all blocks
};

// The exit code for a wait status: the exit code, or 128 + the signal that
// ended the child, as shells report it.
long exitCodeOf(int status) {
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return status >> 8;
}

// Waits for the child; EINTR is retried. Throws when the wait fails.
int waitForChild(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw LauncherException(errorText("Error waiting for child process: "));
  }
  return status;
}

// Waits up to millis for data on the descriptors that are still open.
void waitForData(int outFd, int errFd, int millis) {
  struct pollfd fds[2];
  nfds_t count = 0;
  if (outFd >= 0) fds[count++] = {outFd, POLLIN, 0};
  if (errFd >= 0) fds[count++] = {errFd, POLLIN, 0};
  if (count > 0) poll(fds, count, millis);
}

// Reads both pipes until the child is collected, then to their end (within
// the drain bounds). Returns the child's wait status.
int captureUntilExit(pid_t pid, Pipe& out, Pipe& err, CaptureBuffer& outText,
                     CaptureBuffer& errText) {
  int outFd = out.readEnd();
  int errFd = err.readEnd();
  bool collected = false;
  int status = 0;
  long drainStart = 0;
  long lastData = 0;
  for (;;) {
    if (!collected) {
      pid_t r = waitpid(pid, &status, WNOHANG);
      if (r == pid) {
        collected = true;
        drainStart = lastData = nowMillis();
      } else if (r < 0 && errno != EINTR) {
        throw LauncherException(errorText("Error waiting for child process: "));
      }
    }
    int outRead = outFd >= 0 ? outText.read(outFd) : 0;
    int errRead = errFd >= 0 ? errText.read(errFd) : 0;
    if (outRead == 0) outFd = -1;
    if (errRead == 0) errFd = -1;
    if (outFd < 0 && errFd < 0) {
      // Both streams ended: only the child is left to collect.
      if (!collected) status = waitForChild(pid);
      return status;
    }
    if (outRead > 0 || errRead > 0) {
      if (collected) lastData = nowMillis();
      continue;
    }
    if (collected) {
      long now = nowMillis();
      if (now - lastData >= kDrainIdleMillis || now - drainStart >= kDrainTotalMillis) {
        return status;
      }
    }
    waitForData(outFd, errFd, kPollMillis);
  }
}

// Moves the process to dir for the fork and back afterwards.
class WorkingDirectory {
 public:
  WorkingDirectory() : m_changed(false) {}
  ~WorkingDirectory() { restore(); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  // Throws "Error setting working directory: <dir> <error>".
  void change(const SString& dir) {
    *m_saved.address() = open(".", O_RDONLY | O_CLOEXEC);
    if (m_saved.get() < 0) {
      char buffer[4096];
      if (getcwd(buffer, sizeof buffer) != nullptr) m_savedPath = buffer;
    }
    if (chdir(dir.c_str()) != 0) {
      SString message("Error setting working directory: ");
      message.append(dir).append(" ").append(strerror(errno));
      throw LauncherException(message);
    }
    m_changed = true;
  }

  void restore() {
    if (!m_changed) return;
    m_changed = false;
    int result = m_saved.get() >= 0 ? fchdir(m_saved.get()) : chdir(m_savedPath.c_str());
    (void)result;
    m_saved.reset();
  }

 private:
  bool m_changed;
  Fd m_saved;
  SString m_savedPath;
};

// In the child: connects the write ends to standard output and error, then
// becomes the shell. Never returns.
[[noreturn]] void runChild(const SString& command, Pipe* out, Pipe* err) {
  if (out != nullptr) {
    if (dup2(out->writeEnd(), 1) < 0 || dup2(err->writeEnd(), 2) < 0) {
      SString message = errorText("Error capturing stdout or stderr in new process: ");
      message.append("\n");
      ssize_t written = write(2, message.c_str(), message.length());
      (void)written;
      _exit(kChildFailureExit);
    }
  }
  execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
  _exit(kChildFailureExit);
}

// Replaces the process with the command split into arguments. Returns only
// when that fails.
void replaceProcess(const SString& command) {
  CmdLine cmdLine;
  cmdLine.parse(command);
  if (cmdLine.getOptionCount() == 0) return;
  std::vector<char*> argv;
  for (long i = 0; i < cmdLine.getOptionCount(); ++i) {
    argv.push_back(const_cast<char*>(cmdLine.getOption(static_cast<int>(i))));
  }
  argv.push_back(nullptr);
  fflush(nullptr);
  execvp(argv[0], argv.data());
}

}  // namespace

int readFromFile(int fd, SString* out) {
  char buffer[kReadChunkSize] = {0};
  int n = readChunk(fd, buffer, sizeof buffer);
  if (n > 0 && out != nullptr) out->append(buffer, static_cast<unsigned long>(n));
  return n;
}

long PlatformImpl::executeProcess(const SString& command, const SString& workingDirectory,
                                  bool /*showConsole*/, bool captureOutput, bool redirectOutput,
                                  SString* stdOut, SString* stdErr, bool replace) {
  // After a cancel request no new program is started.
  if (isCanceled()) throw LauncherException(getMessageText(MSG_CANCELED));
  if (replace) {
    replaceProcess(command);
    return 0;
  }
  Pipe out;
  Pipe err;
  if (captureOutput && (!out.open() || !err.open())) {
    throw LauncherException(errorText("Couldn't create either stdout or stderr pipe: "));
  }
  WorkingDirectory directory;
  if (!workingDirectory.empty()) directory.change(workingDirectory);
  // Nothing printed so far may be written a second time by the child.
  fflush(nullptr);
  // The child is recorded, for cancel signals to be passed on to it, before
  // any such signal is taken.
  CancelSignalBlocker blocked;
  pid_t pid = fork();
  if (pid == 0) {
    resetCancelSignalsInChild(blocked.previousMask());
    bool redirect = captureOutput && redirectOutput;
    runChild(command, redirect ? &out : nullptr, redirect ? &err : nullptr);
  }
  if (pid < 0) throw LauncherException(errorText("Error forking new process: "));
  RunningChildRecord child(pid);
  blocked.release();
  directory.restore();
  if (!captureOutput) {
    long exitCode = exitCodeOf(waitForChild(pid));
    child.setExitCode(exitCode);
    return exitCode;
  }

  out.ends[1].reset();
  err.ends[1].reset();
  fcntl(out.readEnd(), F_SETFL, fcntl(out.readEnd(), F_GETFL) | O_NONBLOCK);
  fcntl(err.readEnd(), F_SETFL, fcntl(err.readEnd(), F_GETFL) | O_NONBLOCK);
  CaptureBuffer outText(stdOut);
  CaptureBuffer errText(stdErr);
  int status = captureUntilExit(pid, out, err, outText, errText);
  child.setExitCode(exitCodeOf(status));
  outText.handOver();
  errText.handOver();
  return exitCodeOf(status);
}

SString PlatformImpl::getEnvironmentVariable(const SString& name) {
  const char* value = getenv(name.c_str());
  return SString(value != nullptr ? value : "");
}

void PlatformImpl::setEnvironmentVariable(const SString& name, const SString& value) {
  // setenv keeps its own copy (a putenv text would have to live forever).
  // A name that the environment cannot hold (empty, or with "=") is refused.
  if (name.empty() || name.find('=') != SString::npos) return;
  setenv(name.c_str(), value.c_str(), 1);
}

int PlatformImpl::setFileExecutable(const SString& path) {
  struct stat st;
  int result = stat(path.c_str(), &st);
  if (result != 0) return result < 0 ? result : -1;
  return chmod(path.c_str(), (st.st_mode & 07777) | S_IXUSR);
}

void PlatformImpl::preJavaLaunch(int, const JVMFile&) {}
