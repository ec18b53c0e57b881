// Job control for the application's process group (job_control.h).
//
// SIGCONT is held back (blocked) while the child runs: a blocked SIGCONT
// still continues the launcher, and stays pending, so that the wait loop
// learns of it (wasContinued) without a handler; after the launcher stopped
// itself, a pending SIGCONT also tells a real stop from one that the system
// dropped because the launcher's group is orphaned.
#include "platform/job_control.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

sigset_t onlySignal(int sig) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  return set;
}

}  // namespace

void giveTerminalTo(int fd, pid_t pgid) {
  sigset_t ttou = onlySignal(SIGTTOU);
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &ttou, &previous);
  tcsetpgrp(fd, pgid);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

JobControl::JobControl() : m_fd(-1), m_handedTo(0), m_holdingContinue(false) {
  sigemptyset(&m_savedMask);
  m_fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

JobControl::~JobControl() {
  takeBack();
  if (m_holdingContinue) {
    wasContinued();  // a SIGCONT held back now has nothing left to do
    if (!sigismember(&m_savedMask, SIGCONT)) {
      sigset_t cont = onlySignal(SIGCONT);
      sigprocmask(SIG_UNBLOCK, &cont, nullptr);
    }
  }
  if (m_fd >= 0) close(m_fd);
}

int JobControl::terminalForChild() const { return isForeground() ? m_fd : -1; }

void JobControl::started(pid_t pgid) {
  if (isForeground()) handTo(pgid);
  sigset_t cont = onlySignal(SIGCONT);
  sigprocmask(SIG_BLOCK, &cont, &m_savedMask);
  m_holdingContinue = true;
}

bool JobControl::wasContinued() {
  if (!m_holdingContinue) return false;
  sigset_t cont = onlySignal(SIGCONT);
  struct timespec noWait = {0, 0};
  int sig;
  while ((sig = sigtimedwait(&cont, nullptr, &noWait)) < 0 && errno == EINTR) {
  }
  return sig == SIGCONT;
}

void JobControl::watch(pid_t pgid) {
  if (wasContinued()) {
    resume(pgid);
  } else if (isForeground()) {
    handTo(pgid);
  }
}

void JobControl::resume(pid_t pgid) {
  if (isForeground()) handTo(pgid);
  kill(-pgid, SIGCONT);
}

bool JobControl::stopped(pid_t pgid, int sig) {
  // Without a terminal (a service, cron, setsid) there is nothing to give
  // back and no shell that would continue the launcher; nor is there one
  // for a SIGSTOP (kill -STOP of the application) in a group that nothing
  // could continue, which the system does not drop as it drops the other
  // stops. The launcher goes on waiting; whoever stopped the group
  // continues it.
  if (m_fd < 0 || (sig == SIGSTOP && !mayBeContinued())) return false;
  // A stop for the terminal whose cause has gone since (the launcher is in
  // the foreground now, or the group got the terminal from it) is only
  // continued: the group can have the terminal.
  bool forTerminal = sig == SIGTTIN || sig == SIGTTOU;
  if (forTerminal && (isForeground() || (m_fd >= 0 && tcgetpgrp(m_fd) == pgid))) {
    resume(pgid);
    return false;
  }
  takeBack();
  bool continued = stopSelf(sig);
  if (continued || isForeground() || !forTerminal) {
    resume(pgid);
    return false;
  }
  kill(-pgid, SIGHUP);
  kill(-pgid, SIGCONT);
  return true;
}

void JobControl::takeBack() {
  if (m_handedTo == 0) return;
  // Only while the child's group still has the terminal: the user's shell
  // may have taken it meanwhile.
  if (tcgetpgrp(m_fd) == m_handedTo) giveTerminalTo(m_fd, getpgrp());
  m_handedTo = 0;
}

bool JobControl::mayBeContinued() const {
  // The group is not orphaned while its member, the launcher, has a parent
  // in another group of the same session (a shell with job control).
  pid_t parent = getppid();
  return getsid(parent) == getsid(0) && getpgid(parent) != getpgrp();
}

bool JobControl::isForeground() const { return m_fd >= 0 && tcgetpgrp(m_fd) == getpgrp(); }

void JobControl::handTo(pid_t pgid) {
  giveTerminalTo(m_fd, pgid);
  m_handedTo = pgid;
}

bool JobControl::stopSelf(int sig) {
  // The stop takes the signal's default action, for this moment only; a
  // signal that whoever started the launcher ignores stays ignored.
  struct sigaction saved;
  memset(&saved, 0, sizeof saved);
  bool settable = sig != SIGSTOP && sigaction(sig, nullptr, &saved) == 0;
  if (settable) {
    if (saved.sa_handler == SIG_IGN) return false;
    struct sigaction byDefault;
    memset(&byDefault, 0, sizeof byDefault);
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(sig, &byDefault, nullptr);
  }
  sigset_t only = onlySignal(sig);
  sigset_t previous;
  sigprocmask(SIG_UNBLOCK, &only, &previous);
  // A stop from the terminal goes to the whole group, as the terminal
  // sends it; without a terminal, or for SIGSTOP, to the launcher alone.
  if (sig != SIGSTOP && m_fd >= 0) {
    kill(0, sig);
  } else {
    raise(sig);
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  if (settable) sigaction(sig, &saved, nullptr);
  return wasContinued();
}
