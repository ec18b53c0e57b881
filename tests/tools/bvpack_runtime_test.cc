// bvpack's java-runtime entries: what --jlink made for the tests'
// runtime (tests/CMakeLists.txt), a runtime packed and unpacked with its
// links, the same bytes for the same folder, and the refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/test_util.h"
#include "tools/pack_progress.h"

namespace bvtest {
namespace {

class BvpackRuntimeTest : public E2eTest {
 protected:
  // A fake runtime image: the fake JVM, a release file, a link inside, a
  // link to a folder outside, and one to a folder beside the image whose
  // name begins with the image's (NAME-extra: outside too, though its path
  // begins with the image's path).
  std::string fakeRuntime(const std::string& name, const std::string& version) {
    std::string home = dir.file(name);
    writeFakeJvm(home);
    writeFile(home + "/release", "IMPLEMENTOR=\"test\"\nJAVA_VERSION=\"" + version + "\"\n");
    runShell("mkdir -p " + home + "/lib " + dir.file("outside-conf") + " && echo setting > " +
             dir.file("outside-conf/net.properties") + " && ln -s ../bin/java " + home +
             "/lib/java-link && ln -s " + dir.file("outside-conf") + " " + home + "/conf");
    runShell("mkdir -p " + home + "-extra/data && echo extra > " + home + "-extra/data/x.txt && ln -s " + home +
             "-extra/data " + home + "/lib/sibling");
    return home;
  }

  int pack(const std::vector<std::string>& args, std::string* out) { return runBvpack(args, out); }

