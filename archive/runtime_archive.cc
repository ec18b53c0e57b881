#include "archive/runtime_archive.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/extraction_error.h"
#include "archive/file_index_entry.h"
#include "foundation/launcher_exception.h"
#include "platform/platform_impl.h"
#include "platform/unique_fd.h"

const char runtimeMagic[9] = "BVRTIME1";
const char* damagedLauncherMessage = "The launcher file is damaged or incomplete. Download it again.";

namespace {

const size_t kReadPiece = 1 << 18;

void appendBig(std::string& out, uint64_t value, int size) {
  for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
    out += static_cast<char>((value >> shift) & 0xFF);
  }
}

uint64_t readBig(const unsigned char* p, int size) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) value = (value << 8) | p[i];
  return value;
}

LauncherException damaged() { return LauncherException(damagedLauncherMessage); }

LauncherException unsafeMember(const std::string& name, const char* why) {
  std::string text = "The Java runtime in the launcher file holds an unsafe member \"" + name + "\": " + why;
  return LauncherException(SString(text.c_str()));
}

// The parts of a path, split at "/".
std::vector<std::string> splitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t slash = path.find('/', start);
    parts.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return parts;
}

bool isPlainPart(const std::string& part) {
  return !part.empty() && part != "." && part != ".." &&
         part.find_first_of(std::string("\n\r\0", 3)) == std::string::npos;
}

// Pulls the decompressed member stream out of the entry's zstd frame,
// reading the launcher file piece by piece, and digests what it hands out.
class StreamReader {
 public:
  StreamReader(int fd, long offset, long length, const std::function<bool()>& cancel)
      : m_fd(fd), m_next(offset), m_end(offset + length), m_cancel(cancel),
        m_dctx(ZSTD_createDCtx()), m_in(new char[kReadPiece]), m_outSize(ZSTD_DStreamOutSize()),
        m_out(new char[m_outSize]) {
    if (m_dctx == nullptr) throw LauncherException("Out of memory.");
    // A hostile frame may not ask for more than 128 MiB of window.
    ZSTD_DCtx_setParameter(m_dctx, ZSTD_d_windowLogMax, 27);
    m_input.src = m_in.get();
    m_input.size = 0;
    m_input.pos = 0;
    XXH3_128bits_reset(&m_state);
  }
  ~StreamReader() { ZSTD_freeDCtx(m_dctx); }
  StreamReader(const StreamReader&) = delete;
  StreamReader& operator=(const StreamReader&) = delete;

  // Exactly n bytes into to; a stream that ends first is damaged.
  void read(char* to, size_t n) {
    while (n > 0) {
      if (m_have == m_used) fill();
      size_t take = m_have - m_used < n ? m_have - m_used : n;
      memcpy(to, m_out.get() + m_used, take);
      m_used += take;
      to += take;
      n -= take;
    }
  }
  // Up to max bytes, at least one: a view of the decoder's buffer.
  size_t view(const char*& data, size_t max) {
    if (m_have == m_used) fill();
    size_t take = m_have - m_used < max ? m_have - m_used : max;
    data = m_out.get() + m_used;
    m_used += take;
    return take;
  }
  uint64_t number(int size) {
    unsigned char bytes[8];
    read(reinterpret_cast<char*>(bytes), static_cast<size_t>(size));
    return readBig(bytes, size);
  }
  // After the end member: nothing more may come out of the frame, and the
  // frame must end with the entry's last byte.
  void finish() {
    if (m_used != m_have) throw damaged();
    while (!m_frameDone) {
      readInput();
      ZSTD_outBuffer output = {m_out.get(), m_outSize, 0};
      size_t rc = ZSTD_decompressStream(m_dctx, &output, &m_input);
      if (ZSTD_isError(rc) || output.pos != 0) throw damaged();
      m_outputFull = false;
      if (rc == 0) m_frameDone = true;
    }
    if (m_input.pos != m_input.size || m_next != m_end) throw damaged();
  }
  XXH128_hash_t digest() { return XXH3_128bits_digest(&m_state); }

 private:
  // Reads the next piece of the frame when the last one is used up and the
  // decoder holds no more output for the bytes it has.
  void readInput() {
    if (m_input.pos != m_input.size || m_outputFull) return;
    if (m_next >= m_end) throw damaged();
    size_t want = m_end - m_next < static_cast<long>(kReadPiece) ? static_cast<size_t>(m_end - m_next)
                                                                : kReadPiece;
    ssize_t got;
    do {
      got = pread(m_fd, m_in.get(), want, m_next);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) throw damaged();
    m_next += got;
    m_input.size = static_cast<size_t>(got);
    m_input.pos = 0;
  }

