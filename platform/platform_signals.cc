// Cancel signals: SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2 and
// SIGALRM.
//
// The first one asks the run to stop: it sets the cancel flag, which the
// disk walk, the extraction, the readers of input files, the instruction
// script and the start of a child process test, so the run ends through its
// ordinary error path and the temporary files go in the ordinary clean-up.
// The handler itself only counts signals. While a child runs, the loop that
// waits for it (child_supervisor.cc) passes every new signal on to the
// child's process group and ends the group when it does not stop; so the
// temporary files are removed only after the application has ended.
//
// A second signal while no child runs ends the launcher at once: the
// handler removes every recorded temporary file and directory with /bin/rm
// (fork and exec are safe in a handler, walking a tree with the C library
// is not) and exits with 128 + the signal number.
//
// SIGPIPE is ignored: a console that has gone away makes writes fail, and
// the console code stops writing (console.cc); children get the action of
// before back.
#include "platform/platform_signals.h"

#include <errno.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/child_reaper.h"
#include "platform/run_console.h"
#include "platform/platform_impl.h"

namespace {

const int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM};
const int kCancelSignalCount = sizeof kCancelSignals / sizeof kCancelSignals[0];
// Paths per run of /bin/rm when the handler removes them.
const int kRemoveBatch = 128;

// The temporary paths for the handler: copies made with new[], in an array
// that grows by replacement. Changed only while the cancel signals are
// blocked, so a handler always sees a whole state.
char** g_tempPaths = nullptr;
long g_tempPathCount = 0;
long g_tempPathCapacity = 0;

volatile sig_atomic_t g_cancelSignal = 0;
volatile sig_atomic_t g_lastSignal = 0;
volatile sig_atomic_t g_signalCount = 0;
volatile sig_atomic_t g_childRunning = 0;
// Whether the first cancel was asked for in a window (cancelLikeSignal).
volatile sig_atomic_t g_cancelInWindow = 0;

bool g_installed = false;
struct sigaction g_previousActions[kCancelSignalCount];
struct sigaction g_previousPipeAction;

sigset_t cancelSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kCancelSignals) sigaddset(&set, sig);
  return set;
}

// Removes paths[0..count) with one run of /bin/rm -rf, or one by one
// (files and empty directories) when that cannot be started.
// Async-signal-safe.
void removePaths(char** paths, int count) {
  char* argv[kRemoveBatch + 4];
  int n = 0;
  argv[n++] = const_cast<char*>("rm");
  argv[n++] = const_cast<char*>("-rf");
  argv[n++] = const_cast<char*>("--");
  for (int i = 0; i < count; ++i) argv[n++] = paths[i];
  argv[n] = nullptr;
  pid_t pid = fork();
  if (pid == 0) {
    execv("/bin/rm", argv);
    _exit(127);
  }
  int status = 0;
  if (pid > 0) {
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) != 127) return;
  }
  for (int i = 0; i < count; ++i) {
    if (unlink(paths[i]) != 0) rmdir(paths[i]);
  }
}

// Removes every recorded temporary path. Async-signal-safe.
void removeTempPathsNow() {
  char* batch[kRemoveBatch];
  int n = 0;
  for (long i = 0; i < g_tempPathCount; ++i) {
    if (g_tempPaths[i] == nullptr) continue;
    batch[n++] = g_tempPaths[i];
    if (n == kRemoveBatch) {
      removePaths(batch, n);
      n = 0;
    }
  }
  if (n > 0) removePaths(batch, n);
}

void onCancelSignal(int sig) {
  int savedErrno = errno;
  g_lastSignal = sig;
  g_signalCount = g_signalCount + 1;
  if (g_cancelSignal == 0) {
    g_cancelSignal = sig;
    PlatformImpl::setCanceled(true);
    errno = savedErrno;
    return;
  }
  // The loop that waits for the child passes this one on.
  if (g_childRunning != 0) {
    errno = savedErrno;
    return;
  }
  removeTempPathsNow();
  _exit(128 + sig);
}

// path without trailing separators: as for deleteFile, "link/" would make
// rm enter the directory that a link points to, and the link itself is what
// was recorded.
SString withoutTrailingSeparators(const SString& path) {
  unsigned long length = path.length();
  while (length > 1 && path[length - 1] == '/') --length;
  return path.substr(0, length);
}

}  // namespace

