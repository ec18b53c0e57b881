#include "archive/runtime_archive.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "archive/damaged_launcher.h"
#include "archive/extraction_error.h"
#include "archive/file_index_entry.h"
#include "foundation/launcher_exception.h"
#include "platform/platform_impl.h"
#include "platform/unique_fd.h"

const char runtimeMagic[9] = "BVRTIME2";
const char* damagedLauncherMessage = "The launcher file is damaged or incomplete. Download it again.";

namespace {

// Files whose pieces are being written, at most: each holds a descriptor.
// Never more than a quarter of the process's limit of open files (a shell's
// limit may be 256 or less), so that the folders, the launcher file and the
// rest of the run have descriptors too.
const size_t kMaxOpenFiles = 256;
const unsigned kMaxThreads = 8;

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

bool readAt(int fd, void* to, size_t n, long offset) {
  char* p = static_cast<char*>(to);
  while (n > 0) {
    ssize_t got = pread(fd, p, n, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
    offset += got;
  }
  return true;
}

// A piece of a file: where its compressed bytes lie in the launcher file,
// and where its bytes go.
struct Piece {
  long entryOffset = 0;  // from the start of the entry
  uint32_t compressedSize = 0;
  uint64_t compressedDigest = 0;
  uint64_t fileOffset = 0;
  uint32_t size = 0;
};

struct Member {
  char kind = 'e';
  int mode = 0;
  std::string name;
  std::string target;  // 'l'
  uint64_t size = 0;   // 'f'
  std::vector<Piece> pieces;
};

// The table, read in order; anything malformed is damage.
class TableReader {
 public:
  explicit TableReader(const std::string& bytes) : m_bytes(bytes) {}
  uint64_t number(int size) {
    need(static_cast<size_t>(size));
    uint64_t value = readBig(reinterpret_cast<const unsigned char*>(m_bytes.data()) + m_pos, size);
    m_pos += static_cast<size_t>(size);
    return value;
  }
  std::string text(size_t n) {
    need(n);
    std::string value = m_bytes.substr(m_pos, n);
    m_pos += n;
    return value;
  }
  bool atEnd() const { return m_pos == m_bytes.size(); }

 private:
  void need(size_t n) const {
    if (m_bytes.size() - m_pos < n) throw damaged();
  }
  const std::string& m_bytes;
  size_t m_pos = 0;
};

struct Table {
  std::vector<RuntimeAnswer> answers;
  std::vector<Member> members;
};

// Parses the table; the pieces must fill the entry from the table's end to
// the entry's end exactly.
Table parseTable(const std::string& bytes, long piecesStart, long entryLength) {
  TableReader in(bytes);
  Table table;
  uint64_t answers = in.number(2);
  for (uint64_t i = 0; i < answers; ++i) {
    std::string name = in.text(in.number(2));
    std::string value = in.text(in.number(2));
    table.answers.emplace_back(name, value);
  }
  long next = piecesStart;
  for (;;) {
    Member member;
    member.kind = static_cast<char>(in.number(1));
    if (member.kind == 'e') break;
    if (member.kind != 'd' && member.kind != 'f' && member.kind != 'l') throw damaged();
    member.mode = static_cast<int>(in.number(2));
    if (member.mode > 0777) throw damaged();
    size_t nameLength = static_cast<size_t>(in.number(2));
    if (nameLength == 0 || static_cast<long>(nameLength) > maxRuntimeNameLength) throw damaged();
    member.name = in.text(nameLength);
    if (member.kind == 'l') {
      size_t targetLength = static_cast<size_t>(in.number(2));
      if (targetLength == 0 || static_cast<long>(targetLength) > maxRuntimeNameLength) throw damaged();
      member.target = in.text(targetLength);
    } else if (member.kind == 'f') {
      member.size = in.number(8);
      // A size the entry cannot hold is damage, before it is divided.
      if (member.size > static_cast<uint64_t>(entryLength) * 4096) throw damaged();
      for (uint64_t done = 0; done < member.size; done += runtimeChunkSize) {
        Piece piece;
        piece.compressedSize = static_cast<uint32_t>(in.number(4));
        piece.compressedDigest = in.number(8);
        if (piece.compressedSize == 0 || piece.compressedSize > maxRuntimeChunkFrame) throw damaged();
        piece.entryOffset = next;
        piece.fileOffset = done;
        piece.size = static_cast<uint32_t>(member.size - done < static_cast<uint64_t>(runtimeChunkSize)
                                               ? member.size - done
                                               : runtimeChunkSize);
        next += piece.compressedSize;
        if (next > entryLength) throw damaged();
        member.pieces.push_back(piece);
      }
    }
    table.members.push_back(std::move(member));
  }
  if (!in.atEnd() || next != entryLength) throw damaged();
  return table;
}

// Reads the header and the table of the entry at offset, the table checked
// against the header's digest.
Table readTable(int fd, long offset, long length, RuntimeHeader& header) {
  unsigned char headerBytes[runtimeHeaderSize];
  if (length < runtimeHeaderSize || !readAt(fd, headerBytes, sizeof headerBytes, offset) ||
      !parseRuntimeHeader(headerBytes, header) || header.tableLength > length - runtimeHeaderSize) {
    throw damaged();
  }
  std::string bytes(header.tableLength, '\0');
  if (!readAt(fd, &bytes[0], bytes.size(), offset + runtimeHeaderSize)) throw damaged();
  XXH128_hash_t digest = XXH3_128bits(bytes.data(), bytes.size());
  if (digest.high64 != header.digestHigh || digest.low64 != header.digestLow) throw damaged();
  return parseTable(bytes, runtimeHeaderSize + static_cast<long>(header.tableLength), length);
}

// Opens the folder that holds member name (its parts but the last), each
// part a folder made before, never a link; top is the path of root.
int openParent(int root, const std::vector<std::string>& parts, const std::string& name, const std::string& top) {
  int dir = dup(root);
  if (dir < 0) throw fileWriteError(errno, top);
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    int next = openat(dir, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int error = errno;
    close(dir);
    if (next < 0) {
      if (error == ENOENT) throw unsafeMember(name, "its folder was not made before it.");
      if (error == ENOTDIR || error == ELOOP) throw unsafeMember(name, "it lies under something that is not a folder.");
      throw fileWriteError(error, top + "/" + name);  // no descriptor left, no memory: not the member's fault
    }
    dir = next;
  }
  return dir;
}

// Starts work on a new thread that takes no signal (the launcher's handlers
// run on the thread that started it). False when no thread can be made.
bool startThread(std::thread& thread, const std::function<void()>& work) {
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  bool started = true;
  try {
    thread = std::thread(work);
  } catch (...) {  // no thread (std::system_error) or no memory for it
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return started;
}

// Writes the pieces of the files being made on every processor while the
// files are made: the making thread adds each file, open, with its pieces;
// the workers take the pieces in order; the last piece of a file drops its
// write bits and closes it. At most kMaxOpenFiles files are open at once,
// fewer under a low limit of open files (openFilesAllowed).
class PieceWriter {
 public:
  PieceWriter(int launcherFd, long entryOffset, unsigned threads)
      : m_launcherFd(launcherFd), m_entryOffset(entryOffset), m_maxOpenFiles(openFilesAllowed()) {
    // The list's room first: a thread that runs is always joined.
    m_workers.reserve(threads);
    for (unsigned i = 1; i < threads; ++i) {
      std::thread worker;
      if (!startThread(worker, [this] { work(nullptr); })) break;  // fewer threads do the same work
      m_workers.push_back(std::move(worker));
    }
  }
  // Stops the workers after their piece (an error of the making thread).
  ~PieceWriter() {
    stop();
    for (std::thread& worker : m_workers) worker.join();
  }
  PieceWriter(const PieceWriter&) = delete;
  PieceWriter& operator=(const PieceWriter&) = delete;

  // Takes the open file fd (at path), to be written with pieces (whose
  // storage outlives the writer) and given mode's execute bits. Waits while too
  // many files are open.
  void add(int fd, int mode, const std::vector<Piece>& pieces, const std::string& path) {
    std::unique_ptr<File> file(new File);
    *file->fd.address() = fd;
    file->mode = mode;
    file->path = path;
    file->left = pieces.size();
    if (pieces.empty()) {
      closeFile(*file);
      return;
    }
    // While too many files are open, this thread writes pieces too (there
    // may be no other thread).
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_stopped) return;
        if (m_openFiles < m_maxOpenFiles) {
          ++m_openFiles;
          for (const Piece& piece : pieces) m_jobs.push_back(Job{&piece, file.get()});
          m_files.push_back(std::move(file));
          m_ready.notify_all();
          return;
        }
        if (m_jobs.empty()) {
          m_room.wait(lock);
          continue;
        }
        job = m_jobs.front();
        m_jobs.pop_front();
      }
      if (!m_own.ready() && !m_own.make()) {
        fail(ENOMEM);
        return;
      }
      run(job, m_own);
    }
  }