  void fill() {
    m_have = m_used = 0;
    while (m_have == 0) {
      if (m_frameDone) throw damaged();
      if (m_cancel && m_cancel()) throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
      readInput();
      ZSTD_outBuffer output = {m_out.get(), m_outSize, 0};
      size_t rc = ZSTD_decompressStream(m_dctx, &output, &m_input);
      if (ZSTD_isError(rc)) throw damaged();
      if (rc == 0) m_frameDone = true;
      m_outputFull = output.pos == output.size;
      m_have = output.pos;
    }
    XXH3_128bits_update(&m_state, m_out.get(), m_have);
  }

  int m_fd;
  long m_next;
  long m_end;
  const std::function<bool()>& m_cancel;
  ZSTD_DCtx* m_dctx;
  std::unique_ptr<char[]> m_in;
  ZSTD_inBuffer m_input;
  size_t m_outSize;
  std::unique_ptr<char[]> m_out;
  size_t m_have = 0;
  size_t m_used = 0;
  bool m_frameDone = false;
  bool m_outputFull = false;
  XXH3_state_t m_state;
};

// Opens the folder that holds member name (its parts but the last), each
// part a folder made before, never a link.
int openParent(int root, const std::vector<std::string>& parts, const std::string& name) {
  int dir = dup(root);
  if (dir < 0) throw fileWriteError(errno);
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    int next = openat(dir, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int error = errno;
    close(dir);
    if (next < 0) {
      if (error == ENOENT) throw unsafeMember(name, "its folder was not made before it.");
      throw unsafeMember(name, "it lies under something that is not a folder.");
    }
    dir = next;
  }
  return dir;
}

void writeAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t written = write(fd, data, n);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw fileWriteError(written < 0 ? errno : EIO);
    data += written;
    n -= static_cast<size_t>(written);
  }
}

}  // namespace

std::string RuntimeHeader::digestText() const {
  char text[33];
  snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(digestHigh),
           static_cast<unsigned long long>(digestLow));
  return text;
}

std::string encodeRuntimeHeader(const RuntimeHeader& header) {
  std::string bytes(runtimeMagic, 8);
  appendBig(bytes, header.digestHigh, 8);
  appendBig(bytes, header.digestLow, 8);
  appendBig(bytes, static_cast<uint64_t>(header.use), 1);
  bytes.append(7, '\0');
  return bytes;
}

bool parseRuntimeHeader(const unsigned char* bytes, RuntimeHeader& header) {
  if (memcmp(bytes, runtimeMagic, 8) != 0) return false;
  if (bytes[24] > RUNTIME_USE_ALWAYS) return false;
  for (int i = 25; i < runtimeHeaderSize; ++i) {
    if (bytes[i] != 0) return false;
  }
  header.digestHigh = readBig(bytes + 8, 8);
  header.digestLow = readBig(bytes + 16, 8);
  header.use = static_cast<RuntimeUse>(bytes[24]);
  return true;
}

void appendRuntimeMemberHead(std::string& stream, char kind, int mode, const std::string& name) {
  stream += kind;
  appendBig(stream, static_cast<uint64_t>(mode), 2);
  appendBig(stream, name.size(), 2);
  stream += name;
}

void appendRuntimeMember(std::string& stream, char kind, int mode, const std::string& name,
                         const std::string& data) {
  appendRuntimeMemberHead(stream, kind, mode, name);
  if (kind == 'f') {
    appendBig(stream, data.size(), 8);
    stream += data;
  } else if (kind == 'l') {
    appendBig(stream, data.size(), 2);
    stream += data;
  }
}

void appendRuntimeEnd(std::string& stream) { stream += 'e'; }

bool isSafeRuntimeName(const std::string& name) {
  if (name.empty() || static_cast<long>(name.size()) > maxRuntimeNameLength) return false;
  for (const std::string& part : splitPath(name)) {
    if (!isPlainPart(part)) return false;
  }
  return true;
}

bool isSafeRuntimeLinkTarget(const std::string& name, const std::string& target) {
  if (!isSafeRuntimeName(name) || target.empty() ||
      static_cast<long>(target.size()) > maxRuntimeNameLength || target[0] == '/') {
    return false;
  }
  // The folders above the link: how far its ".." parts may climb.
  long depth = static_cast<long>(splitPath(name).size()) - 1;
  bool names = false;
  for (const std::string& part : splitPath(target)) {
    if (part == "..") {
      // A ".." after a name could climb out of wherever a link took it.
      if (names || --depth < 0) return false;
    } else if (isPlainPart(part)) {
      names = true;
    } else {
      return false;
    }
  }
  return true;
}

