// The built launcher started on a terminal (a pseudo-terminal of the
// test's) of which it is the foreground: the application gets the terminal
// while it runs, so it reads it without a job-control stop, and Ctrl-C
// reaches it once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/test_util.h"

namespace {

using bvtest::readFile;
using bvtest::writeFile;

bool waitFor(const std::string& path, const std::string& text) {
  for (int i = 0; i < 2000; ++i) {
    if (readFile(path).find(text) != std::string::npos) return true;
    usleep(10 * 1000);
  }
  return false;
}

TEST(TerminalLauncherTest, TheApplicationReadsTheTerminalAndGetsCtrlCOnce) {
  bvtest::TempDir dir;
  std::string temp = dir.file("tmp");
  ASSERT_EQ(0, mkdir(temp.c_str(), 0700));
  writeFile(dir.file("instructions.tag"), "INSTRUCTIONS:\n  ILAUNCH 1 0\n  :END\n/:\n");
  writeFile(dir.file("app.jvm"), "DESC: app\nJVM_EXE: bin/java\n");
  writeFile(dir.file("launch.tag"),
            "DESC: terminal app\nDISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 1\nCOMMAND: exec /bin/sh ./app.sh\n");
  writeFile(dir.file("app.sh"),
            "trap 'echo INT >> got' INT\n"
            ": > ready\n"
            "read line\n"
            "echo \"line=$line\" >> got\n"
            "i=0; while [ $i -lt 500 ] && ! grep -q INT got; do sleep 0.02; i=$((i+1)); done\n"
            "exit 4\n");
  std::string launcher = dir.file("setup");
  std::string out;
  ASSERT_EQ(0, bvtest::runBvpack({"-o", launcher, "instructions:" + dir.file("instructions.tag"), "--id", "1",
                                  "jvm:" + dir.file("app.jvm"), "launch-script:" + dir.file("launch.tag")},
                                 &out))
      << out;

  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pseudo-terminal";
  std::string slaveName = ptsname(master);
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int slave = open(slaveName.c_str(), O_RDWR);
    if (slave < 0 || ioctl(slave, TIOCSCTTY, 0) != 0) _exit(98);
    dup2(slave, 0);
    dup2(slave, 1);
    dup2(slave, 2);
    const char* argv[] = {launcher.c_str(), "-bv:tempdir", temp.c_str(), nullptr};
    const char* envp[] = {"PATH=/usr/bin:/bin", "LANG=C", nullptr};
    execve(launcher.c_str(), const_cast<char**>(argv), const_cast<char**>(envp));
    _exit(99);
  }
  // The launcher's own output is read and dropped, so that it never blocks.
  fcntl(master, F_SETFL, O_NONBLOCK);
  auto drain = [&] {
    char buffer[4096];
    while (read(master, buffer, sizeof buffer) > 0) {
    }
  };
  bool ready = waitFor(dir.file("ready"), "");
  drain();
  EXPECT_TRUE(ready);
  const char line[] = "hello\n";
  EXPECT_EQ(static_cast<ssize_t>(sizeof line - 1), write(master, line, sizeof line - 1));
  EXPECT_TRUE(waitFor(dir.file("got"), "line=hello"));
  const char interrupt = 3;  // Ctrl-C
  EXPECT_EQ(1, write(master, &interrupt, 1));
  int status = 0;
  pid_t r = 0;
  for (int i = 0; i < 2000 && (r = waitpid(pid, &status, WNOHANG)) == 0; ++i) {
    drain();
    usleep(10 * 1000);
  }
  if (r == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "the launcher did not end";
  }
  close(master);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(4, WEXITSTATUS(status));
  EXPECT_EQ("line=hello\nINT\n", readFile(dir.file("got")));
  std::string left;
  bvtest::runShell("ls -A '" + temp + "'", &left);
  EXPECT_EQ("", left);
}

}  // namespace
