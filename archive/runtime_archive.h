// The Java runtime entry (FILE_JAVA_RUNTIME): a runtime image (a JDK, or
// what jlink made) stored as one compressed archive, and its unpacking.
//
// Entry bytes (numbers big-endian):
//   offset  size  field
//   0       8     "BVRTIME1"
//   8       16    the content digest: XXH3-128 of the member stream, high
//                 half then low half
//   24      1     use: 0 fallback (a found Java that fits runs first),
//                 1 always (the bundled runtime is tried first)
//   25      7     zero
//   32      ...   one zstd frame holding the member stream
//
// The member stream: members back to back, parents before what they hold,
// then the end member:
//   kind    1     'd' folder, 'f' file, 'l' symbolic link, 'e' end
//   mode    2     permission bits, 0 to 0777
//   n       2     name length, 1 to 4095
//   name    n     the path inside the image, "/" between its parts
//   'f':    8     size, then that many bytes
//   'l':    2     target length m, 1 to 4095, then the target, m bytes
// The end member is the byte 'e' alone; nothing follows it.
//
// Safety rules of the reader (a member that breaks one stops the unpacking
// with "The Java runtime in the launcher file holds an unsafe member ..."):
// names are relative, without empty, "." or ".." parts, NUL or line breaks;
// a member is never written through a symbolic link (every folder above it
// must be a folder made by an earlier member) nor over an earlier one; a
// link's target is relative, made of ".." parts first and names after them,
// and its ".." parts do not climb above the image's top folder. Files keep
// their execute bits and lose every write bit (0555 or 0444), folders are
// 0755. The digest is checked when the stream ends; a mismatch, a damaged
// frame or bytes after the end member are "The launcher file is damaged or
// incomplete. Download it again."
#ifndef BV_ARCHIVE_RUNTIME_ARCHIVE_H_
#define BV_ARCHIVE_RUNTIME_ARCHIVE_H_

#include <cstdint>
#include <functional>
#include <string>

class FileIndexEntry;

extern const char runtimeMagic[9];  // "BVRTIME1"
const long runtimeHeaderSize = 32;
const long maxRuntimeNameLength = 4095;
// One progress dot per this many unpacked bytes.
const long runtimeProgressStep = 1L << 20;

enum RuntimeUse { RUNTIME_USE_FALLBACK = 0, RUNTIME_USE_ALWAYS = 1 };

struct RuntimeHeader {
  uint64_t digestHigh = 0;
  uint64_t digestLow = 0;
  RuntimeUse use = RUNTIME_USE_FALLBACK;
  // The digest as 32 lower-case hex digits: the name of the runtime's
  // folder in the cache.
  std::string digestText() const;
};

// The message of a damaged runtime entry.
extern const char* damagedLauncherMessage;

// The 32 header bytes of a runtime entry.
std::string encodeRuntimeHeader(const RuntimeHeader& header);
// Reads 32 header bytes; false when the magic, the use byte or the zero
// bytes are wrong.
bool parseRuntimeHeader(const unsigned char* bytes, RuntimeHeader& header);

// Members of the stream, for the writer (bvpack) and the tests: a whole
// member (data: a file's bytes or a link's target), or only the kind, mode
// and name (a file's size and bytes follow).
void appendRuntimeMemberHead(std::string& stream, char kind, int mode, const std::string& name);
void appendRuntimeMember(std::string& stream, char kind, int mode, const std::string& name,
                         const std::string& data = std::string());
void appendRuntimeEnd(std::string& stream);

// Whether a member name obeys the rules above.
bool isSafeRuntimeName(const std::string& name);
// Whether a link named name may point to target.
bool isSafeRuntimeLinkTarget(const std::string& name, const std::string& target);

// The header of a runtime entry, read from the running launcher. Throws
// LauncherException (damagedLauncherMessage) when it cannot be read or is
// wrong.
RuntimeHeader readRuntimeHeader(const FileIndexEntry& entry);

// Unpacks the runtime whose entry bytes are length bytes at offset of the
// open file fd into the empty folder dir. progress(n) is told of each n
// bytes written; cancel() is asked between pieces and true stops the
// unpacking (it then throws "Canceled by the user."). Throws
// LauncherException: the rules above, write errors (fileWriteError), a
// read error of the launcher file. What was written stays; the caller
// removes dir.
void unpackRuntimeArchive(int fd, long offset, long length, const std::string& dir,
                          const std::function<void(long)>& progress,
                          const std::function<bool()>& cancel);

#endif  // BV_ARCHIVE_RUNTIME_ARCHIVE_H_