  // No more files: the calling thread writes pieces too, with progress(n)
  // told of each n runtimeProgressStep units written and cancel() asked
  // between its pieces, until every piece is written. Throws the first
  // failure, or "Canceled by the user.".
  void finish(const std::function<void(long)>& progress, const std::function<bool()>& cancel) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_closed = true;
    }
    m_ready.notify_all();
    long sinceDot = 0;
    auto report = [&]() {
      sinceDot += m_written.exchange(0);
      if (sinceDot >= runtimeProgressStep && progress) {
        progress(sinceDot / runtimeProgressStep);
        sinceDot %= runtimeProgressStep;
      }
    };
    auto between = [&]() {
      report();
      if (cancel && cancel()) {
        m_canceled.store(true);
        stop();
      }
    };
    between();  // a cancel while the files were made
    work(between);
    for (std::thread& worker : m_workers) worker.join();
    m_workers.clear();
    if (m_canceled.load()) throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
    if (m_error != 0) {
      if (m_error < 0) throw damaged();
      throw fileWriteError(m_error, m_errorPath);
    }
    report();
  }

 private:
  struct File {
    Fd fd;
    int mode = 0;
    size_t left = 0;   // pieces to write
    std::string path;  // for the message of a write error
  };
  struct Job {
    const Piece* piece;
    File* file;
  };
  // What a thread needs to write pieces.
  struct Tools {
    std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> dctx{nullptr, ZSTD_freeDCtx};
    std::unique_ptr<char[]> in;
    std::unique_ptr<char[]> out;
    bool ready() const { return dctx && in && out; }
    bool make() {
      dctx.reset(ZSTD_createDCtx());
      in.reset(new (std::nothrow) char[maxRuntimeChunkFrame]);
      out.reset(new (std::nothrow) char[runtimeChunkSize]);
      return ready();
    }
  };

  static size_t openFilesAllowed() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur / 4 >= kMaxOpenFiles) {
      return kMaxOpenFiles;
    }
    return limit.rlim_cur >= 8 ? static_cast<size_t>(limit.rlim_cur / 4) : 1;
  }

  void stop() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stopped = true;
    }
    m_ready.notify_all();
    m_room.notify_all();
  }
  // The first failure of any thread: -1 for damage, else a write error's
  // errno and the file's path; the others stop after their piece.
  void fail(int error, const std::string& path = std::string()) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_error == 0) {
        m_error = error;
        m_errorPath = path;
      }
    }
    stop();
  }
  // Execute bits kept, every write bit dropped; then closed.
  bool closeFile(File& file) {
    bool changed = fchmod(file.fd.get(), (file.mode & 0111) != 0 ? 0555 : 0444) == 0;
    int error = errno;
    file.fd.reset();
    if (!changed) fail(error != 0 ? error : EIO, file.path);
    return changed;
  }

  void work(const std::function<void()>& between) {
    Tools workerTools;
    Tools& tools = between ? m_own : workerTools;
    if (!tools.ready() && !tools.make()) {
      fail(ENOMEM);
      return;
    }
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_jobs.empty() || m_closed || m_stopped; });
        if (m_stopped || m_jobs.empty()) return;
        job = m_jobs.front();
        m_jobs.pop_front();
      }
      if (!run(job, tools)) return;
      if (between) between();
    }
  }

  // Writes one piece and, after the last piece of its file, closes it.
  bool run(const Job& job, Tools& tools) {
    if (!one(job, tools.dctx.get(), tools.in.get(), tools.out.get())) return false;
    bool last;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      last = --job.file->left == 0;
    }
    if (!last) return true;
    bool closed = closeFile(*job.file);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      --m_openFiles;
    }
    m_room.notify_all();
    return closed;
  }

  bool one(const Job& job, ZSTD_DCtx* dctx, char* in, char* out) {
    const Piece& piece = *job.piece;
    if (!readAt(m_launcherFd, in, piece.compressedSize, m_entryOffset + piece.entryOffset) ||
        XXH3_64bits(in, piece.compressedSize) != piece.compressedDigest) {
      fail(-1);
      return false;
    }
    size_t got = ZSTD_decompressDCtx(dctx, out, piece.size, in, piece.compressedSize);
    if (ZSTD_isError(got) || got != piece.size) {
      fail(-1);
      return false;
    }
    size_t done = 0;
    while (done < got) {
      ssize_t n = pwrite(job.file->fd.get(), out + done, got - done, static_cast<off_t>(piece.fileOffset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fail(n < 0 && errno != 0 ? errno : EIO, job.file->path);
        return false;
      }
      done += static_cast<size_t>(n);
    }
    m_written.fetch_add(static_cast<long>(got));
#ifdef __linux__
    // The disk starts writing the piece now, while the rest is unpacked:
    // the sync that completes the cache entry waits less.
    sync_file_range(job.file->fd.get(), static_cast<off64_t>(piece.fileOffset), static_cast<off64_t>(got),
                    SYNC_FILE_RANGE_WRITE);
#endif
    return true;
  }

  int m_launcherFd;
  long m_entryOffset;
  std::vector<std::thread> m_workers;
  std::mutex m_mutex;
  std::condition_variable m_ready;  // a job, the end of the files, or a stop
  std::condition_variable m_room;   // a file closed, or a stop
  std::deque<Job> m_jobs;
  std::vector<std::unique_ptr<File>> m_files;
  size_t m_maxOpenFiles;
  size_t m_openFiles = 0;
  bool m_closed = false;
  bool m_stopped = false;
  int m_error = 0;
  std::string m_errorPath;
  std::atomic<long> m_written{0};
  std::atomic<bool> m_canceled{false};
  Tools m_own;  // the making thread's
};

