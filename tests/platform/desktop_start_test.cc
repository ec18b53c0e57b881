// The rule that tells a desktop start (windows) from a run that nobody
// watches or whose caller reads its output (no windows).
#include "platform/desktop_start.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/test_util.h"

namespace {

// Runs isDesktopStart in a forked process of a session of its own (no
// controlling terminal) with exactly the environment env and its standard
// output and error on the descriptors out and err; the result, and the
// reason in *reason.
bool desktopStartIn(const std::vector<std::string>& env, int out, int err, std::string* reason) {
  int result[2];
  if (pipe(result) != 0) return false;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    clearenv();
    for (const std::string& entry : env) putenv(const_cast<char*>(entry.c_str()));
    int toParent = dup(result[1]);
    dup2(out, 1);
    dup2(err, 2);
    SString why;
    bool yes = isDesktopStart(why);
    std::string text = std::string(yes ? "1" : "0") + why.c_str();
    ssize_t written = write(toParent, text.data(), text.size());
    (void)written;
    _exit(0);
  }
  close(result[1]);
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = read(result[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(result[0]);
  waitpid(pid, nullptr, 0);
  if (text.empty()) return false;
  *reason = text.substr(1);
  return text[0] == '1';
}

class DesktopStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    null = open("/dev/null", O_WRONLY);
    file = open(dir.file("out").c_str(), O_WRONLY | O_CREAT, 0600);
    sessionLog = open(dir.file(".xsession-errors").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_EQ(0, pipe(pipeFds));
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, sockets));
    struct stat st;
    ASSERT_EQ(0, fstat(sockets[0], &st));
    journal = "JOURNAL_STREAM=" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  }
  void TearDown() override {
    for (int fd : {null, file, sessionLog, pipeFds[0], pipeFds[1], sockets[0], sockets[1]}) close(fd);
  }

  bvtest::TempDir dir;
  int null = -1, file = -1, sessionLog = -1;
  int pipeFds[2] = {-1, -1};
  int sockets[2] = {-1, -1};
  std::string journal;
};

TEST_F(DesktopStartTest, OnlyOutputThatNoProgramReadsMakesADesktopStart) {
  std::string home = "HOME=" + dir.path();
  struct Case {
    const char* name;
    std::vector<std::string> env;
    int out, err;
    bool desktop;
    const char* reason;  // a part of it
  } cases[] = {
      {"/dev/null", {"DISPLAY=:5"}, null, null, true, "standard output: /dev/null"},
      {"Wayland", {"WAYLAND_DISPLAY=wayland-0"}, null, null, true, "standard error: /dev/null"},
      {"the journal", {"DISPLAY=:5", journal}, sockets[0], sockets[0], true, "the journal"},
      {"the session's log", {"DISPLAY=:5", home}, sessionLog, sessionLog, true, "the session's log"},
      {"no display", {}, null, null, false, "no display"},
      {"an empty display", {"DISPLAY="}, null, null, false, "no display"},
      {"a service", {"DISPLAY=:5", "INVOCATION_ID=42"}, null, null, false, "service"},
      {"a pipe", {"DISPLAY=:5"}, pipeFds[1], null, false, "standard output is a pipe"},
      {"a file", {"DISPLAY=:5"}, null, file, false, "standard error is the file"},
      {"another socket", {"DISPLAY=:5"}, sockets[0], sockets[0], false, "a socket"},
      {"a log file of another name", {"DISPLAY=:5", "HOME=/nonexistent"}, sessionLog, sessionLog, false, "the file"},
      {"turned off", {"DISPLAY=:5", "BV_WINDOWS=0"}, null, null, false, "BV_WINDOWS turns windows off"},
      {"forced", {"BV_WINDOWS=1"}, pipeFds[1], file, true, "BV_WINDOWS asks for windows"},
      {"another value", {"DISPLAY=:5", "BV_WINDOWS=maybe"}, pipeFds[1], null, false, "a pipe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string reason;
    EXPECT_EQ(c.desktop, desktopStartIn(c.env, c.out, c.err, &reason)) << reason;
    EXPECT_NE(std::string::npos, reason.find(c.reason)) << reason;
  }
}

TEST_F(DesktopStartTest, AClosedStreamGoesNowhereAndADeviceIsNotNull) {
  SString what;
  int closed = dup(null);
  close(closed);
  EXPECT_TRUE(streamGoesNowhere(closed, what));
  EXPECT_STREQ("closed", what.c_str());
  int zero = open("/dev/zero", O_RDONLY);
  ASSERT_GE(zero, 0);
  EXPECT_FALSE(streamGoesNowhere(zero, what));
  EXPECT_STREQ("a device", what.c_str());
  close(zero);
}

}  // namespace
