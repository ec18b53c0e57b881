#include "tests/e2e/launcher_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "tests/test_util.h"

namespace bvtest {

namespace {

// In the child, after fork: only async-signal-safe calls and exec.
[[noreturn]] void execChild(const std::string& program, char* const* argv, int outFd,
                            const LauncherProcessOptions& options) {
  int in = open("/dev/null", O_RDONLY);
  if (in >= 0) dup2(in, 0);
  dup2(outFd, 1);
  dup2(outFd, 2);
  if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
  if (options.fileSizeLimit >= 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(options.fileSizeLimit);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
  }
  execv(program.c_str(), argv);
  _exit(127);
}

}  // namespace

LauncherProcessResult runLauncherProcess(const std::string& program,
                                         const std::vector<std::string>& args,
                                         const LauncherProcessOptions& options) {
  LauncherProcessResult result;
  std::vector<std::string> strings;
  strings.push_back(program);
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(&s[0]);
  argv.push_back(nullptr);

  int fds[2];
  if (pipe(fds) != 0) return result;
  pid_t pid;
  {
    ScopedLanguage english("C");  // inherited by the child
    fflush(nullptr);
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      execChild(program, argv.data(), fds[1], options);
    }
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return result;
  }

  // Read until every writer has closed the pipe; a launcher that never gets
  // there is a hang, not a slow run.
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec - start.tv_sec >= options.hangSeconds) {
      result.hung = true;
      kill(pid, SIGKILL);
      break;
    }
    struct pollfd p = {fds[0], POLLIN, 0};
    int ready = poll(&p, 1, 1000);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    if (ready < 0) break;
    char buffer[4096];
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    result.output.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!result.hung && WIFEXITED(status)) {
    result.exited = true;
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

}  // namespace bvtest
