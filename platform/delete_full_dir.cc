#include "platform/delete_full_dir.h"

#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "foundation/log.h"

bool DeleteFullDir::process(const SString& root) {
  m_failedDirectories.clear();
  bool stopped = FileNavigator::process(root);
  // Reverse visit order puts every directory after all directories below it.
  for (long i = m_visitedDirectories.size() - 1; i >= 0; --i) {
    const SString& dir = m_visitedDirectories.at(i);
    if (holdsFailedDirectory(dir)) continue;
    if (!deleteOneFile(dir)) m_failedDirectories.push_back(dir);
  }
  return stopped;
}

bool DeleteFullDir::processFile(const SString& path) {
  deleteOneFile(path);
  return false;
}

bool DeleteFullDir::holdsFailedDirectory(const SString& dir) const {
  unsigned long n = dir.length();
  for (long i = 0; i < m_failedDirectories.size(); ++i) {
    const SString& failed = m_failedDirectories.at(i);
    // A whole-component prefix: "/t/a" holds "/t/a/b" but not "/t/ab".
    if (failed.length() < n || failed.compare(0, n, dir) != 0) continue;
    if (failed.length() == n || (n > 0 && dir[n - 1] == '/') || failed[n] == '/') return true;
  }
  return false;
}

bool deleteOneFile(const SString& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  int result = S_ISDIR(st.st_mode) ? rmdir(path.c_str()) : unlink(path.c_str());
  if (result != 0) {
    logDeleteFileFailure(path, errno);
    return false;
  }
  return true;
}

void logDeleteFileFailure(const SString& path, int error) {
  SString text("Could not delete ");
  text.append(path).append(" :  ").append(strerror(error));
  logMessage(text, LOG_WARNING);
}
