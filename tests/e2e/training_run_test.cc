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

class TrainingRunTest : public E2eTest {};

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
  EXPECT_NE(std::string::npos, pack.err.find("bvpack: the training run added the modules ")) << pack.err;
  EXPECT_NE(std::string::npos, pack.err.find("java.naming")) << pack.err;
  EXPECT_NE(std::string::npos, pack.err.find("bvpack: the runtime carries the ahead-of-time cache")) << pack.err;
  EXPECT_TRUE(leftInTemp().empty());

  std::string cache = dir.file("xdg");
  mkdir(cache.c_str(), 0700);
  std::string classLog = dir.file("classes.log");
  std::vector<std::string> run = {"/usr/bin/unshare", "-m", "/bin/sh", "-c", kNoJava, "sh", app,
                                  "--load=javax.naming.InitialContext"};
  ProcessResult first = runProcess(run, {"PATH=/usr/bin:/bin", "HOME=" + dir.path(), "XDG_CACHE_HOME=" + cache,
                                         "JDK_JAVA_OPTIONS=-Xlog:class+load=info:file=" + classLog});
  ASSERT_EQ(0, first.status) << first.out << first.err;
  EXPECT_NE(std::string::npos, first.out.find("load[javax.naming.InitialContext]=<loaded>")) << first.out;
  // The JVM's note about the variable, nothing about the cache.
  EXPECT_EQ("NOTE: Picked up JDK_JAVA_OPTIONS: -Xlog:class+load=info:file=" + classLog + "\n", first.err);
  std::string classes = readFile(classLog);
  EXPECT_NE(std::string::npos, classes.find(" PrintArgs source: shared objects file")) << classes.substr(0, 2000);
}

}  // namespace
}  // namespace bvtest
