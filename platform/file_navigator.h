// FileNavigator: the iterative directory walker under the disk scan
// (FindFiles) and the removal of temporary trees (DeleteFullDir).
//
// The walk keeps an explicit stack of directories still to read instead of
// recursing, so the depth of a tree is limited only by memory, and it keeps
// exactly one directory open at a time. Directories are read depth first:
// the files of a directory are reported as soon as it is read, then the
// subdirectories it held are walked, the last one found first.
//
// Symbolic links are never followed: a link of any kind (to a directory
// included) is reported as a file, and a directory is opened so that a
// link swapped in at its place is refused.
#ifndef BV_PLATFORM_FILE_NAVIGATOR_H_
#define BV_PLATFORM_FILE_NAVIGATOR_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

#include "platform/file_find_listener.h"

class FileNavigator {
 public:
  // A cancelable walk stops as soon as PlatformImpl::isCanceled() is true.
  explicit FileNavigator(bool cancelable);
  FileNavigator(const FileNavigator&) = delete;
  FileNavigator& operator=(const FileNavigator&) = delete;

  // Walks the tree below root (root itself is the first directory read).
  // Calls processFile for every entry that is not a directory, and one
  // progress dot per 1000 files. Directories that do not open are passed
  // over silently. Returns true when processFile stopped the walk.
  virtual bool process(const SString& root);
  // Handles one entry that is not a directory; true stops the walk.
  virtual bool processFile(const SString& path) = 0;
  // Whether dir is to be left unread; the base reads everything.
  virtual bool skipDirectory(const SString& dir);

  // True when lstat succeeds and path is a directory (never a link).
  static bool isDirectory(const char* path);
  bool isCanceled() const;

  // The directories taken from the stack during the last walk, in order.
  const StringDeque& getVisitedDirectories() const { return m_visitedDirectories; }

 protected:
  // Not virtual: walkers are never deleted through this base.
  ~FileNavigator();

  StringDeque m_visitedDirectories;
  StringDeque m_pendingDirectories;
  bool m_cancelable;
};

// Reports every file whose path ends with one of the names, as whole path
// components ("bin/java" matches ".../jre/bin/java", not ".../xbin/java"),
// to the handler. The temporary directory and /var/tmp are not entered,
// so the launcher's own extracted files are never reported.
class FindFiles : public FileNavigator {
 public:
  // Reads the temporary directory: throws LauncherException (message 39)
  // when it is missing. names must outlive the object.
  FindFiles(const StringDeque& names, FoundFileHandler handler);
  ~FindFiles() {}

  bool processFile(const SString& path) override;
  bool skipDirectory(const SString& dir) override;

 private:
  const StringDeque& m_names;
  FoundFileHandler m_handler;
  SString m_tempDirectory;  // with a trailing separator
};

#endif  // BV_PLATFORM_FILE_NAVIGATOR_H_
