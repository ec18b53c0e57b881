#include "archive/executable_image.h"

#include <errno.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#if defined(__linux__)
#include <elf.h>
#include <link.h>
#endif

namespace {

bool readAt(int fd, unsigned long offset, void* buffer, size_t size) {
  char* out = static_cast<char*>(buffer);
  while (size > 0) {
    ssize_t got = pread(fd, out, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    offset += static_cast<unsigned long>(got);
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

long executableImageEnd(int fd) {
#if defined(__linux__)
  // ElfW names the running program's class (Elf64_... on 64-bit systems).
  const unsigned char elfClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  const unsigned char byteOrder = ELFDATA2LSB;
#else
  const unsigned char byteOrder = ELFDATA2MSB;
#endif
  ElfW(Ehdr) header;
  if (!readAt(fd, 0, &header, sizeof header) || memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != elfClass || header.e_ident[EI_DATA] != byteOrder ||
      header.e_phentsize != sizeof(ElfW(Phdr)) ||
      (header.e_shnum != 0 && header.e_shentsize != sizeof(ElfW(Shdr)))) {
    return -1;
  }
  unsigned long end = header.e_ehsize;
  auto extend = [&end](unsigned long offset, unsigned long size) {
    unsigned long last = size > ~0UL - offset ? ~0UL : offset + size;
    if (last > end) end = last;
  };
  extend(header.e_phoff, static_cast<unsigned long>(header.e_phnum) * header.e_phentsize);
  extend(header.e_shoff, static_cast<unsigned long>(header.e_shnum) * header.e_shentsize);
  // A table that cannot be read lies past the end of a file cut short: the
  // end found so far already says so.
  std::vector<ElfW(Phdr)> programs(header.e_phnum);
  if (header.e_phnum > 0 && readAt(fd, header.e_phoff, programs.data(), programs.size() * sizeof(ElfW(Phdr)))) {
    for (const ElfW(Phdr)& program : programs) extend(program.p_offset, program.p_filesz);
  }
  std::vector<ElfW(Shdr)> sections(header.e_shnum);
  if (header.e_shnum > 0 && readAt(fd, header.e_shoff, sections.data(), sections.size() * sizeof(ElfW(Shdr)))) {
    for (const ElfW(Shdr)& section : sections) {
      if (section.sh_type != SHT_NOBITS) extend(section.sh_offset, section.sh_size);
    }
  }
  return end > 0x7fffffffUL ? 0x7fffffffL : static_cast<long>(end);
#else
  (void)fd;
  return -1;
#endif
}
