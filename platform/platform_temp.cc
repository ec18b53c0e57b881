// Temporary files and clean-up.
//
// Every directory and file the launcher writes is created under one
// temporary directory and recorded; cleanup() removes them all at the end of
// the run. New names are made by mkdtemp/mkstemp, which pick an unused name
// and create it in one step: a name that another user planted in the shared
// directory in advance (a symbolic link included) is never reused, so our
// files can never land in someone else's place.
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "platform/delete_full_dir.h"
#include "platform/file_navigator.h"
#include "platform/messages.h"
#include "platform/platform_impl.h"
#include "platform/platform_signals.h"
#include "platform/run_console.h"
#include "platform/temp_folder.h"
#include "platform/stale_temp.h"
#include "tagfile/text_utils.h"

SString PlatformImpl::m_tempDir;
bool PlatformImpl::m_tempDirFromVariable = false;
StringDeque PlatformImpl::m_sdqCreatedFiles;
StringDeque PlatformImpl::m_sdqCreatedDrs;
SString PlatformImpl::m_launcherToDelete;

namespace {

const char kDefaultTempDir[] = "/var/tmp/";
// mkdtemp and mkstemp replace the six X's.
const char kTempNameTemplate[] = "bvjXXXXXX";

// The current directory, or "" when it cannot be read.
SString currentDirectory() {
  char buffer[4096];
  if (getcwd(buffer, sizeof buffer) == nullptr) return SString();
  return SString(buffer);
}

// The first time in a run that a temporary folder or file is made: removes
// the folders that launchers of the user left behind in the temporary
// directory when they were killed (stale_temp.h).
void removeStaleFoldersOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  long removed = removeStaleTempFolders(PlatformImpl::getSystemTempDirectory());
  if (removed > 0) {
    char count[32];
    snprintf(count, sizeof count, "%ld", removed);
    logMessage(SString("Removed ")
                   .append(count)
                   .append(" temporary folders that launchers which were ended without their clean-up left behind"),
               LOG_INFO);
  }
}

// A writable copy of the template path in the temporary directory.
SString tempNameTemplate() {
  SString path = PlatformImpl::getSystemTempDirectory();
  appendPathSeparator(path);
  return path.append(kTempNameTemplate);
}

// Removes the first entry equal to path from list, and its copy for the
// signal handler.
void removeFromList(StringDeque& list, const SString& path) {
  for (long i = 0; i < list.size(); ++i) {
    if (list.at(i).compare(path) == 0) {
      list.erase(i);
      unregisterTempPathForSignals(path);
      return;
    }
  }
}

// Records path in list and for the signal handler.
void addToList(StringDeque& list, const SString& path) {
  list.push_back(path);
  registerTempPathForSignals(path);
}

// The canonical form of path (links resolved), or "" when it has none.
SString canonicalPath(const SString& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return SString();
  SString result(resolved);
  free(resolved);
  return result;
}

// Whether dir is a directory of the kind createTempSubDirectory makes: a
// real directory named "bvj..." right inside the temporary directory.
bool isOwnTempSubDirectory(const SString& dir) {
  unsigned long slash = dir.rfind('/');
  if (slash == SString::npos || dir.compare(slash + 1, 3, "bvj") != 0) return false;
  struct stat st;
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  SString parent = canonicalPath(slash == 0 ? SString("/") : dir.substr(0, slash));
  SString tempDir;
  try {
    tempDir = canonicalPath(PlatformImpl::getSystemTempDirectory());
  } catch (const LauncherException&) {
    return false;
  }
  return !parent.empty() && parent.compare(tempDir) == 0;
}

}  // namespace

void PlatformImpl::setSystemTempDir(const SString& dir, bool fromVariable) {
  forgetTempFolderResolution();  // a new setting is resolved anew
  m_tempDir = dir;
  m_tempDirFromVariable = fromVariable && !dir.empty();
  if (!dir.empty() && dir[0] != '/') {
    SString cwd = currentDirectory();
    if (!cwd.empty()) {
      appendPathSeparator(cwd);
      m_tempDir = cwd.append(dir);
    }
  }
}

