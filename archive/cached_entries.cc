#include "archive/cached_entries.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <memory>

#include "archive/extraction_error.h"
#include "archive/file_index_entry.h"
#include "archive/launcher_input_files.h"
#include "archive/launcher_settings.h"
#include "archive/payload_digest.h"
#include "foundation/log.h"
#include "foundation/launcher_exception.h"
#include "platform/cache_store.h"
#include "platform/platform_impl.h"
#include "platform/shared_cache.h"
#include "platform/unique_fd.h"
#include "platform/user_cache.h"
#include "platform/write_error.h"

namespace {

void logInfo(const SString& text) { logMessage(text, LOG_INFO); }

SString toSString(const std::string& s) { return SString(s.c_str()); }

// The user's cache folder, made when missing; "" (logged, and why set
// when given) without one. Nor is one used whose path holds the class-path
// separator (a ':' in HOME or XDG_CACHE_HOME): Java splits a class path,
// and the runtime its library path, at it.
std::string cacheFolder(std::string* why = nullptr) {
  std::string reason;
  std::string folder = userCacheFolder(true, &reason);
  if (folder.empty()) logInfo(SString("No cache folder: ").append(toSString(reason)));
  if (folder.find(':') != std::string::npos) {
    reason = "the path of " + folder + " holds a ':'";
    logInfo(SString("No cache folder: ").append(toSString(reason)));
    folder.clear();
  }
  if (folder.empty() && why != nullptr) *why = "no usable cache folder: " + reason;
  return folder;
}

// The one line on standard error that says that the runtime costs this
// run its unpacking, and how to avoid it.
void tellUnpackedForThisRunOnly(const std::string& why) {
  std::string reason = why;
  while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n')) reason.pop_back();
  fprintf(stderr,
          "The bundled Java runtime is unpacked for this run only (%s); to unpack it once, give the user a "
          "home folder of their own or set XDG_CACHE_HOME to a folder they own.\n",
          reason.c_str());
  fflush(stderr);
}

// Whether dir's file system has room for what entry expands to, as its
// index entry tells.
bool hasRoomFor(const std::string& dir, const FileIndexEntry& entry) {
  return !entry.isCompressed() || PlatformImpl::checkFreeSpace(toSString(dir), entry.getDecompressedSize(),
                                                               entry.getDecompressedFileCount());
}

// Room for what entry expands to, else the write error of a full disk
// (ENOSPC: the space hint follows the system's text).
void checkSpace(const std::string& dir, const FileIndexEntry& entry) {
  if (!hasRoomFor(dir, entry)) throw fileWriteError(ENOSPC, dir);
}

// Whether programs may run from dir's file system (not mounted noexec);
// true when the system does not tell.
bool runsPrograms(const std::string& dir) {
#ifdef ST_NOEXEC
  struct statvfs fs;
  if (statvfs(dir.c_str(), &fs) == 0 && (fs.f_flag & ST_NOEXEC) != 0) return false;
#else
  (void)dir;
#endif
  return true;
}

// A runtime cannot run from dir.
LauncherException noProgramsError(const SString& dir) {
  return LauncherException(SString("The bundled Java runtime cannot be unpacked into ")
                               .append(dir)
                               .append(": its file system does not allow programs to run (mounted noexec). "
                                       "Please run the program again using the option -bv:tempdir "
                                       "<temp dir> to specify a different directory to use."));
}

// A write into the cache that failed for another reason than a full disk:
// the system's error and the cache folder.
LauncherException cacheWriteError(const std::string& cache, const WriteErrorException& e) {
  return LauncherException(SString(e.getMessage()).append(" in the cache folder ").append(toSString(cache)).append("."));
}

// Gives up the cache entry begun in temp after e: removes temp at once (a
// full disk gets its room back for the temporary folder) and returns when
// the disk was full, the caller then using the temporary folder (logged);
// throws cacheWriteError otherwise.
void abandonCacheEntry(const std::string& cache, const std::string& temp, const WriteErrorException& e) {
  PlatformImpl::deleteFile(toSString(temp));
  PlatformImpl::removeDirFromCleanupList(toSString(temp));
  if (!isNoRoomError(e.error())) throw cacheWriteError(cache, e);
  logInfo(SString("The cache folder ").append(toSString(cache)).append(" has no room left: ").append(e.getMessage()));
}

// Unpacks the runtime of entry into the empty folder dir, with progress
// dots when showUI. Every unpacking of the runtime, into the cache or into
// a temporary folder, goes through here, before anything unpacked is used:
// the one place where the entry's bytes are read for that. With a digest
// block the entry's bytes are checked while they are unpacked, in the same
// open file, and nothing unpacked is used unless they match
// (DamagedLauncherException): the launcher file is in use as the running
// program, so what is read to unpack is what was checked.
void unpackRuntimeInto(const FileIndexEntry& entry, const std::string& dir, bool showUI) {
  int fd = open(entry.getLauncherFile().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw LauncherException("Cannot open launcher file.");
  Fd closer(fd);
  std::function<bool()> isWhole;
  if (!entry.isCheckedIn(fd)) {
    long offset = entry.getOffsetToBytes();
    long length = entry.getFileLength();
    const std::string& digest = entry.getDigest();
    isWhole = [fd, offset, length, &digest] { return bytesMatch(fd, offset, length, digest); };
  }
  if (showUI) PlatformImpl::setUIStatus(UI_STATUS_PREPARING_JVM);
  std::function<void(long)> progress = [showUI](long steps) {
    if (showUI) PlatformImpl::advanceUIProgress(steps);
  };
  std::function<bool()> cancel = [] { return PlatformImpl::isCanceled(); };
  unpackRuntimeArchive(fd, entry.getOffsetToBytes(), entry.getFileLength(), dir, progress, cancel, isWhole);
  entry.markChecked(fd);
}

// The private folder of a new cache entry, or "" (logged) when the cache
// folder takes none (a read-only file system): the run then uses its
// temporary folder, and why says so.
std::string beginEntryOrNothing(const std::string& cache, const std::string& name, std::string* why = nullptr) {
  try {
    return beginCacheEntry(cache, name);
  } catch (const LauncherException& e) {
    logInfo(SString("The cache folder takes no new entry: ").append(e.getMessage()));
    if (why != nullptr) *why = std::string("the cache folder ") + cache + " takes no new entry: " + e.getMessage().c_str();
    return std::string();
  }
}

// Unpacks entry (in the runtime entry's layout) into the new cache entry name and returns
// its path; "" (logged) when the cache takes no new entry or has no room
// for it (before or while it is unpacked): the caller then uses the
// temporary folder, and why says so.
std::string unpackIntoCache(const FileIndexEntry& entry, const std::string& cache, const std::string& name,
                            const char* what, bool showUI, int* useLock, std::string* why) {
  if (!hasRoomFor(cache, entry)) {
    *why = "the cache folder " + cache + " has no room for it";
    SString lowerWhat(what);
    if (!lowerWhat.empty() && lowerWhat[0] >= 'A' && lowerWhat[0] <= 'Z') lowerWhat[0] = static_cast<char>(lowerWhat[0] - 'A' + 'a');
    logInfo(SString("The cache folder ").append(toSString(cache)).append(" has no room for ").append(lowerWhat).append("."));
    return std::string();
  }
  std::string temp = beginEntryOrNothing(cache, name, why);
  if (temp.empty()) return temp;
  try {
    unpackRuntimeInto(entry, temp, showUI);
    return completeCacheEntry(cache, name, temp, useLock);
  } catch (const WriteErrorException& e) {
    abandonCacheEntry(cache, temp, e);
    *why = "the cache folder " + cache + " has no room left";
    return std::string();
  }
}

}  // namespace

const FileIndexEntry* bundledRuntimeEntry(const LauncherInputFiles& files) {
  for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
    const FileIndexEntry* entry = files.getFileAt(i);
    if (entry != nullptr && entry->getFileType() == FILE_JAVA_RUNTIME) return entry;
  }
  return nullptr;
}

