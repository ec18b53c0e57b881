#include "platform/conversion_modules.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

#if defined(__linux__)
#include <elf.h>
#include <link.h>
#include <sys/auxv.h>
#endif
#if defined(__GLIBC__)
#include <gnu/libc-version.h>
#endif

namespace {

// Whether the running program was linked against a shared C library: it
// names a program interpreter (the dynamic loader).
bool usesSharedLibc() {
#if defined(__linux__)
  const ElfW(Phdr)* headers = reinterpret_cast<const ElfW(Phdr)*>(getauxval(AT_PHDR));
  unsigned long count = getauxval(AT_PHNUM);
  if (headers == nullptr) return true;
  for (unsigned long i = 0; i < count; ++i) {
    if (headers[i].p_type == PT_INTERP) return true;
  }
  return false;
#else
  return true;
#endif
}

bool decideModulesUsable() {
  if (usesSharedLibc()) return true;
#if defined(__GLIBC__) && defined(BV_SYSTEM_LIBC)
  std::string system = libcReleaseOf(BV_SYSTEM_LIBC);
  return !system.empty() && system == gnu_get_libc_version();
#else
  return false;
#endif
}

}  // namespace

std::string normalizedCodeset(const char* name) {
  std::string result;
  for (const char* p = name; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (isalnum(c)) result += static_cast<char>(tolower(c));
  }
  return result;
}

bool isBuiltInCharset(const char* name) {
  static const char* const kBuiltIn[] = {
      "utf8",   "ascii",  "usascii", "ansix341968", "wchart",  "internal", "ucs4",
      "ucs4be", "ucs4le", "ucs2",    "ucs2be",      "ucs2le",  "utf16",    "utf16be",
      "utf16le", "utf32", "utf32be", "utf32le",     "iso10646ucs4"};
  std::string normalized = normalizedCodeset(name);
  for (const char* builtIn : kBuiltIn) {
    if (normalized == builtIn) return true;
  }
  return false;
}

bool iconvUsable(const char* from, const char* to) {
  if (isBuiltInCharset(from) && isBuiltInCharset(to)) return true;
  static const bool modulesUsable = decideModulesUsable();
  return modulesUsable;
}

std::string libcReleaseOf(const char* path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  struct stat st;
  std::string release;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    size_t size = static_cast<size_t>(st.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped != MAP_FAILED) {
      static const char kMarker[] = "release version ";
      const char* bytes = static_cast<const char*>(mapped);
      const char* found = static_cast<const char*>(memmem(bytes, size, kMarker, sizeof kMarker - 1));
      if (found != nullptr) {
        const char* p = found + sizeof kMarker - 1;
        const char* end = bytes + size;
        // Digits and dots, the dot that ends the sentence left out.
        while (p < end && (isdigit(static_cast<unsigned char>(*p)) || *p == '.') && release.size() < 16) {
          release += *p++;
        }
        while (!release.empty() && release.back() == '.') release.pop_back();
      }
      munmap(mapped, size);
    }
  }
  close(fd);
  return release;
}
