// Class-data sharing seen from outside: launchers whose template holds
// %CDS_OPTIONS%() and whose class path is stable (a jar next to the
// launcher, named by its .cp side file), run with fake Javas that report a
// version and with the real JDKs of the machine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

// A fake Java home: to the verification class it reports os.name Linux, the
// usual java.vm.specification.name and the given java.specification.version;
// as the application it prints each argument as "arg=<...>". Its release
// file states the version, as a real JDK's does: the JVM file does not ask
// it, so the launcher reads it there.
void writeVersionedJvm(const std::string& home, const std::string& version) {
  std::filesystem::create_directories(home + "/bin");
  writeFile(home + "/bin/java",
            "#!/bin/sh\n"
            "props=no\n"
            "for a in \"$@\"; do\n"
            "  if [ $props = yes ]; then\n"
            "    case \"$a\" in\n"
            "      os.name) echo Linux ;;\n"
            "      java.vm.specification.name) echo 'Java Virtual Machine Specification' ;;\n"
            "      java.specification.version) echo '" + version + "' ;;\n"
            "      *) echo null ;;\n"
            "    esac\n"
            "  elif [ \"$a\" = Verify ]; then\n"
            "    echo 1739021872; props=yes\n"
            "  fi\n"
            "done\n"
            "[ $props = yes ] && exit 0\n"
            "for a in \"$@\"; do printf 'arg=<%s>\\n' \"$a\"; done\n",
            0755);
  writeReleaseFile(home, version);
}

// The feature version in the release file of a JDK home, 0 when unknown.
int releaseVersion(const std::string& home) {
  std::string text = readFile(home + "/release");
  size_t at = text.find("JAVA_VERSION=\"");
  if (at == std::string::npos) return 0;
  std::string version = text.substr(at + 14);
  if (version.compare(0, 2, "1.") == 0) version.erase(0, 2);
  return atoi(version.c_str());
}

class E2eClassDataTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    cds = dir.file(".cache/bvlauncher/cds");
  }

  // A launcher named name whose template asks for class-data sharing and
  // whose class path is what name.cp lists; its .ja file holds javaArgs.
  // Its JVM file is jvmText (empty: jvmFileText(), which does not ask the
  // Java's version).
  std::string launcher(const std::string& name, const std::vector<std::string>& classPath,
                       const std::string& javaArgs = "", const std::string& mainClass = "Hello",
                       const std::string& jvmText = "") {
    std::string cp;
    for (const std::string& entry : classPath) cp += entry + "\n";
    write(name + ".cp", cp);
    if (!javaArgs.empty()) write(name + ".ja", javaArgs + "\n");
    return pack(name, {"instructions:" + typicalScriptPath(), "verify-jar:" + javaBuildPath("Verify.jar"),
                       "launch-script:" +
                           write(name + "-launch.tag",
                                 "DESC: App\nDISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 1\n"
                                 "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CDS_OPTIONS%() %RUNTIME_JAVAARGS%() "
                                 "%CP%() " + mainClass + "\"\n"),
                       "jvm:" + write("jvm.tag", jvmText.empty() ? jvmFileText() : jvmText)});
  }

  // A copy of a built jar in the test folder: a stable path of the test's own.
  std::string jarCopy(const std::string& built, const std::string& name) {
    std::string path = dir.file(name);
    writeFile(path, readFile(javaBuildPath(built)));
    return path;
  }

  ProcessResult runWith(const std::string& launcher, const std::string& home, const std::string& log,
                        const std::vector<std::string>& extraEnv = {}) {
    std::vector<std::string> environment = env("", home);
    environment.insert(environment.end(), extraEnv.begin(), extraEnv.end());
    return run(launcher, {"-bv:log", log}, environment);
  }

  // A fake Java 21 at home that records one class into the list it is
  // given, and that runs onDump (shell text; $archive is the archive to
  // make) when it is asked to make an archive.
  void writeRecordingJvm(const std::string& home, const std::string& onDump) {
    writeVersionedJvm(home, "21");
    std::string java = readFile(home + "/bin/java");
    java.replace(java.find("for a in \"$@\"; do printf"), 0,
                 "for a in \"$@\"; do case \"$a\" in -XX:DumpLoadedClassList=*) echo java/lang/Object > \"${a#*=}\" ;; "
                 "-XX:SharedArchiveFile=*) archive=${a#*=} ;; -Xshare:dump) dump=1 ;; esac; done\n"
                 "if [ -n \"$dump\" ]; then " + onDump + "; fi\n");
    writeFile(home + "/bin/java", java, 0755);
  }

  // The archives in the cache, by name.
  std::vector<std::string> archives() const {
    std::vector<std::string> found;
    for (const std::string& name : listDir(cds)) {
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jsa") == 0) found.push_back(name);
    }
    return found;
  }

  // Waits until no process works in the cache folder: no list or
  // unfinished archive is left and every lock is free.
  void waitUntilIdle() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
    for (;;) {
      bool idle = true;
      for (const std::string& name : listDir(cds)) {
        if (name.find(".classes-") != std::string::npos || name.find(".jsa-") != std::string::npos) idle = false;
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".lock") == 0) {
          int fd = open((cds + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
          if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) idle = false;
          if (fd >= 0) close(fd);
        }
      }
      if (idle) return;
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the archive was not made in time";
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

  // The real JDK homes of the machine that are Java 13 or newer: the one
  // found on PATH, the Debian JDK 17 and Temurin 25 where present.
  std::vector<std::string> realHomes() const {
    std::vector<std::string> homes;
    for (const std::string& home : {javaHome, std::string("/usr/lib/jvm/java-17-openjdk-amd64"),
                                    std::string("/usr/lib/jvm/temurin-25-jdk-amd64")}) {
      if (home.empty() || !pathExists(home + "/bin/java") || releaseVersion(home) < 13) continue;
      std::string real = std::filesystem::canonical(home).string();
      bool seen = false;
      for (const std::string& h : homes) seen = seen || h == real;
      if (!seen) homes.push_back(real);
    }
    return homes;
  }

  std::string cds;  // the archives' folder in the test's HOME
};

