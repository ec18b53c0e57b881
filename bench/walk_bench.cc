// The disk scan: FindFiles looking for "bin/java" under a tree, against
// `find <tree> -path '*/bin/java'` on the same tree, in the same run. Also
// times the same walk classifying every entry with lstat, to show what
// trusting the directory entry's type saves.
//
// usage: walk_bench [tree] [repetitions]   (default /usr, 3 runs each)
//
// A first pass of each warms the cache; the best time of the runs counts.
#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file_find_listener.h"
#include "platform/file_navigator.h"
#include "platform/platform_impl.h"

namespace {

double now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

class Counter {
 public:
  bool foundFile(const SString&) {
    ++found;
    return false;
  }
  long found = 0;
};

long walkWithFindFiles(const std::string& root) {
  StringDeque names;
  names.push_back("bin/java");
  Counter counter;
  FindFiles search(names, [&counter](const SString& path) { return counter.foundFile(path); });
  search.process(root.c_str());
  return counter.found;
}

// The same depth-first walk, with an lstat for every entry.
long walkWithLstat(const std::string& root) {
  std::vector<std::string> pending{root};
  long found = 0;
  while (!pending.empty()) {
    std::string dir = pending.back();
    pending.pop_back();
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr) continue;
    std::string base = dir.back() == '/' ? dir : dir + "/";
    while (struct dirent* e = readdir(handle)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string path = base + name;
      struct stat st;
      if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        pending.push_back(path);
      } else if (path.size() > 9 && path.compare(path.size() - 9, 9, "/bin/java") == 0) {
        ++found;
      }
    }
    closedir(handle);
  }
  return found;
}

long walkWithFind(const std::string& root) {
  std::string command = "find '" + root + "' -path '*/bin/java' 2>/dev/null | wc -l";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  long found = -1;
  if (fscanf(pipe, "%ld", &found) != 1) found = -1;
  pclose(pipe);
  return found;
}

struct Walk {
  const char* name;
  long (*run)(const std::string&);
  double best;
  long found;
};

}  // namespace

int main(int argc, char** argv) {
  std::string root = argc > 1 ? argv[1] : "/usr";
  int runs = argc > 2 ? atoi(argv[2]) : 3;
  if (runs <= 0) {
    fprintf(stderr, "usage: walk_bench [tree] [repetitions]\n");
    return 2;
  }
  PlatformImpl::hideUI(0);
  Walk walks[] = {{"FindFiles", walkWithFindFiles, 1e30, 0},
                  {"lstat per entry", walkWithLstat, 1e30, 0},
                  {"find", walkWithFind, 1e30, 0}};
  for (Walk& w : walks) w.found = w.run(root);
  for (int i = 0; i < runs; ++i) {
    for (Walk& w : walks) {
      double start = now();
      w.run(root);
      double seconds = now() - start;
      if (seconds < w.best) w.best = seconds;
    }
  }
  printf("walk of %s for bin/java, best of %d\n", root.c_str(), runs);
  for (const Walk& w : walks) {
    printf("  %-16s %7.3f s  %ld found\n", w.name, w.best, w.found);
  }
  printf("  time ratio FindFiles / find: %.2f (target <= 0.8)\n", walks[0].best / walks[2].best);
  printf("  time ratio lstat walk / FindFiles: %.2f\n", walks[1].best / walks[0].best);
  return walks[0].found == walks[1].found ? 0 : 1;
}
