// The start and end of a run: process() and run().
#include <cstdio>

#include "launcher/launcher.h"
#include "launcher/launcher_exception.h"
#include "platform/platform_impl.h"

namespace {

// Stand-in until the console UI lands: prints the message on stdout.
void showMessage(const SString& message) {
  fputs(message.c_str(), stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

}  // namespace

Launcher::~Launcher() { PlatformImpl::cleanup(); }

long Launcher::process(StringDeque& args, const SString& launcherPath) {
  m_launcherFileName = launcherPath;
  m_origLauncherFileName = launcherPath;
  for (long i = 0; i < args.size(); ++i) m_args.push_back(args.at(i));
  try {
    return processCmdLine(args);
  } catch (const LauncherException& e) {
    showMessage(e.getMessage());
    logMessage(e.getMessage(), LOG_ERROR);
    return -1;
  }
}

// Stand-in until the command line and the instruction script land.
long Launcher::processCmdLine(const StringDeque& args) {
  for (long i = 0; i < args.size(); ++i) {
    if (args.at(i).compare("-bv:log") == 0 && i + 1 < args.size()) setLogFileName(args.at(++i));
  }
  return 0;
}

long Launcher::run() { return -1; }
