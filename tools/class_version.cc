#include "tools/class_version.h"

#include <errno.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/pack_options.h"

namespace {

const unsigned long kEndRecordSize = 22;         // end of central directory, without comment
const unsigned long kMaxCommentSize = 65535;
const unsigned long kCentralHeaderSize = 46;
const unsigned long kLocalHeaderSize = 30;
const unsigned long kMaxCentralDirectory = 64UL << 20;  // far more than any real jar
// The first 8 bytes of a class come from the first few hundred bytes of its
// deflate data (a block header and a few codes); reading no more keeps a
// jar whose entries all point at one large entry cheap to read.
const unsigned long kMaxDeflatedRead = 4096;
// Bytes of a class file that tell its version: magic, minor, major.
const unsigned kClassHeadSize = 8;

// The first wanted bytes (fewer when the data ends first) that the raw
// deflate data in[0, size) decodes to, with zlib. inflate() is asked for no
// more than wanted bytes, so its work is bounded by the input. Returns
// false with the reason in *error when the data is damaged or ends before
// its last block.
bool inflateStart(const std::string& in, unsigned wanted, std::string* out, std::string* error) {
  z_stream stream = {};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
    *error = "zlib cannot start";
    return false;
  }
  std::string plain(wanted, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  stream.avail_in = static_cast<uInt>(in.size());
  stream.next_out = reinterpret_cast<Bytef*>(&plain[0]);
  stream.avail_out = wanted;
  int status = inflate(&stream, Z_SYNC_FLUSH);
  bool ok = status == Z_STREAM_END || (status == Z_OK && stream.avail_out == 0);
  if (!ok) {
    // Z_BUF_ERROR or Z_OK with room left: the input ended inside the data.
    *error = status == Z_DATA_ERROR && stream.msg != nullptr
                 ? std::string("damaged deflate data (") + stream.msg + ")"
                 : std::string("damaged deflate data (it ends early)");
  }
  plain.resize(wanted - stream.avail_out);
  inflateEnd(&stream);
  if (ok) *out = plain;
  return ok;
}

unsigned u16(const unsigned char* p) { return p[0] | (p[1] << 8); }
unsigned long u32(const unsigned char* p) {
  return static_cast<unsigned long>(p[0]) | (static_cast<unsigned long>(p[1]) << 8) |
         (static_cast<unsigned long>(p[2]) << 16) | (static_cast<unsigned long>(p[3]) << 24);
}

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};

class JarReader {
 public:
  JarReader(const std::string& path, bool scan, unsigned long budget)
      : m_path(path), m_scan(scan), m_scanBudget(budget) {}

