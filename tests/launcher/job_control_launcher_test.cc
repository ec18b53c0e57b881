// Job control with the built launcher, started by an interactive shell on a
// terminal (bash -i on a pseudo-terminal, PtyShell): the launcher and its
// application behave as one job of the shell's, stopped with Ctrl-Z or by a
// read from the background, continued with fg, ended by kill or by the
// terminal's hang-up with nothing left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/wait.h>

#include <cerrno>
#include <memory>
#include <sstream>
#include <string>

#include "tests/archive/archive_test_util.h"
#include "tests/launcher/pty_shell.h"
#include "tests/test_util.h"

namespace {

using bvtest::eventually;
using bvtest::processState;
using bvtest::PtyShell;
using bvtest::readFile;
using bvtest::writeFile;

// The application is app.sh, run by /bin/sh as the leader of its group; it
// writes its own and its parent's (the launcher's) process IDs into "pids"
// first. A classpath archive puts a temporary file in use meanwhile.
class JobControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, mkdir(dir.file("tmp").c_str(), 0700));
    writeFile(dir.file("instructions.tag"), "INSTRUCTIONS:\n  ILAUNCH 1 0\n  :END\n/:\n");
    writeFile(dir.file("app.jvm"), "DESC: app\nJVM_EXE: bin/java\nCLASSPATH: \"-cp \"\nCLASSPATH_SEPARATOR: :\n");
    writeFile(dir.file("launch.tag"),
              "DESC: job app\nDISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 1\nCOMMAND: /bin/sh ./app.sh %CP%()\n");
    writeFile(dir.file("lib.jar"), "PK\003\004");
    std::string out;
    ASSERT_EQ(0, bvtest::runBvpack({"-o", dir.file("setup"), "instructions:" + dir.file("instructions.tag"), "--id",
                                    "1", "jvm:" + dir.file("app.jvm"), "launch-script:" + dir.file("launch.tag"),
                                    "classpath-jar:" + dir.file("lib.jar")},
                                   &out))
        << out;
  }

  void TearDown() override {
    // Whatever a failed test left running goes.
    for (pid_t pid : {app, launcher}) {
      if (pid > 0 && processState(pid) != 0) kill(pid, SIGKILL);
    }
  }

  // Writes app.sh: before, the line that records the process IDs, then
  // after.
  void writeApp(const std::string& before, const std::string& after) {
    writeFile(dir.file("app.sh"), before + "echo \"$$ $PPID\" > pids\n" + after);
  }
  // An application that waits about 30 s (so that a broken test cannot
  // hang) in a program that it runs: in its place, or, with a trap, started
  // in the background and waited for. The IDs are recorded once that
  // program runs: a stop that came while the shell was still starting it
  // could stop the new process before it runs the program, and the shell,
  // which waits for that in vfork, not at all.
  void writeWaitingApp(const std::string& trap = "") {
    if (trap.empty()) {
      writeApp("", "exec sleep 30\n");
    } else {
      writeApp(trap + "sleep 30 &\n", "wait\nexit 4\n");
    }
  }

  // Waits until the application has recorded the process IDs.
  bool readPids() {
    if (!eventually([&] { return readFile(dir.file("pids")).find('\n') != std::string::npos; })) return false;
    std::istringstream in(readFile(dir.file("pids")));
    in >> app >> launcher;
    return app > 0 && launcher > 0;
  }

  static bool stopped(pid_t pid) { return processState(pid) == 'T'; }
  static bool running(pid_t pid) {
    char state = processState(pid);
    return state != 0 && state != 'T' && state != 'Z';
  }
  // Ended: gone, or a zombie that nobody has reaped yet.
  static bool ended(pid_t pid) {
    char state = processState(pid);
    return state == 0 || state == 'Z';
  }

  std::string leftInTemp() {
    std::string left;
    bvtest::runShell("ls -A '" + dir.file("tmp") + "'", &left);
    return left;
  }

  bvtest::TempDir dir;
  pid_t app = 0;
  pid_t launcher = 0;
};

