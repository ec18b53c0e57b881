// Child processes and the environment.
//
// A command runs in a forked child as "/bin/sh -c command", the way the C
// library's system() runs it, so quoting, redirection and variables are the
// shell's. A command too long for one argument goes to the shell in a
// private temporary file instead ("/bin/sh FILE"), removed when it ends.
// A command that is one program with quoted words only needs no shell: its
// program is started directly (simple_command.h), and the shell runs it
// only when that fails.
// The child leads a process group of its own; child_supervisor.cc waits for
// it, reads its captured output, passes cancel signals on and enforces the
// limits in force (child_limits.h); a child that may use the terminal is
// under job control (job_control.h).
#include "platform/platform_process.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "platform/child_limits.h"
#include "platform/child_supervisor.h"
#include "platform/group_guardian.h"
#include "platform/job_control.h"
#include "platform/platform_impl.h"
#include "platform/platform_signals.h"
#include "platform/shell_reader.h"
#include "platform/simple_command.h"
#include "platform/unique_fd.h"
#include "platform/write_error.h"
#include "tagfile/cmd_line.h"

namespace {

// Exit code of a child that could not set up its output or run the shell.
const int kChildFailureExit = 127;
SString errorText(const char* prefix) { return SString(prefix).append(strerror(errno)); }

SString decimal(unsigned long n) {
  char buffer[32];
  snprintf(buffer, sizeof buffer, "%lu", n);
  return SString(buffer);
}

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

// The exit code for a wait status: the exit code, or 128 + the signal that
// ended the child, as shells report it.
long exitCodeOf(int status) {
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return status >> 8;
}

// The bytes that the environment takes in a new program's memory.
unsigned long environmentSize() {
  unsigned long size = 0;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    size += strlen(*entry) + 1 + sizeof(char*);
  }
  return size;
}

// A command longer than this goes to the shell in a file: the kernel limits
// one argument to 128 KiB on Linux.
const unsigned long kLongestInlineCommand = 64 * 1024;
// The longest single argument that a new program can get: Linux allows 32
// pages; other systems have only the total limit.
#ifdef __linux__
const unsigned long kLongestArgument = 128 * 1024 - 1;
#else
const unsigned long kLongestArgument = static_cast<unsigned long>(-1);
#endif
// Room kept free of the system's total for the shell's own arguments and
// the words of the command.
const unsigned long kArgumentReserve = 4096;

// The file that holds a long command for the shell; removed when the
// object goes.
class CommandFile {
 public:
  CommandFile() {}
  ~CommandFile() {
    if (m_path.empty()) return;
    PlatformImpl::deleteFile(m_path);
    PlatformImpl::removeFileFromCleanupList(m_path);
  }
  CommandFile(const CommandFile&) = delete;
  CommandFile& operator=(const CommandFile&) = delete;

  // Checks the command's words against the system's limit for the
  // arguments and environment of a new program, then writes it to a new
  // private temporary file. Throws LauncherException when it is too long
  // or cannot be written.
  void write(const SString& command) {
    checkFits(ShellReader::measure(command));
    writeFile(command);
  }

  // Throws LauncherException when the words, measured as the program will
  // receive them (quotes and escapes not counted), are more than the
  // system can pass to a new program.
  static void checkFits(const ShellReader::Words& words) {
    long argMax = sysconf(_SC_ARG_MAX);
    unsigned long limit = argMax > 0 ? static_cast<unsigned long>(argMax) : 128 * 1024;
    unsigned long room = limit > environmentSize() + kArgumentReserve ? limit - environmentSize() - kArgumentReserve : 0;
    if (words.longest > kLongestArgument) {
      throw LauncherException(SString("The command to run holds an argument of ")
                                  .append(decimal(words.longest))
                                  .append(" bytes, more than this system can pass to a program (")
                                  .append(decimal(kLongestArgument))
                                  .append(" bytes). Nothing was run."));
    }
    // Each word takes its bytes, a terminating NUL and a pointer.
    unsigned long size = words.bytes + words.count * (1 + sizeof(char*));
    if (size > room) {
      throw LauncherException(SString("The command to run is ")
                                  .append(decimal(size))
                                  .append(" bytes long, more than this system can pass to a program (")
                                  .append(decimal(room))
                                  .append(" bytes with the current environment). Nothing was run."));
    }
  }

  const SString& path() const { return m_path; }