void unpackPieces(int fd, long offset, long length, const std::string& dir,
                  const std::function<void(long)>& progress, const std::function<bool()>& cancel);

// The processors this process may run on (its affinity, which taskset and
// container limits narrow), at most kMaxThreads.
unsigned threadCount() {
  unsigned n = 0;
#ifdef __linux__
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) n = static_cast<unsigned>(CPU_COUNT(&set));
#endif
  if (n == 0) n = std::thread::hardware_concurrency();
  if (n == 0) n = 1;
  return n < kMaxThreads ? n : kMaxThreads;
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
  bytes.append(3, '\0');
  appendBig(bytes, header.tableLength, 4);
  return bytes;
}

bool parseRuntimeHeader(const unsigned char* bytes, RuntimeHeader& header) {
  if (memcmp(bytes, runtimeMagic, 8) != 0) return false;
  if (bytes[24] > RUNTIME_USE_ALWAYS) return false;
  for (int i = 25; i < 28; ++i) {
    if (bytes[i] != 0) return false;
  }
  uint64_t tableLength = readBig(bytes + 28, 4);
  if (tableLength == 0 || tableLength > static_cast<uint64_t>(maxRuntimeTableSize)) return false;
  header.digestHigh = readBig(bytes + 8, 8);
  header.digestLow = readBig(bytes + 16, 8);
  header.use = static_cast<RuntimeUse>(bytes[24]);
  header.tableLength = static_cast<uint32_t>(tableLength);
  return true;
}

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
  if (!readAt(fd, bytes, sizeof bytes, entry.getOffsetToBytes()) || !parseRuntimeHeader(bytes, header)) {
    throw damaged();
  }
  return header;
}