// Each shell runs the launcher as a job of its own; in a pipeline, the job
// stops only when all of it stops (dash waits for that), and so the
// launcher stops its whole group, as Ctrl-Z would.
TEST_F(JobControlTest, CtrlZStopsTheJobAndFgContinuesIt) {
  struct Case {
    const char* shell;
    const char* command;
    const char* then;  // typed once the launcher has ended
  } cases[] = {
      {"bash", "./setup -bv:tempdir tmp\n", "echo \"status $?\"\n"},
      {"dash", "{ ./setup -bv:tempdir tmp; echo \"status $?\"; } | cat\n", ""},
  };
  writeWaitingApp();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shell);
    unlink(dir.file("pids").c_str());
    PtyShell shell(dir.path(), c.shell);
    ASSERT_TRUE(shell.ready()) << shell.screen();
    shell.type(c.command);
    ASSERT_TRUE(readPids()) << shell.screen();
    // The launcher's title has come through, so every program of the job
    // runs: a program that the shell has just forked may still ignore
    // Ctrl-Z, or make the job the terminal's foreground again (as dash's do
    // before they run), which the launcher then passes on to the
    // application.
    EXPECT_TRUE(shell.waitFor("job app")) << shell.screen();
    ASSERT_TRUE(eventually([&] { return shell.foregroundGroup() == app; }));

    shell.type("\x1a");  // Ctrl-Z
    ASSERT_TRUE(shell.waitFor("Stopped")) << shell.screen();
    EXPECT_TRUE(shell.waitFor(PtyShell::kPrompt)) << shell.screen();
    EXPECT_TRUE(eventually([&] { return stopped(app) && stopped(launcher); }))
        << processState(app) << processState(launcher);
    EXPECT_EQ(shell.shellPid(), shell.foregroundGroup());

    // In the background the job runs on without the terminal.
    shell.type("bg\n");
    EXPECT_TRUE(eventually([&] { return running(app) && running(launcher); }))
        << processState(app) << processState(launcher);
    EXPECT_TRUE(shell.waitFor(PtyShell::kPrompt)) << shell.screen();
    EXPECT_EQ(shell.shellPid(), shell.foregroundGroup());

    // In the foreground again, the application has the terminal: Ctrl-C
    // reaches it, once.
    shell.type("fg\n");
    ASSERT_TRUE(eventually([&] { return shell.foregroundGroup() == app; })) << shell.screen();
    shell.type("\x03");  // Ctrl-C
    EXPECT_TRUE(eventually([&] { return ended(launcher); })) << shell.screen();
    shell.type(c.then);
    EXPECT_TRUE(shell.waitFor("status 130")) << shell.screen();
    EXPECT_TRUE(ended(app));
    EXPECT_EQ("", leftInTemp());
  }
}

TEST_F(JobControlTest, AReadFromTheBackgroundStopsTheJobAndFgGivesItTheTerminal) {
  writeApp("", "read line\necho \"line=$line\" > got\nexit 5\n");
  PtyShell shell(dir.path());
  ASSERT_TRUE(shell.ready()) << shell.screen();
  shell.type("./setup -bv:tempdir tmp &\n");
  ASSERT_TRUE(readPids()) << shell.screen();
  ASSERT_TRUE(eventually([&] { return stopped(app) && stopped(launcher); }))
      << processState(app) << processState(launcher);
  shell.type("jobs\n");
  EXPECT_TRUE(shell.waitFor("Stopped")) << shell.screen();
  EXPECT_TRUE(shell.waitFor(PtyShell::kPrompt)) << shell.screen();

  // Continued in the background, the application reads again and stops
  // again, and so does the launcher.
  shell.type("bg\n");
  EXPECT_TRUE(shell.waitFor("./setup -bv:tempdir tmp &")) << shell.screen();
  EXPECT_TRUE(shell.waitFor(PtyShell::kPrompt)) << shell.screen();
  EXPECT_TRUE(eventually([&] { return stopped(app) && stopped(launcher); }))
      << processState(app) << processState(launcher);
  shell.type("jobs\n");
  EXPECT_TRUE(shell.waitFor("Stopped")) << shell.screen();

  shell.type("fg\n");
  EXPECT_TRUE(eventually([&] { return shell.foregroundGroup() == app && running(app); }))
      << shell.screen() << processState(app);
  shell.type("hello\n");
  EXPECT_TRUE(eventually([&] { return ended(launcher); })) << shell.screen();
  EXPECT_EQ("line=hello\n", readFile(dir.file("got")));
  shell.type("echo \"status $?\"\n");
  EXPECT_TRUE(shell.waitFor("status 5")) << shell.screen();
  EXPECT_EQ("", leftInTemp());
}

