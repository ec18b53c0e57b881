// The launcher started from a desktop (a file manager, a menu): run in a
// session of its own, with its output going to the X session's log (or to
// /dev/null) and a display named, it shows what ends the run and long work
// in windows, which it never waits for. Started the same way with its output
// going to a pipe or a file (a CI job, cron, a script), or as a service, it
// shows none.
//
// The dialog programs are recording fakes on PATH: shell scripts that append
// their arguments to a file and behave as the test tells them (answer a
// question, read a progress window's input, close it). A message window is
// left to a process of its own, so the tests wait for its record. One test
// shows a real window with the real zenity on a virtual X server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

// One run of a fake program: the character set it reads, then its
// arguments.
struct Call {
  std::string ctype;  // the first of LC_ALL, LC_CTYPE and LANG that was set
  std::vector<std::string> args;

  bool has(const std::string& arg) const {
    for (const std::string& a : args) {
      if (a == arg) return true;
    }
    return false;
  }
  // The value of an argument "--name=VALUE", or "(none)".
  std::string value(const std::string& name) const {
    for (const std::string& a : args) {
      if (a.compare(0, name.size() + 1, name + "=") == 0) return a.substr(name.size() + 1);
    }
    return "(none)";
  }
};

struct Outcome {
  int status = -1;     // exit status, or 128 + signal
  bool hung = false;   // killed after the bound
  std::string output;  // standard output and error
  long millis = 0;     // how long the launcher ran
};

// Where runDetached sends the launcher's standard output and error.
enum class Streams {
  kSessionLog,  // HOME/.xsession-errors, as an X session gives them
  kDevNull,     // /dev/null (output is then empty)
  kPipe,        // a pipe that the test reads, as a script would
  kFile,        // another file, as a CI job or cron collects them
};

long nowMillis() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

class DesktopTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    bin = dir.file("bin");
    mkdir(bin.c_str(), 0755);
  }

  // A fake program bin/NAME: records its run in calls.NAME (fields
  // separated by \037, runs ended by \036), then runs behaviour.
  void fake(const std::string& name, const std::string& behaviour = "exit 0\n") {
    writeFile(
        bin + "/" + name,
        "#!/bin/sh\n"
        "{ printf 'CALL\\037%s' \"${LC_ALL:-${LC_CTYPE:-$LANG}}\"; for a in \"$@\"; do printf '\\037%s' \"$a\"; done;"
        " printf '\\036'; } >> " +
            shellQuote(dir.file("calls." + name)) + "\n" + behaviour,
        0755);
  }

  // The recorded runs of a fake program.
  std::vector<Call> calls(const std::string& name) const {
    std::vector<Call> result;
    std::string text = readFile(dir.file("calls." + name));
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\036', start);
      if (end == std::string::npos) break;
      std::vector<std::string> fields;
      size_t field = start;
      for (;;) {
        size_t sep = text.find('\037', field);
        if (sep == std::string::npos || sep > end) sep = end;
        fields.push_back(text.substr(field, sep - field));
        if (sep == end) break;
        field = sep + 1;
      }
      Call call;
      if (fields.size() >= 2) call.ctype = fields[1];
      call.args.assign(fields.begin() + (fields.size() >= 2 ? 2 : fields.size()), fields.end());
      result.push_back(call);
      start = end + 1;
    }
    return result;
  }

  // The environment of a desktop session: PATH is the fakes' folder, a
  // display is named; extra adds variables or replaces them.
  std::vector<std::string> desktopEnv(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> vars = {"PATH=" + bin, "LANG=C", "HOME=" + dir.path(), "DISPLAY=:97"};
    for (const std::string& entry : extra) {
      std::string name = entry.substr(0, entry.find('=') + 1);
      bool replaced = false;
      for (std::string& var : vars) {
        if (var.compare(0, name.size(), name) == 0) {
          var = entry;
          replaced = true;
        }
      }
      if (!replaced) vars.push_back(entry);
    }
    return vars;
  }

  // Runs the launcher with "-bv:tempdir <temp> -bv:log <log>" and args as a
  // desktop starts it: a session of its own (no controlling terminal),
  // standard input from /dev/null, standard output and error as streams
  // tells (or standard output onto stdoutFd). Ended with its session after
  // boundSeconds.
  Outcome runDetached(const std::string& launcher, const std::vector<std::string>& args,
                      const std::vector<std::string>& environment, int stdoutFd = -1, int boundSeconds = 120,
                      Streams streams = Streams::kSessionLog) {
    std::vector<std::string> argv = {launcher, "-bv:tempdir", temp, "-bv:log", log()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp, envp;
    for (const std::string& a : argv) argp.push_back(const_cast<char*>(a.c_str()));
    argp.push_back(nullptr);
    for (const std::string& v : environment) envp.push_back(const_cast<char*>(v.c_str()));
    envp.push_back(nullptr);
    std::string outPath = streams == Streams::kSessionLog ? dir.file(".xsession-errors")
                          : streams == Streams::kDevNull  ? std::string("/dev/null")
                                                          : dir.file("output");
    int pipeFds[2] = {-1, -1};
    if (streams == Streams::kPipe && pipe(pipeFds) != 0) return Outcome();
    fflush(nullptr);
    long start = nowMillis();
    pid_t pid = fork();
    if (pid == 0) {
      setsid();
      int in = open("/dev/null", O_RDONLY);
      int out = streams == Streams::kPipe ? pipeFds[1] : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (in < 0 || out < 0) _exit(126);
      dup2(in, 0);
      dup2(stdoutFd >= 0 ? stdoutFd : out, 1);
      dup2(out, 2);
      execve(argp[0], argp.data(), envp.data());
      _exit(127);
    }
    Outcome outcome;
    if (pipeFds[1] >= 0) {
      close(pipeFds[1]);
      fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    }
    auto drain = [&] {
      char buffer[4096];
      ssize_t n;
      while (pipeFds[0] >= 0 && (n = read(pipeFds[0], buffer, sizeof buffer)) > 0) outcome.output.append(buffer, n);
    };
    long end = nowMillis() + boundSeconds * 1000L;
    int status = 0;
    for (;;) {
      drain();
      pid_t r = waitpid(pid, &status, WNOHANG);
      if (r == pid) break;
      if (nowMillis() > end) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        outcome.hung = true;
        break;
      }
      usleep(10 * 1000);
    }
    outcome.millis = nowMillis() - start;
    if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.status = 128 + WTERMSIG(status);
    if (pipeFds[0] >= 0) {
      drain();
      close(pipeFds[0]);
    } else if (streams != Streams::kDevNull) {
      outcome.output = readFile(outPath);
    }
    return outcome;
  }

  // The recorded runs of a fake program once there are at least count of
  // them: a message window is shown by a process of its own, which may
  // still be starting when the launcher has ended. Waits at most 20 s.
  std::vector<Call> callsWhenThere(const std::string& name, size_t count) const {
    std::vector<Call> found = calls(name);
    for (int i = 0; i < 2000 && found.size() < count; ++i) {
      usleep(10 * 1000);
      found = calls(name);
    }
    return found;
  }

  // The recorded runs of a fake program that the process of a window might
  // still start: what is there after a second.
  std::vector<Call> callsAfterAWhile(const std::string& name) const {
    usleep(1000 * 1000);
    return calls(name);
  }

  std::string log() const { return dir.file("run.log"); }

  // A one-line launcher of PrintArgs, without class-data sharing; "" (and a
  // failure) when bvpack refuses.
  std::string oneLineLauncher() {
    std::string launcher = dir.file("app");
    std::string out;
    int status = runBvpack(
        {"-o", launcher, "--main-class", "PrintArgs", "--jar", javaBuildPath("PrintArgs.jar"), "--no-cds"}, &out);
    EXPECT_EQ(0, status) << out;
    return status == 0 ? launcher : std::string();
  }

  // A tag-file launcher whose JVM file names only JAVA_HOME (and PATH, the
  // fakes' folder): without JAVA_HOME no JVM is found. Its script sets
  // UNIX_COMMAND: 1, so that a run that found nothing exits with 1.
  // digests false: without the digest block, so that the test can change
  // the file as a launcher made by other means would be.
  std::string noJavaLauncher(const std::string& jvmExtra, bool digests = true) {
    std::vector<std::string> entries = {"instructions:" + typicalUnixScriptPath(),
                                        "verify-jar:" + javaBuildPath("Verify.jar"),
                                        "launch-script:" + write("launch.tag", launchScriptText(true)),
                                        "jvm:" + write("jvm.tag", jvmFileText("bin/java", jvmExtra)),
                                        "classpath-jar:" + javaBuildPath("PrintArgs.jar")};
    if (!digests) entries.insert(entries.begin(), "--no-digest");
    return pack("setup", entries);
  }

  std::string bin;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The no-JVM window says what the program needs (the DESC that the
// one-line mode writes) and offers the author's download page, which
// xdg-open opens when the user chooses it; the console says the same.
TEST_F(DesktopTest, NoJavaWindowSaysWhatIsNeededAndOffersTheDownloadPage) {
  std::string launcher = dir.file("app");
  std::string out;
  ASSERT_EQ(0, runBvpack({"-o", launcher, "--main-class", "guide.Main", "--jar", javaBuildPath("guide-app.jar"),
                          "--jar", javaBuildPath("guide-lib.jar"), "--name", "Desk App", "--min-java", "99",
                          "--java-download-url", "https://example.org/get-java?v=99"},
                         &out))
      << out;
  fake("xdg-open");
  struct Case {
    const char* lang;
    const char* answer;  // what the fake zenity exits with
    bool opened;
    const char* needs;  // the line of the window that says what is needed
    const char* open;   // the label of the button that opens the page
  } cases[] = {
      {"LANG=C", "0", true, "The program needs Java 99 or later.", "Open the download page"},
      {"LANG=C", "1", false, "The program needs Java 99 or later.", "Open the download page"},
      {"LANG=de_DE.UTF-8", "0", true, "Das Programm ben\xc3\xb6tigt Java 99 or later.",
       "Downloadseite \xc3\xb6"
       "ffnen"},
      // Latin-1 texts reach zenity as UTF-8.
      {"LANG=de_DE", "5", false, "Das Programm ben\xc3\xb6tigt Java 99 or later.",
       "Downloadseite \xc3\xb6"
       "ffnen"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.lang) + " answer " + c.answer);
    fake("zenity", std::string("exit ") + c.answer + "\n");
    removeTree(dir.file("calls.zenity"));
    removeTree(dir.file("calls.xdg-open"));
    Outcome run = runDetached(launcher, {}, desktopEnv({c.lang}));
    ASSERT_FALSE(run.hung);
    EXPECT_EQ(1, run.status) << run.output;
    std::vector<Call> zenity = callsWhenThere("zenity", 1);
    ASSERT_EQ(1u, zenity.size()) << run.output;
    const Call& question = zenity[0];
    EXPECT_TRUE(question.has("--question"));
    EXPECT_TRUE(question.has("--no-markup"));
    EXPECT_EQ("Desk App", question.value("--title"));
    std::string text = question.value("--text");
    EXPECT_TRUE(contains(text, "Desk App")) << text;
    EXPECT_TRUE(contains(text, c.needs)) << text;
    EXPECT_TRUE(contains(text, "https://example.org/get-java?v=99")) << text;
    EXPECT_EQ(c.open, question.value("--ok-label"));
    // zenity reads its arguments as UTF-8 (the user's locale where the
    // system has it and it is UTF-8, else C.UTF-8).
    EXPECT_TRUE(contains(question.ctype, "UTF-8")) << question.ctype;
    std::vector<Call> opened = c.opened ? callsWhenThere("xdg-open", 1) : callsAfterAWhile("xdg-open");
    if (c.opened) {
      ASSERT_EQ(1u, opened.size());
      EXPECT_EQ(std::vector<std::string>{"https://example.org/get-java?v=99"}, opened[0].args);
    } else {
      EXPECT_TRUE(opened.empty());
    }
    // The console has the page and what is needed too.
    EXPECT_TRUE(contains(run.output, "https://example.org/get-java?v=99")) << run.output;
    EXPECT_TRUE(contains(run.output, "Java 99 or later")) << run.output;
    EXPECT_TRUE(leftInTemp().empty());
  }
}

