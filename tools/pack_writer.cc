#include "tools/pack_writer.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "archive/archive_format.h"
#include "foundation/launcher_exception.h"
#include "foundation/sha256.h"
#include "tagfile/tag_file.h"
#include "tools/pack_check.h"
#include "tools/pack_progress.h"
#include "tools/process_run.h"
#include "tools/runtime_answers.h"
#include "tools/runtime_pack.h"

// The verification archive built into bvpack (generated from
// java/Verify.jar by tools/embed_file.cmake).
extern const unsigned char kBuiltInVerifyJar[];
extern const unsigned long kBuiltInVerifyJarSize;

namespace {

void appendBigEndian(std::string& out, long value, int size) {
  for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
    out += static_cast<char>((static_cast<unsigned long>(value) >> shift) & 0xFF);
  }
}

std::string systemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + strerror(errno);
}

// The size of a regular file that can be opened for reading.
long inputFileSize(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) throw PackError(systemError("cannot read", path));
  if (!S_ISREG(st.st_mode)) throw PackError("cannot read " + path + ": not a regular file");
  if (st.st_size > maxArchiveValue) {
    throw PackError(path + " is larger than 2147483647 bytes, which the index cannot hold");
  }
  return static_cast<long>(st.st_size);
}

void checkEntryName(const PackEntry& entry) {
  const std::string& name = entry.name;
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\n') != std::string::npos || name.find('\0') != std::string::npos) {
    throw PackError("invalid stored name \"" + name + "\" for " + entry.path +
                    " (give one with --name: not empty, \".\" or \"..\", no \"/\" or line feed)");
  }
  if (static_cast<long>(name.size()) > maxEntryNameLength) {
    throw PackError("stored name for " + entry.path + " is longer than 32767 bytes");
  }
}

// Parses a tag file with the launcher's own parser, as the launcher will
// when it loads the embedded copy (named after the entry, lines counted
// from its first line), then checks the scripts in it (pack_check.h).
void checkTagFile(const PackEntry& entry, long size) {
  FILE* file = fopen(entry.path.c_str(), "rb");
  if (file == nullptr) throw PackError(systemError("cannot read", entry.path));
  std::string refusal;
  TagFile tagFile;
  std::string text(static_cast<size_t>(size), '\0');
  if (size > 0 && (fread(&text[0], 1, text.size(), file) != text.size() || text.back() != '\n')) {
    refusal = entry.path + ": a tag file must end with a line feed";
  } else {
    try {
      tagFile.load(file, SString(entry.name.c_str()), 0, size);
    } catch (const LauncherException& e) {
      refusal = entry.path + ": " + e.getMessage().c_str();
    }
  }
  fclose(file);
  if (!refusal.empty()) throw PackError(refusal);
  checkScript(entry.type, entry.path, text, tagFile);
}

// The launcher extracts all classpath archives into one folder, so two of
// the same name would overwrite each other. Java splits a class path at
// ':', so "a:b.jar" would be read as ".../a" and as "b.jar" in the working
// directory of the run, where another user may put one.
void checkClasspathNames(const PackJob& job) {
  for (size_t i = 0; i < job.entries.size(); ++i) {
    if (job.entries[i].type == FILE_CLASSPATH_JAR && job.entries[i].name.find(':') != std::string::npos) {
      throw PackError("the classpath archive " + job.entries[i].name +
                      " has a ':' in its name, at which Java splits a class path: rename the file (or, packing "
                      "tag files, store it under another name with --name)");
    }
    for (size_t j = 0; j < i; ++j) {
      if (job.entries[i].type == FILE_CLASSPATH_JAR && job.entries[j].type == FILE_CLASSPATH_JAR &&
          job.entries[i].name == job.entries[j].name) {
        throw PackError("two classpath archives are stored as " + job.entries[i].name +
                        "; the launcher extracts them into one folder (give one another name with --name)");
      }
    }
  }
}