namespace {

// The folder into which entry (in the runtime entry's layout) is unpacked:
// its cache entry prefix + digest, unpacked now when it is missing, or a
// new temporary folder of the run (temporary set) without a usable cache.
// what names it in the log ("The bundled Java runtime"); tell: one line
// on standard error when it goes into the temporary folder.
SString unpackOnce(const FileIndexEntry& entry, const std::string& prefix, const char* what, bool showUI,
                   bool tell, bool& temporary) {
  RuntimeHeader header = readRuntimeHeader(entry);
  std::string name = prefix + header.digestText();
  temporary = false;
  std::string why;
  std::string cache = cacheFolder(&why);
  const bool runtime = prefix == "runtime-";
  if (runtime && !cache.empty() && !runsPrograms(cache)) {
    // Not even an entry made before: none of its programs would run.
    why = "the cache folder " + cache + " does not allow programs to run (mounted noexec)";
    logInfo(SString("The cache folder ")
                .append(toSString(cache))
                .append(" does not allow programs to run (mounted noexec): the runtime goes to the temporary folder."));
    cache.clear();
  }
  if (!cache.empty()) {
    // The lock of the entry's use (platform/cache_store.h) stays open until
    // the run ends and the system closes it: the program runs from the
    // entry all that time, and no prune may remove it.
    int useLock = -1;
    std::string home = findCacheEntry(cache, name, &useLock);
    if (!home.empty()) {
      logInfo(SString(what).append(" is in the cache: ").append(toSString(home)));
      return toSString(home);
    }
    home = unpackIntoCache(entry, cache, name, what, showUI, &useLock, &why);
    if (!home.empty()) {
      logInfo(SString(what).append(" was unpacked into ").append(toSString(home)));
      long removed = pruneCache(cache, name);
      if (removed > 0) {
        logInfo(SString("Removed cache entries unused for 30 days: ").append(toSString(std::to_string(removed))));
      }
      return toSString(home);
    }
  }
  // No cache: a folder of this run, removed at its end.
  SString tempFolder = PlatformImpl::getSystemTempDirectory();
  if (runtime && !runsPrograms(tempFolder.c_str())) throw noProgramsError(tempFolder);
  if (tell) tellUnpackedForThisRunOnly(why);
  SString dir = PlatformImpl::createTempSubDirectory();
  checkSpace(dir.c_str(), entry);
  unpackRuntimeInto(entry, dir.c_str(), showUI);
  temporary = true;
  logInfo(SString(what).append(" was unpacked into the temporary folder ").append(dir));
  return dir;
}

}  // namespace

