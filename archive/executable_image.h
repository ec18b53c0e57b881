// Where the executable image at the start of a launcher file ends, so that
// a file cut short (its trailer gone with its end) can be told from a stub
// that carries no payload.
#ifndef BV_ARCHIVE_EXECUTABLE_IMAGE_H_
#define BV_ARCHIVE_EXECUTABLE_IMAGE_H_

// For an ELF file of the running program's class and byte order: the end
// of the furthest of its program headers' and sections' contents and of
// its header tables, which for a program as the linker or strip wrote it is
// its size. -1 for any other file (or when it cannot be read).
long executableImageEnd(int fd);

#endif  // BV_ARCHIVE_EXECUTABLE_IMAGE_H_
