#include "platform/open_file_trust.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform_impl.h"

bool isTrustedOpenFile(int fd, const SString& path, SString& reason) {
  if (!PlatformImpl::isTrustedFile(path, reason)) return false;
  // The check above read the path; the bytes come from fd. Both must be
  // the same file, and that file one that nobody else may change (so that
  // swapping back after the check gains nothing either).
  struct stat opened, named;
  if (fstat(fd, &opened) != 0 || (opened.st_uid != 0 && opened.st_uid != geteuid()) ||
      (opened.st_mode & (S_IWGRP | S_IWOTH)) != 0 || stat(path.c_str(), &named) != 0 ||
      named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
    reason.erase();
    reason.append("The file ").append(path).append(" was replaced after it was opened.");
    return false;
  }
  return true;
}