// The options appear for Java 13 and newer only, and never with BV_CDS=0; a
// run of a fake Java records no class, so no archive comes of it.
TEST_F(E2eClassDataTest, TheOptionsAppearOnlyForJavasThatSupportThem) {
  std::string app = launcher("app", {jarCopy("Hello.jar", "Hello.jar")});
  struct Case {
    const char* version;
    std::vector<std::string> extraEnv;
    bool options;
    const char* logged;
  } cases[] = {
      {"1.8", {}, false, "Class-data sharing: none for Java 1.8 (it takes Java 13 or newer)"},
      {"11", {}, false, "Class-data sharing: none for Java 11 (it takes Java 13 or newer)"},
      {"17", {}, true, "Class-data sharing: recording the classes of this run for the archive "},
      {"21", {}, true, "Class-data sharing: recording the classes of this run for the archive "},
      {"21", {"BV_CDS=0"}, false, "Class-data sharing: off (BV_CDS=0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version) + (c.extraEnv.empty() ? "" : " BV_CDS=0"));
    std::string home = dir.file(std::string("jdk-") + c.version + (c.extraEnv.empty() ? "" : "-off"));
    writeVersionedJvm(home, c.version);
    std::string log = home + ".log";
    ProcessResult r = runWith(app, home, log, c.extraEnv);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("arg=<-cp>\narg=<" + dir.file("Hello.jar") + ">\narg=<Hello>\n"))
        << r.out;
    EXPECT_EQ(c.options, r.out.find("arg=<-XX:DumpLoadedClassList=" + cds + "/") != std::string::npos) << r.out;
    EXPECT_EQ(c.options, r.out.find("arg=<-Xlog:cds*=off>\n") != std::string::npos) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("-Xlog:aot")) << r.out;
    EXPECT_NE(std::string::npos, readFile(log).find(c.logged)) << readFile(log);
    EXPECT_EQ("", r.err);
  }
  EXPECT_TRUE(archives().empty());
  for (const std::string& name : listDir(cds)) {
    EXPECT_EQ(std::string::npos, name.find(".classes-")) << "an empty class list was left: " << name;
  }
  // Java 25 also gets the selector of its AOT messages.
  std::string home = dir.file("jdk-25");
  writeVersionedJvm(home, "25");
  ProcessResult r = runWith(app, home, dir.file("jdk-25.log"));
  EXPECT_NE(std::string::npos, r.out.find("arg=<-Xlog:cds*=off>\narg=<-Xlog:aot*=off>\n")) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

