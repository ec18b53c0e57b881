// bvpack --jlink --train with Temurin 25: the training run's output is
// shown, a module that the application loads only by name is added to the
// runtime (and named), and the runtime carries the JVM's ahead-of-time
// cache, which the launcher's very first run on a machine without Java
// passes and the JVM maps (its class-load log says so), without a word on
// the console.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

const char kTemurin25[] = "/usr/lib/jvm/temurin-25-jdk-amd64";

// Hides every installed Java, then runs its arguments.
const char kNoJava[] = "/bin/mount -t tmpfs tmpfs /usr/lib/jvm || exit 99\nexec \"$@\"\n";

class TrainingRunTest : public E2eTest {
 protected:
  // The first run of app, which loads javax.naming.InitialContext by name,
  // where no Java is installed, with an empty cache and the JVM's
  // class-load log in classLog.
  ProcessResult firstRunWithoutJava(const std::string& app, const std::string& classLog) {
    std::string cache = dir.file("xdg");
    mkdir(cache.c_str(), 0700);
    std::vector<std::string> run = {"/usr/bin/unshare", "-m", "/bin/sh", "-c", kNoJava, "sh", app,
                                    "--load=javax.naming.InitialContext"};
    return runProcess(run, {"PATH=/usr/bin:/bin", "HOME=" + dir.path(), "XDG_CACHE_HOME=" + cache,
                            "JDK_JAVA_OPTIONS=-Xlog:class+load=info:file=" + classLog});
  }
};

TEST_F(TrainingRunTest, TheTrainingAddsWhatTheRunLoadedAndTheRuntimeCarriesItsCache) {
  if (access((std::string(kTemurin25) + "/bin/jlink").c_str(), X_OK) != 0) GTEST_SKIP() << "no Temurin 25";
  if (runShell("unshare -m true") != 0) GTEST_SKIP() << "no mount namespaces";
  std::string app = dir.file("app");
  // javax.naming is loaded by name only: jdeps does not see java.naming.
  std::vector<std::string> argv = {binaryPath("bvpack"), "-o", app, "--main-class", "PrintArgs", "--jar",
                                   javaBuildPath("PrintArgs.jar"), "--jlink", "--compression-level", "3",
                                   "--train", "--train-time", "120", "--", "--load=javax.naming.InitialContext",
                                   "training"};
  ProcessResult pack = runProcess(argv, {"PATH=/usr/bin:/bin", "JAVA_HOME=" + std::string(kTemurin25),
                                         "TMPDIR=" + temp, "HOME=" + dir.path()});
  ASSERT_EQ(0, pack.status) << pack.out << pack.err;
  // The application's own output, as the training ran it.
  EXPECT_NE(std::string::npos, pack.out.find("arg[1]=<training>")) << pack.out;
  EXPECT_NE(std::string::npos, pack.err.find("bvpack: added java.naming: loaded in the training run")) << pack.err;
  EXPECT_NE(std::string::npos, pack.err.find("bvpack: the runtime carries the ahead-of-time cache")) << pack.err;
  EXPECT_TRUE(leftInTemp().empty());

  std::string classLog = dir.file("classes.log");
  ProcessResult first = firstRunWithoutJava(app, classLog);
  ASSERT_EQ(0, first.status) << first.out << first.err;
  EXPECT_NE(std::string::npos, first.out.find("load[javax.naming.InitialContext]=<loaded>")) << first.out;
  // The JVM's note about the variable, nothing about the cache.
  EXPECT_EQ("NOTE: Picked up JDK_JAVA_OPTIONS: -Xlog:class+load=info:file=" + classLog + "\n", first.err);
  std::string classes = readFile(classLog);
  EXPECT_NE(std::string::npos, classes.find(" PrintArgs source: shared objects file")) << classes.substr(0, 2000);
}

