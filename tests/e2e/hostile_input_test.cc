// A local attacker's and a hostile input author's view of the launcher, run
// as real launcher processes: temporary folders whose names could inject
// tags into the JVM file written for a match, paths the launcher found that
// must not be read again as expressions, and files that would block a read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/hostile_names.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

using HostileInputTest = E2eTest;

// A temporary folder with a line break would put a second line into the
// JVM file written for a match ("JVM_FILE:  <temp>/bvj..."), and a line
// "JVM_EXE: ..." there is template text that LAUNCH would run. Such a
// folder is refused before anything is written or run.
TEST_F(HostileInputTest, ATemporaryFolderWithALineBreakIsRefusedBeforeAnythingRuns) {
  write("fake/bin/java", "", 0755);
  writeFakeJvm(dir.file("fake"));
  std::string launcher = pack("setup", payload(typicalScriptPath(), true));
  struct Case {
    const char* label;
    std::string tail;
  } cases[] = {
      {"line feed injecting JVM_EXE", "x\nJVM_EXE:  $(touch bv-marker)"},
      {"carriage return", "x\rJVM_EXE:  $(touch bv-marker)"},
      {"line feed at the end", "x\n"},
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string tempDir = dir.file("t" + std::to_string(i++)) + "/" + c.tail;
    runShell("mkdir -p " + shellQuote(tempDir));
    ProcessResult r = runProcess({launcher, "-bv:tempdir", tempDir, "x"},
                                 env("/usr/bin:/bin", dir.file("fake")), "", dir.path());
    EXPECT_EQ(255, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos,
              (r.out + r.err).find("cannot be the temporary directory: its path holds a line break."))
        << r.out << r.err;
    EXPECT_EQ(std::string::npos, r.out.find("fakejava")) << r.out;
    EXPECT_EQ(std::vector<std::string>{}, listDir(tempDir));
    std::string found;
    runShell("find " + shellQuote(dir.path()) + " -name " + kHostileMarker, &found);
    EXPECT_EQ("", found);
  }
}

// The JVM file of a match is written right into the temporary folder and
// read again by name for LAUNCH: a folder where others could replace it
// (not sticky and writable by them, or another user's) is refused.
TEST_F(HostileInputTest, ATemporaryFolderThatOthersCanChangeIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  writeFakeJvm(dir.file("fake"));
  std::string launcher = pack("setup", payload(typicalScriptPath(), true));
  struct Case {
    const char* label;
    mode_t mode;
    uid_t owner;
    const char* reason;  // empty: accepted
  } cases[] = {
      {"world-writable", 0777, 0, "other users may write to it and it is not sticky."},
      {"group-writable", 0775, 0, "other users may write to it and it is not sticky."},
      {"another user's", 0755, 4242, "it belongs to another user (uid 4242)."},
      {"sticky like /tmp", 01777, 0, ""},
      {"private", 0700, 0, ""},
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string tempDir = dir.file("t" + std::to_string(i++));
    ASSERT_EQ(0, mkdir(tempDir.c_str(), 0700));
    ASSERT_EQ(0, chmod(tempDir.c_str(), c.mode));
    ASSERT_EQ(0, chown(tempDir.c_str(), c.owner, 0));
    ProcessResult r = runProcess({launcher, "-bv:tempdir", tempDir, "x"},
                                 env("/usr/bin:/bin", dir.file("fake")), "", dir.path());
    if (*c.reason == '\0') {
      EXPECT_EQ(0, r.status) << r.out << r.err;
      EXPECT_NE(std::string::npos, r.out.find("fakejava")) << r.out << r.err;
    } else {
      EXPECT_EQ(255, r.status) << r.out << r.err;
      EXPECT_NE(std::string::npos, (r.out + r.err).find(tempDir + " cannot be the temporary directory: " +
                                                        c.reason))
          << r.out << r.err;
      EXPECT_EQ(std::string::npos, r.out.find("fakejava")) << r.out;
    }
    EXPECT_EQ(std::vector<std::string>{}, listDir(tempDir));
  }
}

