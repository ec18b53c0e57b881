// What the launcher unpacks once per user into its cache folder
// (platform/cache_store.h) instead of into the run's temporary folder:
//   - the bundled Java runtime (FILE_JAVA_RUNTIME, archive/runtime_archive.h),
//     as "runtime-<digest>", the digest being the one its header records;
//   - the classpath archives marked for the cache (flag byte 2), together in
//     "jars-<digest>", the digest being XXH3-128 of their names, lengths and
//     bytes in index order. Their class path is then the same on every run;
//   - the application folder (FILE_APPLICATION_FOLDER, in the runtime
//     entry's layout), as "app-<digest>", the digest being the one its
//     header records: data, plugins, scripts and jars that the application
//     finds beside each other.
// Without a usable cache folder (no home, a home of another user, a path
// that holds the class-path separator ':', one that takes no new folder, one
// whose file system is full) they go into a new temporary folder of the
// run, as the other entries do; so does the runtime when the cache's file
// system does not allow programs to run (noexec). Another failure to write
// into the cache is reported with the system's error and the cache folder.
#ifndef BV_ARCHIVE_CACHED_ENTRIES_H_
#define BV_ARCHIVE_CACHED_ENTRIES_H_

#include "archive/runtime_archive.h"
#include "foundation/sstring.h"

class FileIndexEntry;
class LauncherInputFiles;

// The first FILE_JAVA_RUNTIME entry of the set, or null.
const FileIndexEntry* bundledRuntimeEntry(const LauncherInputFiles& files);

// The home of the bundled runtime of entry: its entry in the shared runtime
// folder that the launcher's SHARED_RUNTIME_DIR names (archive/
// launcher_settings.h, platform/shared_cache.h) when that holds it; else
// its cache entry, unpacked now
// when it is missing ("Preparing Java(tm) Virtual Machine..." and one dot
// per MiB when showUI), then the cache's unused entries pruned; without a
// usable cache, a new temporary folder (temporary is then set). Checks the
// free space first (the size and file count that the index gives). Throws
// LauncherException: the write errors, a temporary folder whose file
// system does not allow programs to run (naming -bv:tempdir), "Canceled by the user.", the
// damaged or unsafe archive of runtime_archive.h, DamagedLauncherException
// when the entry's bytes differ from their digest (checked while they are
// unpacked, before anything of them is used); nothing half-unpacked is left.
SString prepareBundledRuntime(const FileIndexEntry& entry, bool showUI, bool& temporary);

// The first FILE_APPLICATION_FOLDER entry of the set, or null.
const FileIndexEntry* applicationFolderEntry(const LauncherInputFiles& files);

// The digest that names the cache entry of the classpath archives marked
// for the cache, as 32 hex digits; "" when none is marked. XXH3-128 of their
// names, lengths and payload SHA-256 digests when every one has a digest,
// else of their names, lengths and bytes.
SString cachedClasspathDigest(const LauncherInputFiles& files);

#endif  // BV_ARCHIVE_CACHED_ENTRIES_H_