RuntimeHeader readRuntimeHeader(const FileIndexEntry& entry) {
  RuntimeHeader header;
  if (entry.getFileLength() < runtimeHeaderSize || entry.getOffsetToBytes() < 0) throw damaged();
  int fd = open(entry.getLauncherFile().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw LauncherException("Cannot open launcher file.");
  Fd closer(fd);
  unsigned char bytes[runtimeHeaderSize];
  ssize_t got;
  do {
    got = pread(fd, bytes, sizeof bytes, entry.getOffsetToBytes());
  } while (got < 0 && errno == EINTR);
  if (got != static_cast<ssize_t>(sizeof bytes) || !parseRuntimeHeader(bytes, header)) throw damaged();
  return header;
}

void unpackRuntimeArchive(int fd, long offset, long length, const std::string& dir,
                          const std::function<void(long)>& progress,
                          const std::function<bool()>& cancel) {
  unsigned char headerBytes[runtimeHeaderSize];
  RuntimeHeader header;
  ssize_t got;
  do {
    got = length >= runtimeHeaderSize ? pread(fd, headerBytes, sizeof headerBytes, offset) : 0;
  } while (got < 0 && errno == EINTR);
  if (got != static_cast<ssize_t>(sizeof headerBytes) || !parseRuntimeHeader(headerBytes, header)) {
    throw damaged();
  }
  int root = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (root < 0) throw fileWriteError(errno);
  Fd rootCloser(root);
  StreamReader stream(fd, offset + runtimeHeaderSize, length - runtimeHeaderSize, cancel);

  char name[maxRuntimeNameLength + 1];
  char target[maxRuntimeNameLength + 1];
  long sinceDot = 0;
  for (;;) {
    char kind;
    stream.read(&kind, 1);
    if (kind == 'e') break;
    if (kind != 'd' && kind != 'f' && kind != 'l') throw damaged();
    int mode = static_cast<int>(stream.number(2));
    size_t nameLength = static_cast<size_t>(stream.number(2));
    if (nameLength == 0 || static_cast<long>(nameLength) > maxRuntimeNameLength) throw damaged();
    stream.read(name, nameLength);
    std::string memberName(name, nameLength);
    if (mode < 0 || mode > 0777) throw damaged();
    if (!isSafeRuntimeName(memberName)) throw unsafeMember(memberName, "its name leaves the runtime's folder.");
    std::vector<std::string> parts = splitPath(memberName);
    const char* base = parts.back().c_str();
    Fd parent(openParent(root, parts, memberName));

    if (kind == 'd') {
      if (mkdirat(parent.get(), base, 0700) != 0) {
        if (errno == EEXIST) throw unsafeMember(memberName, "it is there twice.");
        throw fileWriteError(errno);
      }
      // Folders stay writable by their owner, so that the cache can remove
      // them; nobody else may write.
      if (fchmodat(parent.get(), base, 0755, 0) != 0) throw fileWriteError(errno);
    } else if (kind == 'l') {
      size_t targetLength = static_cast<size_t>(stream.number(2));
      if (targetLength == 0 || static_cast<long>(targetLength) > maxRuntimeNameLength) throw damaged();
      stream.read(target, targetLength);
      std::string linkTarget(target, targetLength);
      if (!isSafeRuntimeLinkTarget(memberName, linkTarget)) {
        throw unsafeMember(memberName, "its link points out of the runtime's folder.");
      }
      if (symlinkat(linkTarget.c_str(), parent.get(), base) != 0) {
        if (errno == EEXIST) throw unsafeMember(memberName, "it is there twice.");
        throw fileWriteError(errno);
      }
    } else {
      uint64_t size = stream.number(8);
      int out = openat(parent.get(), base, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (out < 0) {
        if (errno == EEXIST) throw unsafeMember(memberName, "it is there twice.");
        throw fileWriteError(errno);
      }
      Fd file(out);
      while (size > 0) {
        const char* data;
        size_t n = stream.view(data, size < (1u << 30) ? static_cast<size_t>(size) : (1u << 30));
        writeAll(out, data, n);
        size -= n;
        sinceDot += static_cast<long>(n);
        if (sinceDot >= runtimeProgressStep && progress) {
          progress(sinceDot / runtimeProgressStep);
          sinceDot %= runtimeProgressStep;
        }
      }
      // Execute bits kept, every write bit dropped.
      mode_t fileMode = (mode & 0111) != 0 ? 0555 : 0444;
      if (fchmod(out, fileMode) != 0) throw fileWriteError(errno);
#ifdef __linux__
      // The disk starts writing the file now, while the next ones are
      // unpacked: the sync that completes the cache entry waits less.
      sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    }
  }
  stream.finish();
  XXH128_hash_t digest = stream.digest();
  if (digest.high64 != header.digestHigh || digest.low64 != header.digestLow) throw damaged();
}
