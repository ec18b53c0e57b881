// Extraction speed: FileIndexEntry::extract of one large embedded file
// against `cp` of the same bytes into a new file on the same disk, in the
// same run. Extraction moves the bytes in pieces of whole MiBs, with the
// progress display counting 61439-byte blocks and a cancel check per piece;
// the target is within 1.10 times cp (median of the paired runs' ratios).
//
// usage: extract_bench [MiB] [repetitions] [directory]
//        (defaults: 256 MiB, 5 runs, $TMPDIR or /var/tmp)
//
// The launcher file is written once (a small image, the entry, the index
// and the trailer); each run writes a new target, which is removed before
// the next, and the disk is synced between runs (untimed) so that no run
// competes with the write-back of the one before. The first run of each
// warms the cache; each run times cp and then extraction, and the median of
// their ratios counts. A plain read/write loop of 61439-byte blocks (the
// simplest copy) is timed too, for comparison.
#include <fcntl.h>
#include <sys/stat.h>
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
#include "platform/platform_impl.h"

namespace {

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

double timeCp(const std::string& from, const std::string& to) {
  settle(to);
  double start = now();
  pid_t child = fork();
  if (child == 0) {
    execlp("cp", "cp", from.c_str(), to.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  double elapsed = now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "cp failed\n");
    exit(1);
  }
  return elapsed;
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

double timeExtract(const FileIndexEntry& entry, const std::string& directory) {
  settle(directory + "/payload.bin");
  double start = now();
  entry.extract(directory.c_str());
  return now() - start;
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
  PlatformImpl::setSilent(true);
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
      timeExtract(entry, out);
      std::vector<double> cpTimes, extractTimes, loopTimes, ratios;
      for (int i = 0; i < runs; ++i) {
        double cp = timeCp(payload, cpTarget);
        double extract = timeExtract(entry, out);
        cpTimes.push_back(cp);
        extractTimes.push_back(extract);
        ratios.push_back(extract / cp);
        loopTimes.push_back(timeLoop(launcher, entry.getOffsetToBytes(), entry.getFileLength(),
                                     loopTarget) / cp);
      }
      unlink(loopTarget.c_str());
      double ratio = median(ratios);
      printf("%ld MiB, medians of %d paired runs: cp %.3f s, extract %.3f s (ratio %.2f, target "
             "<= 1.10) %s; read/write loop of 61439-byte blocks: ratio %.2f\n",
             mib, runs, median(cpTimes), median(extractTimes), ratio, ratio <= 1.10 ? "ok" : "MISSED",
             median(loopTimes));
      if (ratio > 1.10) result = 1;
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
