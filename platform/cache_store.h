// Entries of the user's cache folder (platform/user_cache.h) that hold one
// unpacked thing each, a Java runtime or an application's jars, named after
// its content digest ("runtime-<digest>", "jars-<digest>"), so that it is
// unpacked once per user and lies at the same path on every run.
//
// An entry is made in a private sibling folder (".unpack-<name>.XXXXXX",
// 0700), synced, completed with a marker file written last
// (".bvlauncher-complete", holding the name), and renamed into place; the
// rename is atomic, so a folder under the entry's name is complete or
// missing. An entry is used only when it is a folder (not a link) of the
// user's own, not writable by group or others, holding the marker (a
// regular file of the user's own that holds the name). Of two launchers
// that make the same entry at once, the first rename wins and the other
// uses that copy and removes its own. A run killed midway leaves only its
// private sibling, which no run uses and a later prune removes.
//
// Each use of an entry marks the marker's modification time (at most once
// an hour); entries unused for cacheUnusedDays days, and siblings left by
// killed runs a day old, are removed when a new entry is made. A run that
// uses an entry holds a shared lock (flock) on its marker for as long as
// it runs, and the prune leaves an entry whose marker it cannot lock
// exclusively: a program that runs longer than cacheUnusedDays days keeps
// its runtime.
#ifndef BV_PLATFORM_CACHE_STORE_H_
#define BV_PLATFORM_CACHE_STORE_H_

#include <string>

extern const char* cacheMarkerName;  // ".bvlauncher-complete"
const long cacheUnusedDays = 30;

// The path of the complete entry name in cache, or "" when there is none
// that may be used. Marks its use. With useLock, *useLock receives an open
// file (close-on-exec) that holds the shared lock of the use: the entry
// stays while it is open (-1 when "" is returned).
std::string findCacheEntry(const std::string& cache, const std::string& name, int* useLock = nullptr);

// For tests: when set, findCacheEntry with useLock calls it with the
// entry's path after it opened the marker and before it locks it, the
// moment where a prune may move the entry aside.
extern void (*cacheEntryBeforeLockHook)(const std::string& entry);

// Makes the private sibling in which the entry name is unpacked, records it
// for the run's clean-up and returns its path. Throws LauncherException
// (the write error) when it cannot be made.
std::string beginCacheEntry(const std::string& cache, const std::string& name);

// Completes the entry unpacked in temp (from beginCacheEntry): syncs it,
// writes the marker, renames it into place and returns the entry's path.
// When another launcher completed the same entry first, that copy is
// returned and temp is removed. Throws LauncherException (the write error)
// after removing temp. useLock: as for findCacheEntry.
std::string completeCacheEntry(const std::string& cache, const std::string& name,
                               const std::string& temp, int* useLock = nullptr);

// Removes the entries (but keep, and those that a run uses) whose last use
// is more than cacheUnusedDays days ago, and the siblings of unpacking that
// are more than a day old.
// Returns the number of entries removed. Never throws.
long pruneCache(const std::string& cache, const std::string& keep);

#endif  // BV_PLATFORM_CACHE_STORE_H_
