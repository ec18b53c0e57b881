// Trust checks of files found on disk before they are run or read.
//
// A file is only as safe as the directories above it: whoever may write to
// one of them can put another file in its place. So the check walks from
// the file up to "/", twice: along the path as given, where every symbolic
// link met must belong to root or the user too (whoever owns a link can
// point it elsewhere between the check and the use), and along the path
// that every link resolved (realpath) leads to. Each step must belong to
// root or to the user running the launcher, and none may be writable by its
// group or by others, except a directory with the sticky bit (such as
// /tmp): there nobody can rename or delete entries that belong to someone
// else, so it is a safe place to pass through.
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

// Where a chain of checks starts: the path as given, made absolute, or the
// path it resolves to.
enum ChainKind { CHAIN_AS_GIVEN, CHAIN_RESOLVED };

// What the chain starts at: a file, or a folder that others may write to
// when it is sticky (a shared temporary folder such as /tmp).
enum StartKind { START_FILE, START_FOLDER };

// The subject of the sentence about current, a step of the chain that
// starts at start.
SString subjectOf(const SString& path, const SString& start, ChainKind chain, StartKind kind,
                  const SString& current, const struct stat* st) {
  SString subject("The ");
  bool link = st != nullptr && S_ISLNK(st->st_mode);
  if (current.compare(start) == 0) {
    subject.append(link ? "symbolic link " : kind == START_FOLDER ? "directory " : "file ").append(path);
    if (chain == CHAIN_RESOLVED && start.compare(path) != 0) subject.append(" (").append(start).append(")");
  } else {
    subject.append(link ? "symbolic link " : "directory ").append(current).append(" above ").append(path);
  }
  return subject;
}

// Walks from start up to "/" without following a link at any step: every
// step must belong to root or the user, and every step that is not a link
// must not be writable by group or others (a sticky directory above the
// start excepted). On failure reason says which step and why.
bool isTrustedChain(const SString& path, const SString& start, ChainKind chain, StartKind kind,
                    SString& reason) {
  SString current = start;
  for (;;) {
    struct stat st;
    SString problem;
    bool examined = lstat(current.c_str(), &st) == 0;
    if (!examined) {
      problem.append("cannot be examined: ").append(strerror(errno));
    } else if (S_ISLNK(st.st_mode)) {
      // A link's own mode means nothing; whoever owns it can change it.
      if (!isTrustedOwner(st.st_uid)) problem = problemOf(st, false);
    } else {
      problem = problemOf(st, kind == START_FOLDER || current.compare(start) != 0);
    }
    if (!problem.empty()) {
      reason = subjectOf(path, start, chain, kind, current, examined ? &st : nullptr);
      reason.append(" ").append(problem).append(".");
      return false;
    }
    if (current.compare("/") == 0) return true;
    unsigned long slash = current.rfind('/');
    current = slash == 0 ? SString("/") : current.substr(0, slash);
  }
}

// path made absolute against the current directory, repeated and trailing
// separators dropped (".." and links stay as they are).
SString absolutePath(const SString& path) {
  SString raw;
  if (path[0] != '/') {
    if (char* cwd = getcwd(nullptr, 0)) {
      raw = cwd;
      free(cwd);
    }
    raw.append(1, '/');
  }
  raw.append(path);
  SString result;
  for (unsigned long i = 0; i < raw.length(); ++i) {
    if (raw[i] == '/' && !result.empty() && result[result.length() - 1] == '/') continue;
    result.append(1, raw[i]);
  }
  while (result.length() > 1 && result[result.length() - 1] == '/') result.erase(result.length() - 1);
  return result;
}

// The check of isTrustedFile and isTrustedFolder; resolved gets the path
// that the links lead to.
bool isTrustedPath(const SString& path, StartKind kind, SString& resolvedPath, SString& reason) {
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
  resolvedPath = real;
  // Nobody else may change where the path leads (a link of theirs, or a
  // directory they may write on the way), nor what lies there.
  return isTrustedChain(path, absolutePath(path), CHAIN_AS_GIVEN, kind, reason) &&
         isTrustedChain(path, real, CHAIN_RESOLVED, kind, reason);
}

}  // namespace

bool PlatformImpl::isTrustedFile(const SString& path, SString& reason) {
  SString resolved;
  return isTrustedPath(path, START_FILE, resolved, reason);
}

bool PlatformImpl::isTrustedFolder(const SString& path, SString& resolved, SString& reason) {
  SString real;
  if (!isTrustedPath(path, START_FOLDER, real, reason)) return false;
  resolved = real;
  return true;
}
