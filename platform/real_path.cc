#include "platform/real_path.h"

#include <stdlib.h>

bool resolveRealPath(const SString& path, SString& resolved) {
  if (path.empty()) return false;
  // With a null buffer realpath allocates one of the length it needs.
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return false;
  resolved = real;
  free(real);
  return true;
}
