// The launcher as the reaper of its orphaned descendants.
//
// A launch command runs through the shell, which may end before the Java
// program that it started. Where the system allows it (Linux), the launcher
// adopts such orphans, so that it can wait for every member of the child's
// process group and knows that the group's ID stays taken while one of them
// is unreaped. Elsewhere the group is only watched, never signalled, once
// its first process has been reaped.
#ifndef BV_PLATFORM_CHILD_REAPER_H_
#define BV_PLATFORM_CHILD_REAPER_H_

#include <sys/types.h>

// Makes the process the reaper of its orphaned descendants. Returns whether
// the system did so; false where there is no such thing.
bool becomeChildReaper();
bool isChildReaper();

// After the group's first process has been reaped: reaps what has ended of
// the other members of process group pgid and tells whether any is left.
// Never sends a signal.
bool groupMembersLeft(pid_t pgid);

#endif  // BV_PLATFORM_CHILD_REAPER_H_
