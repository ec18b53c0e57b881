// The directory walk. Entries are classified by the type that readdir
// already gives where the file system provides one (the same answer lstat
// would give, at a fraction of the cost); lstat is asked only where it does
// not. A directory is opened with O_NOFOLLOW, so a directory that was
// replaced by a link after it was read is refused rather than followed.
#include "platform/file_navigator.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_find_listener.h"
#include "platform/platform_impl.h"
#include "tagfile/text_utils.h"

namespace {

// One progress dot per this many files.
const long kFilesPerProgressDot = 1000;

// Appends s, doubling the capacity when the list is full: the lists of a
// disk scan grow to hundreds of thousands of entries.
void pushBack(StringDeque& list, const SString& s) {
  if (list.size() == list.capacity()) list.resize(list.capacity() < 30 ? 30 : list.capacity() * 2);
  list.push_back(s);
}

// Opens dir for reading; links are followed only for the walk's root.
DIR* openDirectory(const SString& dir, bool isRoot) {
  if (isRoot) return opendir(dir.c_str());
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  DIR* handle = fdopendir(fd);
  if (handle == nullptr) close(fd);
  return handle;
}

// Whether the entry at path (named by entry) is a real directory.
bool entryIsDirectory(const struct dirent* entry, const SString& path) {
#ifdef DT_UNKNOWN
  if (entry->d_type != DT_UNKNOWN) return entry->d_type == DT_DIR;
#else
  (void)entry;
#endif
  return FileNavigator::isDirectory(path.c_str());
}

bool isDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// dir with a trailing separator.
SString withSeparator(const SString& dir) {
  SString result(dir);
  appendPathSeparator(result);
  return result;
}

}  // namespace

FileNavigator::FileNavigator(bool cancelable) : m_cancelable(cancelable) {}

FileNavigator::~FileNavigator() {}

bool FileNavigator::skipDirectory(const SString&) { return false; }

bool FileNavigator::isDirectory(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileNavigator::isCanceled() const { return m_cancelable && PlatformImpl::isCanceled(); }

bool FileNavigator::process(const SString& root) {
  m_visitedDirectories.clear();
  m_pendingDirectories.clear();
  long fileCount = 0;
  bool stop = false;
  pushBack(m_pendingDirectories, root);
  bool isRoot = true;
  while (!m_pendingDirectories.empty() && !stop && !isCanceled()) {
    SString dir = m_pendingDirectories.back();
    m_pendingDirectories.pop_back();
    pushBack(m_visitedDirectories, dir);
    bool openRoot = isRoot;
    isRoot = false;
    if (skipDirectory(dir)) continue;
    DIR* handle = openDirectory(dir, openRoot);
    if (handle == nullptr) continue;
    // One buffer per directory: the entry name replaces the previous one.
    SString path = withSeparator(dir);
    unsigned long base = path.length();
    while (!stop && !isCanceled()) {
      struct dirent* entry = readdir(handle);
      if (entry == nullptr) break;
      if (isDotOrDotDot(entry->d_name)) continue;
      path.erase(base);
      path.append(entry->d_name);
      if (entryIsDirectory(entry, path)) {
        pushBack(m_pendingDirectories, path);
        continue;
      }
      stop = processFile(path);
      if (++fileCount % kFilesPerProgressDot == 0) PlatformImpl::advanceUIProgress(1);
    }
    closedir(handle);
  }
  return stop;
}

FindFiles::FindFiles(const StringDeque& names, FoundFileHandler handler)
    : FileNavigator(true),
      m_names(names),
      m_handler(std::move(handler)),
      m_tempDirectory(withSeparator(PlatformImpl::getSystemTempDirectory())) {}

bool FindFiles::processFile(const SString& path) {
  unsigned long length = path.length();
  for (long i = 0; i < m_names.size(); ++i) {
    const SString& name = m_names.at(i);
    unsigned long n = name.length();
    if (length <= n || path[length - n - 1] != '/') continue;
    if (path.compare(length - n, n, name) != 0) continue;
    if (m_handler(path)) return true;
  }
  return false;
}

bool FindFiles::skipDirectory(const SString& dir) {
  SString path = withSeparator(dir);
  return path.compare(m_tempDirectory) == 0 || path.compare("/var/tmp/") == 0;
}
