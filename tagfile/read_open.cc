#include "tagfile/read_open.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FILE* openForReading(const SString& fileName, bool* regular) {
  int fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (regular != nullptr) *regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FILE* file = fdopen(fd, "r");
  if (file == nullptr) {
    int error = errno;
    close(fd);
    errno = error;
  }
  return file;
}
