// How a run ends when something outside ends it or when Java does not
// start: a launcher killed with SIGKILL leaves no application behind and its
// temporary folder goes with a later run; a signal from outside is named by
// a one-line launcher; a JVM that does not start says why.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Whether process pid has ended: it is gone, or a zombie that its new
// parent has not reaped yet.
bool hasEnded(pid_t pid) {
  std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  if (stat.empty()) return true;
  size_t paren = stat.rfind(')');
  return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] == 'Z';
}

class LauncherEndTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    pidFile = dir.file("java.pid");
    jdk = dir.file("jdk");
    writeSleepingJvm(jdk);
  }

  // A JVM home whose bin/java answers the verification as Java 17 on
  // Linux and, run as the application, writes its process ID to pidFile
  // and becomes "sleep 60" (the same process).
  void writeSleepingJvm(const std::string& home) {
    runShell("mkdir -p " + shellQuote(home + "/bin"));
    writeFile(home + "/bin/java",
              "#!/bin/sh\n"
              "verify=no\n"
              "for a in \"$@\"; do [ \"$a\" = Verify ] && verify=yes; done\n"
              "if [ $verify = yes ]; then\n"
              "  echo 1739021872\n"
              "  props=no\n"
              "  for a in \"$@\"; do\n"
              "    if [ $props = yes ]; then\n"
              "      case \"$a\" in\n"
              "        os.name) echo Linux ;;\n"
              "        java.specification.version) echo 17 ;;\n"
              "        java.vm.specification.name) echo 'Java Virtual Machine Specification' ;;\n"
              "        *) echo null ;;\n"
              "      esac\n"
              "    fi\n"
              "    [ \"$a\" = Verify ] && props=yes\n"
              "  done\n"
              "  exit 0\n"
              "fi\n"
              "echo $$ > " +
                  shellQuote(pidFile) + ".new && /bin/mv " + shellQuote(pidFile) + ".new " + shellQuote(pidFile) +
                  "\n"
                  "exec /bin/sleep 60\n",
              0755);
  }

  // A one-line launcher of PrintArgs.
  std::string oneLineLauncher() {
    std::string launcher = dir.file("app");
    std::string out;
    EXPECT_EQ(0, runBvpack({"-o", launcher, "--main-class", "PrintArgs", "--jar", javaBuildPath("PrintArgs.jar"),
                            "--no-cds"},
                           &out))
        << out;
    return launcher;
  }

  // Starts the launcher with -bv:tempdir in the background, its standard
  // output and error into files; its process ID.
  pid_t start(const std::string& launcher, const std::vector<std::string>& environment) {
    std::vector<std::string> argv = {launcher, "-bv:tempdir", temp};
    std::vector<char*> argp, envp;
    for (const std::string& a : argv) argp.push_back(const_cast<char*>(a.c_str()));
    argp.push_back(nullptr);
    for (const std::string& v : environment) envp.push_back(const_cast<char*>(v.c_str()));
    envp.push_back(nullptr);
    std::string outPath = dir.file("out"), errPath = dir.file("err");
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      int in = open("/dev/null", O_RDONLY);
      int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (in < 0 || out < 0 || err < 0) _exit(126);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      execve(argp[0], argp.data(), envp.data());
      _exit(127);
    }
    return pid;
  }

  // The process ID that the sleeping java wrote, once it is there (at most
  // 60 s); 0 when it never came.
  pid_t javaPid() {
    for (int i = 0; i < 6000 && !pathExists(pidFile); ++i) usleep(10 * 1000);
    return static_cast<pid_t>(atoi(readFile(pidFile).c_str()));
  }

  // Waits for the launcher; its exit status, or 128 + signal.
  static int waitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::vector<std::string> folders() const {
    std::vector<std::string> found;
    for (const std::string& name : listDir(temp)) {
      struct stat st;
      if (lstat((temp + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) found.push_back(name);
    }
    return found;
  }

  std::string pidFile;
  std::string jdk;
};

// SIGKILL ends the launcher without its clean-up: the application ends with
// it (it never runs on under PID 1), and the temporary folder that it left
// is removed by the next run of any launcher of the user, which keeps the
// folders of launchers that still run and what is not its user's plain
// folder.
TEST_F(LauncherEndTest, AKilledLauncherLeavesNoJavaAndALaterRunRemovesItsFolder) {
  std::string launcher = oneLineLauncher();
  // One launcher that goes on running, and one that is killed.
  pid_t running = start(launcher, env("", jdk));
  ASSERT_GT(javaPid(), 0) << readFile(dir.file("err"));
  std::vector<std::string> ofRunning = folders();
  ASSERT_EQ(1u, ofRunning.size());
  removeTree(pidFile);
  pid_t pid = start(launcher, env("", jdk));
  pid_t java = javaPid();
  ASSERT_GT(java, 0) << readFile(dir.file("err"));
  std::vector<std::string> left;
  for (const std::string& name : folders()) {
    if (name != ofRunning[0]) left.push_back(name);
  }
  ASSERT_EQ(1u, left.size());
  EXPECT_TRUE(pathExists(temp + "/" + left[0] + "/.bvowner"));
  kill(pid, SIGKILL);
  EXPECT_EQ(128 + SIGKILL, waitFor(pid));
  bool ended = false;
  for (int i = 0; i < 500 && !ended; ++i) {
    ended = hasEnded(java);
    if (!ended) usleep(10 * 1000);
  }
  EXPECT_TRUE(ended) << "java " << java << " outlived its launcher";
  if (!ended) kill(java, SIGKILL);
  EXPECT_TRUE(pathExists(temp + "/" + left[0]));

  // A link with a bvj name to a copy of the left folder, and a folder
  // without a marker, stay.
  std::string aside = dir.file("aside");
  ASSERT_EQ(0, mkdir(aside.c_str(), 0700));
  runShell("cp -a " + shellQuote(temp + "/" + left[0]) + " " + shellQuote(aside + "/copy"));
  ASSERT_TRUE(pathExists(aside + "/copy/.bvowner"));
  ASSERT_EQ(0, symlink((aside + "/copy").c_str(), (temp + "/bvjlink").c_str()));
  ASSERT_EQ(0, mkdir((temp + "/bvjnomark").c_str(), 0700));
  // The later run: a launcher packed from tag files.
  writeFakeJvm(dir.file("plain"));
  ProcessResult later = run(pack("setup", payload(typicalScriptPath())), {"x"}, env("", dir.file("plain")));
  EXPECT_EQ(0, later.status) << later.err;
  EXPECT_FALSE(pathExists(temp + "/" + left[0])) << "the left folder is still there";
  EXPECT_TRUE(pathExists(temp + "/" + ofRunning[0])) << "the folder of a running launcher went";
  EXPECT_TRUE(pathExists(temp + "/bvjnomark"));
  EXPECT_TRUE(pathExists(aside + "/copy/.bvowner")) << "a link was followed";
  struct stat st;
  EXPECT_EQ(0, lstat((temp + "/bvjlink").c_str(), &st));
  kill(running, SIGTERM);
  EXPECT_EQ(143, waitFor(running));
  EXPECT_FALSE(pathExists(temp + "/" + ofRunning[0]));
}

// A signal from outside (timeout, a supervisor's stop) ends a one-line
// launcher with "Stopped by signal TERM." on standard error; a launcher
// packed from tag files keeps "Canceled by the user." (on standard output,
// where a setup program reads its messages). Both end with 143 after the
// application has ended.
TEST_F(LauncherEndTest, ASignalFromOutsideIsNamedByAOneLineLauncher) {
  writeFakeJvm(dir.file("plain"));
  struct Case {
    const char* name;
    std::string launcher;
    const char* message;
    const char* absent;
    bool onStdout;
  } cases[] = {
      {"one-line", oneLineLauncher(), "Stopped by signal TERM.", "Canceled by the user.", false},
      {"tag files", pack("setup", payload(typicalScriptPath())), "Canceled by the user.", "Stopped by signal", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    removeTree(pidFile);
    pid_t pid = start(c.launcher, env("", jdk));
    pid_t java = javaPid();
    ASSERT_GT(java, 0) << readFile(dir.file("err"));
    kill(pid, SIGTERM);
    EXPECT_EQ(143, waitFor(pid));
    EXPECT_TRUE(hasEnded(java));
    std::string err = readFile(dir.file("err"));
    std::string out = readFile(dir.file("out"));
    EXPECT_TRUE(contains(c.onStdout ? out : err, c.message)) << out << err;
    EXPECT_FALSE(contains(c.onStdout ? err : out, c.message)) << out << err;
    EXPECT_FALSE(contains(err + out, c.absent)) << out << err;
  }
}

// Java that is there but does not start (JAVA_TOOL_OPTIONS names an option
// it does not know): a one-line launcher says so with the JVM's first error
// line and the variable, not that no Java was found; every launcher lists
// the candidates with that line on standard error (a launcher packed from
// tag files shows its message on standard output and ends with 0, as a
// setup program reads it). Without a suitable Java, the one-line text
// names JAVA_HOME first.
TEST_F(LauncherEndTest, AJavaThatDoesNotStartIsNotCalledMissing) {
  BV_REQUIRE_JAVA();
  std::string oneLine = oneLineLauncher();
  std::string tagLauncher = pack("setup", payload(typicalScriptPath()));
  const std::string unknown = "Unrecognized VM option 'NoSuchFlag'";
  // This error is on the JVM's standard output.
  const std::string smallHeap = "Error occurred during initialization of VM: Too small maximum heap";
  struct Case {
    const char* name;
    std::string launcher;
    const char* variable;
    const char* options;
    std::string line;  // the JVM's own words
    std::string first;
  } cases[] = {
      {"one-line, JAVA_TOOL_OPTIONS", oneLine, "JAVA_TOOL_OPTIONS", "-XX:+NoSuchFlag", unknown,
       "Java was found, but it did not start: " + unknown + " (JAVA_TOOL_OPTIONS is set"},
      {"one-line, _JAVA_OPTIONS", oneLine, "_JAVA_OPTIONS", "-XX:+NoSuchFlag", unknown,
       "Java was found, but it did not start: " + unknown + " (_JAVA_OPTIONS is set"},
      {"one-line, a heap too small", oneLine, "JAVA_TOOL_OPTIONS", "-Xmx1k", smallHeap,
       "Java was found, but it did not start: " + smallHeap + " (JAVA_TOOL_OPTIONS is set"},
      {"tag files", tagLauncher, "JAVA_TOOL_OPTIONS", "-XX:+NoSuchFlag", unknown,
       "A suitable JVM could not be found."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> e = env("", javaHome);
    e.push_back(std::string(c.variable) + "=" + c.options);
    ProcessResult result = run(c.launcher, {}, e);
    bool isOneLine = c.launcher == oneLine;
    EXPECT_EQ(isOneLine ? 1 : 0, result.status) << result.err;
    if (isOneLine) {
      // After the warning that JAVA_HOME cannot be used, where it is given.
      std::vector<std::string> lines = splitLines(result.err);
      if (!lines.empty() && lines[0].find("The Java home in JAVA_HOME") == 0) lines.erase(lines.begin());
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(0u, lines[0].find(c.first)) << result.err;
    } else {
      EXPECT_TRUE(contains(result.out, c.first)) << result.out;
    }
    EXPECT_TRUE(contains(result.err, ": did not start: " + c.line)) << result.err;
  }

  // No suitable Java at all (none is new enough).
  std::string needy = dir.file("needy");
  std::string out;
  ASSERT_EQ(0, runBvpack({"-o", needy, "--main-class", "PrintArgs", "--jar", javaBuildPath("PrintArgs.jar"),
                          "--min-java", "99", "--no-cds"},
                         &out))
      << out;
  ProcessResult none = run(needy, {}, env("", javaHome));
  EXPECT_EQ(1, none.status);
  std::vector<std::string> lines = splitLines(none.err);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("No suitable Java was found. Set JAVA_HOME (or JDK_HOME) to the folder of a Java installation, or run "
            "again with -bv:javahome DIR.",
            lines[1]);
  EXPECT_FALSE(contains(none.err, "A suitable Java can also be named with")) << none.err;
}

}  // namespace
}  // namespace bvtest
