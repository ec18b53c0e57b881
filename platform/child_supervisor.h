// Watching a running child: reading its captured output, passing cancel
// signals on to its process group, ending the group when it does not stop,
// and following its stops (job_control.h).
//
// Every child runs as the leader of a process group of its own, so that a
// signal reaches the shell that runs a command and every program that the
// command started (/bin/sh does not pass signals on). The group's ID is the
// leader's process ID; it is signalled only while the leader is unreaped or,
// where the launcher adopts orphans (child_reaper.h), while an adopted member
// is, so the ID can never belong to an unrelated process by then.
#ifndef BV_PLATFORM_CHILD_SUPERVISOR_H_
#define BV_PLATFORM_CHILD_SUPERVISOR_H_

#include <sys/types.h>

#include <memory>
#include <vector>

#include "foundation/sstring.h"

class ChildLimits;
class JobControl;

// How long a child's group may take to end after the first cancel signal
// was passed on before it is ended with SIGKILL.
const long kKillGraceMillis = 10 * 1000;
// For tests: another grace; 0 puts the default back.
void setKillGraceMillisForTest(long millis);

// The text read from one pipe, kept in blocks until it is handed over.
// Without a target the text is read and dropped; beyond limit bytes (0: no
// limit) it is read and dropped too.
class CaptureBuffer {
 public:
  CaptureBuffer(SString* target, unsigned long limit);
  CaptureBuffer(const CaptureBuffer&) = delete;
  CaptureBuffer& operator=(const CaptureBuffer&) = delete;

  // Reads what is ready: above 0 for data, 0 at the end of data, -1 when
  // nothing is ready (or on error). One progress dot per started 4 KiB.
  int read(int fd);
  // Whether text beyond the limit was dropped.
  bool cut() const { return m_cut; }
  // Appends everything kept to the target, the blocks released as they go.
  void handOver();

 private:
  void addBlock();

  SString* m_target;
  unsigned long m_limit;
  bool m_cut;
  std::vector<std::unique_ptr<char[]>> m_blocks;
  std::vector<unsigned long> m_blockSizes;
  unsigned long m_used;   // bytes used in the last block
  unsigned long m_total;  // bytes in all blocks
};

// Waits for the child pid, the leader of its own process group, reading the
// pipes outFd and errFd (-1: none) into the buffers meanwhile. Every cancel
// signal that arrives is passed on to the group: SIGINT, SIGTERM and SIGHUP
// as they are, the others as SIGTERM, each followed by SIGCONT so that a
// stopped group gets to its end too. With jobs (a child that may use the
// terminal), the group's stops and the launcher's continues are handled as
// JobControl describes; once a cancel signal was passed on, a stop of the
// group is answered with SIGCONT alone. When the group has not ended
// kKillGraceMillis after the first one, or the limits in force
// (ChildLimits::current) have a timeout that passes, the group is ended with
// SIGKILL. After a signal was passed on, the wait goes on until every member
// of the group has ended (where the launcher adopts orphans; elsewhere until
// the group is empty or the grace has passed). The output is read to its end
// within a bound (a descendant may keep the pipes open). Returns the leader's
// wait status. Throws LauncherException "Error waiting for child process: ..."
// when the wait fails.
int superviseChild(pid_t pid, int outFd, int errFd, CaptureBuffer& outText, CaptureBuffer& errText,
                   JobControl* jobs);

#endif  // BV_PLATFORM_CHILD_SUPERVISOR_H_
