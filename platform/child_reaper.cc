// Adopting orphaned descendants: prctl(PR_SET_CHILD_SUBREAPER) on Linux;
// other systems watch the group with kill(-pgid, 0) instead.
#include "platform/child_reaper.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {
bool g_reaper = false;
}  // namespace

bool becomeChildReaper() {
#ifdef __linux__
  if (!g_reaper && prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0) g_reaper = true;
#endif
  return g_reaper;
}

bool isChildReaper() { return g_reaper; }

bool groupMembersLeft(pid_t pgid) {
  if (g_reaper) {
    // Every member is a descendant, and an orphaned one is adopted by the
    // launcher: the group is empty once waitpid has no child left in it.
    for (;;) {
      int status = 0;
      pid_t r = waitpid(-pgid, &status, WNOHANG);
      if (r > 0) continue;
      if (r == 0) return true;
      if (errno == EINTR) continue;
      return false;
    }
  }
  // Without adoption the group can only be looked at; a signal of 0 is
  // not sent, it only tells whether the group has a member.
  return kill(-pgid, 0) == 0;
}
