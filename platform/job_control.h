// Job control for a child that may use the terminal (the application, an
// installer; never a JVM check). The child leads a process group of its
// own, so the launcher stands between the user's shell and that group and
// behaves toward both as a shell behaves toward its jobs:
//
// - While the launcher is in the terminal's foreground, the child's group
//   is: the interrupt and quit keys reach it, once, and it reads the
//   terminal without a job-control stop.
// - When the group stops (Ctrl-Z: SIGTSTP; the terminal used from the
//   background: SIGTTIN, SIGTTOU; SIGSTOP), the launcher takes the terminal
//   back and stops itself with the same signal, so the user's shell sees the
//   job stopped and shows its prompt. A stop from the terminal goes to the
//   launcher's whole process group, as the terminal would send it (a
//   pipeline such as `app | tee log` stops as one job).
// - When the launcher is continued (fg, bg, kill -CONT), the group gets the
//   terminal if the launcher is in the foreground, and is continued; and
//   whenever the launcher is in the foreground (fg of a job running in the
//   background), the group gets the terminal.
// - Where the launcher cannot stop (its process group is orphaned: nothing
//   could continue it), the child's group is continued at once, so Ctrl-Z
//   does nothing, as for any program in such a group; but a group that
//   stopped for the terminal while the launcher is in the background could
//   never get it, and is hung up (SIGHUP, SIGCONT), as the system does with
//   a stopped group that nothing can continue.
// - Without a terminal (a service, cron, setsid), and for a SIGSTOP where
//   nothing could continue the launcher, the launcher never stops itself:
//   it goes on waiting for the child, which whoever stopped it continues
//   (a launcher stopped there would stay stopped for good, and its caller
//   would wait for ever).
#ifndef BV_PLATFORM_JOB_CONTROL_H_
#define BV_PLATFORM_JOB_CONTROL_H_

#include <signal.h>
#include <sys/types.h>

// Makes pgid the foreground group of the terminal fd, with SIGTTOU blocked
// for the moment (a process outside the foreground group that changes it
// gets SIGTTOU otherwise). Async-signal-safe: a forked child calls it too.
void giveTerminalTo(int fd, pid_t pgid);

class JobControl {
 public:
  // Opens the controlling terminal when there is one.
  JobControl();
  // Takes the terminal back (takeBack) and puts SIGCONT back as it was.
  ~JobControl();
  JobControl(const JobControl&) = delete;
  JobControl& operator=(const JobControl&) = delete;

  // The terminal for the forked child to take with giveTerminalTo(fd,
  // getpid()) when the launcher is in its foreground now, else -1. The
  // launcher hands it over too (started); whichever comes first wins the
  // race without harm.
  int terminalForChild() const;
  // In the launcher, once the child pgid leads its group: hands the
  // terminal over when the launcher is in the foreground, and from now on
  // holds SIGCONT back, so that wasContinued sees it.
  void started(pid_t pgid);

  // While the group's leader runs, each round of the wait: a SIGCONT that
  // the launcher got is passed on to the group, and while the launcher is
  // in the foreground (fg of a job that was running in the background sends
  // nothing), the group gets the terminal.
  void watch(pid_t pgid);
  // The group's leader stopped with signal sig: the terminal is taken back
  // and the launcher stops; once it is continued, the group resumes. A stop
  // for the terminal (SIGTTIN, SIGTTOU) while the group can have it (the
  // launcher came to the foreground meanwhile) only resumes the group.
  // Returns true when the group was hung up instead (see above).
  bool stopped(pid_t pgid, int sig);
  // Makes the launcher's group the foreground group again, when the child's
  // group still is.
  void takeBack();

 private:
  // Whether the launcher was continued since the last look.
  bool wasContinued();
  // Hands the terminal to the group when the launcher is in the
  // foreground, and continues the group.
  void resume(pid_t pgid);
  bool isForeground() const;
  // Whether a shell could continue the launcher after it stopped: its
  // parent is in another process group of the same session.
  bool mayBeContinued() const;
  void handTo(pid_t pgid);
  // Stops the launcher with sig; returns whether it was continued.
  bool stopSelf(int sig);

  int m_fd;
  pid_t m_handedTo;  // the group that has the terminal from us, or 0
  bool m_holdingContinue;
  sigset_t m_savedMask;
};

#endif  // BV_PLATFORM_JOB_CONTROL_H_