SString PlatformImpl::getSystemTempDirectory() {
  if (m_tempDir.empty()) m_tempDir = kDefaultTempDir;
  // Paths under the temporary directory are written into tag files (the JVM
  // file of a match), whose values end at a line break.
  if (m_tempDir.find_first_of("\r\n") != SString::npos) {
    throw LauncherException(
        SString(m_tempDir).append(" cannot be the temporary directory: its path holds a line break."));
  }
  // Its paths go into class paths and library paths, which Java splits at
  // ':': "/tmp/a:b/bvjX/app.jar" would name "/tmp/a" and a jar relative to
  // the working directory, where someone else may put one.
  const char kSplitAtColon[] = " holds a ':', at which Java splits a class path.";
  if (m_tempDir.find(':') != SString::npos) {
    throw LauncherException(
        SString(m_tempDir).append(" cannot be the temporary directory: its path").append(kSplitAtColon));
  }
  struct stat st;
  // Once resolved, the run keeps to the folder that the setting led to then.
  SString examined = tempFolderToExamine(m_tempDir);
  if (stat(examined.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    // The JVM file of a match lies right in the directory and is read again
    // by name: nobody else may be able to replace it there.
    SString reason;
    SString resolved;
    if (st.st_uid != 0 && st.st_uid != geteuid()) {
      char owner[64];
      snprintf(owner, sizeof owner, "it belongs to another user (uid %lu).",
               static_cast<unsigned long>(st.st_uid));
      reason = owner;
    } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0) {
      reason = "other users may write to it and it is not sticky.";
    } else {
      // Nor may they turn its name elsewhere (their link, a folder above).
      if (resolveTempFolder(m_tempDir, resolved, reason) && resolved.find(':') != SString::npos) {
        reason = SString("its real path ").append(resolved).append(kSplitAtColon);
        forgetTempFolderResolution();
      }
    }
    if (!reason.empty()) {
      throw LauncherException(
          SString(m_tempDir).append(" cannot be the temporary directory: ").append(reason));
    }
    return resolved;
  }
  // A Unix command reports a folder that the user named as such (the advice
  // to name one with -bv:tempdir fits only the default folder); a setup
  // program's console gets the catalogued message for any folder given with
  // -bv:tempdir. A TMPDIR that cannot be used is passed over and the run
  // goes on: its warning never advises to run again.
  bool given = m_tempDirFromVariable ||
               (console().isUnixCommand() && m_tempDir.compare(kDefaultTempDir) != 0);
  if (given && stat(m_tempDir.c_str(), &st) == 0) {
    throw LauncherException(SString(m_tempDir).append(" cannot be the temporary directory: it is not a directory."));
  }
  char* text = get_msg(given ? MSGID_GIVEN_TEMP_DIR_MISSING : MSGID_TEMP_DIR_MISSING,
                       const_cast<char*>(m_tempDir.c_str()));
  SString message(text);
  delete[] text;
  throw LauncherException(message);
}

SString PlatformImpl::createTempSubDirectory() {
  SString path = tempNameTemplate();
  // A signal that ends the launcher at once must find the new directory
  // recorded: none is taken between its creation and its record.
  CancelSignalBlocker blocked;
  if (mkdtemp(&path[0]) == nullptr) throw LauncherException(strerror(errno));
  // Private to the user whatever the umask: nobody else may read what the
  // launcher carries or replace a file between its extraction and its use.
  chmod(path.c_str(), 0700);
  addToList(m_sdqCreatedDrs, path);
  writeOwnerMarker(path);  // stale_temp.h
  blocked.release();
  removeStaleFoldersOnce();
  return path;
}

SString PlatformImpl::createTempFile() {
  SString path = tempNameTemplate();
  CancelSignalBlocker blocked;
  int fd = mkstemp(&path[0]);
  if (fd < 0) throw LauncherException(SString("Error creating tmp file ").append(path));
  fchmod(fd, 0600);
  close(fd);
  addToList(m_sdqCreatedFiles, path);
  blocked.release();
  removeStaleFoldersOnce();
  return path;
}

void PlatformImpl::addFileToCleanupList(const SString& path) { addToList(m_sdqCreatedFiles, path); }

void PlatformImpl::removeFileFromCleanupList(const SString& path) {
  removeFromList(m_sdqCreatedFiles, path);
}

void PlatformImpl::removeDirFromCleanupList(const SString& path) {
  removeFromList(m_sdqCreatedDrs, path);
}

bool PlatformImpl::isRunTemporaryPath(const SString& path) {
  // path or its resolved form equals, or lies under, a recorded path or its
  // resolved form.
  auto within = [](const SString& inner, const SString& outer) {
    if (inner.empty() || outer.empty() || inner.length() < outer.length()) return false;
    return inner.compare(0, outer.length(), outer) == 0 &&
           (inner.length() == outer.length() || inner[outer.length()] == '/');
  };
  SString resolved = canonicalPath(path);
  for (const StringDeque* list : {&m_sdqCreatedFiles, &m_sdqCreatedDrs}) {
    for (long i = 0; i < list->size(); ++i) {
      SString recorded = list->at(i);
      SString real = canonicalPath(recorded);
      if (within(path, recorded) || within(path, real) || within(resolved, recorded) ||
          within(resolved, real)) {
        return true;
      }
    }
  }
  return false;
}

void PlatformImpl::cleanup() {
  for (long i = 0; i < m_sdqCreatedFiles.size(); ++i) deleteFile(m_sdqCreatedFiles.at(i));
  for (long i = 0; i < m_sdqCreatedDrs.size(); ++i) deleteFile(m_sdqCreatedDrs.at(i));
  if (!m_launcherToDelete.empty()) deleteLauncher(m_launcherToDelete);
}

void PlatformImpl::deleteFile(const SString& path) {
  // "link/" would name the directory a link points to: take the link itself.
  SString target = path;
  while (target.length() > 1 && target[target.length() - 1] == '/') target.erase(target.length() - 1);
  if (FileNavigator::isDirectory(target.c_str())) {
    DeleteFullDir tree;
    tree.process(target);
  } else {
    deleteOneFile(target);
  }
}

void PlatformImpl::setLauncherToDelete(const SString& file) { m_launcherToDelete = file; }

void PlatformImpl::deleteLauncher(const SString& file) {
  unsigned long slash = file.rfind('/');
  SString dir = slash == SString::npos ? SString() : file.substr(0, slash);
  if (!isOwnTempSubDirectory(dir)) {
    logMessage(SString("The launcher file ")
                             .append(file)
                             .append(" is not deleted: it does not lie in a directory that the launcher "
                                     "made in its temporary directory."),
                         LOG_WARNING);
    return;
  }
  unlink(file.c_str());
  unlink(SString(dir).append("/").append(kOwnerMarkerName).c_str());
  rmdir(dir.c_str());
}
