// DialogProcess: a program that shows a window for the launcher (a dialog
// program, the page opener, qdbus), started with an argument vector and
// never through a shell.
//
// Standard error goes to /dev/null (dialog programs print toolkit
// warnings); standard input comes from /dev/null or from a pipe whose
// writing end the launcher keeps, non-blocking, so that a program that
// stops reading never holds the launcher; standard output goes to
// /dev/null or into a pipe that the waits read. Every descriptor of the
// launcher's side closes on exec: the application and other children never
// hold a window's input open.
#ifndef BV_PLATFORM_DIALOG_PROCESS_H_
#define BV_PLATFORM_DIALOG_PROCESS_H_

#include <sys/types.h>

#include <vector>

#include "foundation/sstring.h"

// The most of a program's standard output that is kept.
const unsigned long kDialogOutputLimit = 64 * 1024;

class DialogProcess {
 public:
  DialogProcess();
  // Ends the program when it still runs (stop).
  ~DialogProcess();
  DialogProcess(const DialogProcess&) = delete;
  DialogProcess& operator=(const DialogProcess&) = delete;

  // Starts argv[0] (an absolute path) with the arguments argv and the
  // environment env (NAME=VALUE entries), with posix_spawn: the launcher
  // goes on only once the program runs. withInput: standard input is a
  // pipe (writeInput, closeInput). captureOutput: standard output is kept
  // (output). In a session of its own (detached; where the system can) the
  // program outlives the launcher's process group, as a web browser
  // should. The signals that the launcher handles, SIGPIPE and SIGCHLD get
  // their default action in the program (an ignored one stays ignored) and
  // none is blocked. False, with the system's error text in error, when the
  // program cannot be started.
  bool start(const std::vector<SString>& argv, const std::vector<SString>& env, bool withInput, bool captureOutput,
             bool detached, SString& error);

  bool isRunning() const { return m_pid > 0 && !m_ended; }
  // Whether the program has ended (it is reaped then); false while it
  // runs or before it started.
  bool hasEnded();
  // The wait status of the ended program.
  int waitStatus() const { return m_status; }
  // Whether it ended with exit status code.
  bool exitedWith(int code) const;

  // Waits for the end, reading the output meanwhile. timeoutMillis < 0:
  // no bound. stopOnCancel: a cancel request (PlatformImpl::isCanceled)
  // ends the program and the wait. True when the program ended by itself
  // within the bound.
  bool wait(long timeoutMillis, bool stopOnCancel);
  // Writes text without blocking: kWritten, kDropped (the pipe is full;
  // nothing or part was written), kClosed (the program no longer reads its
  // input, or there is none).
  enum WriteResult { kWritten, kDropped, kClosed };
  WriteResult writeInput(const SString& text);
  void closeInput();
  // The standard output read so far (at most kDialogOutputLimit bytes).
  const SString& output() const { return m_output; }
  // Ends a running program: SIGTERM, then SIGKILL when it has not ended
  // after a second; reaps it.
  void stop();
  // Lets a running program go on by itself: it is neither waited for nor
  // ended any more (its input and output pipes are closed).
  void release();

 private:
  void readOutput();

  pid_t m_pid;
  bool m_ended;
  int m_status;
  int m_inputFd;
  int m_outputFd;
  SString m_output;
};

#endif  // BV_PLATFORM_DIALOG_PROCESS_H_