void registerTempPathForSignals(const SString& recorded) {
  SString path = withoutTrailingSeparators(recorded);
  char* copy = new char[path.length() + 1];
  memcpy(copy, path.c_str(), path.length() + 1);
  CancelSignalBlocker blocked;
  if (g_tempPathCount == g_tempPathCapacity) {
    long capacity = g_tempPathCapacity < 16 ? 16 : g_tempPathCapacity * 2;
    char** bigger = new char*[capacity];
    for (long i = 0; i < g_tempPathCount; ++i) bigger[i] = g_tempPaths[i];
    delete[] g_tempPaths;
    g_tempPaths = bigger;
    g_tempPathCapacity = capacity;
  }
  g_tempPaths[g_tempPathCount++] = copy;
}

void unregisterTempPathForSignals(const SString& recorded) {
  SString path = withoutTrailingSeparators(recorded);
  char* removed = nullptr;
  {
    CancelSignalBlocker blocked;
    for (long i = 0; i < g_tempPathCount; ++i) {
      if (g_tempPaths[i] != nullptr && strcmp(g_tempPaths[i], path.c_str()) == 0) {
        removed = g_tempPaths[i];
        g_tempPaths[i] = nullptr;
        break;
      }
    }
  }
  delete[] removed;
}

CancelSignalBlocker::CancelSignalBlocker() : m_blocked(true) {
  sigset_t set = cancelSignalSet();
  sigprocmask(SIG_BLOCK, &set, &m_previous);
}

void CancelSignalBlocker::release() {
  if (!m_blocked) return;
  m_blocked = false;
  sigprocmask(SIG_SETMASK, &m_previous, nullptr);
}

void resetCancelSignalsInChild(const sigset_t& mask) {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int sig : kCancelSignals) {
    // A signal that the launcher ignores stays ignored, as exec would keep it.
    struct sigaction current;
    if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaction(sig, &action, nullptr);
  }
  if (g_installed) sigaction(SIGPIPE, &g_previousPipeAction, nullptr);
  sigprocmask(SIG_SETMASK, &mask, nullptr);
}

RunningChildRecord::RunningChildRecord() { g_childRunning = 1; }

RunningChildRecord::~RunningChildRecord() { g_childRunning = 0; }

void cancelLikeSignal(int sig) {
  CancelSignalBlocker blocked;
  g_lastSignal = sig;
  g_signalCount = g_signalCount + 1;
  if (g_cancelSignal == 0) {
    g_cancelSignal = sig;
    g_cancelInWindow = 1;
    PlatformImpl::setCanceled(true);
  }
}

SString stoppedBySignalText() {
  if (!PlatformImpl::console().isUnixCommand() || g_cancelSignal == 0 || g_cancelInWindow != 0) return SString();
  static const struct {
    int sig;
    const char* name;
  } kNames[] = {{SIGINT, "INT"},   {SIGTERM, "TERM"}, {SIGHUP, "HUP"},  {SIGQUIT, "QUIT"},
                {SIGUSR1, "USR1"}, {SIGUSR2, "USR2"}, {SIGALRM, "ALRM"}};
  for (const auto& entry : kNames) {
    if (entry.sig == g_cancelSignal) return SString("Stopped by signal ").append(entry.name).append(".");
  }
  return SString();
}

long cancelSignalCount() { return g_signalCount; }

int lastCancelSignal() { return g_lastSignal; }

void PlatformImpl::installCancelHandlers() {
  if (g_installed) return;
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = onCancelSignal;
  action.sa_flags = SA_RESTART;
  // One handler at a time: a second signal waits until the first returns.
  action.sa_mask = cancelSignalSet();
  for (int i = 0; i < kCancelSignalCount; ++i) {
    sigaction(kCancelSignals[i], nullptr, &g_previousActions[i]);
    // A signal ignored by whoever started the launcher (nohup) stays so.
    if (g_previousActions[i].sa_handler == SIG_IGN) continue;
    sigaction(kCancelSignals[i], &action, nullptr);
  }
  struct sigaction ignore;
  memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &g_previousPipeAction);
  becomeChildReaper();
  g_installed = true;
}

void PlatformImpl::removeCancelHandlers() {
  if (!g_installed) return;
  for (int i = 0; i < kCancelSignalCount; ++i) sigaction(kCancelSignals[i], &g_previousActions[i], nullptr);
  sigaction(SIGPIPE, &g_previousPipeAction, nullptr);
  g_installed = false;
}

int PlatformImpl::getCancelSignal() { return g_cancelSignal; }

long PlatformImpl::getCanceledExitCode() { return g_cancelSignal != 0 ? 128 + g_cancelSignal : -1; }