// A temporary folder named through a link is resolved once: while the
// run's java starts (a fake one that waits until the test has moved), the
// link is pointed at another folder holding a bvj... folder of the same
// name, as another user with a link of theirs would do to have their own
// classes loaded. The run keeps to the folder that the link led to at
// first: java gets paths there only, and the clean-up empties that folder
// and leaves the other one alone. (A link of another user's is refused
// outright; platform/temp_files_test.cc.)
TEST_F(HostileInputTest, ATemporaryFolderLinkSwappedDuringTheRunChangesNothing) {
  writeFakeJvm(dir.file("fake"), "Linux", "bin/real-java");
  std::string started = dir.file("started"), go = dir.file("go"), args = dir.file("java-args");
  write("fake/bin/java",
        "#!/bin/sh\n"
        "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> " + shellQuote(args) + "\n"
        ": > " + shellQuote(started) + "\n"
        "i=0\n"
        "while [ ! -e " + shellQuote(go) + " ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i+1)); done\n"
        "exec \"$(dirname \"$0\")/real-java\" \"$@\"\n",
        0755);
  std::string launcher = pack("setup", payload(typicalScriptPath(), true));
  std::string real = dir.file("real"), decoy = dir.file("decoy"), link = dir.file("link");
  ASSERT_EQ(0, mkdir(real.c_str(), 0700));
  ASSERT_EQ(0, mkdir(decoy.c_str(), 0700));
  ASSERT_EQ(0, symlink(real.c_str(), link.c_str()));

  ProcessResult r;
  std::thread runner([&] {
    r = runProcess({launcher, "-bv:tempdir", link, "x"}, env("/usr/bin:/bin", dir.file("fake")), "",
                   dir.path());
  });
  for (int i = 0; i < 3000 && !pathExists(started); ++i) usleep(10000);
  // The bvj... folder that java was given, made in the other folder too.
  std::string name;
  for (const std::string& line : splitLines(readFile(args))) {
    size_t at = line.find("/bvj");
    if (at != std::string::npos) name = line.substr(at + 1, line.find('/', at + 1) - at - 1);
  }
  EXPECT_NE("", name);
  if (!name.empty()) {
    runShell("mkdir " + shellQuote(decoy + "/" + name) + " && echo theirs > " +
             shellQuote(decoy + "/" + name + "/Verify.jar"));
  }
  runShell("ln -s " + shellQuote(decoy) + " " + shellQuote(dir.file("new-link")) + " && mv -T " +
           shellQuote(dir.file("new-link")) + " " + shellQuote(link));
  writeFile(go, "");
  runner.join();

  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("fakejava")) << r.out << r.err;
  std::string given = readFile(args);
  EXPECT_EQ(std::string::npos, given.find(link + "/")) << given;
  EXPECT_NE(std::string::npos, given.find(real + "/bvj")) << given;
  EXPECT_EQ(std::vector<std::string>{}, listDir(real));
  if (!name.empty()) {
    EXPECT_EQ("theirs\n", readFile(decoy + "/" + name + "/Verify.jar"));
  }
}

// A JVM splits the library paths that it derives from its home at ':':
// one in "/opt/a:b/jdk" loads "b/jdk/lib/libjimage.so" relative to the
// working directory, where another user may have put one (reproduced with
// a real JDK copied there: a library planted in the working directory ran
// inside the verification). Such a home is never run, whether it is named
// with -bv:javahome or reached through a link without ':'.
TEST_F(HostileInputTest, AJavaHomeWhoseRealPathHoldsAColonIsNotRun) {
  writeFakeJvm(dir.file("a:b/jdk"));
  ASSERT_EQ(0, symlink(dir.file("a:b/jdk").c_str(), dir.file("link").c_str()));
  std::string launcher = pack("setup", payload(typicalScriptPath(), true));
  struct Case {
    const char* label;
    std::vector<std::string> args;
    std::string javaHome;
  } cases[] = {
      {"named with -bv:javahome", {"-bv:javahome", dir.file("a:b/jdk")}, ""},
      {"JAVA_HOME through a link", {}, dir.file("link")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::string> argv = {launcher, "-bv:log", dir.file("log")};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    argv.push_back("x");
    ProcessResult r = runProcess(argv, env("/nonexistent", c.javaHome), "", dir.path());
    EXPECT_EQ(std::string::npos, r.out.find("fakejava")) << r.out << r.err;
    std::string log = readFile(dir.file("log"));
    EXPECT_NE(std::string::npos, log.find("its real home " + dir.file("a:b/jdk") + " holds a ':'")) << log;
    unlink(dir.file("log").c_str());
  }
}

// FIND_JVM, VERIFY and INSTALL_JVM store paths they found or made in S1 and
// S2. Those are data: "@S2@" gives the path as it is, even when it holds "@"
// or something that looks like a reference. SET values keep being read again.
TEST_F(HostileInputTest, PathsStoredByLauncherOperationsAreInsertedOnce) {
  writeFakeJvm(dir.file("fake"));
  std::string launcher = pack("setup", payload(typicalScriptPath(), true));
  const char* tails[] = {"me@example.com", "@S1@", "a@@b", "@N1@x@", "@"};
  int i = 0;
  for (const char* tail : tails) {
    SCOPED_TRACE(tail);
    std::string tempDir = dir.file("t" + std::to_string(i++)) + "/" + tail;
    runShell("mkdir -p " + shellQuote(tempDir));
    ProcessResult r = runProcess({launcher, "-bv:tempdir", tempDir, "x"},
                                 env("/usr/bin:/bin", dir.file("fake")), "", dir.path());
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("fakejava")) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("arg=-Dtemp.dir=" + tempDir + "\n")) << r.out;
    EXPECT_EQ(std::vector<std::string>{}, listDir(tempDir));
  }
}