SString prepareBundledRuntime(const FileIndexEntry& entry, bool showUI, bool& temporary) {
  // A folder that an administrator filled, when the launcher names one and
  // it holds this runtime.
  SString shared = readLauncherSettings(entry.getLauncherFile()).sharedRuntimeDir;
  if (!shared.empty()) {
    std::string name = "runtime-" + readRuntimeHeader(entry).digestText();
    std::string why;
    std::string home = findSharedCacheEntry(shared.c_str(), name, &why);
    if (!home.empty()) {
      temporary = false;
      logInfo(SString("The bundled Java runtime is in the shared folder: ").append(toSString(home)));
      return toSString(home);
    }
    logInfo(SString("The shared runtime folder is not used: ").append(toSString(why)));
  }
  return unpackOnce(entry, "runtime-", "The bundled Java runtime", showUI, true, temporary);
}

const FileIndexEntry* applicationFolderEntry(const LauncherInputFiles& files) {
  for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
    const FileIndexEntry* entry = files.getFileAt(i);
    if (entry != nullptr && entry->getFileType() == FILE_APPLICATION_FOLDER) return entry;
  }
  return nullptr;
}

const SString& LauncherInputFiles::getApplicationFolder() const {
  if (m_applicationFolderKnown) return m_applicationFolder;
  const FileIndexEntry* entry = applicationFolderEntry(*this);
  if (entry != nullptr) {
    bool temporary = false;
    m_applicationFolder = unpackOnce(*entry, "app-", "The application folder", false, false, temporary);
  }
  m_applicationFolderKnown = true;
  return m_applicationFolder;
}