// The Java's version is the one that the check printed when the JVM file
// asks it (java.specification.version), whatever the release file says or
// whether there is one; else the release file's; with neither, no options.
TEST_F(E2eClassDataTest, TheVersionIsTheChecksAnswerOrElseTheReleaseFiles) {
  std::string hello = jarCopy("Hello.jar", "Hello.jar");
  std::string asking = launcher("asking", {hello}, "", "Hello",
                                "DESC: Test JVM\nJVM_EXE: bin/java\nPLATFORM_HINT:\n  JAVA_HOME\n/:\n"
                                "JVM_PROPERTIES:\n  os.name=Linux\n  java.specification.version>=1\n/:\n"
                                "CLASSPATH: \"-cp \"\nCLASSPATH_SEPARATOR: :\n");
  std::string plain = launcher("plain", {hello});
  struct Case {
    const char* name;
    std::string launcher;
    const char* release;  // the version the release file states, "" for none
    bool options;
    const char* logged;
  } cases[] = {
      {"asked, no release file", asking, "", true, "Class-data sharing: recording the classes"},
      {"asked, the release file says 11", asking, "11", true, "Class-data sharing: recording the classes"},
      {"not asked, the release file says 21", plain, "21", true, "Class-data sharing: recording the classes"},
      {"not asked, no release file", plain, "", false,
       "Class-data sharing: none, since the JVM file does not say which Java version was checked"},
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string home = dir.file("jdk" + std::to_string(i++));
    writeVersionedJvm(home, "21");
    unlink((home + "/release").c_str());
    if (c.release[0] != '\0') writeReleaseFile(home, c.release);
    std::string log = home + ".log";
    ProcessResult r = runWith(c.launcher, home, log);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(c.options, r.out.find("arg=<-XX:DumpLoadedClassList=" + cds + "/") != std::string::npos) << r.out;
    EXPECT_NE(std::string::npos, readFile(log).find(c.logged)) << readFile(log);
  }
  EXPECT_TRUE(leftInTemp().empty());
}

// A jar that the run extracts into its temporary folder is no stable class
// path: no options, and the log says why.
TEST_F(E2eClassDataTest, AJarInTheRunsTemporaryFolderGivesNoOptions) {
  std::string home = dir.file("jdk");
  writeVersionedJvm(home, "21");
  write("launch.tag",
        "DESC: App\nDISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CDS_OPTIONS%() %CP%() Hello\"\n");
  std::string app = pack("app", {"instructions:" + typicalScriptPath(), "verify-jar:" + javaBuildPath("Verify.jar"),
                                 "launch-script:" + dir.file("launch.tag"), "jvm:" + write("jvm.tag", jvmFileText()),
                                 "classpath-jar:" + javaBuildPath("Hello.jar")});
  ProcessResult r = runWith(app, home, dir.file("log"));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ(std::string::npos, r.out.find("-XX:")) << r.out;
  EXPECT_NE(std::string::npos,
            readFile(dir.file("log")).find("Class-data sharing: none, since the class path is not stable: "))
      << readFile(dir.file("log"));
  EXPECT_FALSE(pathExists(cds));
}

// A cache folder of another user's, or one reached through a link, gives no
// archive and no word on the console.
TEST_F(E2eClassDataTest, AForeignOrLinkedCacheFolderGivesNothingSilently) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the folder to another user";
  std::string app = launcher("app", {jarCopy("Hello.jar", "Hello.jar")});
  std::string home = dir.file("jdk");
  writeVersionedJvm(home, "21");
  std::filesystem::create_directories(cds);
  for (const char* how : {"foreign", "link"}) {
    SCOPED_TRACE(how);
    removeTree(cds);
    if (std::string(how) == "foreign") {
      std::filesystem::create_directories(cds);
      ASSERT_EQ(0, chown(cds.c_str(), 4242, 4242));
    } else {
      std::filesystem::create_directories(dir.file("elsewhere"));
      ASSERT_EQ(0, symlink(dir.file("elsewhere").c_str(), cds.c_str()));
    }
    std::string log = dir.file(std::string("log-") + how);
    ProcessResult r = runWith(app, home, log);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(std::string::npos, r.out.find("-XX:")) << r.out;
    EXPECT_EQ("", r.err);
    EXPECT_NE(std::string::npos, readFile(log).find("Class-data sharing: none, since there is no usable cache folder"))
        << readFile(log);
  }
  EXPECT_TRUE(listDir(dir.file("elsewhere")).empty());
}

