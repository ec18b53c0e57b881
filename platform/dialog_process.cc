// Programs that show windows: fork and exec with an argument vector, pipes
// that never block the launcher, bounded waits.
#include "platform/dialog_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "platform/platform_impl.h"

namespace {

// How long a round of a wait sleeps when there is nothing to read.
const int kWaitRoundMillis = 20;
// How long stop() gives the program after SIGTERM.
const long kStopGraceMillis = 1000;

long nowMillis() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// A pipe whose both ends close on exec.
bool openPipe(int fds[2]) {
  if (pipe(fds) != 0) return false;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  fcntl(fds[1], F_SETFD, FD_CLOEXEC);
  return true;
}

}  // namespace

DialogProcess::DialogProcess() : m_pid(-1), m_ended(false), m_status(0), m_inputFd(-1), m_outputFd(-1) {}

DialogProcess::~DialogProcess() {
  stop();
  closeFd(m_inputFd);
  closeFd(m_outputFd);
}

bool DialogProcess::start(const std::vector<SString>& args, const std::vector<SString>& env, bool withInput,
                          bool captureOutput, bool detached, SString& error) {
  error.erase();
  if (args.empty() || args.at(0).empty() || args.at(0)[0] != '/') {
    error = "no program path";
    return false;
  }
  std::vector<char*> argv;
  for (const SString& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const SString& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);

  int input[2] = {-1, -1};
  int output[2] = {-1, -1};
  if ((withInput && !openPipe(input)) || (captureOutput && !openPipe(output))) {
    error = strerror(errno);
    closeFd(input[0]);
    closeFd(input[1]);
    return false;
  }
  // posix_spawn, not fork: the launcher waits until the program has been
  // started, so no copy of the launcher holds its files (a file being
  // extracted, which then could not be run: "Text file busy") meanwhile.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (withInput) {
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  if (captureOutput) {
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
#ifdef POSIX_SPAWN_SETSID
  if (detached) flags |= POSIX_SPAWN_SETSID;
#else
  (void)detached;
#endif
  posix_spawnattr_setflags(&attributes, flags);
  // The program gets the default action of the signals that the launcher
  // handles (one that was ignored when the launcher started stays so) and
  // an empty mask.
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGCHLD}) {
    struct sigaction current;
    if (sig == SIGPIPE || (sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)) {
      sigaddset(&defaults, sig);
    }
  }
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  fflush(nullptr);
  pid_t pid = -1;
  int result = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  closeFd(input[0]);
  closeFd(output[1]);
  if (result != 0) {
    error = strerror(result);
    closeFd(input[1]);
    closeFd(output[0]);
    return false;
  }
  m_pid = pid;
  m_ended = false;
  m_status = 0;
  m_output.erase();
  m_inputFd = input[1];
  m_outputFd = output[0];
  if (m_inputFd >= 0) fcntl(m_inputFd, F_SETFL, fcntl(m_inputFd, F_GETFL) | O_NONBLOCK);
  if (m_outputFd >= 0) fcntl(m_outputFd, F_SETFL, fcntl(m_outputFd, F_GETFL) | O_NONBLOCK);
  return true;
}

bool DialogProcess::hasEnded() {
  if (m_pid <= 0) return false;
  if (m_ended) return true;
  int status = 0;
  pid_t r = waitpid(m_pid, &status, WNOHANG);
  if (r == m_pid) {
    m_ended = true;
    m_status = status;
  } else if (r < 0 && errno == ECHILD) {
    // Reaped elsewhere: it has ended, how is unknown.
    m_ended = true;
    m_status = -1;
  }
  return m_ended;
}

bool DialogProcess::exitedWith(int code) const {
  return m_ended && m_status >= 0 && WIFEXITED(m_status) && WEXITSTATUS(m_status) == code;
}

void DialogProcess::readOutput() {
  if (m_outputFd < 0) return;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(m_outputFd, buffer, sizeof buffer);
    if (n > 0) {
      unsigned long room = kDialogOutputLimit - m_output.length();
      m_output.append(buffer, static_cast<unsigned long>(n) < room ? static_cast<unsigned long>(n) : room);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) closeFd(m_outputFd);  // the end of the output
    return;
  }
}

bool DialogProcess::wait(long timeoutMillis, bool stopOnCancel) {
  if (m_pid <= 0) return false;
  long end = timeoutMillis < 0 ? -1 : nowMillis() + timeoutMillis;
  for (;;) {
    readOutput();
    if (hasEnded()) {
      // What the program wrote last is still in the pipe.
      if (m_outputFd >= 0) {
        long drainEnd = nowMillis() + 500;
        while (m_outputFd >= 0 && nowMillis() < drainEnd) {
          struct pollfd pfd = {m_outputFd, POLLIN, 0};
          if (poll(&pfd, 1, kWaitRoundMillis) > 0) readOutput();
        }
      }
      return true;
    }
    if (stopOnCancel && PlatformImpl::isCanceled()) {
      stop();
      return false;
    }
    long now = nowMillis();
    if (end >= 0 && now >= end) return false;
    int round = kWaitRoundMillis;
    if (end >= 0 && end - now < round) round = static_cast<int>(end - now);
    if (m_outputFd >= 0) {
      struct pollfd pfd = {m_outputFd, POLLIN, 0};
      poll(&pfd, 1, round);
    } else {
      poll(nullptr, 0, round);
    }
  }
}

DialogProcess::WriteResult DialogProcess::writeInput(const SString& text) {
  if (m_inputFd < 0) return kClosed;
  unsigned long done = 0;
  while (done < text.length()) {
    ssize_t n = write(m_inputFd, text.data() + done, text.length() - done);
    if (n > 0) {
      done += static_cast<unsigned long>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kDropped;
    // EPIPE (SIGPIPE is ignored): nobody reads the input any more.
    closeFd(m_inputFd);
    return kClosed;
  }
  return kWritten;
}

void DialogProcess::closeInput() { closeFd(m_inputFd); }

void DialogProcess::stop() {
  closeFd(m_inputFd);
  if (m_pid <= 0 || hasEnded()) return;
  kill(m_pid, SIGTERM);
  long end = nowMillis() + kStopGraceMillis;
  while (!hasEnded() && nowMillis() < end) poll(nullptr, 0, kWaitRoundMillis);
  if (!hasEnded()) {
    kill(m_pid, SIGKILL);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_ended = true;
    m_status = status;
  }
  closeFd(m_outputFd);
}

void DialogProcess::release() {
  closeFd(m_inputFd);
  closeFd(m_outputFd);
  m_pid = -1;
  m_ended = false;
}