SString cachedClasspathDigest(const LauncherInputFiles& files) {
  XXH3_state_t state;
  XXH3_128bits_reset(&state);
  // With the payload's digests (checked with the index at the start, and
  // each jar as it is copied into the cache) the jars need not be read: the
  // key is made of their names, lengths and SHA-256 digests.
  bool byDigest = true;
  for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
    const FileIndexEntry* entry = files.getFileAt(i);
    if (entry == nullptr || entry->getFileType() != FILE_CLASSPATH_JAR || !entry->isMarkedForCache()) continue;
    byDigest = byDigest && !entry->getDigest().empty();
  }
  if (byDigest) XXH3_128bits_update(&state, "sha256", 6);
  bool any = false;
  int fd = -1;
  std::unique_ptr<char[]> buffer;
  const size_t piece = 1 << 20;
  for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
    const FileIndexEntry* entry = files.getFileAt(i);
    if (entry == nullptr || entry->getFileType() != FILE_CLASSPATH_JAR || !entry->isMarkedForCache()) continue;
    if (fd < 0 && !byDigest) {
      fd = open(entry->getLauncherFile().c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) throw LauncherException("Cannot open launcher file.");
      buffer.reset(new char[piece]);
    }
    any = true;
    SString name = entry->getFileName();
    char length[32];
    int n = snprintf(length, sizeof length, ":%ld:", entry->getFileLength());
    XXH3_128bits_update(&state, name.c_str(), name.length());
    XXH3_128bits_update(&state, length, static_cast<size_t>(n));
    if (byDigest) {
      XXH3_128bits_update(&state, entry->getDigest().data(), entry->getDigest().size());
      continue;
    }
    long done = 0;
    while (done < entry->getFileLength()) {
      long want = entry->getFileLength() - done;
      if (want > static_cast<long>(piece)) want = static_cast<long>(piece);
      ssize_t got = pread(fd, buffer.get(), static_cast<size_t>(want), entry->getOffsetToBytes() + done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        close(fd);
        throw LauncherException(SString("Unable to read embedded file ")
                                    .append(name)
                                    .append(" from the launcher file."));
      }
      XXH3_128bits_update(&state, buffer.get(), static_cast<size_t>(got));
      done += got;
    }
  }
  if (fd >= 0) close(fd);
  if (!any) return SString();
  XXH128_hash_t digest = XXH3_128bits_digest(&state);
  char hex[33];
  snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(digest.high64),
           static_cast<unsigned long long>(digest.low64));
  return SString(hex);
}

const SString& LauncherInputFiles::getCachedClasspathFolder() const {
  if (m_cachedClasspathKnown) return m_cachedClasspathFolder;
  m_cachedClasspathKnown = true;
  SString digest = cachedClasspathDigest(*this);
  if (digest.empty()) return m_cachedClasspathFolder;
  std::string cache = cacheFolder();
  if (cache.empty()) return m_cachedClasspathFolder;
  std::string name = std::string("jars-") + digest.c_str();
  // Open until the run ends, as the runtime's (prepareBundledRuntime).
  int useLock = -1;
  std::string folder = findCacheEntry(cache, name, &useLock);
  if (folder.empty()) {
    std::string temp = beginEntryOrNothing(cache, name);
    if (temp.empty()) return m_cachedClasspathFolder;
    try {
      for (long i = 0; i < getEmbeddedFileCount(); ++i) {
        const FileIndexEntry* entry = getFileAt(i);
        if (entry == nullptr || entry->getFileType() != FILE_CLASSPATH_JAR || !entry->isMarkedForCache()) continue;
        entry->extract(toSString(temp));
      }
      folder = completeCacheEntry(cache, name, temp, &useLock);
    } catch (const WriteErrorException& e) {
      // A full cache: the jars go to the temporary folder, as the others.
      abandonCacheEntry(cache, temp, e);
      return m_cachedClasspathFolder;
    }
    logInfo(SString("The application's jars were unpacked into ").append(toSString(folder)));
    pruneCache(cache, name);
  }
  m_cachedClasspathFolder = toSString(folder);
  logInfo(SString("The application's jars are in the cache folder ").append(m_cachedClasspathFolder));
  return m_cachedClasspathFolder;
}
