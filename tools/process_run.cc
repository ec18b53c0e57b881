#include "tools/process_run.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cassert>
#include <cstring>

#include "tools/pack_options.h"

extern char** environ;

namespace {

// Seconds since an arbitrary start that never goes back.
double now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The process group that runFor runs now, or 0.
volatile sig_atomic_t g_childGroup = 0;
// The signal that asked bvpack to end, or 0.
volatile sig_atomic_t g_signal = 0;

void killChildAndRecord(int signal) {
  g_signal = signal;
  pid_t group = static_cast<pid_t>(g_childGroup);
  if (group > 0) kill(-group, SIGKILL);
}

bool makePipe(int fds[2]) {
  if (pipe(fds) != 0) return false;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  fcntl(fds[1], F_SETFD, FD_CLOEXEC);
  return true;
}

}  // namespace

ToolResult runFor(const std::vector<std::string>& argv, const ToolLimits& limits) {
  assert(!argv.empty());
  ToolResult result;
  int outPipe[2], errPipe[2];
  if (!makePipe(outPipe)) {
    result.why = "cannot start " + argv[0] + ": " + strerror(errno);
    return result;
  }
  if (!makePipe(errPipe)) {
    result.why = "cannot start " + argv[0] + ": " + strerror(errno);
    close(outPipe[0]);
    close(outPipe[1]);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> args, envp;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  if (limits.environment != nullptr) {
    for (const std::string& var : *limits.environment) envp.push_back(const_cast<char*>(var.c_str()));
    envp.push_back(nullptr);
  }
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, args.data(),
                       limits.environment != nullptr ? envp.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(outPipe[1]);
  close(errPipe[1]);
  if (rc != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    result.why = "cannot start " + argv[0] + ": " + strerror(rc);
    return result;
  }

  g_childGroup = pid;
  double deadline = now() + limits.timeoutSeconds;
  bool timedOut = false, tooLong = false, interrupted = false;
  struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  char buffer[4096];
  // Both outputs to their ends, whichever writes, within the limits.
  while (open > 0 && !timedOut && !tooLong) {
    if (g_signal != 0) {
      interrupted = true;
      break;
    }
    double left = deadline - now();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    int wait = static_cast<int>(left * 1000) + 1;
    if (limits.tick && wait > 250) wait = 250;
    int ready = poll(fds, 2, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) break;
    if (limits.tick) limits.tick();
    for (int i = 0; i < 2 && ready > 0; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
        continue;
      }
      (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(got));
      if (result.out.size() + result.err.size() > limits.maxOutput) tooLong = true;
    }
  }
  for (struct pollfd& entry : fds) {
    if (entry.fd >= 0) close(entry.fd);
  }
  if (timedOut || tooLong || interrupted) kill(-pid, SIGKILL);
  int status = 0;
  for (;;) {
    pid_t ended = waitpid(pid, &status, timedOut || tooLong || interrupted ? 0 : WNOHANG);
    if (ended < 0 && errno == EINTR) continue;
    if (ended != 0) break;
    if (g_signal != 0) {
      interrupted = true;
      kill(-pid, SIGKILL);
      continue;
    }
    // Its output has ended but it runs on (it closed both): the same
    // deadline holds.
    if (now() >= deadline) {
      timedOut = true;
      kill(-pid, SIGKILL);
    } else {
      if (limits.tick) limits.tick();
      usleep(10 * 1000);
    }
  }
  g_childGroup = 0;
  if (interrupted) {
    result.why = argv[0] + " was stopped: bvpack was interrupted";
  } else if (tooLong) {
    result.why = argv[0] + " printed more than " + std::to_string(limits.maxOutput) + " bytes";
  } else if (timedOut) {
    result.why = argv[0] + " did not end within " + std::to_string(limits.timeoutSeconds) + " s";
  } else {
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return result;
}

int pendingSignal() { return static_cast<int>(g_signal); }

void throwIfInterrupted() {
  if (g_signal != 0) throw PackError("interrupted");
}

void endIfSignaled() {
  int signal = static_cast<int>(g_signal);
  if (signal == 0) return;
  ::signal(signal, SIG_DFL);
  raise(signal);
}

void stopChildrenOnSignals() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action = {};
    action.sa_handler = killChildAndRecord;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}