// A FIFO named like a file next to the launcher or like an @ list file
// would block the launcher for good on opening it for reading. A side file
// must be a regular file (a warning names it otherwise); an @ file or an
// input file opens at once and a FIFO without a writer reads as empty (an
// input file that cannot be read is an error). The launcher's signal
// handlers only note a cancel, so a blocked open did not even end on SIGTERM.
TEST_F(HostileInputTest, AFifoInPlaceOfAListFileDoesNotHang) {
  writeFakeJvm(dir.file("fake"));
  std::string launcher = pack("dir/setup", payload(typicalScriptPath(), true));
  struct Case {
    const char* label;
    std::string fifo;
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {".cp side file", dir.file("dir/setup.cp"), {"x"}, 0},
      {".cp2 side file", dir.file("dir/setup.cp2"), {"x"}, 0},
      {"-cp:p @file", dir.file("list"), {"-cp:p", "@" + dir.file("list"), "x"}, 0},
      {"-bv:in", dir.file("input"), {"-bv:in", dir.file("input")}, 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(0, mkfifo(c.fifo.c_str(), 0600));
    std::string log = dir.file("log");
    // A launcher that blocks is ended by SIGKILL: it does not end on SIGTERM.
    std::vector<std::string> argv = {"/usr/bin/timeout", "-s", "KILL", "20", launcher,
                                     "-bv:tempdir",      temp, "-bv:log", log};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ProcessResult r = runProcess(argv, env("/usr/bin:/bin", dir.file("fake")), "", dir.path());
    EXPECT_EQ(c.status, r.status) << r.out << r.err;
    if (c.status == 0) {
      EXPECT_NE(std::string::npos, r.out.find("fakejava")) << r.out << r.err;
    }
    if (c.args.size() == 1) {
      EXPECT_NE(std::string::npos, readFile(log).find("Ignoring the file " + c.fifo +
                                                      " next to the launcher: it is not a regular file."))
          << readFile(log);
    }
    EXPECT_EQ(std::vector<std::string>{}, leftInTemp());
    unlink(c.fifo.c_str());
    unlink(log.c_str());
  }
}

// %APPLICATION_ARCHIVE%("name") copies a file next to the launcher under
// the rules of the side files: opened without waiting, a regular file that
// passes the ownership check, or the launch stops with a message that
// names it (another user's file in /tmp was used, a FIFO held the launcher,
// a folder gave "Error writing file = 21").
TEST_F(HostileInputTest, TheApplicationArchiveNextToTheLauncherFollowsTheSideFileRules) {
  writeFakeJvm(dir.file("fake"));
  std::string launcher = pack(
      "dir/setup", {"instructions:" + typicalScriptPath(), "verify-jar:" + javaBuildPath("Verify.jar"),
                    "launch-script:" + write("archive-launch.tag",
                                             "DESC: Archive\nDISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" "
                                             "\"\"archive=%APPLICATION_ARCHIVE%(\"\"app.zip\"\")\"\"\"\n"),
                    "jvm:" + write("jvm.tag", jvmFileText())});
  std::string archive = dir.file("dir/app.zip");
  std::string refused = "The file " + archive + " next to the launcher cannot be the application archive: ";
  struct Case {
    const char* label;
    std::function<bool()> make;  // false: cannot be made here
    std::string message;         // empty: the run succeeds
  } cases[] = {
      {"a regular file of the user's own", [&] { writeFile(archive, "zip"); return true; }, ""},
      {"no file", [] { return true; }, ""},
      {"a folder", [&] { return mkdir(archive.c_str(), 0755) == 0; }, refused + "it is not a regular file."},
      {"a FIFO", [&] { return mkfifo(archive.c_str(), 0600) == 0; }, refused + "it is not a regular file."},
      {"another user's file",
       [&] {
         writeFile(archive, "zip");
         return geteuid() == 0 && chown(archive.c_str(), 4242, 4242) == 0;
       },
       refused + "The file " + archive + " belongs to another user (uid 4242)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    if (!c.make()) continue;
    ProcessResult r = runProcess({"/usr/bin/timeout", "-s", "KILL", "20", launcher, "-bv:tempdir", temp},
                                 env("/usr/bin:/bin", dir.file("fake")), "", dir.path());
    if (c.message.empty()) {
      EXPECT_EQ(0, r.status) << r.out << r.err;
      std::string line = "arg=archive=";
      size_t at = r.out.find(line);
      ASSERT_NE(std::string::npos, at) << r.out;
      std::string value = r.out.substr(at + line.size(), r.out.find('\n', at) - at - line.size());
      if (pathExists(archive)) {
        EXPECT_EQ(temp + "/bvj", value.substr(0, temp.size() + 4));
        EXPECT_EQ("/app.zip", value.substr(value.size() - 8));
      } else {
        EXPECT_EQ("", value);
      }
    } else {
      EXPECT_EQ(255, r.status) << r.out << r.err;
      // On standard output, where a setup program reads the launcher's
      // messages.
      EXPECT_NE(std::string::npos, r.out.find(c.message)) << r.out << r.err;
      EXPECT_EQ(std::string::npos, r.out.find("fakejava")) << r.out;
    }
    EXPECT_EQ(std::vector<std::string>{}, leftInTemp());
    removeTree(archive);
  }
}

}  // namespace
}  // namespace bvtest
