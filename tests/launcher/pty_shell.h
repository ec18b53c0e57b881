// An interactive shell with job control on a pseudo-terminal of the test's,
// driven as a user drives one: keys typed into the terminal, the screen
// read back, the terminal hung up.
#ifndef BV_TESTS_LAUNCHER_PTY_SHELL_H_
#define BV_TESTS_LAUNCHER_PTY_SHELL_H_

#include <sys/types.h>
#include <time.h>

#include <string>

namespace bvtest {

class PtyShell {
 public:
  // The prompt that the shell shows.
  static const char kPrompt[];

  // Starts shell ("bash" or "dash", from /bin) interactive and without
  // start-up files in dir, as the leader of a new session whose controlling
  // terminal is the pseudo-terminal, with a plain environment (PATH,
  // LANG=C, HOME=dir) and the prompt kPrompt.
  explicit PtyShell(const std::string& dir, const std::string& shell = "bash");
  // Hangs up (when not done yet) and waits for the shell.
  ~PtyShell();
  PtyShell(const PtyShell&) = delete;
  PtyShell& operator=(const PtyShell&) = delete;

  // Whether the shell runs and has shown its first prompt.
  bool ready() const { return m_ready; }
  // Types text (keys such as "\x1a" for Ctrl-Z included).
  void type(const std::string& text);
  // Reads the screen until what was shown since the last call of
  // waitFor that matched holds text; gives up after 20 s.
  bool waitFor(const std::string& text);
  // Everything shown so far.
  const std::string& screen() const { return m_screen; }
  // The terminal's foreground process group.
  pid_t foregroundGroup() const;
  pid_t shellPid() const { return m_pid; }
  // Waits (up to 20 s) for the shell's process, or what it became with
  // exec, to end; its exit status, 128 + the signal that ended it, or -1.
  int exitStatus();
  // Closes the terminal's master side: the terminal hangs up.
  void hangUp();

 private:
  void readAvailable(int millis);

  int m_master;
  pid_t m_pid;
  bool m_ready;
  std::string m_screen;
  size_t m_seen;  // the part of the screen that waitFor has matched
};

// The state letter of a process in /proc (R, S, T, Z, ...), or 0 when it
// is gone.
char processState(pid_t pid);

// Waits (up to 20 s) until pred holds.
template <class Pred>
bool eventually(Pred pred) {
  for (int i = 0; i < 2000; ++i) {
    if (pred()) return true;
    struct timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return pred();
}

}  // namespace bvtest

#endif  // BV_TESTS_LAUNCHER_PTY_SHELL_H_