// A runtime of Java 13 to 23 gets no ahead-of-time cache; its default
// class-data archive is made anew from the JDK classes of the training run,
// so a class that the application loads by name is mapped from the first
// run on, with no option at all.
TEST_F(TrainingRunTest, AnOlderRuntimesArchiveHoldsTheJDKClassesOfTheTraining) {
  const std::string jdk = "/usr/lib/jvm/java-17-openjdk-amd64";
  if (access((jdk + "/bin/jlink").c_str(), X_OK) != 0) GTEST_SKIP() << "no JDK 17 with jlink";
  if (runShell("unshare -m true") != 0) GTEST_SKIP() << "no mount namespaces";
  std::string app = dir.file("app");
  std::vector<std::string> argv = {binaryPath("bvpack"), "-o", app, "--main-class", "PrintArgs", "--jar",
                                   javaBuildPath("PrintArgs.jar"), "--jlink", "--compression-level", "3",
                                   "--train", "--", "--load=javax.naming.InitialContext"};
  ProcessResult pack = runProcess(argv, {"PATH=/usr/bin:/bin", "JAVA_HOME=" + jdk, "TMPDIR=" + temp,
                                         "HOME=" + dir.path()});
  ASSERT_EQ(0, pack.status) << pack.out << pack.err;
  EXPECT_NE(std::string::npos, pack.err.find("java.naming")) << pack.err;
  EXPECT_NE(std::string::npos, pack.err.find("bvpack: the runtime's class-data archive now holds the JDK classes"))
      << pack.err;
  EXPECT_TRUE(leftInTemp().empty());

  std::string classLog = dir.file("classes.log");
  ProcessResult first = firstRunWithoutJava(app, classLog);
  ASSERT_EQ(0, first.status) << first.out << first.err;
  EXPECT_NE(std::string::npos, first.out.find("load[javax.naming.InitialContext]=<loaded>")) << first.out;
  std::string classes = readFile(classLog);
  EXPECT_NE(std::string::npos, classes.find(" javax.naming.InitialContext source: shared objects file"))
      << classes.substr(0, 2000);
}

// A --runtime that is a link, or whose lib is a link out of it: the
// training's files go into bvpack's own copy, never through a link into
// the given runtime or elsewhere (a JDK's default class-data archive
// replaced behind its owner's back).
TEST_F(TrainingRunTest, TheTrainingWritesNothingThroughALinkOfTheRuntime) {
  const std::string jdk = "/usr/lib/jvm/java-17-openjdk-amd64";
  if (access((jdk + "/lib/server/libjvm.so").c_str(), R_OK) != 0) GTEST_SKIP() << "no JDK 17";
  // A runtime of JDK 17 whose lib lies in another folder: lib/server (the
  // JVM takes its home from there) a copy, the rest links.
  std::string outside = dir.file("outside");
  std::string script = "set -e\nJ=" + jdk + "\nmkdir -p " + outside + "/lib/server\n" +
                       "for f in $J/lib/*; do [ \"${f##*/}\" = server ] || ln -s \"$f\" " + outside + "/lib/; done\n" +
                       "cp $J/lib/server/libjvm.so " + outside + "/lib/server/\n";
  ASSERT_EQ(0, runShell(script));
  struct Case {
    const char* name;
    std::string given;    // what --runtime names
    std::string watched;  // a server folder that must stay as it was
    const char* said;     // what bvpack says of it
  } cases[] = {
      {"lib a link out of the runtime", dir.file("linked-lib"), outside + "/lib/server",
       "/lib is a link or no folder, so the training run writes nothing into it"},
      // Copied as a folder: the copy gets the archive.
      {"the runtime a link", dir.file("runtime-link"), dir.file("real") + "/lib/server",
       "bvpack: the runtime's class-data archive now holds the JDK classes of the training run"},
  };
  for (const std::string& home : {dir.file("linked-lib"), dir.file("real")}) {
    ASSERT_EQ(0, runShell("set -e\nmkdir -p " + home + "/bin\ncp " + jdk + "/release " + home + "/\ncp " + jdk +
                          "/bin/java " + home + "/bin/\nln -s " + jdk + "/conf " + home + "/conf\n"));
  }
  ASSERT_EQ(0, symlink((outside + "/lib").c_str(), dir.file("linked-lib/lib").c_str()));
  ASSERT_EQ(0, runShell("cp -R " + outside + "/lib " + dir.file("real") + "/lib"));
  ASSERT_EQ(0, symlink(dir.file("real").c_str(), dir.file("runtime-link").c_str()));
  for (const Case& c : cases) {
    std::string emit = dir.file("emit-" + std::to_string(&c - cases));
    std::vector<std::string> argv = {binaryPath("bvpack"), "--emit", emit, "--main-class", "PrintArgs", "--jar",
                                     javaBuildPath("PrintArgs.jar"), "--runtime", c.given, "--train"};
    ProcessResult pack = runProcess(argv, {"PATH=/usr/bin:/bin", "TMPDIR=" + temp, "HOME=" + dir.path()});
    EXPECT_EQ(0, pack.status) << c.name << pack.out << pack.err;
    EXPECT_NE(std::string::npos, pack.err.find(c.said)) << c.name << pack.err;
    struct stat st;
    EXPECT_NE(0, lstat((c.watched + "/classes.jsa").c_str(), &st)) << c.name << ": written through a link\n"
                                                                    << pack.err;
    EXPECT_NE(0, lstat((c.watched + "/classes.jsa.new").c_str(), &st)) << c.name;
    EXPECT_TRUE(leftInTemp().empty()) << c.name;
  }
}