// A first run that is ended while it records leaves no list, and its lock
// is free, so the next run records anew.
TEST_F(E2eClassDataTest, ARecordingRunThatIsEndedLeavesNothingHalfDone) {
  std::string app = launcher("app", {jarCopy("Hello.jar", "Hello.jar")});
  std::string home = dir.file("jdk");
  writeVersionedJvm(home, "21");
  // As the application, this Java writes a class into the list it is
  // given, says that it started and waits.
  std::string started = dir.file("started");
  std::string java = readFile(home + "/bin/java");
  java.replace(java.find("for a in \"$@\"; do printf"),
               std::string::npos,
               "for a in \"$@\"; do case \"$a\" in -XX:DumpLoadedClassList=*) echo java/lang/Object > \"${a#*=}\" ;; "
               "esac; done\n: > " + started + "\nexec /bin/sleep 30\n");
  writeFile(home + "/bin/java", java, 0755);
  std::vector<std::string> environment = env("", home);
  std::vector<char*> vars;
  for (const std::string& v : environment) vars.push_back(const_cast<char*>(v.c_str()));
  vars.push_back(nullptr);
  std::string log = dir.file("log");
  std::vector<std::string> argv = {app, "-bv:tempdir", temp, "-bv:log", log, "-bv:silent"};
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execve(args[0], args.data(), vars.data());
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  for (int i = 0; i < 300 && !pathExists(started); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(pathExists(started)) << readFile(log);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status;
  EXPECT_NE(std::string::npos, readFile(log).find("Class-data sharing: no archive from this run")) << readFile(log);
  for (const std::string& name : listDir(cds)) {
    EXPECT_EQ(std::string::npos, name.find(".classes-")) << name;
    EXPECT_EQ(std::string::npos, name.find(".jsa")) << name;
  }
  waitUntilIdle();
  EXPECT_TRUE(leftInTemp().empty());
}

// A Java that records classes but cannot make the archive from them
// leaves a mark, and is not asked again for that key.
TEST_F(E2eClassDataTest, AJavaThatCannotMakeTheArchiveIsNotAskedAgain) {
  std::string app = launcher("app", {jarCopy("Hello.jar", "Hello.jar")});
  std::string home = dir.file("jdk");
  writeRecordingJvm(home, "exit 1");
  ProcessResult r = runWith(app, home, dir.file("log1"));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("arg=<-XX:DumpLoadedClassList=")) << r.out;
  waitUntilIdle();
  std::vector<std::string> names = listDir(cds);
  ASSERT_EQ(2u, names.size());
  EXPECT_NE(std::string::npos, names[0].find(".failed")) << names[0];
  EXPECT_NE(std::string::npos, names[1].find(".lock")) << names[1];
  // The mark dates from the failure, a while ago: the runs it stops do not
  // make it newer.
  std::string mark = cds + "/" + names[0];
  struct timespec times[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, mark.c_str(), times, 0));
  r = runWith(app, home, dir.file("log2"));
  EXPECT_EQ(std::string::npos, r.out.find("arg=<-X")) << r.out;
  EXPECT_NE(std::string::npos, readFile(dir.file("log2")).find("Class-data sharing: none, since the Java could not make"))
      << readFile(dir.file("log2"));
  struct stat st;
  ASSERT_EQ(0, stat(mark.c_str(), &st));
  EXPECT_EQ(times[1].tv_sec, st.st_mtime);
  // A day later the key is tried again.
  times[0].tv_sec = times[1].tv_sec = time(nullptr) - 24 * 3600 - 60;
  ASSERT_EQ(0, utimensat(AT_FDCWD, mark.c_str(), times, 0));
  r = runWith(app, home, dir.file("log3"));
  EXPECT_NE(std::string::npos, r.out.find("arg=<-XX:DumpLoadedClassList=")) << r.out;
  waitUntilIdle();
}

// A dump that did not end by itself (killed, or out of time: both give no
// exit status) says nothing about the key: no failure mark, and the next
// run records again.
TEST_F(E2eClassDataTest, ADumpThatIsKilledLeavesNoFailureMark) {
  std::string app = launcher("app", {jarCopy("Hello.jar", "Hello.jar")});
  std::string home = dir.file("jdk");
  writeRecordingJvm(home, "kill -9 $$");
  ProcessResult r = runWith(app, home, dir.file("log1"));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("arg=<-XX:DumpLoadedClassList=")) << r.out;
  waitUntilIdle();
  for (const std::string& name : listDir(cds)) EXPECT_EQ(std::string::npos, name.find(".failed")) << name;
  r = runWith(app, home, dir.file("log2"));
  EXPECT_NE(std::string::npos, r.out.find("arg=<-XX:DumpLoadedClassList=")) << r.out;
  waitUntilIdle();
}

