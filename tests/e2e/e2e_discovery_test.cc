// Whole runs that find JDKs where developers install them: fake JDK homes in
// the user's folders of a temporary HOME, found through "~/" patterns and a
// version floor, and a JDK reached only through a link on PATH.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

std::string jvmFile(const std::string& pathHints) {
  return "DESC: Java 17 or later\n"
         "JVM_EXE: bin/java\n"
         "PATH_HINT:\n" + pathHints +
         "/:\n"
         "JVM_PROPERTIES:\n"
         "  os.name=Linux\n"
         "  java.specification.version>=17\n"
         "/:\n"
         "CLASSPATH: \"-cp \"\n"
         "CLASSPATH_SEPARATOR: :\n"
         "SYSTEM: -D\n"
         "SYSTEM_SEPARATOR: =\n";
}

class E2eDiscoveryTest : public E2eTest {
 protected:
  // A launcher of the typical script with the given JVM file.
  std::string launcher(const std::string& jvmFileText) {
    return pack("setup", {"instructions:" + typicalScriptPath(),
                          "verify-jar:" + javaBuildPath("Verify.jar"),
                          "launch-script:" + write("launch.tag", launchScriptText(true)),
                          "jvm:" + write("jvm.tag", jvmFileText),
                          "classpath-jar:" + javaBuildPath("PrintArgs.jar")});
  }

  // The environment of a run with HOME set to home and only path on PATH.
  std::vector<std::string> envWithHome(const std::string& home, const std::string& path = "") {
    return {"PATH=" + (path.empty() ? dir.file("no-such-dir") : path), "LANG=C", "HOME=" + home};
  }
};

TEST_F(E2eDiscoveryTest, NewestUserJdkThatMeetsTheFloorIsLaunched) {
  std::string home = dir.file("home");
  std::string sdk = home + "/.sdkman/candidates/java/";
  writeVersionedJvm(home + "/.jdks/temurin-11", "11");
  writeVersionedJvm(sdk + "17.0.9-x", "17");
  writeVersionedJvm(sdk + "17.0.15-y", "17");
  writeVersionedJvm(sdk + "8.0.392-z", "1.8");
  std::string setup = launcher(jvmFile("  ~/.jdks/*\n  ~/.sdkman/candidates/java/*\n"));
  std::string log = dir.file("run.log");

  ProcessResult r = run(setup, {"-bv:log", log}, envWithHome(home));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("fakejdk\nJAVA_HOME=" + sdk + "17.0.15-y\n")) << r.out;
  std::string logText = readFile(log);
  // Tried in order: the 11 (too old), then the newest 17, and no further.
  std::string::size_type old11 = logText.find("Checking path hint " + home + "/.jdks/temurin-11\n");
  std::string::size_type newest = logText.find("Checking path hint " + sdk + "17.0.15-y\n");
  EXPECT_NE(std::string::npos, old11) << logText;
  EXPECT_LT(old11, newest) << logText;
  EXPECT_EQ(std::string::npos, logText.find(sdk + "17.0.9-x")) << logText;
  EXPECT_TRUE(leftInTemp().empty());

  // With only JDKs below the floor nothing is found: the message on
  // standard output, where a setup program reads it.
  std::filesystem::remove_all(home + "/.sdkman");
  r = run(setup, {}, envWithHome(home));
  EXPECT_NE(std::string::npos,
            r.out.find("A suitable JVM could not be found. Please run the program again using "
                       "the option -bv:javahome <JAVA HOME DIR>"))
      << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("fakejdk")) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

// ~/bin/java is a link to a JDK's bin/java: the JDK's home, not ~, becomes
// JAVA_HOME; and -bv:javahome through a linked folder gives the same.
TEST_F(E2eDiscoveryTest, LinkOnPathGivesTheRealHome) {
  std::string home = dir.file("home");
  std::string jdk = dir.file("jdks/jdk-17.0.15");
  writeVersionedJvm(jdk, "17.0.15");
  std::filesystem::create_directories(home + "/bin");
  std::filesystem::create_symlink(jdk + "/bin/java", home + "/bin/java");
  std::filesystem::create_directory_symlink(jdk, dir.file("current-jdk"));
  std::string setup = launcher(jvmFile(""));

  ProcessResult r = run(setup, {}, envWithHome(home, home + "/bin"));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("JAVA_HOME=" + jdk + "\njava=" + jdk + "/bin/java\n"))
      << r.out;

  r = run(setup, {"-bv:javahome", dir.file("current-jdk")}, envWithHome(home));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("JAVA_HOME=" + jdk + "\n")) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

// The example launcher finds a JDK in a folder of /usr/lib/jvm that no list
// names, with nothing on PATH and nothing in HOME.
TEST_F(E2eDiscoveryTest, ExampleLauncherFindsJdksUnderUsrLibJvmWithoutPath) {
  BV_REQUIRE_JAVA();
  if (javaHome.compare(0, 13, "/usr/lib/jvm/") != 0) {
    GTEST_SKIP() << "the machine's JDK is not in /usr/lib/jvm";
  }
  std::string home = dir.file("home");
  std::filesystem::create_directories(home);
  ProcessResult r = run(buildPath("example/setup"), {}, envWithHome(home));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("  bv.jvm.home = /usr/lib/jvm/")) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

}  // namespace
}  // namespace bvtest