// Without a page to offer, the window is an error message; a page that is
// not a web address is neither offered nor printed, and the log says why.
TEST_F(DesktopTest, WithoutAWebPageTheNoJavaWindowIsAnErrorMessage) {
  // bvpack refuses such a page; a launcher made by other means carries it.
  std::string launcher = noJavaLauncher("DOWNLOAD_URL: https://example.org/evil\n", false);
  std::string bytes = readFile(launcher);
  size_t at = bytes.find("https://example.org/evil");
  ASSERT_NE(std::string::npos, at);
  bytes.replace(at, 24, "file:///tmp/evil.desktop");
  writeFile(launcher, bytes, 0755);
  fake("zenity");
  fake("xdg-open");
  Outcome run = runDetached(launcher, {}, desktopEnv());
  EXPECT_EQ(1, run.status) << run.output;
  std::vector<Call> zenity = callsWhenThere("zenity", 1);
  ASSERT_EQ(1u, zenity.size());
  EXPECT_TRUE(zenity[0].has("--error"));
  EXPECT_TRUE(contains(zenity[0].value("--text"), "The program needs Test JVM.")) << zenity[0].value("--text");
  EXPECT_FALSE(contains(zenity[0].value("--text"), "evil"));
  EXPECT_FALSE(contains(run.output, "evil")) << run.output;
  EXPECT_TRUE(callsAfterAWhile("xdg-open").empty());
  EXPECT_TRUE(contains(readFile(log()), "Ignoring DOWNLOAD_URL file:///tmp/evil.desktop"));
}

// The last dialog program, xmessage, answers with the status of the button:
// the page is opened only for the "Open the download page" button.
TEST_F(DesktopTest, XmessageOffersThePageWhenNothingElseIsThere) {
  std::string launcher = noJavaLauncher("DOWNLOAD_URL: https://example.org/java\n");
  fake("xdg-open");
  for (int answer : {70, 1, 0}) {
    SCOPED_TRACE(answer);
    fake("xmessage", "exit " + std::to_string(answer) + "\n");
    removeTree(dir.file("calls.xmessage"));
    removeTree(dir.file("calls.xdg-open"));
    Outcome run = runDetached(launcher, {}, desktopEnv());
    EXPECT_EQ(1, run.status) << run.output;
    std::vector<Call> xmessage = callsWhenThere("xmessage", 1);
    ASSERT_EQ(1u, xmessage.size());
    const std::vector<std::string>& args = xmessage[0].args;
    ASSERT_GE(args.size(), 1u);
    EXPECT_TRUE(contains(args.back(), "The program needs Test JVM.")) << args.back();
    EXPECT_TRUE(xmessage[0].has("Open the download page:70,Close:1"));
    EXPECT_EQ(answer == 70 ? 1u : 0u,
              (answer == 70 ? callsWhenThere("xdg-open", 1) : callsAfterAWhile("xdg-open")).size());
  }
}

