#include "platform/group_guardian.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#ifdef __linux__
namespace {

// The signal that tells the guardian of the launcher's end.
const int kLauncherGone = SIGUSR1;

volatile sig_atomic_t g_guardedGroup = 0;

// In the guardian. Async-signal-safe.
void onLauncherGone(int) {
  kill(-static_cast<pid_t>(g_guardedGroup), SIGKILL);
  _exit(0);
}

// The guardian's life: runs in the forked process with every signal
// blocked; never returns.
[[noreturn]] void guard(pid_t group, pid_t launcher) {
  g_guardedGroup = group;
  // A group of its own: "kill -9 %1" of the launcher's job does not end
  // the guardian with it.
  setpgid(0, 0);
  int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    for (int fd = 0; fd <= 2; ++fd) dup2(null, fd);
  }
  long limit = sysconf(_SC_OPEN_MAX);
  if (limit < 0 || limit > 65536) limit = 65536;
  for (int fd = 3; fd < limit; ++fd) close(fd);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sig != SIGKILL && sig != SIGSTOP) sigaction(sig, &ignore, nullptr);
  }
  struct sigaction gone = {};
  gone.sa_handler = onLauncherGone;
  sigemptyset(&gone.sa_mask);
  sigaction(kLauncherGone, &gone, nullptr);
  prctl(PR_SET_PDEATHSIG, kLauncherGone);
  // The launcher ended before the prctl: nothing would tell.
  if (getppid() != launcher) onLauncherGone(0);
  sigset_t onlyGone;
  sigfillset(&onlyGone);
  sigdelset(&onlyGone, kLauncherGone);
  for (;;) sigsuspend(&onlyGone);
}

}  // namespace

GroupGuardian::GroupGuardian(pid_t group) : m_pid(-1) {
  if (group <= 0) return;
  pid_t launcher = getpid();
  // No handler of the launcher may run in the guardian.
  sigset_t all, previous;
  sigfillset(&all);
  sigprocmask(SIG_SETMASK, &all, &previous);
  pid_t pid = fork();
  if (pid == 0) guard(group, launcher);
  if (pid > 0) setpgid(pid, pid);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  m_pid = pid;
}

GroupGuardian::~GroupGuardian() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGKILL);
  while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}
#else
GroupGuardian::GroupGuardian(pid_t) : m_pid(-1) {}
GroupGuardian::~GroupGuardian() {}
#endif