  JarClasses read() {
    m_file.reset(fopen(m_path.c_str(), "rb"));
    if (!m_file) fail(strerror(errno));
    if (fseek(m_file.get(), 0, SEEK_END) != 0) fail("cannot seek");
    long end = ftell(m_file.get());
    if (end < 0) fail("cannot seek");
    m_size = static_cast<unsigned long>(end);
    if (m_size < kEndRecordSize) fail("not a zip archive");

    unsigned long tailSize = m_size < kEndRecordSize + kMaxCommentSize ? m_size : kEndRecordSize + kMaxCommentSize;
    std::string tail = readAt(m_size - tailSize, tailSize);
    const unsigned char* t = bytes(tail);
    unsigned long record = std::string::npos;
    for (unsigned long i = tailSize - kEndRecordSize + 1; i-- > 0;) {
      if (t[i] == 'P' && t[i + 1] == 'K' && t[i + 2] == 5 && t[i + 3] == 6 &&
          i + kEndRecordSize + u16(t + i + 20) <= tailSize) {
        record = i;
        break;
      }
    }
    if (record == std::string::npos) fail("not a zip archive (no end of central directory)");
    const unsigned char* r = t + record;
    unsigned long count = u16(r + 10);
    unsigned long directorySize = u32(r + 12);
    unsigned long directoryOffset = u32(r + 16);
    if (count == 0xFFFF || directorySize == 0xFFFFFFFFUL || directoryOffset == 0xFFFFFFFFUL) {
      fail("ZIP64 archives are not read");
    }
    unsigned long recordOffset = m_size - tailSize + record;
    if (directoryOffset > recordOffset || directorySize > recordOffset - directoryOffset) {
      fail("the central directory lies outside the file");
    }
    if (directorySize > kMaxCentralDirectory) fail("the central directory is too large");
    std::string directory = readAt(directoryOffset, directorySize);
    const unsigned char* d = bytes(directory);

    JarClasses result;
    unsigned long pos = 0;
    for (unsigned long i = 0; i < count; ++i) {
      if (directorySize - pos < kCentralHeaderSize || u32(d + pos) != 0x02014b50UL) {
        fail("damaged central directory");
      }
      const unsigned char* h = d + pos;
      unsigned flags = u16(h + 8);
      unsigned method = u16(h + 10);
      unsigned long compressedSize = u32(h + 20);
      unsigned long plainSize = u32(h + 24);
      unsigned long nameLength = u16(h + 28);
      unsigned long extraLength = u16(h + 30);
      unsigned long commentLength = u16(h + 32);
      unsigned long localOffset = u32(h + 42);
      unsigned long entrySize = kCentralHeaderSize + nameLength + extraLength + commentLength;
      if (directorySize - pos < entrySize) fail("damaged central directory");
      std::string name(reinterpret_cast<const char*>(h + kCentralHeaderSize), nameLength);
      pos += entrySize;
      if (!countsAsClass(name)) continue;
      if (flags & 1) fail(name + " is encrypted");
      std::string head = entryStart(name, method, localOffset, compressedSize);
      const unsigned char* c = bytes(head);
      if (head.size() < 8 || u32(c) != 0xBEBAFECAUL) fail(name + " is not a class file");
      int major = (c[6] << 8) | c[7];
      result.names.push_back(name);
      // The sizes that the directory claims count against the jar's budget,
      // so that a jar of many entries that claim large sizes costs no more.
      if (m_scan && plainSize <= maxScannedClassSize && plainSize <= m_scanBudget) {
        m_scanBudget -= plainSize;
        std::string whole = entryBytes(name, method, localOffset, compressedSize, plainSize);
        scanConstantPool(whole, result.referencedPackages);
      }
      if (major > result.highestMajor) {
        result.highestMajor = major;
        result.highestEntry = name;
      }
    }
    return result;
  }

 private:
  [[noreturn]] void fail(const std::string& reason) const {
    throw PackError("cannot read the class files of " + m_path + ": " + reason);
  }

  static const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
  }

  static bool countsAsClass(const std::string& name) {
    const std::string suffix = ".class";
    if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      return false;
    }
    if (name.compare(0, 18, "META-INF/versions/") == 0) return false;
    size_t slash = name.find_last_of('/');
    return name.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos, "module-info.class") != 0;
  }

  std::string readAt(unsigned long offset, unsigned long size) const {
    if (offset > m_size || size > m_size - offset) fail("an entry lies outside the file");
    std::string data(size, '\0');
    if (fseek(m_file.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
        (size > 0 && fread(&data[0], 1, size, m_file.get()) != size)) {
      fail("read error");
    }
    return data;
  }

  // The first 8 bytes of an entry's data (fewer when it is shorter).
  std::string entryStart(const std::string& name, unsigned method, unsigned long localOffset,
                         unsigned long compressedSize) const {
    std::string header = readAt(localOffset, kLocalHeaderSize);
    const unsigned char* l = bytes(header);
    if (u32(l) != 0x04034b50UL) fail("damaged local header of " + name);
    unsigned long dataOffset = localOffset + kLocalHeaderSize + u16(l + 26) + u16(l + 28);
    if (method == 0) return readAt(dataOffset, compressedSize < kClassHeadSize ? compressedSize : kClassHeadSize);
    if (method != 8) fail(name + " is compressed with method " + std::to_string(method));
    std::string packed = readAt(dataOffset, compressedSize < kMaxDeflatedRead ? compressedSize : kMaxDeflatedRead);
    std::string plain, error;
    if (!inflateStart(packed, kClassHeadSize, &plain, &error)) fail(name + ": " + error);
    return plain;
  }

  // The whole data of an entry of plainSize bytes ("" when it does not
  // decode to that many).
  std::string entryBytes(const std::string& name, unsigned method, unsigned long localOffset,
                         unsigned long compressedSize, unsigned long plainSize) const {
    std::string header = readAt(localOffset, kLocalHeaderSize);
    const unsigned char* l = bytes(header);
    unsigned long dataOffset = localOffset + kLocalHeaderSize + u16(l + 26) + u16(l + 28);
    std::string packed = readAt(dataOffset, compressedSize);
    if (method == 0) return packed;
    std::string plain, error;
    if (!inflateStart(packed, static_cast<unsigned>(plainSize), &plain, &error)) fail(name + ": " + error);
    return plain;
  }

  std::string m_path;
  bool m_scan;
  unsigned long m_scanBudget;
  std::unique_ptr<FILE, FileCloser> m_file;
  unsigned long m_size = 0;
};

}  // namespace