std::vector<RuntimeAnswer> readRuntimeAnswers(const FileIndexEntry& entry) {
  if (entry.getOffsetToBytes() < 0) throw damaged();
  int fd = open(entry.getLauncherFile().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw LauncherException("Cannot open launcher file.");
  Fd closer(fd);
  return readRuntimeAnswers(fd, entry.getOffsetToBytes(), entry.getFileLength());
}

std::vector<RuntimeAnswer> readRuntimeAnswers(int fd, long offset, long length) {
  RuntimeHeader header;
  return readTable(fd, offset, length, header).answers;
}

void unpackRuntimeArchive(int fd, long offset, long length, const std::string& dir,
                          const std::function<void(long)>& progress,
                          const std::function<bool()>& cancel,
                          const std::function<bool()>& isWhole) {
  // The digest check runs beside the unpacking; nothing unpacked is used
  // before it ends, and its answer counts before any other.
  std::atomic<bool> whole(true);
  std::thread checker;
  if (isWhole && !startThread(checker, [&whole, &isWhole] { whole.store(isWhole()); })) whole.store(isWhole());
  auto checked = [&]() {
    if (checker.joinable()) checker.join();
    if (!whole.load()) throw DamagedLauncherException("the digest of the Java runtime differs");
  };
  try {
    unpackPieces(fd, offset, length, dir, progress, cancel);
  } catch (...) {
    checked();
    throw;
  }
  checked();
}

namespace {

void unpackPieces(int fd, long offset, long length, const std::string& dir,
                  const std::function<void(long)>& progress, const std::function<bool()>& cancel) {
  RuntimeHeader header;
  Table table = readTable(fd, offset, length, header);
  int root = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (root < 0) throw fileWriteError(errno, dir);
  Fd rootCloser(root);

  // Members are made in order on this thread; each file's pieces are
  // written on the others as soon as it is open.
  PieceWriter writer(fd, offset, threadCount());
  for (const Member& member : table.members) {
    // A table of folders, links or empty files has no pieces between which
    // a cancel would be seen.
    if (cancel && cancel()) throw LauncherException(PlatformImpl::getMessageText(MSG_CANCELED));
    const std::string& name = member.name;
    if (!isSafeRuntimeName(name)) throw unsafeMember(name, "its name leaves the runtime's folder.");
    // A tree whose paths reach PATH_MAX could not be removed by path.
    if (dir.size() + 1 + name.size() >= static_cast<size_t>(PATH_MAX)) {
      throw unsafeMember(name, "its path is longer than the system takes.");
    }
    std::vector<std::string> parts = splitPath(name);
    const char* base = parts.back().c_str();
    const std::string memberPath = dir + "/" + name;
    Fd parent(openParent(root, parts, name, dir));
    if (member.kind == 'd') {
      if (mkdirat(parent.get(), base, 0700) != 0) {
        if (errno == EEXIST) throw unsafeMember(name, "it is there twice.");
        throw fileWriteError(errno, memberPath);
      }
      // Folders stay writable by their owner, so that the cache can remove
      // them; nobody else may write.
      if (fchmodat(parent.get(), base, 0755, 0) != 0) throw fileWriteError(errno, memberPath);
    } else if (member.kind == 'l') {
      if (!isSafeRuntimeLinkTarget(name, member.target)) {
        throw unsafeMember(name, "its link points out of the runtime's folder.");
      }
      if (symlinkat(member.target.c_str(), parent.get(), base) != 0) {
        if (errno == EEXIST) throw unsafeMember(name, "it is there twice.");
        throw fileWriteError(errno, memberPath);
      }
    } else {
      int out = openat(parent.get(), base, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (out < 0) {
        if (errno == EEXIST) throw unsafeMember(name, "it is there twice.");
        throw fileWriteError(errno, memberPath);
      }
      writer.add(out, member.mode, member.pieces, memberPath);
    }
  }
  writer.finish(progress, cancel);
}

}  // namespace