  // JVM_PROPERTIES of a JVM file that needs Java version or later.
  static std::string floor(const std::string& version) {
    return "JVM_PROPERTIES:\n  os.name=Linux\n  java.specification.version>=" + version + "\n/:\n";
  }
};

TEST_F(BvpackRuntimeTest, JlinkSaysWhichModulesItTookAndEmitKeepsTheRuntime) {
  std::string log = readFile(buildPath("tests/runtime/jlink.log"));
  EXPECT_NE(std::string::npos, log.find("bvpack: jlink of ")) << log;
  // What jdeps found, the providers loaded by name (with why), and the
  // module that ByName, in the application folder, names in a string
  // only: named, not added.
  EXPECT_NE(std::string::npos, log.find(" made the runtime with the modules java.base,")) << log;
  EXPECT_NE(std::string::npos, log.find("bvpack: added jdk.zipfs: the zip file system provider")) << log;
  EXPECT_NE(std::string::npos, log.find("bvpack: added jdk.charsets: ")) << log;
  EXPECT_NE(std::string::npos, log.find("bvpack: note: the jars name com.sun.tools.javac.Main in " +
                                        buildPath("tests/runtime/byname-app/lib/ByName.jar") +
                                        ", of the module jdk.compiler, which the runtime lacks\n"
                                        "bvpack: note: if the application loads them, add --add-modules "
                                        "jdk.compiler\n"))
      << log;
  std::string release = readFile(buildPath("tests/runtime/emit/runtime/release"));
  EXPECT_NE(std::string::npos, release.find("MODULES=\"java.base jdk.charsets")) << release;
  EXPECT_EQ(std::string::npos, release.find("jdk.compiler")) << release;
  EXPECT_TRUE(pathExists(buildPath("tests/runtime/emit/runtime/bin/java")));
  EXPECT_FALSE(pathExists(buildPath("tests/runtime/emit/runtime/man")));
  EXPECT_FALSE(pathExists(buildPath("tests/runtime/emit/runtime/include")));
  // Its own class-data archive (jlink makes it from Java 17 on), for heaps
  // under 32 GB only.
  size_t versionAt = release.find("JAVA_VERSION=\"");
  ASSERT_NE(std::string::npos, versionAt);
  int feature = std::atoi(release.c_str() + versionAt + 14);
  EXPECT_EQ(feature >= 17, pathExists(buildPath("tests/runtime/emit/runtime/lib/server/classes.jsa"))) << release;
  EXPECT_FALSE(pathExists(buildPath("tests/runtime/emit/runtime/lib/server/classes_nocoops.jsa")));
  std::string listing;
  ASSERT_EQ(0, pack({"--list", buildPath("tests/runtime/hello-always")}, &listing));
  EXPECT_NE(std::string::npos, listing.find("type 8 (java-runtime)")) << listing;
  EXPECT_NE(std::string::npos, listing.find("name Hello.jar cached")) << listing;
  // What the runtime answered when packed: its own version, this system.
  std::string javaVersion = release.substr(versionAt + 14, release.find('"', versionAt + 14) - versionAt - 14);
  EXPECT_NE(std::string::npos, listing.find("  verification answers recorded when packed: 22\n")) << listing;
  EXPECT_NE(std::string::npos, listing.find("    java.version=" + javaVersion + "\n")) << listing;
  EXPECT_NE(std::string::npos, listing.find("    os.name=Linux\n")) << listing;
  EXPECT_EQ(std::string::npos, listing.find("java.home")) << listing;
}

// bvpack stopped by a signal while jlink runs (a fake JDK whose jlink
// waits) ends jlink, removes what it made and ends by that signal; with
// --emit, the half-made runtime goes too.
TEST_F(BvpackRuntimeTest, ASignalEndsJlinkAndLeavesNothingBehind) {
  std::string jdk = dir.file("jdk");
  std::string pidFile = dir.file("jlink.pid");
  runShell("mkdir -p " + jdk + "/bin " + dir.file("tmp"));
  writeFile(jdk + "/bin/jdeps", "#!/bin/sh\necho java.base\n", 0755);
  writeFile(jdk + "/bin/jlink",
            "#!/bin/sh\n[ \"$1\" = --list-plugins ] && exit 0\n"
            "while [ \"$1\" != --output ]; do shift; done\nmkdir -p \"$2/lib\" && echo half > \"$2/lib/modules\"\n"
            "echo $$ > " + pidFile + ".tmp && mv " + pidFile + ".tmp " + pidFile + "\nexec sleep 30\n",
            0755);
  for (bool emit : {false, true}) {
    SCOPED_TRACE(emit ? "--emit" : "-o");
    unlink(pidFile.c_str());
    std::string command = "JAVA_HOME=" + jdk + " TMPDIR=" + dir.file("tmp") + " exec " +
                          shellQuote(binaryPath("bvpack")) + " -o " + dir.file("app") +
                          (emit ? " --emit " + dir.file("emit") : std::string()) + " --main-class Hello --jar " +
                          shellQuote(buildPath("java/Hello.jar")) + " --jlink 2>/dev/null";
    pid_t packer = fork();
    ASSERT_GE(packer, 0);
    if (packer == 0) {
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 1000 && readFile(pidFile).empty(); ++i) usleep(10000);
    ASSERT_FALSE(readFile(pidFile).empty());
    pid_t jlink = static_cast<pid_t>(std::stol(readFile(pidFile)));
    ASSERT_EQ(0, kill(packer, SIGTERM));
    int status = 0;
    ASSERT_EQ(packer, waitpid(packer, &status, 0));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    std::string stat = readFile("/proc/" + std::to_string(jlink) + "/stat");
    for (int i = 0; i < 100 && !stat.empty() && stat.find(") Z") == std::string::npos; ++i) {
      usleep(20000);
      stat = readFile("/proc/" + std::to_string(jlink) + "/stat");
    }
    EXPECT_TRUE(stat.empty() || stat.find(") Z") != std::string::npos) << stat;
    EXPECT_TRUE(listDir(dir.file("tmp")).empty());
    EXPECT_FALSE(pathExists(dir.file("app")));
    EXPECT_FALSE(pathExists(dir.file("emit/runtime")));
  }
}

// Progress is drawn on a terminal (a line redrawn in place, cleared when
// the stage ends), never into a pipe; the summary of what was made comes
// in both.
TEST_F(BvpackRuntimeTest, ProgressOnATerminalOnlyAndASummaryOfWhatWasMade) {
  std::string runtime = fakeRuntime("jre", "17.0.2");
  writeFile(runtime + "/lib/modules", std::string(9u << 20, 'm'));
  std::string command = shellQuote(binaryPath("bvpack")) + " -o " + shellQuote(dir.file("app")) +
                        " --main-class Hello --jar " + shellQuote(buildPath("java/Hello.jar")) + " --runtime " +
                        shellQuote(runtime) + " --compression-level 1";
  std::string terminal;
  ASSERT_EQ(0, runShell("TERM=xterm script -qec " + shellQuote(command) + " /dev/null", &terminal)) << terminal;
  EXPECT_NE(std::string::npos, terminal.find("\r\033[Kbvpack: compressing the Java runtime (zstd level 1) ["))
      << terminal;
  EXPECT_NE(std::string::npos, terminal.find("] 100%\r\033[Kbvpack: the Java runtime ")) << terminal;
  EXPECT_NE(std::string::npos, terminal.find("bvpack: made " + dir.file("app") + ": ")) << terminal;

  std::string piped;
  ASSERT_EQ(0, runShell(command + " 2>&1 | cat", &piped)) << piped;
  EXPECT_EQ(std::string::npos, piped.find('\r')) << piped;
  EXPECT_EQ(std::string::npos, piped.find("compressing")) << piped;
  EXPECT_NE(std::string::npos, piped.find("bvpack: made " + dir.file("app") + ": ")) << piped;
  EXPECT_NE(std::string::npos, piped.find(" MB, the Java runtime " + runtime + ", in ")) << piped;
}

// The bar's line: its share, and an estimate once a second has passed.
TEST_F(BvpackRuntimeTest, TheBarGivesTheShareAndTheTimeLeft) {
  EXPECT_EQ("x [..........]   0%", PackProgress::barLine("x", 0, 100, 5, 10));
  EXPECT_EQ("x [##########] 100%", PackProgress::barLine("x", 100, 100, 5, 10));
  EXPECT_EQ("x [##........]  25%  about 15 s left", PackProgress::barLine("x", 25, 100, 5, 10));
  EXPECT_EQ("x [#####.....]  50%  about 2 min 0 s left", PackProgress::barLine("x", 50, 100, 120, 10));
  EXPECT_EQ("x [#####.....]  50%", PackProgress::barLine("x", 50, 100, 0.5, 10));
}

// bvpack asks the runtime once; one that cannot run here is packed with a
// note and no answers (the launcher then verifies it when it unpacks it).
TEST_F(BvpackRuntimeTest, TheRuntimesAnswersAreRecordedWhenItRuns) {
  struct Case {
    const char* name;
    const char* java;  // bin/java, or "" for the fake JVM
    const char* listed;
    const char* note;
  } cases[] = {
      {"answers", "", "  verification answers recorded when packed: 22\n    java.version=null\n", ""},
      {"fails", "#!/bin/sh\nexit 3\n", "  verification answers recorded when packed: 0\n",
       "/bin/java ended with status 3); launchers will verify it when they unpack it\n"},
      {"silent", "#!/bin/sh\necho hello\n", "  verification answers recorded when packed: 0\n",
       "/bin/java did not answer the verification); launchers will verify it when they unpack it\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string runtime = fakeRuntime(c.name, "17.0.2");
    if (c.java[0] != '\0') writeFile(runtime + "/bin/java", c.java, 0755);
    std::string out;
    ASSERT_EQ(0, pack({"-o", dir.file(std::string(c.name) + "-app"), "--main-class", "Hello", "--jar",
                       buildPath("java/Hello.jar"), "--runtime", runtime},
                      &out))
        << out;
    if (c.note[0] != '\0') {
      EXPECT_NE(std::string::npos, out.find("bvpack: note: the Java runtime " + runtime + " cannot run here (" +
                                            runtime + c.note))
          << out;
    } else {
      EXPECT_EQ(std::string::npos, out.find("note:")) << out;
    }
    std::string listing;
    ASSERT_EQ(0, pack({"--list", dir.file(std::string(c.name) + "-app")}, &listing));
    EXPECT_NE(std::string::npos, listing.find(c.listed)) << listing;
  }
}

// The answers are those of the built-in verification class: a payload that
// brings a verification archive of its own (other bytes) gets none, since
// its class is what a launcher must run to verify the runtime.
TEST_F(BvpackRuntimeTest, AnswersAreRecordedOnlyForTheBuiltInVerificationClass) {
  std::string runtime = fakeRuntime("rt", "17.0.2");
  std::string own = write("own-verify.jar", "not the built-in archive");
  struct Case {
    const char* name;
    std::vector<std::string> verifyJar;  // the payload's verify-jar entry, if any
    const char* listed;
  } cases[] = {
      {"built in", {}, "  verification answers recorded when packed: 22\n"},
      {"the built-in bytes given", {"verify-jar:" + buildPath("java/Verify.jar")},
       "  verification answers recorded when packed: 22\n"},
      {"its own archive", {"verify-jar:" + own}, "  verification answers recorded when packed: 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string app = dir.file(std::string(c.name) + "-app");
    std::vector<std::string> args = {"-o", app, "instructions:" + typicalScriptPath(),
                                     "jvm:" + write("jvm.tag", jvmFileText()), "java-runtime:" + runtime};
    args.insert(args.end(), c.verifyJar.begin(), c.verifyJar.end());
    std::string out;
    ASSERT_EQ(0, pack(args, &out)) << out;
    std::string listing;
    ASSERT_EQ(0, pack({"--list", app}, &listing));
    EXPECT_NE(std::string::npos, listing.find(c.listed)) << listing;
    bool ownArchive = c.verifyJar.size() == 1 && c.verifyJar[0] == "verify-jar:" + own;
    EXPECT_EQ(ownArchive, out.find("bvpack: note: the payload brings its own verification archive; launchers will "
                            "verify the Java runtime " + runtime + " with it when they unpack it\n") !=
                       std::string::npos)
        << out;
  }
}

TEST_F(BvpackRuntimeTest, ARuntimeIsPackedWithItsLinksAndUnpackedForTheRun) {
  std::string runtime = fakeRuntime("jre", "17.0.2");
  std::vector<std::string> entries = payload(typicalScriptPath());
  entries.push_back("java-runtime:" + runtime + "/");
  entries.insert(entries.begin(), {"--compression-level", "1"});
  std::string launcher = E2eTest::pack("app", entries);
  // The same folder gives the same bytes.
  entries.insert(entries.begin(), {"-o", dir.file("again")});
  ASSERT_EQ(0, pack(entries, nullptr));
  EXPECT_EQ(readFile(launcher), readFile(dir.file("again")));

  // No Java on the machine: the bundled one runs, from the cache.
  ProcessResult result = run(launcher, {}, env());
  ASSERT_EQ(0, result.status) << result.out << result.err;
  std::vector<std::string> cached = listDir(dir.file(".cache/bvlauncher"));
  ASSERT_EQ(2u, cached.size());  // runtime-..., verify.cache
  std::string home = dir.file(".cache/bvlauncher/" + cached[0]);
  EXPECT_NE(std::string::npos, result.out.find("fakejava\nJAVA_HOME=" + home + "\n")) << result.out;
  char target[256] = {};
  ASSERT_LT(0, readlink((home + "/lib/java-link").c_str(), target, sizeof target - 1));
  EXPECT_EQ("../bin/java", std::string(target));
  struct stat st;
  ASSERT_EQ(0, lstat((home + "/conf").c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ("setting\n", readFile(home + "/conf/net.properties"));
  // The sibling's folder is copied in, not made a link into the image.
  ASSERT_EQ(0, lstat((home + "/lib/sibling").c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ("extra\n", readFile(home + "/lib/sibling/x.txt"));
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(BvpackRuntimeTest, RuntimesThatCannotServeAreRefused) {
  std::string old = fakeRuntime("jdk8", "1.8.0_392");
  // A link out of the image to a folder that holds a link back to itself.
  std::string looped = fakeRuntime("looped", "17");
  runShell("mkdir -p " + dir.file("loop") + " && ln -s " + dir.file("loop") + " " + dir.file("loop/again") +
           " && ln -s " + dir.file("loop") + " " + looped + "/legal");
  std::string notRuntime = dir.file("empty");
  mkdir(notRuntime.c_str(), 0755);
  std::string jar = buildPath("java/guide-app.jar");
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string message;
  };
  std::vector<Case> cases = {
      {"below the floor",
       {"-o", dir.file("x"), "--main-class", "guide.Main", "--jar", jar, "--jar", buildPath("java/guide-lib.jar"),
        "--runtime", old},
       "bvpack: the Java runtime " + old +
           " is Java 1.8.0_392 (JAVA_VERSION in its release file), but the application needs Java 11 or later\n"},
      {"below the floor of every JVM file",
       {"-o", dir.file("x"), "--name", "a.tag", "jvm:" + write("a.tag", jvmFileText("bin/java", floor("11"))),
        "--name", "b.tag", "jvm:" + write("b.tag", jvmFileText("bin/java", floor("11"))), "--name", "c.tag",
        "jvm:" + write("c.tag", jvmFileText("bin/java", floor("17"))), "java-runtime:" + old},
       "bvpack: the Java runtime " + old +
           " is Java 1.8.0_392 (JAVA_VERSION in its release file), but the JVM files need "
           "java.specification.version>=11 (a.tag, b.tag); java.specification.version>=17 (c.tag)\n"},
      {"not a runtime", {"-o", dir.file("x"), "--main-class", "Hello", "--jar", buildPath("java/Hello.jar"), "--runtime", notRuntime},
       "bvpack: " + notRuntime + " is not a Java runtime image: it has no bin/java"},
      {"no JVM files", {"-o", dir.file("x"), "instructions:" + typicalScriptPath(), "java-runtime:" + old},
       "bvpack: a Java runtime needs JVM description files (jvm entries) to be checked against"},
      {"a file, not a folder",
       {"-o", dir.file("x"), "jvm:" + write("jvm.tag", jvmFileText()), "java-runtime:" + buildPath("java/Hello.jar")},
       "needs the folder of a Java runtime image"},
      {"a link loop",
       {"-o", dir.file("x"), "jvm:" + write("jvm.tag", jvmFileText()), "java-runtime:" + looped},
       "bvpack: " + looped + "/legal/again leads back into a folder above it"},
      {"two runtimes",
       {"-o", dir.file("x"), "jvm:" + write("jvm.tag", jvmFileText()), "java-runtime:" + old, "java-runtime:" + old},
       "bvpack: a launcher carries one Java runtime; " + old + " is a second one"},
      {"--cache on a tag file", {"-o", dir.file("x"), "--cache", "instructions:" + typicalScriptPath()},
       "bvpack: --cache applies to classpath-jar entries only"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out;
    EXPECT_EQ(1, pack(c.args, &out));
    EXPECT_NE(std::string::npos, out.find(c.message)) << out;
    EXPECT_FALSE(pathExists(dir.file("x")));
  }
  struct UsageCase {
    std::vector<std::string> args;
    std::string message;
  };
  std::vector<UsageCase> usage = {
      {{"-o", "x", "--main-class", "A", "--jar", "a.jar", "--runtime", "r", "--jlink"}, "give --runtime DIR or --jlink, not both"},
      {{"-o", "x", "--main-class", "A", "--jar", "a.jar", "--add-modules", "java.sql"}, "--add-modules goes with --jlink"},
      {{"-o", "x", "--main-class", "A", "--jar", "a.jar", "--all-modules"}, "--all-modules goes with --jlink"},
      {{"-o", "x", "--main-class", "A", "--jar", "a.jar", "--shared-runtime-dir", "rel/dir"},
       "--shared-runtime-dir needs an absolute path of one line, not \"rel/dir\""},
      {{"-o", "x", "--main-class", "A", "--jar", "a.jar", "--jlink", "--add-modules", "a b"}, "--add-modules needs module names"},
      {{"-o", "x", "--main-class", "A", "--jar", "a.jar", "--train"}, "--train goes with --jlink or --runtime DIR"},
      {{"-o", "x", "--main-class", "A", "--jar", "a.jar", "--jlink", "--", "arg"}, "arguments after -- go with --train"},
      {{"-o", "x", "--main-class", "A", "--jar", "a.jar", "--jlink", "--train-time", "5"}, "--train-time goes with --train"},
      {{"-o", "x", "--main-class", "A", "--jar", "a.jar", "--jlink", "--train", "--train-time", "0"}, "--train-time"},
      {{"-o", "x", "--runtime-use", "sometimes", "jvm:j"}, "--runtime-use needs \"fallback\" or \"always\""},
      {{"-o", "x", "--compression-level", "20", "jvm:j"}, "--compression-level needs a number from 1 to 19"},
  };
  for (const UsageCase& c : usage) {
    SCOPED_TRACE(c.message);
    std::string out;
    EXPECT_EQ(2, pack(c.args, &out));
    EXPECT_NE(std::string::npos, out.find(c.message)) << out;
  }
  EXPECT_TRUE(listDir(dir.path()).size() > 0);
  for (const std::string& name : listDir(dir.path())) EXPECT_EQ(std::string::npos, name.find(".bvfolder")) << name;
}

}  // namespace
}  // namespace bvtest
