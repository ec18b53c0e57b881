// GroupGuardian: ends a child's process group when the launcher itself ends
// without ending it (SIGKILL, a crash), for a command that the shell runs.
//
// The child that executeProcess forks asks to be killed when the launcher
// ends (endWithLauncher, platform_process.h), and a program it execs keeps
// that; but the programs that a shell starts in turn (a JVM behind "cd DIR
// && java ...") do not. For such a command a small process forked from the
// launcher waits with every signal ignored but one, which the system sends
// when the launcher's process ends (PR_SET_PDEATHSIG); it then sends SIGKILL
// to the child's process group and exits. A group ID stays taken while a
// member of the group exists, so the signal reaches no unrelated process;
// only a launcher killed in the instant between reaping the last member and
// ending its guardian leaves a group ID that the system could hand out
// again before the guardian acts (it hands out process IDs in turn, so it
// would have to go round all of them in that instant).
// When the launcher has waited for its child as usual, it ends the guardian
// (SIGKILL) and reaps it. The guardian leads a process group of its own (a
// signal to the launcher's group, such as "kill -9 %1" of its job, does not
// reach it), holds no file of the launcher (its standard streams are
// /dev/null), and is never a member of the child's group.
//
// Linux only; elsewhere nothing is started.
#ifndef BV_PLATFORM_GROUP_GUARDIAN_H_
#define BV_PLATFORM_GROUP_GUARDIAN_H_

#include <sys/types.h>

class GroupGuardian {
 public:
  // Starts the guardian of process group group (its leader was just forked
  // by this process). Nothing is started when the fork fails: the child
  // then has its own signal alone.
  explicit GroupGuardian(pid_t group);
  // Ends and reaps the guardian.
  ~GroupGuardian();
  GroupGuardian(const GroupGuardian&) = delete;
  GroupGuardian& operator=(const GroupGuardian&) = delete;

  // The guardian's process ID, or -1 when none runs.
  pid_t pid() const { return m_pid; }

 private:
  pid_t m_pid;
};

#endif  // BV_PLATFORM_GROUP_GUARDIAN_H_
