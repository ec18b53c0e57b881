#include "tests/launcher/pty_shell.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace bvtest {

const char PtyShell::kPrompt[] = "PROMPT> ";

PtyShell::PtyShell(const std::string& dir, const std::string& shell)
    : m_master(-1), m_pid(-1), m_ready(false), m_seen(0) {
  m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) return;
  std::string slaveName = ptsname(m_master);
  std::string home = "HOME=" + dir;
  std::string prompt = std::string("PS1=") + kPrompt;
  std::string program = "/bin/" + shell;
  fflush(nullptr);
  m_pid = fork();
  if (m_pid == 0) {
    setsid();
    int slave = open(slaveName.c_str(), O_RDWR);
    if (slave < 0 || ioctl(slave, TIOCSCTTY, 0) != 0 || chdir(dir.c_str()) != 0) _exit(98);
    dup2(slave, 0);
    dup2(slave, 1);
    dup2(slave, 2);
    if (slave > 2) close(slave);
    // The signals as a login gives them, whatever the test runner set.
    for (int sig = 1; sig < NSIG; ++sig) signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const char* bashArgv[] = {"bash", "--norc", "--noprofile", "--noediting", "-i", nullptr};
    const char* otherArgv[] = {shell.c_str(), "-i", nullptr};
    const char** argv = shell == "bash" ? bashArgv : otherArgv;
    const char* envp[] = {"PATH=/usr/bin:/bin", "LANG=C", "TERM=dumb", "HISTFILE=/dev/null",
                          home.c_str(), prompt.c_str(), nullptr};
    execve(program.c_str(), const_cast<char**>(argv), const_cast<char**>(envp));
    _exit(99);
  }
  m_ready = m_pid > 0 && waitFor(kPrompt);
}

PtyShell::~PtyShell() {
  hangUp();
  if (m_pid <= 0) return;
  int status = 0;
  for (int i = 0; i < 500 && waitpid(m_pid, &status, WNOHANG) == 0; ++i) usleep(10 * 1000);
  if (waitpid(m_pid, &status, WNOHANG) == 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
  }
}

int PtyShell::exitStatus() {
  if (m_pid <= 0) return -1;
  int status = 0;
  pid_t r = 0;
  for (int i = 0; i < 2000 && (r = waitpid(m_pid, &status, WNOHANG)) == 0; ++i) {
    readAvailable(10);
  }
  if (r != m_pid) return -1;
  m_pid = -1;
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

void PtyShell::type(const std::string& text) {
  if (m_master < 0) return;
  ssize_t written = write(m_master, text.data(), text.size());
  (void)written;
}

bool PtyShell::waitFor(const std::string& text) {
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    size_t at = m_screen.find(text, m_seen);
    if (at != std::string::npos) {
      m_seen = at + text.size();
      return true;
    }
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec - start.tv_sec > 20 || m_master < 0) return false;
    readAvailable(100);
  }
}

pid_t PtyShell::foregroundGroup() const { return m_master >= 0 ? tcgetpgrp(m_master) : -1; }

void PtyShell::hangUp() {
  if (m_master < 0) return;
  close(m_master);
  m_master = -1;
}

void PtyShell::readAvailable(int millis) {
  struct pollfd fd = {m_master, POLLIN, 0};
  if (poll(&fd, 1, millis) <= 0) return;
  char buffer[4096];
  ssize_t n = read(m_master, buffer, sizeof buffer);
  if (n > 0) m_screen.append(buffer, static_cast<size_t>(n));
  // After the shell has gone, the master reads EIO: nothing more will come.
  // The screen notes it, for the messages of a failed test.
  if (n <= 0) {
    m_screen += "[terminal closed: " + std::string(n < 0 ? strerror(errno) : "end of data") + "]";
    hangUp();
  }
}

char processState(pid_t pid) {
  std::string path = "/proc/" + std::to_string(pid) + "/stat";
  FILE* file = fopen(path.c_str(), "r");
  if (file == nullptr) return 0;
  char text[512] = {0};
  size_t n = fread(text, 1, sizeof text - 1, file);
  fclose(file);
  // pid (comm) S ...: the state follows the last ')'.
  std::string stat(text, n);
  size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : 0;
}

}  // namespace bvtest
