// Trust checks of files found on disk before they are run or read.
//
// A file is only as safe as the directories above it: whoever may write to
// one of them can put another file in its place. So the check resolves
// every symbolic link first (realpath) and then walks from the file up to
// "/". Each must belong to root or to the user running the launcher, and
// none may be writable by its group or by others, except a directory with
// the sticky bit (such as /tmp): there nobody can rename or delete entries
// that belong to someone else, so it is a safe place to pass through.
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/platform_impl.h"

namespace {

// The owner of a trusted file: root or the user the launcher runs as.
bool isTrustedOwner(uid_t owner) { return owner == 0 || owner == geteuid(); }

SString ownerText(uid_t owner) {
  char text[32];
  snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(owner));
  return SString(text);
}

// What is wrong with the file or directory (its stat in st), as the end of
// a sentence, or "" when nothing is. asAncestor: the sticky bit excuses
// group and other write permission.
SString problemOf(const struct stat& st, bool asAncestor) {
  if (!isTrustedOwner(st.st_uid)) {
    return SString("belongs to another user (uid ").append(ownerText(st.st_uid)).append(")");
  }
  bool sticky = asAncestor && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0;
  if ((st.st_mode & S_IWOTH) != 0 && !sticky) return SString("is writable by other users");
  if ((st.st_mode & S_IWGRP) != 0 && !sticky) return SString("is writable by its group");
  return SString();
}

// "The file <path>" or "The directory <dir> above <path>", naming the real
// file too when links led there.
SString subjectOf(const SString& path, const SString& real, const SString& current) {
  SString subject;
  if (current.compare(real) != 0) {
    subject.append("The directory ").append(current).append(" above ").append(path);
  } else {
    subject.append("The file ").append(path);
    if (real.compare(path) != 0) subject.append(" (").append(real).append(")");
  }
  return subject;
}

}  // namespace

bool PlatformImpl::isTrustedFile(const SString& path, SString& reason) {
  reason.erase();
  char* resolved = path.empty() ? nullptr : realpath(path.c_str(), nullptr);
  if (resolved == nullptr) {
    int error = path.empty() ? ENOENT : errno;
    reason.append("The file ").append(path).append(" cannot be examined: ").append(strerror(error));
    reason.append(".");
    return false;
  }
  const SString real(resolved);
  free(resolved);
  SString current = real;
  for (;;) {
    bool asAncestor = current.compare(real) != 0;
    struct stat st;
    SString problem;
    if (stat(current.c_str(), &st) != 0) {
      problem.append("cannot be examined: ").append(strerror(errno));
    } else {
      problem = problemOf(st, asAncestor);
    }
    if (!problem.empty()) {
      reason = subjectOf(path, real, current).append(" ").append(problem).append(".");
      return false;
    }
    if (current.compare("/") == 0) return true;
    unsigned long slash = current.rfind('/');
    current = slash == 0 ? SString("/") : current.substr(0, slash);
  }
}