// A launcher file cut short (a broken download) fails with an error; the
// window shows the message that the console and the log have, whatever
// words the check of the file uses.
TEST_F(DesktopTest, ADamagedLauncherShowsItsErrorInAWindow) {
  std::string whole = noJavaLauncher("");
  std::string bytes = readFile(whole);
  for (size_t cut : {size_t(5), size_t(4000)}) {
    SCOPED_TRACE(cut);
    std::string damaged = dir.file("damaged");
    writeFile(damaged, bytes.substr(0, bytes.size() - cut), 0755);
    fake("zenity");
    removeTree(dir.file("calls.zenity"));
    removeTree(log());
    Outcome run = runDetached(damaged, {}, desktopEnv());
    ASSERT_FALSE(run.hung);
    EXPECT_NE(0, run.status);
    EXPECT_NE(1, run.status) << "a damaged file is not a missing Java: " << run.output;
    std::vector<Call> zenity = callsWhenThere("zenity", 1);
    ASSERT_EQ(1u, zenity.size()) << run.output;
    EXPECT_TRUE(zenity[0].has("--error"));
    std::string text = zenity[0].value("--text");
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(contains(run.output, text)) << text << "\n" << run.output;
    EXPECT_TRUE(contains(readFile(log()), "ERROR: " + text.substr(0, text.find('\n')))) << readFile(log());
    EXPECT_TRUE(leftInTemp().empty());
  }
}

// Extracting large files shows a progress window fed with percentages
// from the extraction's progress steps; when the work is done the window
// gets 100 and the end of its input, and the run goes on.
TEST_F(DesktopTest, AProgressWindowFollowsTheExtractionAndClosesWhenItEnds) {
  writeFakeJvm(dir.file("jdk"));
  // 24 MiB: a dozen pieces of the copy, each a step of the window.
  writeFile(dir.file("big.jar"), std::string(24 * 1024 * 1024, 'x'));
  std::vector<std::string> entries = payload(typicalScriptPath());
  entries.push_back("classpath-jar:" + dir.file("big.jar"));
  std::string launcher = pack("setup", entries);
  fake("zenity", "case \"$1\" in --progress) while read line; do printf '%s\\n' \"$line\" >> " +
                     shellQuote(dir.file("progress.lines")) + "; done ;; esac\nexit 0\n");
  Outcome run =
      runDetached(launcher, {"hello"}, desktopEnv({"JAVA_HOME=" + dir.file("jdk"), "BV_PROGRESS_WINDOW_DELAY_MS=0"}));
  ASSERT_FALSE(run.hung);
  EXPECT_EQ(0, run.status) << run.output;
  EXPECT_TRUE(contains(run.output, "arg=hello")) << run.output;
  std::vector<Call> zenity = calls("zenity");
  ASSERT_EQ(1u, zenity.size()) << run.output;
  EXPECT_TRUE(zenity[0].has("--progress"));
  EXPECT_TRUE(zenity[0].has("--auto-close"));
  EXPECT_FALSE(zenity[0].has("--pulsate"));
  EXPECT_EQ("Test Setup", zenity[0].value("--title"));
  EXPECT_EQ("Running Test Setup...", zenity[0].value("--text"));
  std::vector<std::string> lines = splitLines(readFile(dir.file("progress.lines")));
  ASSERT_GE(lines.size(), 3u) << readFile(dir.file("progress.lines"));
  int previous = -1;
  for (const std::string& line : lines) {
    int percent = atoi(line.c_str());
    EXPECT_EQ(std::to_string(percent), line);
    EXPECT_GT(percent, previous);
    previous = percent;
  }
  EXPECT_EQ("100", lines.back());
  EXPECT_TRUE(leftInTemp().empty());
}

