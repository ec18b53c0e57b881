// The wait for a child: one loop that polls the child, passes cancel
// signals on, enforces the deadlines and reads the captured output, waiting
// at most kPollMillis in poll() whenever nothing happened.
#include "platform/child_supervisor.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "platform/child_limits.h"
#include "platform/child_reaper.h"
#include "platform/platform_impl.h"
#include "platform/platform_process.h"
#include "platform/platform_signals.h"

namespace {

// The longest wait for something to happen in one round.
const int kPollMillis = 10;
// After the child has ended, its output is read to the end. A descendant
// that keeps the pipes open is given up on after this long without data, or
// this long in all.
const long kDrainIdleMillis = 500;
const long kDrainTotalMillis = 5000;
// After SIGKILL, the longest wait for the group's members to go.
const long kAfterKillMillis = 2000;
// The most that one read of captured output takes: a pipe drained in
// page-sized reads costs a task switch per page.
const unsigned long kCaptureReadSize = 64 * 1024;
// Captured blocks grow from the first size by doubling up to the last.
const unsigned long kFirstBlockSize = kCaptureReadSize;
const unsigned long kLastBlockSize = 8 * 1024 * 1024;

long g_killGraceMillis = kKillGraceMillis;

long nowMillis() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

SString decimal(long n) {
  char buffer[32];
  snprintf(buffer, sizeof buffer, "%ld", n);
  return SString(buffer);
}

// Reads up to size bytes into buffer, with one progress dot per started
// kReadChunkSize bytes. -1 when no data is ready or on error.
int readChunk(int fd, char* buffer, unsigned long size) {
  ssize_t n = read(fd, buffer, size);
  if (n < 0) return -1;
  if (n > 0) PlatformImpl::advanceUIProgress((n + kReadChunkSize - 1) / kReadChunkSize);
  return static_cast<int>(n);
}

void noteChildEvent(int) {}

// While the launcher waits for a child, SIGCHLD is blocked except inside the
// wait itself, so that a child that ends wakes the wait at once instead of
// at the end of its round (Linux: ppoll unblocks it atomically). Puts the
// signal mask and the handler back when it ends.
class ChildEventWakeup {
 public:
  ChildEventWakeup() {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = noteChildEvent;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NOCLDSTOP;  // no SA_RESTART: the wait is interrupted
    sigaction(SIGCHLD, &action, &m_savedAction);
    sigset_t childOnly;
    sigemptyset(&childOnly);
    sigaddset(&childOnly, SIGCHLD);
    sigprocmask(SIG_BLOCK, &childOnly, &m_savedMask);
    m_waitMask = m_savedMask;
    sigdelset(&m_waitMask, SIGCHLD);
  }
  ~ChildEventWakeup() {
    sigprocmask(SIG_SETMASK, &m_savedMask, nullptr);
    sigaction(SIGCHLD, &m_savedAction, nullptr);
  }
  ChildEventWakeup(const ChildEventWakeup&) = delete;
  ChildEventWakeup& operator=(const ChildEventWakeup&) = delete;

  // Waits up to millis for data on the descriptors that are still open (or
  // just waits, when none is); a SIGCHLD or a cancel signal ends it early.
  void waitForData(int outFd, int errFd, int millis) const {
    struct pollfd fds[2];
    nfds_t count = 0;
    if (outFd >= 0) fds[count++] = {outFd, POLLIN, 0};
    if (errFd >= 0) fds[count++] = {errFd, POLLIN, 0};
#ifdef __linux__
    struct timespec timeout = {millis / 1000, (millis % 1000) * 1000000L};
    ppoll(count > 0 ? fds : nullptr, count, &timeout, &m_waitMask);
#else
    sigprocmask(SIG_SETMASK, &m_waitMask, nullptr);
    poll(count > 0 ? fds : nullptr, count, millis);
    sigset_t childOnly;
    sigemptyset(&childOnly);
    sigaddset(&childOnly, SIGCHLD);
    sigprocmask(SIG_BLOCK, &childOnly, nullptr);
#endif
  }

 private:
  struct sigaction m_savedAction;
  sigset_t m_savedMask;
  sigset_t m_waitMask;
};

// What the group gets for a cancel signal: the three that programs
// generally treat as "end now" as they are; SIGQUIT (a thread dump in a
// JVM), SIGUSR1, SIGUSR2 and SIGALRM mean other things to a program and are
// passed on as SIGTERM.
int passedOnSignal(int sig) {
  return sig == SIGINT || sig == SIGTERM || sig == SIGHUP ? sig : SIGTERM;
}

}  // namespace

void setKillGraceMillisForTest(long millis) { g_killGraceMillis = millis > 0 ? millis : kKillGraceMillis; }

CaptureBuffer::CaptureBuffer(SString* target, unsigned long limit)
    : m_target(target), m_limit(limit), m_cut(false), m_used(0), m_total(0) {}

int CaptureBuffer::read(int fd) {
  if (m_target == nullptr || (m_limit > 0 && m_total >= m_limit)) {
    char scratch[kCaptureReadSize];
    int n = readChunk(fd, scratch, sizeof scratch);
    if (n > 0 && m_target != nullptr) m_cut = true;
    return n;
  }
  if (m_blocks.empty() || m_blockSizes.back() == m_used) addBlock();
  unsigned long room = m_blockSizes.back() - m_used;
  if (room > kCaptureReadSize) room = kCaptureReadSize;
  if (m_limit > 0 && room > m_limit - m_total) room = m_limit - m_total;
  int n = readChunk(fd, m_blocks.back().get() + m_used, room);
  if (n > 0) {
    m_used += static_cast<unsigned long>(n);
    m_total += static_cast<unsigned long>(n);
  }
  return n;
}

