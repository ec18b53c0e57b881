#include "platform/file_digest.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

// The library's functions, compiled into this file: nothing to link.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

std::string hex(unsigned long long value) {
  char text[17];
  snprintf(text, sizeof text, "%016llx", value);
  return text;
}

}  // namespace

std::string fileDigest(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::string();
  struct stat st;
  XXH3_state_t* state = XXH3_createState();
  bool ok = state != nullptr && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            XXH3_64bits_reset(state) == XXH_OK;
  std::vector<char> buffer(1 << 18);
  while (ok) {
    ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    ok = XXH3_64bits_update(state, buffer.data(), static_cast<size_t>(got)) == XXH_OK;
  }
  close(fd);
  std::string digest = ok ? hex(XXH3_64bits_digest(state)) : std::string();
  XXH3_freeState(state);
  return digest;
}

std::string textDigest(const std::string& text) {
  XXH128_hash_t hash = XXH3_128bits(text.data(), text.size());
  return hex(hash.high64) + hex(hash.low64);
}