// The archive reaches the disk before the rename that publishes it (a
// crash must not leave an archive's name on empty bytes): seen with
// strace, an fsync by the process that makes it between its last open of
// the unfinished archive and the rename.
TEST_F(E2eClassDataTest, TheArchiveIsSyncedBeforeItIsPublished) {
  if (runShell("command -v strace >/dev/null") != 0) GTEST_SKIP() << "no strace";
  std::string app = launcher("app", {jarCopy("Hello.jar", "Hello.jar")});
  std::string home = dir.file("jdk");
  // It "makes" an archive that begins as one does.
  writeRecordingJvm(home, "printf '\\242\\253\\013\\360rest' > \"$archive\"; exit 0");
  std::string trace = dir.file("trace");
  // The leak checker of a sanitizer build cannot run under ptrace.
  std::vector<std::string> environment = env("", home);
  environment.push_back("ASAN_OPTIONS=detect_leaks=0");
  ProcessResult r = runProcess({"/usr/bin/strace", "-f", "-qq", "-o", trace, "-e", "trace=openat,fsync,rename", app,
                                "-bv:tempdir", temp, "-bv:log", dir.file("log")},
                               environment);
  EXPECT_EQ(0, r.status) << r.out << r.err;
  waitUntilIdle();
  ASSERT_EQ(1u, archives().size()) << readFile(dir.file("log"));
  std::vector<std::string> lines = splitLines(readFile(trace));
  size_t rename = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find("rename(") != std::string::npos && lines[i].find(".jsa-") != std::string::npos) rename = i;
  }
  ASSERT_NE(lines.size(), rename) << readFile(trace);
  std::string pid = lines[rename].substr(0, lines[rename].find(' '));
  bool synced = false;
  for (size_t i = rename; i-- > 0;) {
    if (lines[i].compare(0, pid.size() + 1, pid + " ") != 0) continue;
    if (lines[i].find("fsync(") != std::string::npos) synced = true;
    if (lines[i].find("openat(") != std::string::npos && lines[i].find(".jsa-") != std::string::npos) break;
  }
  EXPECT_TRUE(synced) << readFile(trace);
}

// A command that runs another Java than the JVM file's (here a copy of
// it elsewhere) gets no options: the archive is made for that file's Java.
TEST_F(E2eClassDataTest, ACommandThatRunsAnotherJavaGetsNoOptions) {
  std::string home = dir.file("jdk");
  writeVersionedJvm(home, "21");
  writeVersionedJvm(dir.file("other"), "21");
  write("launch.tag", "DESC: App\nDISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"" + dir.file("other/bin/java") +
                          "\"\" %CDS_OPTIONS%() %CP%() Hello\"\n");
  write("app.cp", jarCopy("Hello.jar", "Hello.jar") + "\n");
  std::string app = pack("app", {"instructions:" + typicalScriptPath(), "verify-jar:" + javaBuildPath("Verify.jar"),
                                 "launch-script:" + dir.file("launch.tag"), "jvm:" + write("jvm.tag", jvmFileText())});
  ProcessResult r = runWith(app, home, dir.file("log"));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("arg=<Hello>")) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("arg=<-X")) << r.out;
  EXPECT_NE(std::string::npos, readFile(dir.file("log")).find(
                                   "Class-data sharing: none, since the command does not run the Java of the JVM file"))
      << readFile(dir.file("log"));
  EXPECT_FALSE(pathExists(cds));
}