// Closing the progress window cancels the run like SIGTERM: the JVM
// installer that was running is ended, the temporary files go, the exit
// status is 143, and no window says "Canceled".
TEST_F(DesktopTest, ClosingTheProgressWindowCancelsTheRunAndCleansUp) {
  std::string installer =
      write("install-jvm.sh",
            "#!/bin/sh\n"
            ": > " +
                shellQuote(dir.file("installer.started")) +
                "\n"
                "i=0\n"
                "while [ $i -lt 400 ]; do echo \"unpacking part $i\"; /bin/sleep 0.05; i=$((i+1)); done\n"
                ": > " +
                shellQuote(dir.file("installer.finished")) + "\n",
            0755);
  std::string script = write("instructions.tag",
                             scriptText({"INITIALIZE_UI", "INSTALL_JVM 1", "JMP0 @N1@ END", "LAUNCH @S1@ 5", ":END"}));
  std::vector<std::string> entries = payload(script);
  entries.push_back("jvm-installer:" + installer);
  std::string launcher = pack("setup", entries);

  struct Case {
    const char* program;
    bool withQdbus;
  } cases[] = {{"zenity", false}, {"kdialog", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    removeTree(bin);
    mkdir(bin.c_str(), 0755);
    removeTree(dir.file("installer.started"));
    if (std::string(c.program) == "zenity") {
      // The user closes the window a moment after it appeared.
      fake("zenity", "case \"$1\" in --progress) /bin/sleep 0.8; exit 1 ;; esac\nexit 0\n");
    } else {
      fake("kdialog",
           "case \" $* \" in *' --progressbar '*) echo 'org.kde.kdialog_progress_helper-77 /ProgressDialog' ;; esac\n");
      // The window answers "false" once, then "true": the user canceled.
      fake("qdbus",
           "case \"$3\" in wasCancelled)\n"
           "  if [ -e " +
               shellQuote(dir.file("asked")) + " ]; then echo true; else : > " + shellQuote(dir.file("asked")) +
               "; echo false; fi ;;\n"
               "esac\nexit 0\n");
    }
    Outcome run = runDetached(launcher, {}, desktopEnv({"BV_PROGRESS_WINDOW_DELAY_MS=0"}), -1, 60);
    ASSERT_FALSE(run.hung) << run.output;
    EXPECT_EQ(143, run.status) << run.output;
    EXPECT_TRUE(pathExists(dir.file("installer.started")));
    EXPECT_FALSE(pathExists(dir.file("installer.finished")));
    EXPECT_TRUE(leftInTemp().empty()) << leftInTemp().size();
    EXPECT_TRUE(contains(readFile(log()), "The progress window was closed")) << readFile(log());
    std::vector<Call> windows = calls(c.program);
    ASSERT_EQ(1u, windows.size()) << "only the progress window, no message about the cancel";
    if (!c.withQdbus) {
      EXPECT_TRUE(windows[0].has("--progress"));
      EXPECT_TRUE(windows[0].has("--pulsate"));
      EXPECT_EQ("Preparing Java(tm) Virtual Machine...", windows[0].value("--text"));
    } else {
      EXPECT_TRUE(windows[0].has("--progressbar"));
      std::vector<std::string> methods;
      for (const Call& call : calls("qdbus")) {
        ASSERT_GE(call.args.size(), 3u);
        EXPECT_EQ("org.kde.kdialog_progress_helper-77", call.args[0]);
        EXPECT_EQ("/ProgressDialog", call.args[1]);
        methods.push_back(call.args[2]);
      }
      EXPECT_EQ((std::vector<std::string>{"showCancelButton", "wasCancelled", "wasCancelled", "close"}), methods);
    }
  }
}

// A zenity that cannot show a window (no X server) ends at once, with the
// status of a cancel: that cancels nothing, the work goes on without a
// progress window.
TEST_F(DesktopTest, AWindowProgramThatEndsAtOnceCancelsNothing) {
  std::string installer =
      write("install-jvm.sh",
            "#!/bin/sh\n"
            "i=0\n"
            "while [ $i -lt 20 ]; do echo \"unpacking part $i\"; /bin/sleep 0.05; i=$((i+1)); done\n"
            ": > " +
                shellQuote(dir.file("installer.finished")) + "\n",
            0755);
  std::string script = write("instructions.tag", scriptText({"INITIALIZE_UI", "INSTALL_JVM 1"}));
  std::vector<std::string> entries = payload(script);
  entries.push_back("jvm-installer:" + installer);
  std::string launcher = pack("setup", entries);
  fake("zenity", "exit 1\n");
  Outcome run = runDetached(launcher, {}, desktopEnv({"BV_PROGRESS_WINDOW_DELAY_MS=0"}));
  EXPECT_EQ(0, run.status) << run.output;
  EXPECT_TRUE(pathExists(dir.file("installer.finished")));
  EXPECT_EQ(1u, calls("zenity").size());
  EXPECT_TRUE(contains(readFile(log()), "No progress window: " + bin + "/zenity ended at once (status 1)"))
      << readFile(log());
  EXPECT_TRUE(leftInTemp().empty());
}

// kdialog without qdbus shows no progress window; the run is not held up.
TEST_F(DesktopTest, KdialogWithoutQdbusShowsNoProgressWindow) {
  std::string installer =
      write("install-jvm.sh", "#!/bin/sh\ni=0\nwhile [ $i -lt 10 ]; do echo part; i=$((i+1)); done\n", 0755);
  std::string script = write("instructions.tag", scriptText({"INITIALIZE_UI", "INSTALL_JVM 1"}));
  std::vector<std::string> entries = payload(script);
  entries.push_back("jvm-installer:" + installer);
  std::string launcher = pack("setup", entries);
  fake("kdialog");
  Outcome run = runDetached(launcher, {}, desktopEnv({"BV_PROGRESS_WINDOW_DELAY_MS=0"}));
  EXPECT_EQ(0, run.status) << run.output;
  EXPECT_TRUE(calls("kdialog").empty());
  EXPECT_TRUE(contains(readFile(log()), "kdialog's progress window needs qdbus")) << readFile(log());
}

// A dialog program that the ownership check turns down is never run: the
// next one is taken, or the console and the log alone have the message.
TEST_F(DesktopTest, ADialogProgramOfAnotherUserIsNotRun) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  std::string launcher = noJavaLauncher("");
  fake("zenity");
  ASSERT_EQ(0, chown((bin + "/zenity").c_str(), 65534, 65534));  // nobody
  fake("kdialog");
  Outcome run = runDetached(launcher, {}, desktopEnv());
  EXPECT_EQ(1, run.status) << run.output;
  ASSERT_EQ(1u, callsWhenThere("kdialog", 1).size());
  EXPECT_TRUE(calls("zenity").empty());
  EXPECT_TRUE(calls("kdialog")[0].has("--error"));
  EXPECT_TRUE(contains(readFile(log()), "Not running " + bin + "/zenity: The file " + bin +
                                            "/zenity belongs to another user (uid 65534)."))
      << readFile(log());

  removeTree(bin + "/kdialog");
  removeTree(log());
  run = runDetached(launcher, {}, desktopEnv());
  EXPECT_EQ(1, run.status);
  EXPECT_TRUE(callsAfterAWhile("zenity").empty());
  EXPECT_TRUE(contains(run.output, "The program needs Test JVM.")) << run.output;
  EXPECT_TRUE(contains(readFile(log()), "no dialog program (zenity, kdialog, xmessage)")) << readFile(log());
}