TEST_F(JobControlTest, KillOfAStoppedJobRunsTheApplicationsShutdownHook) {
  writeWaitingApp("trap 'echo TERM > got; exit 7' TERM\n");
  PtyShell shell(dir.path());
  ASSERT_TRUE(shell.ready()) << shell.screen();
  shell.type("./setup -bv:tempdir tmp\n");
  ASSERT_TRUE(readPids()) << shell.screen();
  EXPECT_TRUE(eventually([&] { return shell.foregroundGroup() == app; }));
  shell.type("\x1a");
  ASSERT_TRUE(eventually([&] { return stopped(app) && stopped(launcher); }));
  EXPECT_TRUE(shell.waitFor(PtyShell::kPrompt)) << shell.screen();

  // The shell sends SIGTERM and SIGCONT to the launcher's group; the
  // application, in a group of its own, hears of it from the launcher.
  shell.type("kill %1\n");
  EXPECT_TRUE(eventually([&] { return ended(launcher); })) << shell.screen();
  EXPECT_EQ("TERM\n", readFile(dir.file("got")));
  EXPECT_TRUE(ended(app));
  EXPECT_EQ("", leftInTemp());
}

TEST_F(JobControlTest, AHangUpWithAStoppedJobLeavesNothingBehind) {
  writeWaitingApp();
  PtyShell shell(dir.path());
  ASSERT_TRUE(shell.ready()) << shell.screen();
  shell.type("./setup -bv:tempdir tmp\n");
  ASSERT_TRUE(readPids()) << shell.screen();
  EXPECT_TRUE(eventually([&] { return shell.foregroundGroup() == app; }));
  shell.type("\x1a");
  ASSERT_TRUE(eventually([&] { return stopped(app) && stopped(launcher); }));
  EXPECT_TRUE(shell.waitFor(PtyShell::kPrompt)) << shell.screen();

  shell.hangUp();
  EXPECT_TRUE(eventually([&] { return ended(launcher) && ended(app); }))
      << processState(app) << processState(launcher);
  EXPECT_EQ("", leftInTemp());
}

// Started as the session leader of a terminal (exec from the shell, as ssh
// -t or a container's terminal start a program), the launcher's group is
// orphaned: nothing could continue the launcher, so its own stop does not
// happen, and Ctrl-Z does nothing to the application either.
TEST_F(JobControlTest, WhereNothingCouldContinueTheLauncherCtrlZDoesNothing) {
  writeWaitingApp("trap 'echo CONT > got; kill $!; exit 6' CONT\n");
  PtyShell shell(dir.path());
  ASSERT_TRUE(shell.ready()) << shell.screen();
  shell.type("exec ./setup -bv:tempdir tmp\n");
  ASSERT_TRUE(readPids()) << shell.screen();
  EXPECT_EQ(shell.shellPid(), launcher);
  EXPECT_TRUE(eventually([&] { return shell.foregroundGroup() == app; }));
  shell.type("\x1a");
  EXPECT_EQ(6, shell.exitStatus()) << shell.screen();
  EXPECT_EQ("CONT\n", readFile(dir.file("got")));
  EXPECT_TRUE(ended(app));
  EXPECT_EQ("", leftInTemp());
}

// Started in the background by a shell that then ends, the launcher's group
// is orphaned: an application that reads the terminal could never get it,
// and is hung up, as the system does with such groups.
TEST_F(JobControlTest, AnApplicationThatCouldNeverGetTheTerminalIsHungUp) {
  // The application reads once the test has seen the shell that started
  // the launcher end.
  writeApp("trap 'echo HUP > got; exit 9' HUP\n",
           "i=0; while [ ! -e go ] && [ $i -lt 1000 ]; do sleep 0.02; i=$((i+1)); done\n"
           "read line\necho \"line=$line\" > got\nexit 5\n");
  PtyShell shell(dir.path());
  ASSERT_TRUE(shell.ready()) << shell.screen();
  // In the background from the start: the launcher never has the terminal.
  shell.type("(echo $BASHPID > starter; ./setup -bv:tempdir tmp </dev/tty &) &\n");
  ASSERT_TRUE(readPids()) << shell.screen();
  pid_t starter = static_cast<pid_t>(std::stol(readFile(dir.file("starter"))));
  ASSERT_TRUE(eventually([&] { return ended(starter); }));
  EXPECT_TRUE(shell.waitFor(PtyShell::kPrompt)) << shell.screen();
  writeFile(dir.file("go"), "");
  EXPECT_TRUE(eventually([&] { return ended(launcher); })) << processState(app) << processState(launcher);
  EXPECT_EQ("HUP\n", readFile(dir.file("got")));
  EXPECT_TRUE(ended(app));
  EXPECT_EQ("", leftInTemp());
}

