// The Java runtime entry (FILE_JAVA_RUNTIME): a runtime image (a JDK, or
// what jlink made) stored compressed in pieces that unpack in parallel, and
// its unpacking.
//
// Entry bytes (numbers big-endian):
//   offset  size  field
//   0       8     "BVRTIME2"
//   8       16    the table's digest: XXH3-128 of the table's bytes, high
//                 half then low half; it names the runtime's cache folder
//   24      1     use: 0 fallback (a found Java that fits runs first),
//                 1 always (the bundled runtime is tried first)
//   25      3     zero
//   28      4     T, the table's length, 1 to maxRuntimeTableSize
//   32      T     the table
//   32+T    ...   the pieces, back to back, in the table's order; the last
//                 one ends with the entry
//
// The table:
//   answers  2    count of recorded verification answers, then each:
//                 name length (2), name, value length (2), value: what the
//                 runtime's java printed for these system properties when
//                 bvpack packed it (none when bvpack could not run it)
//   members, back to back, parents before what they hold, then the end
//   member:
//     kind    1     'd' folder, 'f' file, 'l' symbolic link, 'e' end
//     mode    2     permission bits, 0 to 0777
//     n       2     name length, 1 to 4095
//     name    n     the path inside the image, "/" between its parts
//     'f':    8     size; then per piece of the file (size divided into
//                   runtimeChunkSize parts, the last one shorter; none for
//                   an empty file): compressed length (4, 1 to
//                   maxRuntimeChunkFrame) and the XXH3-64 of the
//                   compressed bytes (8)
//     'l':    2     target length m, 1 to 4095, then the target, m bytes
//   The end member is the byte 'e' alone; nothing follows it in the table.
// A piece is one zstd frame that holds exactly its part of the file.
//
// Safety rules of the reader (a member that breaks one stops the unpacking
// with "The Java runtime in the launcher file holds an unsafe member ..."):
// names are relative, without empty, "." or ".." parts, NUL or line breaks,
// and short enough that their path in dir stays below PATH_MAX;
// a member is never written through a symbolic link (every folder above it
// must be a folder made by an earlier member) nor over an earlier one; a
// link's target is relative, made of ".." parts first and names after them,
// and its ".." parts do not climb above the image's top folder. Files keep
// their execute bits and lose every write bit (0555 or 0444), folders are
// 0755. The table is checked against its digest before anything is made,
// each piece against its XXH3-64 before it is decompressed; a mismatch, a
// damaged frame, a piece that holds more or less than its part, or pieces
// that do not end with the entry are "The launcher file is damaged or
// incomplete. Download it again."
#ifndef BV_ARCHIVE_RUNTIME_ARCHIVE_H_
#define BV_ARCHIVE_RUNTIME_ARCHIVE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class FileIndexEntry;

extern const char runtimeMagic[9];  // "BVRTIME2"
const long runtimeHeaderSize = 32;
const long maxRuntimeNameLength = 4095;
const long maxRuntimeTableSize = 16L << 20;
// The uncompressed size of a piece (the last piece of a file is shorter).
const long runtimeChunkSize = 4L << 20;
// The largest compressed piece a reader takes.
const long maxRuntimeChunkFrame = runtimeChunkSize + (64L << 10);
// One progress dot per this many unpacked bytes.
const long runtimeProgressStep = 1L << 20;

enum RuntimeUse { RUNTIME_USE_FALLBACK = 0, RUNTIME_USE_ALWAYS = 1 };

// A system property and the value the runtime's java gave it when packed.
typedef std::pair<std::string, std::string> RuntimeAnswer;

struct RuntimeHeader {
  uint64_t digestHigh = 0;
  uint64_t digestLow = 0;
  RuntimeUse use = RUNTIME_USE_FALLBACK;
  uint32_t tableLength = 0;
  // The digest as 32 lower-case hex digits: the name of the runtime's
  // folder in the cache.
  std::string digestText() const;
};

// The message of a damaged runtime entry.
extern const char* damagedLauncherMessage;

// The 32 header bytes of a runtime entry.
std::string encodeRuntimeHeader(const RuntimeHeader& header);
// Reads 32 header bytes; false when the magic, the use byte, the zero bytes
// or the table length are wrong.
bool parseRuntimeHeader(const unsigned char* bytes, RuntimeHeader& header);

// Whether a member name obeys the rules above.
bool isSafeRuntimeName(const std::string& name);
// Whether a link named name may point to target.
bool isSafeRuntimeLinkTarget(const std::string& name, const std::string& target);

// The header of a runtime entry, read from the running launcher. Throws
// LauncherException (damagedLauncherMessage) when it cannot be read or is
// wrong.
RuntimeHeader readRuntimeHeader(const FileIndexEntry& entry);

// The verification answers recorded in the runtime entry (empty when none
// were recorded), its table checked against the header's digest. Throws
// LauncherException (damagedLauncherMessage) when the entry is damaged.
std::vector<RuntimeAnswer> readRuntimeAnswers(const FileIndexEntry& entry);
// The same from the entry bytes that are length bytes at offset of fd.
std::vector<RuntimeAnswer> readRuntimeAnswers(int fd, long offset, long length);

// Unpacks the runtime whose entry bytes are length bytes at offset of the
// open file fd into the empty folder dir, decompressing pieces on up to as
// many threads as the machine has processors (at most 8). progress(n) is
// told of each n runtimeProgressStep units written; cancel() is asked
// between pieces and true stops the unpacking (it then throws "Canceled by
// the user."); both are called on the calling thread only. Throws
// LauncherException: the rules above, write errors (fileWriteError), a
// read error of the launcher file. isWhole, when given, runs on a thread
// of its own while the pieces are written and tells whether the entry's
// bytes match their digest; false throws DamagedLauncherException, before
// any other error. What was written stays; the caller removes dir.
void unpackRuntimeArchive(int fd, long offset, long length, const std::string& dir,
                          const std::function<void(long)>& progress,
                          const std::function<bool()>& cancel,
                          const std::function<bool()>& isWhole = std::function<bool()>());

#endif  // BV_ARCHIVE_RUNTIME_ARCHIVE_H_
