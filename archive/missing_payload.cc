#include "archive/missing_payload.h"

#include <sys/stat.h>

#include <cstdio>

#include "tagfile/text_utils.h"

namespace {

// The unsigned integer of size bytes at p, in the file's byte order.
unsigned long long fieldValue(const unsigned char* p, int size, bool bigEndian) {
  unsigned long long value = 0;
  for (int i = 0; i < size; ++i) {
    int index = bigEndian ? i : size - 1 - i;
    value = (value << 8) | p[index];
  }
  return value;
}

}  // namespace

long programImageSize(const SString& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  FileCloser closer(file);
  unsigned char header[64];
  if (fread(header, 1, sizeof header, file) != sizeof header) return -1;
  if (header[0] != 0x7F || header[1] != 'E' || header[2] != 'L' || header[3] != 'F') return -1;
  bool wide = header[4] == 2;  // ELFCLASS64
  if (header[4] != 1 && !wide) return -1;
  if (header[5] != 1 && header[5] != 2) return -1;
  bool bigEndian = header[5] == 2;
  // e_shoff, e_shentsize and e_shnum.
  unsigned long long tableOffset = wide ? fieldValue(header + 0x28, 8, bigEndian)
                                        : fieldValue(header + 0x20, 4, bigEndian);
  unsigned long long entrySize = fieldValue(header + (wide ? 0x3A : 0x2E), 2, bigEndian);
  unsigned long long entryCount = fieldValue(header + (wide ? 0x3C : 0x30), 2, bigEndian);
  if (tableOffset == 0 || tableOffset > (1ULL << 40)) return -1;
  return static_cast<long>(tableOffset + entrySize * entryCount);
}

SString missingPayloadMessage(const SString& path) {
  struct stat st;
  long image = programImageSize(path);
  if (image > 0 && stat(path.c_str(), &st) == 0 && st.st_size == image) {
    return SString("The launcher file ")
        .append(path)
        .append(" is the launcher program alone: it carries no application. Pack one with bvpack.");
  }
  return SString("The launcher file ")
      .append(path)
      .append(
          " is cut short or damaged: the application that it carries is missing from its end (a "
          "download or copy that did not finish?). Get the file again.");
}