// Started with SIGTSTP ignored (trap '' TSTP), the launcher never stops
// for it: when the application (which set its own SIGTSTP back to the
// default) stops at Ctrl-Z, it is continued at once, and the job goes on
// in the foreground.
TEST_F(JobControlTest, ALauncherStartedWithCtrlZIgnoredNeverStops) {
  if (bvtest::runShell("env --default-signal=TSTP true") != 0) GTEST_SKIP() << "env has no --default-signal";
  writeApp("", "exec env --default-signal=TSTP sleep 30\n");
  PtyShell shell(dir.path());
  ASSERT_TRUE(shell.ready()) << shell.screen();
  shell.type("trap '' TSTP; ./setup -bv:tempdir tmp; echo \"status $?\"\n");
  ASSERT_TRUE(readPids()) << shell.screen();
  ASSERT_TRUE(eventually([&] { return shell.foregroundGroup() == app; }));
  // The program that records the IDs runs: it took SIGTSTP's default.
  ASSERT_TRUE(eventually([&] { return readFile("/proc/" + std::to_string(app) + "/comm") == "sleep\n"; }));
  shell.type("\x1a");  // Ctrl-Z
  // The application may stop for a moment; it runs again, and the
  // launcher never stopped.
  usleep(300 * 1000);
  EXPECT_TRUE(eventually([&] { return running(app); })) << processState(app);
  EXPECT_TRUE(running(launcher)) << processState(launcher);
  EXPECT_EQ(app, shell.foregroundGroup());
  kill(app, SIGTERM);
  EXPECT_TRUE(shell.waitFor("status 143")) << shell.screen();
  EXPECT_EQ("", leftInTemp());
}

// Stopped and continued from outside (kill -STOP, kill -CONT of the
// application), a launcher that no shell could continue never stops
// itself: without a terminal (a service, cron, setsid) and as the leader of
// a terminal's session, it goes on waiting, and the application, continued
// by whoever stopped it, ends the run with its status.
TEST_F(JobControlTest, AStopFromOutsideWhereNoShellCouldContinueTheLauncherOnlyWaits) {
  writeApp("", "i=0; while [ ! -e go ] && [ $i -lt 1500 ]; do sleep 0.02; i=$((i+1)); done\nexit 3\n");
  struct Case {
    const char* label;
    bool terminal;
    int sig;
  } cases[] = {
      {"setsid, SIGSTOP", false, SIGSTOP},
      {"setsid, SIGTSTP", false, SIGTSTP},
      {"a terminal's session leader, SIGSTOP", true, SIGSTOP},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    unlink(dir.file("pids").c_str());
    unlink(dir.file("go").c_str());
    std::unique_ptr<PtyShell> shell;
    pid_t child = 0;
    if (c.terminal) {
      shell.reset(new PtyShell(dir.path()));
      ASSERT_TRUE(shell->ready()) << shell->screen();
      shell->type("exec ./setup -bv:tempdir tmp\n");
    } else {
      child = fork();
      ASSERT_LE(0, child);
      if (child == 0) {
        setsid();
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(dir.path().c_str()) == 0) execl("./setup", "./setup", "-bv:tempdir", "tmp", (char*)nullptr);
        _exit(127);
      }
    }
    ASSERT_TRUE(readPids());
    kill(app, c.sig);
    ASSERT_TRUE(eventually([&] { return stopped(app); }));
    // Time for the launcher to act on the stop.
    usleep(300 * 1000);
    EXPECT_FALSE(stopped(launcher));
    kill(app, SIGCONT);
    writeFile(dir.file("go"), "");
    if (c.terminal) {
      EXPECT_EQ(3, shell->exitStatus()) << shell->screen();
    } else {
      EXPECT_TRUE(eventually([&] { return ended(launcher); })) << processState(launcher);
      int status = 0;
      if (ended(launcher)) {
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
      }
    }
    EXPECT_TRUE(ended(app));
    EXPECT_EQ("", leftInTemp());
    TearDown();
  }
}

}  // namespace