 private:
  void writeFile(const SString& command) {
    m_path = PlatformImpl::createTempFile();
    int fd = open(m_path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
    bool ok = fd >= 0 && fchmod(fd, 0600) == 0;
    unsigned long done = 0;
    while (ok && done < command.length()) {
      ssize_t n = ::write(fd, command.data() + done, command.length() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ok = false;
      else done += static_cast<unsigned long>(n);
    }
    int error = errno;
    if (fd >= 0 && close(fd) != 0 && ok) {
      ok = false;
      error = errno;
    }
    if (!ok) throw LauncherException(writeErrorText(error, m_path));
  }

  SString m_path;
};

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

// In the child: ends with the launcher (endWithLauncher), leads a group
// of its own (and takes the terminal, when given one), connects the write
// ends to standard output and error, then becomes the shell, which reads
// the command from its argument or from commandFile. Never returns.
[[noreturn]] void runChild(const SString& command, const SString& commandFile, char* const* program,
                           char* const* programEnvironment, int terminal, const sigset_t& mask, Pipe* out,
                           Pipe* err, pid_t launcher) {
  endWithLauncher(launcher);
  setpgid(0, 0);
  if (terminal >= 0) giveTerminalTo(terminal, getpid());
  resetCancelSignalsInChild(mask);
  if (out != nullptr) {
    if (dup2(out->writeEnd(), 1) < 0 || dup2(err->writeEnd(), 2) < 0) {
      SString message = errorText("Error capturing stdout or stderr in new process: ");
      message.append("\n");
      ssize_t written = write(2, message.c_str(), message.length());
      (void)written;
      _exit(kChildFailureExit);
    }
  }
  if (program != nullptr) {
    // A simple command (simple_command.h) starts its program directly, with
    // the environment that the shell would give it; when that fails, the
    // shell runs it (from the command file when it is long) and reports the
    // failure as it would.
    execve(program[0], program, programEnvironment);
  }
  if (!commandFile.empty()) {
    execl("/bin/sh", "sh", commandFile.c_str(), static_cast<char*>(nullptr));
  } else {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
  }
  _exit(kChildFailureExit);
}

// Replaces the process with the command split into arguments. Returns only
// when that fails.
void replaceProcess(const SString& command) {
  CmdLine cmdLine;
  cmdLine.parse(command);
  if (cmdLine.getOptionCount() == 0) return;
  StringDeque argv;
  for (long i = 0; i < cmdLine.getOptionCount(); ++i) argv.push_back(SString(cmdLine.getOption(static_cast<int>(i))));
  SString error;
  PlatformImpl::replaceProcessWith(argv, false, error);
}

}  // namespace

void endWithLauncher(pid_t launcher) {
#ifdef __linux__
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != launcher) _exit(kChildFailureExit);
#else
  (void)launcher;
#endif
}

int readFromFile(int fd, SString* out) {
  char buffer[kReadChunkSize] = {0};
  ssize_t n = read(fd, buffer, sizeof buffer);
  if (n < 0) return -1;
  if (n > 0) {
    if (out != nullptr) out->append(buffer, static_cast<unsigned long>(n));
    PlatformImpl::advanceUIProgress(1);
  }
  return static_cast<int>(n);
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
  // The words of a command that needs no shell, ready before the fork.
  StringDeque words;
  bool simple = splitSimpleCommand(command, words);
  std::vector<char*> programArgv;
  if (simple) {
    for (long i = 0; i < words.size(); ++i) programArgv.push_back(const_cast<char*>(words.at(i).c_str()));
    programArgv.push_back(nullptr);
  }
  // A long command goes to the shell in a file, also a simple one, whose
  // program the shell runs when it cannot be started directly.
  CommandFile commandFile;
  if (command.length() > kLongestInlineCommand) commandFile.write(command);
  Pipe out;
  Pipe err;
  if (captureOutput && (!out.open() || !err.open())) {
    throw LauncherException(errorText("Couldn't create either stdout or stderr pipe: "));
  }
  // A child run under limits (a JVM check) does not read the terminal; the
  // application and an installer may, under job control.
  ChildLimits* limits = ChildLimits::current();
  std::unique_ptr<JobControl> jobs;
  if (limits == nullptr) jobs.reset(new JobControl());
  int terminalFd = jobs != nullptr ? jobs->terminalForChild() : -1;
  WorkingDirectory directory;
  if (!workingDirectory.empty()) directory.change(workingDirectory);
  // The environment of a program started without the shell, PWD naming
  // the working directory, ready before the fork.
  std::vector<std::string> environment;
  std::vector<char*> programEnvironment;
  if (simple) {
    environment = shellEnvironment();
    for (std::string& entry : environment) programEnvironment.push_back(&entry[0]);
    programEnvironment.push_back(nullptr);
  }
  // Nothing printed so far may be written a second time by the child.
  fflush(nullptr);
  // The child is recorded, for cancel signals to be passed on to it, before
  // any such signal is taken.
  CancelSignalBlocker blocked;
  pid_t launcher = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    bool redirect = captureOutput && redirectOutput;
    runChild(command, commandFile.path(), simple ? programArgv.data() : nullptr,
             simple ? programEnvironment.data() : nullptr, terminalFd,
             blocked.previousMask(), redirect ? &out : nullptr, redirect ? &err : nullptr, launcher);
  }
  if (pid < 0) throw LauncherException(errorText("Error forking new process: "));
  // Both sides set the group, so that it exists whichever runs first.
  setpgid(pid, pid);
  RunningChildRecord child;
  blocked.release();
  // After the release, which puts the mask of before back.
  if (jobs != nullptr) jobs->started(pid);
  directory.restore();

  int outFd = -1;
  int errFd = -1;
  if (captureOutput) {
    out.ends[1].reset();
    err.ends[1].reset();
    outFd = out.readEnd();
    errFd = err.readEnd();
    fcntl(outFd, F_SETFL, fcntl(outFd, F_GETFL) | O_NONBLOCK);
    fcntl(errFd, F_SETFL, fcntl(errFd, F_GETFL) | O_NONBLOCK);
  }
  // The programs that a shell starts do not end with the launcher by
  // themselves: a guardian ends the group if the launcher goes first.
  std::unique_ptr<GroupGuardian> guardian;
  if (!simple) guardian.reset(new GroupGuardian(pid));
  unsigned long outputLimit = limits != nullptr ? limits->outputLimit() : 0;
  CaptureBuffer outText(stdOut, outputLimit);
  CaptureBuffer errText(stdErr, outputLimit);
  int status = superviseChild(pid, outFd, errFd, outText, errText, jobs.get());
  if (jobs != nullptr) jobs->takeBack();
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

void PlatformImpl::preJavaLaunch(int, const TagFile&) {}
