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
// killed runs a day old, are removed when a new entry is made.
#ifndef BV_PLATFORM_CACHE_STORE_H_
#define BV_PLATFORM_CACHE_STORE_H_

#include <string>

extern const char* cacheMarkerName;  // ".bvlauncher-complete"
const long cacheUnusedDays = 30;

// The path of the complete entry name in cache, or "" when there is none
// that may be used. Marks its use.
std::string findCacheEntry(const std::string& cache, const std::string& name);

// Makes the private sibling in which the entry name is unpacked, records it
// for the run's clean-up and returns its path. Throws LauncherException
// (the write error) when it cannot be made.
std::string beginCacheEntry(const std::string& cache, const std::string& name);

// Completes the entry unpacked in temp (from beginCacheEntry): syncs it,
// writes the marker, renames it into place and returns the entry's path.
// When another launcher completed the same entry first, that copy is
// returned and temp is removed. Throws LauncherException (the write error)
// after removing temp.
std::string completeCacheEntry(const std::string& cache, const std::string& name,
                               const std::string& temp);

// Removes the entries (but keep) whose last use is more than cacheUnusedDays
// days ago, and the siblings of unpacking that are more than a day old.
// Returns the number of entries removed. Never throws.
long pruneCache(const std::string& cache, const std::string& keep);

#endif  // BV_PLATFORM_CACHE_STORE_H_
