#include "platform/detached_process.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <unistd.h>
#ifdef __linux__
#include <sched.h>
#include <sys/syscall.h>
#endif

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// Default handling and an empty mask for every signal.
void resetSignals() {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &action, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

void lowerPriority() {
  setpriority(PRIO_PROCESS, 0, 19);
#ifdef __linux__
  struct sched_param param = {};
  sched_setscheduler(0, SCHED_IDLE, &param);
  // ioprio_set(IOPRIO_WHO_PROCESS, this process, class IDLE): no wrapper
  // in the C library.
  const int kWhoProcess = 1, kClassIdle = 3, kClassShift = 13;
  syscall(SYS_ioprio_set, kWhoProcess, 0, kClassIdle << kClassShift);
#endif
}

// Gives the process the name that ps -e and top show (comm) and, on Linux,
// the command line that ps aux shows: the argument strings, rewritten in
// place (they begin at argv[0], which the C library keeps as
// program_invocation_name, and are as long as /proc/self/cmdline).
void nameProcess(const char* name) {
#ifdef __linux__
  prctl(PR_SET_NAME, name, 0, 0, 0);
  int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  char buffer[4096];
  size_t area = 0;
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    area += static_cast<size_t>(got);
  }
  close(fd);
  size_t length = strlen(name);
  char* start = program_invocation_name;
  if (start == nullptr || area < length + 1) return;
  memset(start, 0, area);
  memcpy(start, name, length);
#else
  (void)name;
#endif
}

// Standard streams on /dev/null; every other descriptor but keep closed.
void detachFiles(int keep) {
  int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    for (int fd = 0; fd <= 2; ++fd) dup2(null, fd);
    if (null > 2) close(null);
  }
  long limit = sysconf(_SC_OPEN_MAX);
  if (limit < 0 || limit > 65536) limit = 65536;
  for (int fd = 3; fd < limit; ++fd) {
    if (fd != keep) close(fd);
  }
}

}  // namespace

bool startDetached(const std::function<void()>& work, int keepFd, const char* name, bool lowPriority) {
  fflush(nullptr);
  pid_t first = fork();
  if (first < 0) return false;
  if (first == 0) {
    setsid();
    pid_t second = fork();
    if (second != 0) _exit(second < 0 ? 1 : 0);
    resetSignals();
    if (lowPriority) lowerPriority();
    detachFiles(keepFd);
    nameProcess(name);
    work();
    _exit(0);
  }
  int status = 0;
  while (waitpid(first, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int runProgramAndWait(const std::vector<std::string>& argv, const std::string& workingDirectory,
                      unsigned timeoutSeconds) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    setpgid(0, 0);
    if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0) _exit(127);
    execv(args[0], args.data());
    _exit(127);
  }
  setpgid(pid, pid);
  time_t deadline = time(nullptr) + static_cast<time_t>(timeoutSeconds);
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return -1;
    if (time(nullptr) >= deadline) {
      kill(-pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return -1;
    }
    struct timespec pause = {0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
