#include "launcher/launcher.h"

#include <cstdio>

long readLauncherPurpose(const SString& path) {
  long value = -1;
  if (FILE* file = fopen(path.c_str(), "rb")) {
    if (fseek(file, -9, SEEK_END) == 0) value = fgetc(file);
    fclose(file);
  }
  return value < -1 ? -1 : value;
}