JarClasses readJarClasses(const std::string& path, bool scanConstantPools, unsigned long scanBudget) {
  return JarReader(path, scanConstantPools, scanBudget).read();
}

namespace {

bool isNameCharacter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '.' || c == '/';
}

// The packages of the class names in one constant-pool string.
void addNamesOf(const std::string& text, std::map<std::string, std::string>& packages) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && !isNameCharacter(static_cast<unsigned char>(text[i]))) ++i;
    size_t start = i;
    while (i < text.size() && isNameCharacter(static_cast<unsigned char>(text[i]))) ++i;
    std::string token = text.substr(start, i - start);
    while (!token.empty() && token[0] == '[') token.erase(0, 1);
    for (char& c : token) {
      if (c == '/') c = '.';
    }
    size_t dot = token.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == token.size()) continue;
    // A descriptor's "Lpkg/Name": both readings, the JDK's packages decide.
    for (int strip = 0; strip < (token[0] == 'L' ? 2 : 1); ++strip) {
      std::string name = token.substr(static_cast<size_t>(strip));
      size_t last = name.find_last_of('.');
      if (last == std::string::npos || last == 0) continue;
      packages.emplace(name.substr(0, last), name);
    }
  }
}

}  // namespace

void scanConstantPool(const std::string& bytes, std::map<std::string, std::string>& packages) {
  // A bound on what one jar set adds, whatever its strings hold.
  const size_t kMaxPackages = 1 << 20;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t size = bytes.size();
  if (size < 10 || u32(b) != 0xBEBAFECAUL) return;
  unsigned count = (b[8] << 8) | b[9];
  size_t pos = 10;
  for (unsigned index = 1; index < count && pos < size; ++index) {
    unsigned char tag = b[pos++];
    size_t length;
    switch (tag) {
      case 1: {  // Utf8: u2 length, bytes
        if (size - pos < 2) return;
        length = (b[pos] << 8) | b[pos + 1];
        pos += 2;
        if (size - pos < length) return;
        if (packages.size() < kMaxPackages) addNamesOf(bytes.substr(pos, length), packages);
        pos += length;
        continue;
      }
      case 7: case 8: case 16: case 19: case 20: length = 2; break;  // Class, String, MethodType, Module, Package
      case 15: length = 3; break;  // MethodHandle
      case 3: case 4: case 9: case 10: case 11: case 12: case 17: case 18: length = 4; break;
      case 5: case 6:  // Long, Double: two slots
        length = 8;
        ++index;
        break;
      default:
        return;
    }
    if (size - pos < length) return;
    pos += length;
  }
}

std::string javaVersionForMajor(int major) {
  return major <= 52 ? "1.8" : std::to_string(major - 44);
}

std::string normalizeJavaVersion(const std::string& text) {
  std::string digits = text.compare(0, 2, "1.") == 0 ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 3) return "";
  for (char c : digits) {
    if (c < '0' || c > '9') return "";
  }
  int version = std::stoi(digits);
  if (version < 1) return "";
  if (text.compare(0, 2, "1.") == 0 && version > 8) return "";
  return version <= 8 ? "1." + std::to_string(version) : std::to_string(version);
}
