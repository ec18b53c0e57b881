// Extraction speed: FileIndexEntry::extract of one large embedded file
// against `cp` of the same bytes into a new file on the same disk, in the
// same run. Extraction moves the bytes in pieces of whole MiBs, with the
// progress display counting 61439-byte blocks and a cancel check per piece.
// It runs with the progress display on, standard output going once to
// /dev/null and once to a pipe that another process reads; the target is
// within 1.10 times cp for each (median of the paired runs' ratios).
//
// usage: extract_bench [MiB] [repetitions] [directory]
//        (defaults: 256 MiB, 5 runs, $TMPDIR or /var/tmp)
//
// The launcher file is written once (a small image, the entry, the index
// and the trailer); each run writes a new target, which is removed before
// the next, and the disk is synced between runs (untimed) so that no run
// competes with the write-back of the one before. The first run of each
// warms the cache; each run times cp and both extractions, taking turns at
// going first, and the median of their ratios counts. A plain read/write
// loop of 61439-byte blocks (the simplest copy) is timed too, for
// comparison. Beside each wall-clock ratio, the ratio of processor time
// (user and system, of cp; of the extracting process and the pipe's reader)
// is shown, which a busy machine disturbs less.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/launcher_input_files.h"
#include "foundation/launcher_exception.h"
#include "platform/console.h"
#include "platform/platform_impl.h"

namespace {

// The wall-clock time of a run, and the processor time that it took (in
// every process involved), which a busy machine disturbs less.
struct Timing {
  double wall;
  double cpu;
};

double seconds(const struct timeval& tv) {
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

double cpuOf(const struct rusage& usage) { return seconds(usage.ru_utime) + seconds(usage.ru_stime); }

double ownCpu() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return cpuOf(usage);
}

double now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void putBigEndian(std::string& out, long value, int size) {
  for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
    out += static_cast<char>((static_cast<unsigned long>(value) >> shift) & 0xFF);
  }
}