// No window where nobody asked for one or nobody would see it: -bv:silent,
// a run driven by an input file, -bv:nowindows, BV_WINDOWS=0, no display, a
// terminal on standard output, output that a caller reads (a pipe, a file),
// a service.
TEST_F(DesktopTest, SilentRunsInputFilesTerminalsAndNoDisplayOpenNoWindow) {
  std::string launcher = noJavaLauncher("DOWNLOAD_URL: https://example.org/java\n");
  std::string search = write("search.tag", "ACTION: SEARCH\nSHOW_FAIL_MSG: 1\nSHOW_PROGRESS: 1\n");
  std::string invalid = write("invalid.tag", "ACTION: NO_SUCH_ACTION\n");
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(0, grantpt(master));
  ASSERT_EQ(0, unlockpt(master));
  int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  fcntl(master, F_SETFL, O_NONBLOCK);
  std::vector<std::string> noDisplay = {"PATH=" + bin, "LANG=C", "HOME=" + dir.path()};
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> env;
    int stdoutFd;
    int status;
    Streams streams;
  } cases[] = {
      {"-bv:silent", {"-bv:silent"}, desktopEnv(), -1, 1, Streams::kSessionLog},
      {"-bv:in SEARCH", {"-bv:in", search}, desktopEnv(), -1, 0, Streams::kSessionLog},
      {"-bv:in invalid", {"-bv:in", invalid}, desktopEnv(), -1, 255, Streams::kSessionLog},
      {"-bv:nowindows", {"-bv:nowindows"}, desktopEnv(), -1, 1, Streams::kSessionLog},
      {"BV_WINDOWS=0", {}, desktopEnv({"BV_WINDOWS=0"}), -1, 1, Streams::kDevNull},
      {"no display", {}, noDisplay, -1, 1, Streams::kSessionLog},
      {"stdout a terminal", {}, desktopEnv(), terminal, 1, Streams::kSessionLog},
      {"output to a pipe", {}, desktopEnv(), -1, 1, Streams::kPipe},
      {"output to a file", {}, desktopEnv(), -1, 1, Streams::kFile},
      {"a service", {}, desktopEnv({"INVOCATION_ID=0123456789abcdef"}), -1, 1, Streams::kDevNull},
  };
  fake("zenity");
  fake("xdg-open");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome run = runDetached(launcher, c.args, c.env, c.stdoutFd, 120, c.streams);
    EXPECT_EQ(c.status, run.status) << run.output;
    EXPECT_TRUE(callsAfterAWhile("zenity").empty());
    EXPECT_TRUE(calls("xdg-open").empty());
  }
  // The same launcher started from the desktop shows its window, its
  // output going to the session's log or to /dev/null.
  // BV_WINDOWS=1 asks for windows whatever the output.
  struct Shown {
    Streams streams;
    const char* extra;
  } shown[] = {{Streams::kSessionLog, "LANG=C"}, {Streams::kDevNull, "LANG=C"}, {Streams::kFile, "BV_WINDOWS=1"}};
  for (const Shown& s : shown) {
    SCOPED_TRACE(s.extra);
    removeTree(dir.file("calls.zenity"));
    Outcome run = runDetached(launcher, {}, desktopEnv({s.extra}), -1, 120, s.streams);
    EXPECT_EQ(1, run.status) << run.output;
    EXPECT_EQ(1u, callsWhenThere("zenity", 1).size());
  }
  char buffer[4096];
  while (read(master, buffer, sizeof buffer) > 0) {
  }
  close(terminal);
  close(master);
}