// The payload with the built-in verification archive appended when it
// carries JVM description files but no verification archive of its own.
PackJob withVerifyJar(const PackJob& job) {
  static const std::string builtIn(reinterpret_cast<const char*>(kBuiltInVerifyJar), kBuiltInVerifyJarSize);
  bool hasJVMFile = false, hasVerifyJar = false;
  for (const PackEntry& entry : job.entries) {
    hasJVMFile = hasJVMFile || entry.type == FILE_JVM;
    hasVerifyJar = hasVerifyJar || entry.type == FILE_VERIFY_JAR;
  }
  PackJob result = job;
  if (job.builtInVerifyJar && hasJVMFile && !hasVerifyJar) {
    PackEntry entry;
    entry.type = FILE_VERIFY_JAR;
    entry.id = static_cast<long>(job.entries.size());
    entry.path = "(built-in Verify.jar)";
    entry.name = "Verify.jar";
    entry.bytes = &builtIn;
    result.entries.push_back(entry);
  }
  return result;
}

// Whether the payload's verification archive is the built-in one (the
// class bvpack asks a runtime with): built in, or a file of the same bytes.
bool carriesBuiltInVerifyJar(const PackJob& job) {
  const std::string builtIn(reinterpret_cast<const char*>(kBuiltInVerifyJar), kBuiltInVerifyJarSize);
  for (const PackEntry& entry : job.entries) {
    if (entry.type != FILE_VERIFY_JAR) continue;
    if (entry.bytes != nullptr) return *entry.bytes == builtIn;
    int fd = open(entry.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // One byte more than the built-in archive shows a longer file.
    std::string bytes(builtIn.size() + 1, '\0');
    size_t got = 0;
    for (;;) {
      ssize_t n = got < bytes.size() ? read(fd, &bytes[got], bytes.size() - got) : 0;
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    close(fd);
    bytes.resize(got);
    return bytes == builtIn;
  }
  return false;
}

// The java-runtime entries packed into files beside the output, removed
// when the pack ends.
class PackedRuntimeFiles {
 public:
  PackedRuntimeFiles() {}
  ~PackedRuntimeFiles() {
    for (const std::string& path : m_paths) unlink(path.c_str());
  }
  PackedRuntimeFiles(const PackedRuntimeFiles&) = delete;
  PackedRuntimeFiles& operator=(const PackedRuntimeFiles&) = delete;

  // Packs the runtime folder of each java-runtime entry of job, and the
  // folder of each application-folder entry, and points the entry at the
  // packed file.
  void pack(PackJob& job) {
    bool seen = false, folderSeen = false;
    for (PackEntry& entry : job.entries) {
      if (entry.compressedFlag == cacheFlagValue && entry.type != FILE_CLASSPATH_JAR) {
        throw PackError("--cache applies to classpath-jar entries only (" + entry.path + ")");
      }
      if (entry.type == FILE_APPLICATION_FOLDER) {
        if (folderSeen) throw PackError("a launcher carries one application folder; " + entry.path + " is a second one");
        folderSeen = true;
        struct stat st;
        if (stat(entry.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
          throw PackError("application-folder:" + entry.path + " needs a folder");
        }
        packFolder(job, entry, "the application folder", "", RUNTIME_USE_FALLBACK, {});
        continue;
      }
      if (entry.type != FILE_JAVA_RUNTIME) continue;
      if (seen) throw PackError("a launcher carries one Java runtime; " + entry.path + " is a second one");
      seen = true;
      struct stat st;
      if (stat(entry.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        throw PackError("java-runtime:" + entry.path + " needs the folder of a Java runtime image");
      }
      std::string version = runtimeJavaVersion(entry.path);
      checkRuntimeFloor(job, entry.path, version);
      // What the launcher would ask the runtime, asked once now; not when
      // the payload brings its own verification class, which a launcher
      // must run.
      std::string why;
      std::vector<RuntimeAnswer> answers;
      if (!carriesBuiltInVerifyJar(job)) {
        fprintf(stderr, "bvpack: note: the payload brings its own verification archive; launchers will verify the "
                        "Java runtime %s with it when they unpack it\n", entry.path.c_str());
      } else if ((answers = askRuntime(entry.path, why)).empty()) {
        fprintf(stderr, "bvpack: note: the Java runtime %s cannot run here (%s); launchers will verify it when they "
                        "unpack it\n", entry.path.c_str(), why.c_str());
      }
      packFolder(job, entry, "the Java runtime", " (Java " + version + ")", job.runtimeUse, answers);
    }
  }

 private:
  // Packs the folder of entry (the Java runtime or the application
  // folder, named so by what, with more after its path in the summary
  // line) into a new file beside the output, with progress on a terminal,
  // and points entry at it.
  void packFolder(const PackJob& job, PackEntry& entry, const std::string& what, const std::string& more, int use,
                  const std::vector<RuntimeAnswer>& answers) {
    std::string packed = job.output + ".bvfolderXXXXXX";
    int fd = mkstemp(&packed[0]);
    if (fd < 0) throw PackError(systemError("cannot create a file next to", job.output));
    close(fd);
    m_paths.push_back(packed);
    PackProgress progress(stderr, job.showProgress);
    progress.stage("compressing " + what + " (zstd level " + std::to_string(job.compressionLevel) + ")");
    PackedRuntime result = packRuntimeImage(entry.path, use, job.compressionLevel, packed, answers,
                                            [&progress](uint64_t done, uint64_t total) {
                                              progress.fraction(done, total);
                                            });
    progress.clear();
    if (result.bytes > maxArchiveValue || result.files > maxArchiveValue) {
      throw PackError(what + " " + entry.path + " is larger than 2147483647 bytes, which the index cannot hold");
    }
    struct stat packedStat;
    long packedSize = stat(packed.c_str(), &packedStat) == 0 ? static_cast<long>(packedStat.st_size) : 0;
    fprintf(stderr, "bvpack: %s %s%s: %ld files and folders, %.1f MB, %.1f MB packed\n", what.c_str(),
            entry.path.c_str(), more.c_str(), result.files, result.bytes / 1e6, packedSize / 1e6);
    entry.path = packed;
    entry.compressedFlag = compressedFlagValue;
    entry.decompressedFileCount = result.files;
    entry.decompressedSize = result.bytes;
  }

  std::vector<std::string> m_paths;
};

// Removes the temporary output unless it was renamed into place.
class TempOutput {
 public:
  explicit TempOutput(const std::string& output) : m_path(output + ".bvpackXXXXXX"), m_fd(-1) {
    m_fd = mkstemp(&m_path[0]);
    if (m_fd < 0) throw PackError(systemError("cannot create a file next to", output));
  }
  ~TempOutput() {
    if (m_fd >= 0) close(m_fd);
    if (!m_path.empty()) unlink(m_path.c_str());
  }
  TempOutput(const TempOutput&) = delete;
  TempOutput& operator=(const TempOutput&) = delete;

  void write(const char* data, size_t n) {
    m_hash.update(data, n);
    while (n > 0) {
      ssize_t written = ::write(m_fd, data, n);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) throw PackError(systemError("cannot write", m_path));
      data += written;
      n -= static_cast<size_t>(written);
    }
  }
  void write(const std::string& bytes) { write(bytes.data(), bytes.size()); }
  // Appends exactly size bytes of the file at path.
  void copyFrom(const std::string& path, long size) {
    int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw PackError(systemError("cannot read", path));
    std::vector<char> buffer(1 << 16);
    long left = size;
    while (left > 0) {
      if (pendingSignal() != 0) {
        close(in);
        throwIfInterrupted();
      }
      size_t want = left < static_cast<long>(buffer.size()) ? left : buffer.size();
      ssize_t got = read(in, buffer.data(), want);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        std::string message = got < 0 ? systemError("cannot read", path)
                                      : path + " changed while it was being packed";
        close(in);
        throw PackError(message);
      }
      try {
        write(buffer.data(), static_cast<size_t>(got));
      } catch (...) {
        close(in);
        throw;
      }
      left -= got;
    }
    close(in);
  }
  // The SHA-256 of every byte written since the last call (or the start):
  // the digest of what the file holds, not of what was meant to be read.
  std::string takeDigest() { return m_hash.finish(); }
  // Gives the file its mode and moves it to output.
  void commit(const std::string& output, mode_t mode = 0755) {
    if (fchmod(m_fd, mode) != 0 || close(m_fd) != 0) {
      m_fd = -1;
      throw PackError(systemError("cannot write", m_path));
    }
    m_fd = -1;
    if (rename(m_path.c_str(), output.c_str()) != 0) {
      throw PackError(systemError("cannot create", output));
    }
    m_path.clear();
  }

 private:
  std::string m_path;
  int m_fd;
  Sha256 m_hash;
};

}  // namespace

void replaceFile(const std::string& path, const std::string& bytes, unsigned mode) {
  mode_t mask = umask(0);
  umask(mask);
  TempOutput out(path);
  out.write(bytes);
  out.commit(path, static_cast<mode_t>(mode) & ~mask);
}

std::string encodeFileIndex(const PackJob& job, const long* sizes, long firstOffset) {
  std::string index;
  appendBigEndian(index, static_cast<long>(job.entries.size()), indexFileCountSize);
  long offset = firstOffset;
  for (size_t i = 0; i < job.entries.size(); ++i) {
    const PackEntry& entry = job.entries[i];
    appendBigEndian(index, entry.type, entryTypeSize);
    appendBigEndian(index, entry.id, entryIdSize);
    appendBigEndian(index, sizes[i], entryLengthSize);
    appendBigEndian(index, offset, entryOffsetSize);
    appendBigEndian(index, static_cast<long>(entry.name.size()), entryNameLengthSize);
    index += entry.name;
    appendBigEndian(index, entry.compressedFlag, entryCompressedFlagSize);
    if (entry.compressedFlag == compressedFlagValue) {
      appendBigEndian(index, entry.decompressedFileCount, entryDecompressedCountSize);
      appendBigEndian(index, entry.decompressedSize, entryDecompressedSizeSize);
    }
    offset += sizes[i];
  }
  return index;
}

std::string encodeDigestBlock(long stubLength, const std::string& stubDigest,
                              const std::vector<std::string>& entryDigests) {
  std::string block(reinterpret_cast<const char*>(digestBlockMark), 4);
  appendBigEndian(block, digestAlgorithmSha256, 1);
  appendBigEndian(block, stubLength, 4);
  block += stubDigest;
  for (const std::string& digest : entryDigests) block += digest;
  block += std::string(digestSize, '\0');  // the index digest, set by sealIndex
  appendBigEndian(block, static_cast<long>(block.size()) + 8, 4);
  block.append(reinterpret_cast<const char*>(digestBlockMark), 4);
  return block;
}

void sealIndex(std::string& tail) {
  size_t at = tail.size() - trailerSize - digestBlockIndexDigestFromTrailer;
  Sha256 hash;
  hash.update(tail.data(), at);
  hash.update(tail.data() + at + digestSize, tail.size() - at - digestSize);
  tail.replace(at, digestSize, hash.finish());
}

std::string encodeTrailer(int purpose, long indexOffset) {
  std::string trailer;
  appendBigEndian(trailer, purpose, 1);
  appendBigEndian(trailer, indexOffset, 4);
  trailer.append(reinterpret_cast<const char*>(launcherIdentificationBytes), 4);
  return trailer;
}

void writeLauncher(const PackJob& givenJob, const std::string& stub) {
  PackJob job = withVerifyJar(givenJob);
  checkClasspathNames(job);
  long stubSize = inputFileSize(stub);
  // The quick checks first; packing a runtime takes a while.
  for (const PackEntry& entry : job.entries) {
    checkEntryName(entry);
    if (entry.type <= FILE_LAUNCH_SCRIPT) checkTagFile(entry, inputFileSize(entry.path));
  }
  PackedRuntimeFiles runtimes;
  runtimes.pack(job);
  std::vector<long> sizes;
  long indexOffset = stubSize;
  for (const PackEntry& entry : job.entries) {
    long size = entry.bytes != nullptr ? static_cast<long>(entry.bytes->size()) : inputFileSize(entry.path);
    sizes.push_back(size);
    indexOffset += size;
    if (indexOffset > maxArchiveValue) {
      throw PackError("the payload reaches past byte 2147483647 at " + entry.path +
                      "; the index offsets are signed 32-bit");
    }
  }

  TempOutput out(job.output);
  out.copyFrom(stub, stubSize);
  std::string stubDigest = out.takeDigest();
  std::vector<std::string> entryDigests;
  for (size_t i = 0; i < job.entries.size(); ++i) {
    if (job.entries[i].bytes != nullptr) {
      out.write(*job.entries[i].bytes);
    } else {
      out.copyFrom(job.entries[i].path, sizes[i]);
    }
    entryDigests.push_back(out.takeDigest());
  }
  // Index, digest block and trailer, the index digest over all three.
  std::string tail = encodeFileIndex(job, sizes.data(), stubSize);
  if (job.digests) tail += encodeDigestBlock(stubSize, stubDigest, entryDigests);
  tail += encodeTrailer(job.purpose, indexOffset);
  if (job.digests) sealIndex(tail);
  out.write(tail);
  out.commit(job.output);
}
