#include "platform/cache_store.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "foundation/launcher_exception.h"
#include "platform/platform_impl.h"
#include "platform/unique_fd.h"
#include "platform/write_error.h"

const char* cacheMarkerName = ".bvlauncher-complete";

namespace {

const char kUnpackPrefix[] = ".unpack-";
const char kRemovePrefix[] = ".remove-";
const time_t kDay = 24 * 60 * 60;
const time_t kUseMarkInterval = 60 * 60;

bool startsWith(const std::string& text, const char* prefix) {
  return text.compare(0, strlen(prefix), prefix) == 0;
}

// A folder of the user's own, not a link, that nobody else may write to.
bool isOwnFolder(const std::string& path, struct stat& st) {
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The marker of the entry folder path, opened: a regular file of the
// user's own that holds name and a line feed; -1 when there is none. st
// receives its status.
int openMarker(const std::string& path, const std::string& name, struct stat& st) {
  int fd = open((path + "/" + cacheMarkerName).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  std::string want = name + "\n";
  std::string have(want.size(), '\0');
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
      st.st_size != static_cast<off_t>(want.size()) ||
      read(fd, &have[0], have.size()) != static_cast<ssize_t>(have.size()) || have != want) {
    close(fd);
    return -1;
  }
  return fd;
}


// Moves the folder path aside under a name no run uses, then removes it.
void removeEntry(const std::string& cache, const std::string& path) {
  std::string aside = cache + "/" + kRemovePrefix + "XXXXXX";
  // mkdtemp gives a unique name; the entry then replaces that empty folder.
  if (mkdtemp(&aside[0]) == nullptr) return;
  if (rename(path.c_str(), aside.c_str()) != 0) {
    rmdir(aside.c_str());
    return;
  }
  PlatformImpl::deleteFile(SString(aside.c_str()));
}

// Writes the data of every file below the open folder dir (which it closes)
// to the disk and waits for it, links not followed; only this run's files
// wait, not what other programs wrote to the same file system. The file
// system's own records (names, sizes) reach the disk with the fsync that
// follows (of the marker and the folder), the batch that git uses too. Off
// Linux each file is synced whole. Returns 0 or the first error number.
int syncFiles(int dir) {
  DIR* stream = fdopendir(dir);
  if (stream == nullptr) {
    int error = errno;
    close(dir);
    return error;
  }
  int error = 0;
  while (struct dirent* entry = readdir(stream)) {
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    struct stat st;
    if (fstatat(dirfd(stream), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (error == 0) error = errno;
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      int child = openat(dirfd(stream), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      int childError = child < 0 ? errno : syncFiles(child);
      if (error == 0) error = childError;
    } else if (S_ISREG(st.st_mode)) {
      int file = openat(dirfd(stream), name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
#ifdef __linux__
      bool synced = file >= 0 && sync_file_range(file, 0, 0,
                                                  SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                                      SYNC_FILE_RANGE_WAIT_AFTER) == 0;
#else
      bool synced = file >= 0 && fsync(file) == 0;
#endif
      if (!synced && error == 0) error = errno != 0 ? errno : EIO;
      if (file >= 0) close(file);
    }
  }
#ifndef __linux__
  if (fsync(dirfd(stream)) != 0 && error == 0) error = errno;
#endif
  closedir(stream);
  return error;
}

}  // namespace

void (*cacheEntryBeforeLockHook)(const std::string& entry) = nullptr;

std::string findCacheEntry(const std::string& cache, const std::string& name, int* useLock) {
  if (useLock != nullptr) *useLock = -1;
  std::string path = cache + "/" + name;
  struct stat folder, marker;
  if (!isOwnFolder(path, folder)) return std::string();
  Fd fd(openMarker(path, name, marker));
  if (fd.get() < 0) return std::string();
  if (useLock != nullptr) {
    if (cacheEntryBeforeLockHook != nullptr) cacheEntryBeforeLockHook(path);
    // A prune that holds the exclusive lock is removing the entry; once
    // the shared lock is had, the marker must still be the one at the
    // entry's name (a prune may have moved the entry aside meanwhile).
    struct stat now;
    if (flock(fd.get(), LOCK_SH | LOCK_NB) != 0 ||
        lstat((path + "/" + cacheMarkerName).c_str(), &now) != 0 || now.st_dev != marker.st_dev ||
        now.st_ino != marker.st_ino) {
      return std::string();
    }
  }
  // The time of the last use, for the prune.
  if (time(nullptr) - marker.st_mtime > kUseMarkInterval) futimens(fd.get(), nullptr);
  if (useLock != nullptr) *useLock = fd.release();
  return path;
}

std::string beginCacheEntry(const std::string& cache, const std::string& name) {
  std::string temp = cache + "/" + kUnpackPrefix + name + ".XXXXXX";
  if (mkdtemp(&temp[0]) == nullptr) throw WriteErrorException(errno, SString(cache.c_str()));
  PlatformImpl::addFileToCleanupList(SString(temp.c_str()));
  return temp;
}

std::string completeCacheEntry(const std::string& cache, const std::string& name,
                               const std::string& temp, int* useLock) {
  if (useLock != nullptr) *useLock = -1;
  std::string path = cache + "/" + name;
  int error = 0;
  std::string failed = temp;  // what could not be written
  {
    // Everything written so far reaches the disk before the marker does.
    int tree = open(temp.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    error = tree < 0 ? errno : syncFiles(tree);
    Fd dir(open(temp.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (error == 0 && dir.get() < 0) error = errno;
    if (error == 0) {
      Fd marker(openat(dir.get(), cacheMarkerName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0400));
      std::string text = name + "\n";
      if (marker.get() < 0 || write(marker.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
          fsync(marker.get()) != 0) {
        error = errno != 0 ? errno : EIO;
        failed = temp + "/" + cacheMarkerName;
      }
    }
    if (error == 0 && fsync(dir.get()) != 0) error = errno;
  }
  if (error != 0) {
    PlatformImpl::deleteFile(SString(temp.c_str()));
    PlatformImpl::removeFileFromCleanupList(SString(temp.c_str()));
    throw WriteErrorException(error, SString(failed.c_str()));
  }

  // A folder already under the name: another launcher's complete copy is
  // used; anything else is moved aside (once) and ours takes its place.
  for (int attempt = 0;; ++attempt) {
    if (rename(temp.c_str(), path.c_str()) == 0) break;
    int renameError = errno;
    if (renameError == EEXIST || renameError == ENOTEMPTY) {
      if (!findCacheEntry(cache, name, useLock).empty()) {
        PlatformImpl::deleteFile(SString(temp.c_str()));
        PlatformImpl::removeFileFromCleanupList(SString(temp.c_str()));
        return path;
      }
      if (attempt == 0) {
        removeEntry(cache, path);
        continue;
      }
    }
    PlatformImpl::deleteFile(SString(temp.c_str()));
    PlatformImpl::removeFileFromCleanupList(SString(temp.c_str()));
    throw WriteErrorException(renameError, SString(path.c_str()));
  }
  PlatformImpl::removeFileFromCleanupList(SString(temp.c_str()));
  // The rename itself is not waited for (a sync of the cache folder costs a
  // first run 10 to 15 ms here): everything it names reached the disk
  // before it, so a crash can only undo it, which leaves a private folder
  // that a later prune removes and an entry that the next run unpacks anew.
  // The new entry is used from now on; a prune that has it already (one
  // that moved it aside right after the rename) leaves no entry to use.
  if (useLock != nullptr && findCacheEntry(cache, name, useLock).empty()) {
    throw WriteErrorException(ENOENT, SString(path.c_str()));
  }
  return path;
}

long pruneCache(const std::string& cache, const std::string& keep) {
  DIR* dir = opendir(cache.c_str());
  if (dir == nullptr) return 0;
  std::vector<std::string> names;
  while (struct dirent* entry = readdir(dir)) names.push_back(entry->d_name);
  closedir(dir);

  time_t now = time(nullptr);
  long removed = 0;
  for (const std::string& name : names) {
    if (name == "." || name == ".." || name == keep) continue;
    std::string path = cache + "/" + name;
    struct stat folder, marker;
    if (!isOwnFolder(path, folder)) continue;
    bool leftover = startsWith(name, kUnpackPrefix) || startsWith(name, kRemovePrefix);
    bool entry = startsWith(name, "runtime-") || startsWith(name, "jars-");
    // Held while the entry is moved aside: a run that uses it holds the
    // shared lock, and one that finds it meanwhile cannot take it.
    Fd lock(entry && !leftover ? openMarker(path, name, marker) : -1);
    if (leftover) {
      if (now - folder.st_mtime <= kDay) continue;
    } else if (entry) {
      if (lock.get() >= 0) {
        if (now - marker.st_mtime <= cacheUnusedDays * kDay) continue;
        if (flock(lock.get(), LOCK_EX | LOCK_NB) != 0) continue;  // in use
      } else if (now - folder.st_mtime <= kDay) {
        continue;
      }
    } else {
      continue;
    }
    removeEntry(cache, path);
    ++removed;
  }
  return removed;
}