void CaptureBuffer::handOver() {
  if (m_target == nullptr || m_total == 0) return;
  unsigned long room = m_target->max_size() - m_target->length();
  if (m_total > room) {
    logMessage("Captured output was cut at the largest string size.", LOG_WARNING);
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

void CaptureBuffer::addBlock() {
  unsigned long size = m_blockSizes.empty() ? kFirstBlockSize : m_blockSizes.back() * 2;
  if (size > kLastBlockSize) size = kLastBlockSize;
  m_blocks.emplace_back(new char[size]);
  m_blockSizes.push_back(size);
  m_used = 0;
}

int superviseChild(pid_t pid, int outFd, int errFd, CaptureBuffer& outText, CaptureBuffer& errText) {
  ChildLimits* limits = ChildLimits::current();
  ChildEventWakeup wakeup;
  const long start = nowMillis();
  long seenSignals = -1;  // a cancel from before the child started counts too
  bool collected = false;
  bool passedOn = false;
  bool killed = false;
  long killAt = 0;
  long giveUpAt = 0;
  long drainStart = 0;
  long lastData = 0;
  int status = 0;
  for (;;) {
    // A window may have been closed by the user meanwhile (a cancel).
    PlatformImpl::pollUIWindow();
    long now = nowMillis();
    if (!collected) {
      pid_t r = waitpid(pid, &status, WNOHANG);
      if (r == pid) {
        collected = true;
        drainStart = lastData = now;
      } else if (r < 0 && errno != EINTR) {
        throw LauncherException(SString("Error waiting for child process: ").append(strerror(errno)));
      }
    }
    // Once the leader has been reaped, the group's ID is safe to signal
    // only while an adopted member of it is still unreaped.
    bool membersLeft = collected && (passedOn || killed) && groupMembersLeft(pid);
    bool maySignal = !collected || (membersLeft && isChildReaper());
    if (maySignal && !killed) {
      if (PlatformImpl::isCanceled() && cancelSignalCount() != seenSignals) {
        seenSignals = cancelSignalCount();
        kill(-pid, passedOnSignal(lastCancelSignal()));
        if (!passedOn) {
          passedOn = true;
          killAt = now + g_killGraceMillis;
        }
      }
      bool late = passedOn && now >= killAt;
      bool overtime = !collected && limits != nullptr && limits->timeoutMillis() > 0 &&
                      now - start >= limits->timeoutMillis();
      if (late || overtime) {
        kill(-pid, SIGKILL);
        killed = true;
        giveUpAt = now + kAfterKillMillis;
        if (late) {
          logMessage(SString("The program did not end within ")
                                   .append(decimal(g_killGraceMillis / 1000))
                                   .append(" s after the cancel signal was passed on; it was ended with SIGKILL."),
                               LOG_WARNING);
        } else {
          limits->setTimedOut();
        }
      }
    }

    int outRead = outFd >= 0 ? outText.read(outFd) : 0;
    int errRead = errFd >= 0 ? errText.read(errFd) : 0;
    if (outRead == 0) outFd = -1;
    if (errRead == 0) errFd = -1;
    if (outRead > 0 || errRead > 0) {
      lastData = now;
      continue;
    }
    if (collected && (outFd >= 0 || errFd >= 0) &&
        (now - lastData >= kDrainIdleMillis || now - drainStart >= kDrainTotalMillis)) {
      outFd = errFd = -1;
    }
    bool groupDone = !membersLeft || (killed && now >= giveUpAt) ||
                     (!isChildReaper() && !killed && now >= killAt);
    if (collected && outFd < 0 && errFd < 0 && groupDone) {
      if (outText.cut() || errText.cut()) {
        if (limits != nullptr) limits->setOutputCut();
        logMessage("The program's output beyond the limit for it was read and dropped.", LOG_WARNING);
      }
      return status;
    }
    wakeup.waitForData(outFd, errFd, kPollMillis);
  }
}

ForegroundTerminal::ForegroundTerminal() : m_fd(-1), m_handedOver(false) {
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  if (tcgetpgrp(fd) == getpgrp()) {
    m_fd = fd;
  } else {
    close(fd);
  }
}

ForegroundTerminal::~ForegroundTerminal() {
  takeBack();
  if (m_fd >= 0) close(m_fd);
}

void ForegroundTerminal::giveTo(int fd, pid_t pgid) {
  // A process outside the foreground group that changes it gets SIGTTOU
  // unless the signal is blocked.
  sigset_t ttou, previous;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  sigprocmask(SIG_BLOCK, &ttou, &previous);
  tcsetpgrp(fd, pgid);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void ForegroundTerminal::handTo(pid_t pgid) {
  if (m_fd < 0) return;
  giveTo(m_fd, pgid);
  m_handedOver = true;
}

void ForegroundTerminal::takeBack() {
  if (!m_handedOver) return;
  m_handedOver = false;
  giveTo(m_fd, getpgrp());
}