// --emit with --runtime DIR --train: a training that fails after the
// runtime was copied beside the tag files (here a temporary folder that
// the JVM's options cannot name) leaves no copy there, so that the next
// try is not turned away ("is there already").
TEST_F(TrainingRunTest, AFailedTrainingLeavesNoRuntimeBesideTheTagFiles) {
  const std::string jdk = "/usr/lib/jvm/java-17-openjdk-amd64";
  if (access((jdk + "/release").c_str(), R_OK) != 0) GTEST_SKIP() << "no JDK 17";
  std::string runtime = dir.file("rt");
  ASSERT_EQ(0, runShell("set -e\nmkdir -p " + runtime + "/bin " + runtime + "/lib/server\ncp " + jdk + "/release " +
                        runtime + "/\ncp " + jdk + "/bin/java " + runtime + "/bin/\n"));
  std::string colonTemp = dir.file("t:x");
  ASSERT_EQ(0, mkdir(colonTemp.c_str(), 0700));
  std::string emit = dir.file("emit");
  std::vector<std::string> argv = {binaryPath("bvpack"), "--emit", emit, "--main-class", "PrintArgs", "--jar",
                                   javaBuildPath("PrintArgs.jar"), "--runtime", runtime, "--train"};
  for (int attempt = 0; attempt < 2; ++attempt) {
    ProcessResult pack = runProcess(argv, {"PATH=/usr/bin:/bin", "TMPDIR=" + colonTemp, "HOME=" + dir.path()});
    EXPECT_EQ(1, pack.status) << pack.err;
    EXPECT_NE(std::string::npos, pack.err.find("the training run needs a temporary folder")) << attempt << pack.err;
    struct stat st;
    EXPECT_NE(0, lstat((emit + "/runtime").c_str(), &st)) << attempt;
  }
}

// A jar whose name holds the class path's separator is refused before any
// run: "x:y.jar" would run the "y.jar" of the working folder.
TEST_F(TrainingRunTest, AJarNamedWithAColonIsNotTrained) {
  const std::string jdk = "/usr/lib/jvm/java-17-openjdk-amd64";
  if (access((jdk + "/release").c_str(), R_OK) != 0) GTEST_SKIP() << "no JDK 17";
  std::string runtime = dir.file("rt");
  ASSERT_EQ(0, runShell("set -e\nmkdir -p " + runtime + "/bin " + runtime + "/lib/server\ncp " + jdk + "/release " +
                        runtime + "/\ncp " + jdk + "/bin/java " + runtime + "/bin/\n"));
  std::string jar = dir.file("x:y.jar");
  ASSERT_EQ(0, runShell("cp " + javaBuildPath("PrintArgs.jar") + " '" + jar + "'"));
  std::vector<std::string> argv = {binaryPath("bvpack"), "-o", dir.file("app"), "--main-class", "PrintArgs",
                                   "--jar", jar, "--runtime", runtime, "--train"};
  ProcessResult pack = runProcess(argv, {"PATH=/usr/bin:/bin", "TMPDIR=" + temp, "HOME=" + dir.path()});
  EXPECT_EQ(1, pack.status) << pack.err;
  EXPECT_NE(std::string::npos, pack.err.find("its name holds a ':'")) << pack.err;
  EXPECT_EQ(std::string::npos, pack.err.find("bvpack: training run of")) << pack.err;
  EXPECT_TRUE(leftInTemp().empty());
}

}  // namespace
}  // namespace bvtest
