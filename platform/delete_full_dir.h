// Removal of temporary files and whole temporary trees. Deletion never
// throws: every failure is one warning line in the log.
#ifndef BV_PLATFORM_DELETE_FULL_DIR_H_
#define BV_PLATFORM_DELETE_FULL_DIR_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"
#include "platform/file_navigator.h"

// Removes a directory tree: every entry that is not a directory (links of
// every kind included, removed as links) while walking, then the
// directories deepest first. Once a directory cannot be removed, none of
// the directories above it is attempted, so a failure costs one warning.
class DeleteFullDir : public FileNavigator {
 public:
  DeleteFullDir() : FileNavigator(false) {}
  ~DeleteFullDir() {}

  bool process(const SString& root) override;
  // Deletes the entry; never stops the walk.
  bool processFile(const SString& path) override;

  // Directories that could not be removed in the last process().
  const StringDeque& getFailedDirectories() const { return m_failedDirectories; }

 private:
  // Whether dir is, or lies above, a directory that could not be removed.
  bool holdsFailedDirectory(const SString& dir) const;

  StringDeque m_failedDirectories;
};

// Deletes one file, one link or one empty directory (a link is removed as
// itself, never followed). Returns true on success. A path that does not
// exist gives false and no warning; any other failure is logged by
// logDeleteFileFailure.
bool deleteOneFile(const SString& path);

// Logs the warning "Could not delete <path> :  <error text>".
void logDeleteFileFailure(const SString& path, int error);

#endif  // BV_PLATFORM_DELETE_FULL_DIR_H_
