// Writing a launcher: the stub, the embedded files, the file index, the
// digest block and the trailer, in the layout of archive/archive_format.h.
#ifndef BV_TOOLS_PACK_WRITER_H_
#define BV_TOOLS_PACK_WRITER_H_

#include <string>
#include <vector>

#include "tools/pack_options.h"

// Checks the whole payload first (readable files, valid names, distinct
// names of classpath archives, tag files that the launcher parses and that
// end with a line feed, instruction scripts and launch templates that pass
// the checks of pack_check.h, offsets that fit 32 bits), then writes job.output through a temporary file in the same
// directory that is renamed into place, executable, only when complete.
// A payload with JVM description files and no verify-jar gets the built-in
// Verify.jar as its last entry (unless job.builtInVerifyJar is false).
// stub is the executable image to copy. Throws PackError; nothing is left
// behind then.
void writeLauncher(const PackJob& job, const std::string& stub);

// Puts a file of bytes at path the way the launcher is written: a new
// private file in the same directory, then renamed into place, so a
// symbolic link at path is replaced, never written through, and nothing
// half-written is left. mode is applied less the umask. Throws PackError.
void replaceFile(const std::string& path, const std::string& bytes, unsigned mode);

// The big-endian bytes of the index (file count and entries) for entries
// whose bytes begin at firstOffset, back to back in order; sizes[i] is the
// length of entry i.
std::string encodeFileIndex(const PackJob& job, const long* sizes, long firstOffset);

// The 9-byte trailer.
std::string encodeTrailer(int purpose, long indexOffset);

// The digest block (archive/archive_format.h) with the index digest still
// zero: the executable image of stubLength bytes and the entries have the
// given SHA-256 digests.
std::string encodeDigestBlock(long stubLength, const std::string& stubDigest,
                              const std::vector<std::string>& entryDigests);

// Sets the index digest of tail, the index, digest block and trailer as
// they end the file.
void sealIndex(std::string& tail);

#endif  // BV_TOOLS_PACK_WRITER_H_
