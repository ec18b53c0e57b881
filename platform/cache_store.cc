#include "platform/cache_store.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "foundation/launcher_exception.h"
#include "platform/platform_impl.h"
#include "platform/write_error.h"

const char* cacheMarkerName = ".bvlauncher-complete";

namespace {

const char kUnpackPrefix[] = ".unpack-";
const char kRemovePrefix[] = ".remove-";
const time_t kDay = 24 * 60 * 60;
const time_t kUseMarkInterval = 60 * 60;

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

bool startsWith(const std::string& text, const char* prefix) {
  return text.compare(0, strlen(prefix), prefix) == 0;
}

// A folder of the user's own, not a link, that nobody else may write to.
bool isOwnFolder(const std::string& path, struct stat& st) {
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The marker of the entry folder path: a regular file of the user's own
// that holds name and a line feed. st receives its status.
bool hasMarker(const std::string& path, const std::string& name, struct stat& st) {
  int fd = open((path + "/" + cacheMarkerName).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  Fd closer(fd);
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) return false;
  std::string want = name + "\n";
  if (st.st_size != static_cast<off_t>(want.size())) return false;
  std::string have(want.size(), '\0');
  return read(fd, &have[0], have.size()) == static_cast<ssize_t>(have.size()) && have == want;
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

std::string findCacheEntry(const std::string& cache, const std::string& name) {
  std::string path = cache + "/" + name;
  struct stat folder, marker;
  if (!isOwnFolder(path, folder) || !hasMarker(path, name, marker)) return std::string();
  // The time of the last use, for the prune.
  if (time(nullptr) - marker.st_mtime > kUseMarkInterval) {
    utimensat(AT_FDCWD, (path + "/" + cacheMarkerName).c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
  }
  return path;
}

std::string beginCacheEntry(const std::string& cache, const std::string& name) {
  std::string temp = cache + "/" + kUnpackPrefix + name + ".XXXXXX";
  if (mkdtemp(&temp[0]) == nullptr) throw LauncherException(writeErrorText(errno));
  PlatformImpl::addFileToCleanupList(SString(temp.c_str()));
  return temp;
}

std::string completeCacheEntry(const std::string& cache, const std::string& name,
                               const std::string& temp) {
  std::string path = cache + "/" + name;
  int error = 0;
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
      }
    }
    if (error == 0 && fsync(dir.get()) != 0) error = errno;
  }
  if (error != 0) {
    PlatformImpl::deleteFile(SString(temp.c_str()));
    PlatformImpl::removeFileFromCleanupList(SString(temp.c_str()));
    throw LauncherException(writeErrorText(error));
  }

  // A folder already under the name: another launcher's complete copy is
  // used; anything else is moved aside (once) and ours takes its place.
  for (int attempt = 0;; ++attempt) {
    if (rename(temp.c_str(), path.c_str()) == 0) break;
    int renameError = errno;
    if (renameError == EEXIST || renameError == ENOTEMPTY) {
      if (!findCacheEntry(cache, name).empty()) {
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
    throw LauncherException(writeErrorText(renameError));
  }
  PlatformImpl::removeFileFromCleanupList(SString(temp.c_str()));
  Fd parent(open(cache.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (parent.get() >= 0) fsync(parent.get());
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
    if (leftover) {
      if (now - folder.st_mtime <= kDay) continue;
    } else if (entry) {
      if (hasMarker(path, name, marker)) {
        if (now - marker.st_mtime <= cacheUnusedDays * kDay) continue;
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
