// Replacing the launcher with another program (an embedded launcher).
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/platform_impl.h"

bool PlatformImpl::replaceProcessWith(const StringDeque& args, bool cleanUpFirst, SString& error) {
  error.erase();
  if (args.size() == 0 || args.at(0).empty()) {
    error = "no program";
    return false;
  }
  const SString& program = args.at(0);
  // Known not to start: nothing is removed.
  if (program.find('/') != SString::npos && access(program.c_str(), X_OK) != 0) {
    error = strerror(errno);
    return false;
  }
  std::vector<char*> argv;
  for (long i = 0; i < args.size(); ++i) argv.push_back(const_cast<char*>(args.at(i).c_str()));
  argv.push_back(nullptr);
  if (cleanUpFirst) cleanup();
  removeCancelHandlers();
  fflush(nullptr);
  execvp(argv[0], argv.data());
  error = strerror(errno);
  installCancelHandlers();
  return false;
}