// The real zenity on a virtual X server: the no-JVM window appears, with
// the launcher's title, and stays after the launcher has ended by itself:
// nobody closes it, and the run does not wait for that.
TEST_F(DesktopTest, TheRealZenityShowsTheWindowOnAnXServer) {
  auto present = [] { return runShell("command -v Xvfb && command -v zenity && command -v xwininfo") == 0; };
  if (!present()) {
    std::string out;
    // The project's own script installs them when it can (root, or sudo
    // without a password).
    if (geteuid() == 0 || runShell("sudo -n true") == 0) {
      runShell(shellQuote(sourcePath("scripts/install-deps.sh")) + " --desktop </dev/null", &out);
    }
    if (!present()) {
      GTEST_SKIP() << "Xvfb, zenity or xwininfo is missing and scripts/install-deps.sh --desktop could not install "
                      "them: the window check on a real X server was not run";
    }
  }
  // Xvfb picks a free display and writes its number when it is ready.
  int ready[2];
  ASSERT_EQ(0, pipe(ready));
  pid_t xvfb = fork();
  if (xvfb == 0) {
    setsid();
    close(ready[0]);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    std::string fd = std::to_string(ready[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  std::string number;
  struct pollfd pfd = {ready[0], POLLIN, 0};
  while (poll(&pfd, 1, 20000) > 0) {
    char c;
    if (read(ready[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(ready[0]);
  struct XServer {
    pid_t pid;
    ~XServer() {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  } server{xvfb};
  ASSERT_FALSE(number.empty()) << "Xvfb did not start";
  std::string display = ":" + number;

  std::string launcher = noJavaLauncher("DOWNLOAD_URL: https://example.org/java\n");
  // PATH holds the real zenity (through a link of the test's own) and
  // nothing else: no Java is found.
  std::string zenity;
  ASSERT_EQ(0, runShell("command -v zenity", &zenity));
  zenity = zenity.substr(0, zenity.find('\n'));
  ASSERT_EQ(0, symlink(zenity.c_str(), (bin + "/zenity").c_str()));
  std::vector<std::string> argv = {launcher, "-bv:tempdir", temp, "-bv:log", log()};
  std::vector<std::string> environment = desktopEnv({"NO_AT_BRIDGE=1", "DISPLAY=" + display});
  std::vector<char*> argp, envp;
  for (const std::string& a : argv) argp.push_back(const_cast<char*>(a.c_str()));
  argp.push_back(nullptr);
  for (const std::string& v : environment) envp.push_back(const_cast<char*>(v.c_str()));
  envp.push_back(nullptr);
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  // The launcher ends by itself with its status (bounded, in case it
  // waited for the window after all).
  int status = 0;
  bool ended = false;
  for (int i = 0; i < 600 && !ended; ++i) {
    ended = waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) usleep(100 * 1000);
  }
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  EXPECT_TRUE(ended) << "the launcher waited for the window";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  // The X server lists the window under the launcher's title (within a
  // bound that leaves a loaded machine the time to start zenity); it goes
  // with the X server at the end of the test.
  std::string tree;
  bool shown = false;
  for (int i = 0; i < 900 && !shown; ++i) {
    runShell("xwininfo -display " + display + " -root -tree", &tree);
    shown = contains(tree, "\"Test Setup\"");
    if (!shown) usleep(100 * 1000);
  }
  EXPECT_TRUE(shown) << tree;
  EXPECT_TRUE(leftInTemp().empty());
}

// A warning never opens a window and never holds the run: JAVA_HOME names
// no Java, another variable does, and the run goes on to the application
// whether its output goes to a pipe (a script) or to the session's log (a
// desktop start); the warning is on standard error.
TEST_F(DesktopTest, AWarningOpensNoWindowAndTheRunGoesOn) {
  std::string jdk = dir.file("jdk");
  writeVersionedJvm(jdk, "17");
  std::string launcher = oneLineLauncher();
  ASSERT_FALSE(launcher.empty());
  // A window, were it opened, would hold a run that waited for it.
  fake("zenity", "/bin/sleep 30\n");
  for (Streams streams : {Streams::kPipe, Streams::kSessionLog}) {
    removeTree(dir.file("calls.zenity"));
    Outcome run =
        runDetached(launcher, {"hello"}, desktopEnv({"JAVA_HOME=/nonexistent", "JDK_HOME=" + jdk}), -1, 60, streams);
    ASSERT_FALSE(run.hung) << run.output;
    EXPECT_EQ(0, run.status) << run.output;
    EXPECT_TRUE(contains(run.output, "fakejdk")) << run.output;
    EXPECT_TRUE(contains(run.output, "The Java home in JAVA_HOME, /nonexistent, cannot be used")) << run.output;
    EXPECT_TRUE(callsAfterAWhile("zenity").empty());
  }
}

// An error window that nobody closes does not delay the launcher's end: the
// window's program runs on in a process of its own after the launcher has
// ended with its status.
TEST_F(DesktopTest, AnErrorWindowThatNobodyClosesDoesNotDelayTheEnd) {
  std::string launcher = noJavaLauncher("");
  std::string pidFile = dir.file("zenity.pid");
  fake("zenity", "echo $$ > " + shellQuote(pidFile) + ".new && /bin/mv " + shellQuote(pidFile) + ".new " +
                     shellQuote(pidFile) + "\nexec /bin/sleep 60\n");
  Outcome run = runDetached(launcher, {}, desktopEnv(), -1, 30);
  ASSERT_FALSE(run.hung) << "the launcher waited for the window";
  EXPECT_EQ(1, run.status) << run.output;
  std::vector<Call> zenity = callsWhenThere("zenity", 1);
  ASSERT_EQ(1u, zenity.size());
  EXPECT_TRUE(zenity[0].has("--error"));
  for (int i = 0; i < 500 && !pathExists(pidFile); ++i) usleep(10 * 1000);
  pid_t window = static_cast<pid_t>(atoi(readFile(pidFile).c_str()));
  ASSERT_GT(window, 0);
  EXPECT_EQ(0, kill(window, 0)) << "the window's program still runs after the launcher ended";
  kill(window, SIGKILL);
  EXPECT_TRUE(contains(readFile(log()), "shown in a window that the run does not wait for")) << readFile(log());
  EXPECT_TRUE(contains(readFile(log()), "Started from a desktop (standard output: the session's log, standard "
                                        "error: the session's log): windows are shown with " +
                                            bin + "/zenity"))
      << readFile(log());
}

// A one-line launcher (quiet console) that unpacks its bundled runtime on
// its first run from a desktop feeds a progress window meanwhile.
TEST_F(DesktopTest, AFirstOneLineRunWithABundledRuntimeShowsItsProgress) {
  std::string launcher = dir.file("hello");
  std::string out;
  ASSERT_EQ(0, runBvpack({"-o", launcher, "--main-class", "Hello", "--jar", javaBuildPath("Hello.jar"), "--runtime",
                          buildPath("tests/runtime/emit/runtime"), "--runtime-use", "always", "--no-cds",
                          "--compression-level", "1"},
                         &out))
      << out;
  fake("zenity", "case \"$1\" in --progress) while read line; do printf '%s\\n' \"$line\" >> " +
                     shellQuote(dir.file("progress.lines")) + "; done ;; esac\nexit 0\n");
  std::string cache = dir.file("xdg");
  mkdir(cache.c_str(), 0700);
  Outcome run = runDetached(launcher, {}, desktopEnv({"XDG_CACHE_HOME=" + cache, "BV_PROGRESS_WINDOW_DELAY_MS=0"}));
  ASSERT_FALSE(run.hung);
  EXPECT_EQ(0, run.status) << run.output;
  EXPECT_TRUE(contains(run.output, "Hello, world!")) << run.output;
  std::vector<Call> zenity = calls("zenity");
  ASSERT_EQ(1u, zenity.size()) << run.output << readFile(log());
  EXPECT_TRUE(zenity[0].has("--progress"));
  EXPECT_EQ("Preparing Java(tm) Virtual Machine...", zenity[0].value("--text"));
  EXPECT_TRUE(contains(readFile(log()), "The progress is shown in a window")) << readFile(log());
}

// A Java that is there but does not start (an option variable it does not
// take) is no missing Java: a one-line launcher's window says so, with the
// JVM's own words and the variable.
TEST_F(DesktopTest, AJavaThatDoesNotStartIsNamedInTheWindow) {
  BV_REQUIRE_JAVA();
  std::string launcher = oneLineLauncher();
  ASSERT_FALSE(launcher.empty());
  fake("zenity");
  Outcome run = runDetached(launcher, {}, desktopEnv({"JAVA_HOME=" + javaHome, "JAVA_TOOL_OPTIONS=-XX:+NoSuchFlag"}));
  EXPECT_EQ(1, run.status) << run.output;
  std::vector<Call> zenity = callsWhenThere("zenity", 1);
  ASSERT_EQ(1u, zenity.size()) << run.output;
  EXPECT_TRUE(zenity[0].has("--error"));
  std::string text = zenity[0].value("--text");
  EXPECT_TRUE(contains(text, "Java was found, but it did not start: Unrecognized VM option 'NoSuchFlag'")) << text;
  EXPECT_TRUE(contains(text, "JAVA_TOOL_OPTIONS is set")) << text;
}

}  // namespace
}  // namespace bvtest
