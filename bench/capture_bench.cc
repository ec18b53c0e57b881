// Capture of a child's output: PlatformImpl::executeProcess with capture
// against a plain pipe reader that appends to a growing std::string, in the
// same run. Prints the time and the peak memory of each, and their ratios.
//
// usage: capture_bench [MiB] [repetitions]   (default 256 MiB, 3 runs each)
//
// Each measurement runs in a forked process, so that its peak resident size
// (ru_maxrss of that process) is its own; the best time of the runs counts.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform_impl.h"

namespace {

double now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// The launcher's way: everything captured into an SString.
unsigned long captureWithLauncher(const std::string& command) {
  PlatformImpl::hideUI(0);  // progress dots counted, not printed
  SString out;
  SString err;
  PlatformImpl::executeProcess(command.c_str(), "", false, true, true, &out, &err, false);
  return out.length();
}

// The alternative: a blocking pipe read into a std::string.
unsigned long captureWithPlainReader(const std::string& command) {
  int fds[2];
  if (pipe(fds) != 0) return 0;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string text;
  char buffer[65536];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status;
  waitpid(pid, &status, 0);
  return text.size();
}

struct Result {
  double seconds;
  long peakKiB;
  bool complete;
};

// Runs one capture in a forked process.
Result measure(unsigned long (*capture)(const std::string&), const std::string& command,
               unsigned long expected) {
  fflush(nullptr);
  double start = now();
  pid_t pid = fork();
  if (pid == 0) _exit(capture(command) == expected ? 0 : 1);
  int status = 0;
  struct rusage usage;
  wait4(pid, &status, 0, &usage);
  return {now() - start, usage.ru_maxrss, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

}  // namespace

int main(int argc, char** argv) {
  long mib = argc > 1 ? atol(argv[1]) : 256;
  int runs = argc > 2 ? atoi(argv[2]) : 3;
  if (mib <= 0 || runs <= 0) {
    fprintf(stderr, "usage: capture_bench [MiB] [repetitions]\n");
    return 2;
  }
  unsigned long bytes = static_cast<unsigned long>(mib) * 1024 * 1024;
  std::string command = "head -c " + std::to_string(bytes) + " /dev/zero";
  Result best[2] = {{1e30, 0, true}, {1e30, 0, true}};
  for (int i = 0; i < runs; ++i) {
    Result r[2] = {measure(captureWithLauncher, command, bytes),
                   measure(captureWithPlainReader, command, bytes)};
    for (int k = 0; k < 2; ++k) {
      if (r[k].seconds < best[k].seconds) best[k].seconds = r[k].seconds;
      if (r[k].peakKiB > best[k].peakKiB) best[k].peakKiB = r[k].peakKiB;
      best[k].complete = best[k].complete && r[k].complete;
    }
  }
  double outputMiB = static_cast<double>(mib);
  printf("capture of %ld MiB, best of %d\n", mib, runs);
  printf("  executeProcess:   %7.3f s  peak %7.1f MiB (%.2fx output)%s\n", best[0].seconds,
         best[0].peakKiB / 1024.0, best[0].peakKiB / 1024.0 / outputMiB,
         best[0].complete ? "" : "  INCOMPLETE");
  printf("  plain pipe reader:%7.3f s  peak %7.1f MiB (%.2fx output)%s\n", best[1].seconds,
         best[1].peakKiB / 1024.0, best[1].peakKiB / 1024.0 / outputMiB,
         best[1].complete ? "" : "  INCOMPLETE");
  printf("  time ratio executeProcess / plain reader: %.2f (target <= 1.5)\n",
         best[0].seconds / best[1].seconds);
  printf("  peak memory / output size: %.2f (target about 2)\n", best[0].peakKiB / 1024.0 / outputMiB);
  return best[0].complete && best[1].complete ? 0 : 1;
}