bool writeAll(FILE* file, const std::string& bytes) {
  return fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

// Writes the payload alone to payloadPath and a launcher carrying it to
// launcherPath.
bool makeFiles(const std::string& launcherPath, const std::string& payloadPath, long bytes) {
  const std::string image(4096, '\x7f');
  FILE* launcher = fopen(launcherPath.c_str(), "wb");
  FILE* payload = fopen(payloadPath.c_str(), "wb");
  bool ok = launcher != nullptr && payload != nullptr && writeAll(launcher, image);
  std::string block(1 << 20, '\0');
  for (long done = 0; ok && done < bytes; done += static_cast<long>(block.size())) {
    for (size_t i = 0; i < block.size(); i += 64) block[i] = static_cast<char>(rand());
    std::string piece = block.substr(0, static_cast<size_t>(std::min<long>(bytes - done, block.size())));
    ok = writeAll(launcher, piece) && writeAll(payload, piece);
  }
  std::string index;
  putBigEndian(index, 1, indexFileCountSize);
  putBigEndian(index, FILE_APPLICATION_ARCHIVE, entryTypeSize);
  putBigEndian(index, 0, entryIdSize);
  putBigEndian(index, bytes, entryLengthSize);
  putBigEndian(index, static_cast<long>(image.size()), entryOffsetSize);
  putBigEndian(index, 11, entryNameLengthSize);
  index += "payload.bin";
  putBigEndian(index, 0, entryCompressedFlagSize);
  putBigEndian(index, 0, 1);  // purpose
  putBigEndian(index, static_cast<long>(image.size()) + bytes, 4);
  index.append(reinterpret_cast<const char*>(launcherIdentificationBytes), 4);
  ok = ok && writeAll(launcher, index);
  if (launcher != nullptr) ok = fclose(launcher) == 0 && ok;
  if (payload != nullptr) ok = fclose(payload) == 0 && ok;
  return ok;
}

// Removes path and waits until the disk has caught up.
void settle(const std::string& path) {
  unlink(path.c_str());
  sync();
}

Timing timeCp(const std::string& from, const std::string& to) {
  settle(to);
  double start = now();
  pid_t child = fork();
  if (child == 0) {
    execlp("cp", "cp", from.c_str(), to.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  wait4(child, &status, 0, &usage);
  double elapsed = now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "cp failed\n");
    exit(1);
  }
  return {elapsed, cpuOf(usage)};
}

// The copy without the kernel's help: pread and write of 61439-byte blocks.
double timeLoop(const std::string& from, long offset, long length, const std::string& to) {
  settle(to);
  double start = now();
  int in = open(from.c_str(), O_RDONLY);
  int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  std::string buffer(static_cast<size_t>(extractionBlockSize), '\0');
  for (long done = 0; in >= 0 && out >= 0 && done < length;) {
    long n = std::min(extractionBlockSize, length - done);
    ssize_t got = pread(in, &buffer[0], static_cast<size_t>(n), offset + done);
    if (got <= 0 || write(out, buffer.data(), static_cast<size_t>(got)) != got) break;
    done += got;
  }
  if (in >= 0) close(in);
  if (out >= 0) close(out);
  return now() - start;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Where standard output goes while extraction runs: /dev/null, or a pipe
// that a child process reads (the reader wakes for every write, as a
// terminal or a log collector would).
enum Console { CONSOLE_DEV_NULL, CONSOLE_PIPE };

// Points descriptor 1 at the console for its lifetime.
class ConsoleRedirect {
 public:
  explicit ConsoleRedirect(Console console) : m_reader(-1) {
    fflush(stdout);
    m_saved = dup(1);
    int target = -1;
    if (console == CONSOLE_DEV_NULL) {
      target = open("/dev/null", O_WRONLY);
    } else {
      int fds[2];
      if (pipe(fds) != 0) return;
      m_reader = fork();
      if (m_reader == 0) {
        close(fds[1]);
        char buffer[4096];
        while (read(fds[0], buffer, sizeof buffer) > 0) {
        }
        _exit(0);
      }
      close(fds[0]);
      target = fds[1];
    }
    dup2(target, 1);
    close(target);
  }
  ~ConsoleRedirect() { finish(); }

  // Points descriptor 1 back; returns the processor time of the reader.
  double finish() {
    if (m_saved < 0) return 0;
    fflush(stdout);
    dup2(m_saved, 1);
    close(m_saved);
    m_saved = -1;
    struct rusage usage;
    if (m_reader <= 0 || wait4(m_reader, nullptr, 0, &usage) != m_reader) return 0;
    m_reader = -1;
    return cpuOf(usage);
  }

 private:
  int m_saved;
  pid_t m_reader;
};

// One extraction with the progress display on, as a launch shows it.
Timing timeExtract(const FileIndexEntry& entry, const std::string& directory, Console console) {
  settle(directory + "/payload.bin");
  ConsoleRedirect redirect(console);
  ui_progress = 0;
  ui_progressBlock = 0;
  double start = now();
  double startCpu = ownCpu();
  entry.extract(directory.c_str());
  double elapsed = now() - start;
  double cpu = ownCpu() - startCpu;
  return {elapsed, cpu + redirect.finish()};
}

}  // namespace

int main(int argc, char** argv) {
  long mib = argc > 1 ? atol(argv[1]) : 256;
  int runs = argc > 2 ? atoi(argv[2]) : 5;
  const char* tmp = getenv("TMPDIR");
  std::string base = argc > 3 ? argv[3] : (tmp != nullptr && *tmp != '\0' ? tmp : "/var/tmp");
  if (mib <= 0 || mib > 2000 || runs <= 0) {
    fprintf(stderr, "usage: extract_bench [MiB 1-2000] [repetitions] [directory]\n");
    return 2;
  }
  std::string dir = base + "/extract_bench.XXXXXX";
  if (mkdtemp(&dir[0]) == nullptr) {
    perror("mkdtemp");
    return 1;
  }
  std::string launcher = dir + "/launcher", payload = dir + "/payload.src";
  std::string out = dir + "/out", cpTarget = dir + "/cp.bin";
  mkdir(out.c_str(), 0755);
  int result = 0;
  if (!makeFiles(launcher, payload, mib << 20)) {
    fprintf(stderr, "cannot write the test files in %s\n", dir.c_str());
    result = 1;
  } else {
    try {
      LauncherInputFiles files;
      files.load(launcher.c_str(), false);
      const FileIndexEntry& entry = *files.getFileAt(0);
      std::string loopTarget = out + "/loop.bin";
      timeCp(payload, cpTarget);
      timeExtract(entry, out, CONSOLE_DEV_NULL);
      std::vector<double> cpTimes, nullTimes, pipeTimes, loopTimes, nullRatios, pipeRatios;
      std::vector<double> nullCpuRatios, pipeCpuRatios;
      for (int i = 0; i < runs; ++i) {
        // The three take turns at going first.
        Timing cp = {0, 0}, toNull = {0, 0}, toPipe = {0, 0};
        for (int turn = 0; turn < 3; ++turn) {
          switch ((turn + i) % 3) {
            case 0:
              cp = timeCp(payload, cpTarget);
              break;
            case 1:
              toNull = timeExtract(entry, out, CONSOLE_DEV_NULL);
              break;
            default:
              toPipe = timeExtract(entry, out, CONSOLE_PIPE);
              break;
          }
        }
        cpTimes.push_back(cp.wall);
        nullTimes.push_back(toNull.wall);
        pipeTimes.push_back(toPipe.wall);
        nullRatios.push_back(toNull.wall / cp.wall);
        pipeRatios.push_back(toPipe.wall / cp.wall);
        nullCpuRatios.push_back(toNull.cpu / cp.cpu);
        pipeCpuRatios.push_back(toPipe.cpu / cp.cpu);
        loopTimes.push_back(timeLoop(launcher, entry.getOffsetToBytes(), entry.getFileLength(),
                                     loopTarget) / cp.wall);
      }
      unlink(loopTarget.c_str());
      double nullRatio = median(nullRatios), pipeRatio = median(pipeRatios);
      printf("%ld MiB, medians of %d paired runs, cp %.3f s:\n", mib, runs, median(cpTimes));
      printf("  extract, progress to /dev/null %.3f s (ratio %.2f, target <= 1.10) %s; processor time %.2f\n",
             median(nullTimes), nullRatio, nullRatio <= 1.10 ? "ok" : "MISSED", median(nullCpuRatios));
      printf("  extract, progress to a pipe    %.3f s (ratio %.2f, target <= 1.10) %s; processor time %.2f\n",
             median(pipeTimes), pipeRatio, pipeRatio <= 1.10 ? "ok" : "MISSED", median(pipeCpuRatios));
      printf("  read/write loop of 61439-byte blocks: ratio %.2f\n", median(loopTimes));
      if (nullRatio > 1.10 || pipeRatio > 1.10) result = 1;
    } catch (const LauncherException& e) {
      fprintf(stderr, "extraction failed: %s\n", e.getMessage().c_str());
      result = 1;
    }
  }
  for (const std::string& path : {launcher, payload, cpTarget, out + "/payload.bin"}) unlink(path.c_str());
  rmdir(out.c_str());
  rmdir(dir.c_str());
  return result;
}
