#include "platform/machine_code.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {

// The first 20 bytes of an ELF file: the identification (class at 4, data
// encoding at 5), the type and the machine (bytes 18 and 19).
const size_t kElfHead = 20;

bool readHead(const char* path, unsigned char* head) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t got = pread(fd, head, kElfHead, 0);
  close(fd);
  return got == static_cast<ssize_t>(kElfHead) && memcmp(head, "\177ELF", 4) == 0;
}

}  // namespace

bool holdsCodeForThisMachine(const std::string& path) {
#ifdef __linux__
  unsigned char own[kElfHead];
  unsigned char other[kElfHead];
  if (!readHead("/proc/self/exe", own) || !readHead(path.c_str(), other)) return false;
  return own[4] == other[4] && own[5] == other[5] && own[18] == other[18] && own[19] == other[19];
#else
  (void)path;
  return false;
#endif
}
