// bvpack: builds a launcher from the launcher program and the files it is
// to carry, or lists the index of one (see bvpack --help).
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/pack_list.h"
#include "tools/pack_options.h"
#include "tools/pack_writer.h"

namespace {

// bvlauncher in the directory of the running bvpack.
std::string defaultStub(const char* programName) {
  std::string self;
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n > 0) self.assign(buffer, static_cast<size_t>(n));
  else self = programName;
  size_t slash = self.find_last_of('/');
  return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "bvlauncher";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    PackJob job = parsePackArguments(args);
    if (job.mode == PackJob::HELP) {
      fputs(packHelpText().c_str(), stdout);
    } else if (job.mode == PackJob::LIST) {
      fputs(listLauncher(job.output).c_str(), stdout);
    } else {
      writeLauncher(job, job.stub.empty() ? defaultStub(argv[0]) : job.stub);
    }
  } catch (const PackUsageError& e) {
    fprintf(stderr, "bvpack: %s\n", e.what());
    return 2;
  } catch (const PackError& e) {
    fprintf(stderr, "bvpack: %s\n", e.what());
    return 1;
  }
  return fflush(stdout) == 0 ? 0 : 1;
}
