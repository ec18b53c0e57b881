// Tag file loading: a file of 100k one-value tags against one of 400k.
// Loading is linear when the 400k file takes at most 4.5 times as long as
// the 100k file (target), and it should take well under a second.
//
// usage: bench_tagfile [repetitions] [directory]
//        (defaults: 5, $TMPDIR or /var/tmp; the median counts)
//
// Both files are written once into a new folder of directory and removed
// at the end; each run loads a file into a new TagFile in a new child
// process. Times are CPU seconds of the load.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "tagfile/tag_file.h"

namespace {

// CPU seconds of this process: on a shared machine the wall time of a run
// depends on the other processes more than on the load itself.
double now() {
  struct timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

bool writeTags(const std::string& path, long count) {
  FILE* file = fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  bool ok = true;
  for (long i = 0; ok && i < count; ++i) ok = fprintf(file, "TAG_%ld: value %ld\n", i, i) > 0;
  return fclose(file) == 0 && ok;
}

// CPU seconds to load path in a new child process, so that every load
// starts from a fresh heap (memory freed by an earlier load would make a
// later one cheaper); checks that every tag arrived.
double timeLoad(const std::string& path, long count) {
  int fds[2];
  if (pipe(fds) != 0) {
    perror("pipe");
    exit(1);
  }
  fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    double start = now();
    TagFile* tags = new TagFile(path.c_str());
    double elapsed = now() - start;
    bool complete = tags->getTagValueCount(("TAG_" + std::to_string(count - 1)).c_str()) == 1;
    if (!complete) elapsed = -1;
    ssize_t written = write(fds[1], &elapsed, sizeof elapsed);
    _exit(written == sizeof elapsed ? 0 : 1);
  }
  close(fds[1]);
  double elapsed = -1;
  ssize_t got = child < 0 ? -1 : read(fds[0], &elapsed, sizeof elapsed);
  close(fds[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  if (got != sizeof elapsed || elapsed < 0) {
    fprintf(stderr, "%s: the load failed or tags were missing\n", path.c_str());
    exit(1);
  }
  return elapsed;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? atoi(argv[1]) : 5;
  const char* tmp = getenv("TMPDIR");
  std::string base = argc > 2 ? argv[2] : (tmp != nullptr && *tmp != '\0' ? tmp : "/var/tmp");
  if (runs <= 0) {
    fprintf(stderr, "usage: bench_tagfile [repetitions] [directory]\n");
    return 2;
  }
  std::string dir = base + "/tagfile_bench.XXXXXX";
  if (mkdtemp(&dir[0]) == nullptr) {
    perror("mkdtemp");
    return 1;
  }
  const long small = 100000, large = 400000;
  std::string smallPath = dir + "/small.tag", largePath = dir + "/large.tag";
  int result = 0;
  if (!writeTags(smallPath, small) || !writeTags(largePath, large)) {
    fprintf(stderr, "cannot write the tag files in %s\n", dir.c_str());
    result = 1;
  } else {
    try {
      timeLoad(smallPath, small);  // warms the page cache
      timeLoad(largePath, large);
      std::vector<double> smallTimes, largeTimes;
      for (int i = 0; i < runs; ++i) {
        smallTimes.push_back(timeLoad(smallPath, small));
        largeTimes.push_back(timeLoad(largePath, large));
      }
      double s = median(smallTimes), l = median(largeTimes), ratio = l / s;
      bool met = ratio <= 4.5 && l < 1.0;
      printf("tag file load, medians of %d: 100k tags %.3f s, 400k tags %.3f s "
             "(ratio %.2f, target <= 4.50 and 400k under 1 s) %s\n",
             runs, s, l, ratio, met ? "ok" : "MISSED");
      if (!met) result = 1;
    } catch (const LauncherException& e) {
      fprintf(stderr, "load failed: %s\n", e.getMessage().c_str());
      result = 1;
    }
  }
  unlink(smallPath.c_str());
  unlink(largePath.c_str());
  rmdir(dir.c_str());
  return result;
}