// With the real JDKs: the first run records the classes, the archive appears
// after it (0600, of archive size), the second run maps Hello from it, and
// neither prints a word of the JVM about archives.
TEST_F(E2eClassDataTest, TheArchiveIsMadeAfterTheFirstRunAndUsedByTheSecond) {
  std::vector<std::string> homes = realHomes();
  if (homes.empty()) GTEST_SKIP() << "no JDK 13 or newer on this machine";
  std::string classLog = dir.file("classes.log");
  std::string app = launcher("app", {jarCopy("Hello.jar", "Hello.jar")},
                             "-Xlog:class+load=info:file=" + classLog);
  size_t made = 0;
  for (const std::string& home : homes) {
    SCOPED_TRACE(home);
    std::string first = dir.file("first.log"), second = dir.file("second.log");
    ProcessResult r = runWith(app, home, first);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ("Hello, world!\n", r.out.substr(r.out.find("Hello")));
    EXPECT_EQ("", r.err);
    EXPECT_NE(std::string::npos, readFile(first).find("Class-data sharing: recording the classes"));
    EXPECT_NE(std::string::npos, readFile(classLog).find("Hello source: file:")) << readFile(classLog);
    waitUntilIdle();
    std::vector<std::string> found = archives();
    ASSERT_EQ(++made, found.size());
    std::string archive;
    for (const std::string& name : found) {
      if (readFile(first).find(name) != std::string::npos) archive = cds + "/" + name;
    }
    ASSERT_FALSE(archive.empty()) << readFile(first);
    struct stat st;
    ASSERT_EQ(0, stat(archive.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    EXPECT_GT(st.st_size, 1 << 20);

    r = runWith(app, home, second);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ("", r.err);
    EXPECT_NE(std::string::npos, readFile(second).find("Class-data sharing: using the archive " + archive));
    EXPECT_NE(std::string::npos, readFile(classLog).find("Hello source: shared objects file"))
        << readFile(classLog);
    unlink(first.c_str());
    unlink(second.c_str());
  }
  EXPECT_TRUE(leftInTemp().empty());
}

// A one-line launcher keeps its jars in the user's cache, a stable class
// path: its second start maps the classes from the archive that its first
// start led to.
TEST_F(E2eClassDataTest, AOneLineLauncherGetsAnArchiveForItsCachedJars) {
  std::vector<std::string> homes = realHomes();
  if (homes.empty()) GTEST_SKIP() << "no JDK 13 or newer on this machine";
  std::string app = dir.file("hello");
  std::string out;
  ASSERT_EQ(0, runBvpack({"-o", app, "--main-class", "Hello", "--jar", javaBuildPath("Hello.jar")}, &out)) << out;
  const char* expected[] = {"recording the classes", "using the archive"};
  for (const char* text : expected) {
    SCOPED_TRACE(text);
    std::string log = dir.file("log");
    unlink(log.c_str());
    ProcessResult r = runWith(app, homes.front(), log);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("Hello, world!")) << r.out;
    EXPECT_EQ("", r.err);
    EXPECT_NE(std::string::npos, readFile(log).find(std::string("Class-data sharing: ") + text)) << readFile(log);
    EXPECT_NE(std::string::npos, readFile(log).find("/jars-")) << readFile(log);
    waitUntilIdle();
  }
  EXPECT_EQ(1u, archives().size());
  EXPECT_TRUE(leftInTemp().empty());
}

// Another class path, or a jar with other bytes at the same path, gets an
// archive of its own; a damaged archive is removed and made anew.
TEST_F(E2eClassDataTest, AnotherClassPathGetsAnotherArchiveAndADamagedOneIsMadeAnew) {
  std::vector<std::string> homes = realHomes();
  if (homes.empty()) GTEST_SKIP() << "no JDK 13 or newer on this machine";
  std::string home = homes.front();
  std::string hello = jarCopy("Hello.jar", "Hello.jar");
  std::string one = launcher("one", {hello});
  std::string two = launcher("two", {hello, jarCopy("PrintArgs.jar", "PrintArgs.jar")});
  auto runAndWait = [&](const std::string& app, const std::string& expectedLog) {
    std::string log = dir.file("run.log");
    unlink(log.c_str());
    ProcessResult r = runWith(app, home, log);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("Hello, world!")) << r.out;
    EXPECT_EQ("", r.err);
    EXPECT_NE(std::string::npos, readFile(log).find(expectedLog)) << readFile(log);
    waitUntilIdle();
  };
  runAndWait(one, "recording the classes");
  runAndWait(two, "recording the classes");
  EXPECT_EQ(2u, archives().size());
  // Other bytes in Hello.jar (an entry added at its end).
  std::string bytes = readFile(hello);
  writeFile(hello, bytes + std::string(16, '\0'));
  runAndWait(one, "recording the classes");
  EXPECT_EQ(3u, archives().size());
  runAndWait(one, "using the archive");

  std::string log = readFile(dir.file("run.log"));
  size_t at = log.find("using the archive ");
  ASSERT_NE(std::string::npos, at);
  std::string archive = log.substr(at + 18, log.find('\n', at) - at - 18);
  writeFile(archive, "not an archive");
  chmod(archive.c_str(), 0600);
  runAndWait(one, "removing the damaged archive " + archive);
  EXPECT_NE(std::string::npos, readFile(dir.file("run.log")).find("recording the classes"));
  runAndWait(one, "using the archive " + archive);
  EXPECT_EQ(3u, archives().size());
}

}  // namespace
}  // namespace bvtest
