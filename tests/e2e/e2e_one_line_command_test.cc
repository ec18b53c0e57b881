// A launcher of bvpack's one-line mode as a Unix command: standard output
// carries the application's bytes only, the Java that the user or the
// system chose comes first, --max-java bounds it, a bad JAVA_HOME is
// reported, the application knows its home and takes its users' options,
// "--" and -silent reach it, TMPDIR is honoured. The jars lie in the
// user's cache folder (HOME is the test's folder). The last test packs an
// application built the way Apache Ant is (java/antlike/).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

// The value of item "label=<value>" in PrintArgs output, or "(none)".
std::string itemOf(const std::string& out, const std::string& label) {
  for (const std::string& line : splitLines(out)) {
    if (line.compare(0, label.size() + 2, label + "=<") == 0 && line.back() == '>') {
      return line.substr(label.size() + 2, line.size() - label.size() - 3);
    }
  }
  return "(none)";
}

// The JAVA_HOME that a fake JDK run as the application printed, or "".
std::string fakeHome(const std::string& out) {
  for (const std::string& line : splitLines(out)) {
    if (line.compare(0, 10, "JAVA_HOME=") == 0) return line.substr(10);
  }
  return "";
}

class E2eOneLineCommandTest : public E2eTest {
 protected:
  // A one-line launcher of PrintArgs with extra bvpack options.
  std::string printArgs(const std::string& name, const std::vector<std::string>& options = {}) {
    std::vector<std::string> args = {"-o", dir.file(name), "--main-class", "PrintArgs", "--jar",
                                     javaBuildPath("PrintArgs.jar")};
    args.insert(args.end(), options.begin(), options.end());
    std::string out;
    EXPECT_EQ(0, runBvpack(args, &out)) << out;
    return dir.file(name);
  }
  // A run as a user starts a command: no -bv:tempdir, HOME the test folder.
  ProcessResult command(const std::string& launcher, const std::vector<std::string>& args,
                        const std::vector<std::string>& environment, const std::string& input = "") {
    std::vector<std::string> argv = {launcher};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, environment, input);
  }
  std::vector<std::string> userEnv(const std::string& path, const std::vector<std::string>& more = {}) {
    std::vector<std::string> e = {"PATH=" + path, "LANG=C", "HOME=" + dir.path(), "TMPDIR=" + temp};
    e.insert(e.end(), more.begin(), more.end());
    return e;
  }
};

// `app | head -1` is the application's first line, and bytes piped through
// the application come out exactly; with --ui status the title comes first.
TEST_F(E2eOneLineCommandTest, StandardOutputCarriesTheApplicationsBytesOnly) {
  BV_REQUIRE_JAVA();
  std::string app = printArgs("app");
  std::string path = dirName(javaExe) + ":/usr/bin:/bin";
  std::string out;
  ASSERT_EQ(0, runShell("cd " + shellQuote(dir.path()) + " && env -i PATH=" + shellQuote(path) +
                            " HOME=" + shellQuote(dir.path()) + " TMPDIR=" + shellQuote(temp) + " " +
                            shellQuote(app) + " a b | head -1",
                        &out));
  EXPECT_EQ("printargs.begin\n", out);

  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  bytes += bytes + "\n\r\n";
  ProcessResult r = command(app, {"--cat"}, userEnv(path), bytes);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(bytes, r.out);
  EXPECT_EQ("", r.err);

  std::string status = printArgs("status", {"--ui", "status"});
  ASSERT_EQ(0, runShell("env -i PATH=" + shellQuote(path) + " HOME=" + shellQuote(dir.path()) + " TMPDIR=" +
                            shellQuote(temp) + " " + shellQuote(status) + " | head -1",
                        &out));
  EXPECT_EQ("PrintArgs\n", out);
  EXPECT_TRUE(leftInTemp().empty());
}

// The order: -bv:javahome, JAVA_HOME, the java on PATH (through a link, as
// /usr/bin/java is), then the install folders (~/.jdks here), newest
// first. A system default older than the newest installed Java wins.
TEST_F(E2eOneLineCommandTest, TheJavaTheUserOrTheSystemChoseComesFirst) {
  std::string jdks = dir.file(".jdks/");
  for (const char* version : {"10", "11", "21", "25"}) writeVersionedJvm(jdks + "jdk-" + version, version);
  writeVersionedJvm(dir.file("system/jvm/java-11"), "11");
  write("system/bin/readme", "");
  ASSERT_EQ(0, runShell("ln -s ../jvm/java-11/bin/java " + shellQuote(dir.file("system/bin/java"))));
  std::string systemPath = dir.file("system/bin");
  std::string app = printArgs("app");
  struct Case {
    const char* name;
    std::vector<std::string> args, env;
    std::string path, home, warning;
  } cases[] = {
      {"the system's java, not the newest installed", {}, {}, systemPath, dir.file("system/jvm/java-11"), ""},
      {"JAVA_HOME before PATH", {}, {"JAVA_HOME=" + jdks + "jdk-21"}, systemPath, jdks + "jdk-21", ""},
      {"-bv:javahome before JAVA_HOME", {"-bv:javahome", jdks + "jdk-25"}, {"JAVA_HOME=" + jdks + "jdk-21"},
       systemPath, jdks + "jdk-25", ""},
      {"JDK_HOME when JAVA_HOME is unset", {}, {"JDK_HOME=" + jdks + "jdk-10"}, systemPath, jdks + "jdk-10",
       ""},
      {"a JAVA_HOME that does not exist is reported", {}, {"JAVA_HOME=" + dir.file("gone")}, systemPath,
       dir.file("system/jvm/java-11"),
       "The Java home in JAVA_HOME, " + dir.file("gone") + ", cannot be used: it does not exist\n"},
      {"a JAVA_HOME that is no Java is reported", {}, {"JAVA_HOME=" + dir.path()}, systemPath,
       dir.file("system/jvm/java-11"),
       "The Java home in JAVA_HOME, " + dir.path() + ", cannot be used: it holds no bin/java\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessResult r = command(app, c.args, userEnv(c.path, c.env));
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(c.home, fakeHome(r.out)) << r.out;
    EXPECT_EQ(c.warning, r.err);
  }
  EXPECT_TRUE(leftInTemp().empty());
}

// The same with the machine's own Javas: /usr/bin/java (the system's
// choice, through its links) runs the application, whatever newer Java
// /usr/lib/jvm holds.
TEST_F(E2eOneLineCommandTest, TheSystemsDefaultJavaRunsTheApplication) {
  if (!pathExists("/usr/bin/java")) GTEST_SKIP() << "no /usr/bin/java";
  std::string app = printArgs("app");
  ProcessResult r = command(app, {}, userEnv("/usr/bin:/bin"));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ(javaHomeOf("/usr/bin/java"), itemOf(r.out, "env[JAVA_HOME]")) << r.out;
  EXPECT_EQ("", r.err);
  EXPECT_TRUE(leftInTemp().empty());
}

// --max-java: a Java newer than the bound is passed over, on PATH and in
// the install folders; nothing in the bound fails with the diagnostics.
TEST_F(E2eOneLineCommandTest, MaxJavaPassesOverNewerJavas) {
  std::string jdks = dir.file(".jdks/");
  for (const char* version : {"9", "10", "11"}) writeVersionedJvm(jdks + "jdk-" + version, version);
  writeVersionedJvm(dir.file("system"), "25");
  std::string app = printArgs("app", {"--max-java", "10"});
  ProcessResult r = command(app, {}, userEnv(dir.file("system/bin")));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ(jdks + "jdk-10", fakeHome(r.out)) << r.out;
  EXPECT_EQ("", r.err);

  // Nothing between 8 and 8 here: the message, the conditions, the reasons.
  std::string eight = printArgs("eight", {"--max-java", "8"});
  r = command(eight, {}, userEnv(dir.file("system/bin")));
  EXPECT_EQ(1, r.status) << r.out << r.err;
  EXPECT_EQ("", r.out);
  EXPECT_EQ(0u, r.err.find("No suitable Java was found. Set JAVA_HOME (or JDK_HOME) to the folder of a Java "
                           "installation, or run again with -bv:javahome DIR.\nThe program needs Java 8.\n"
                           "Looked for:\n"))
      << r.err;
  EXPECT_NE(std::string::npos,
            r.err.find("  Java 8 (bin/java) with os.name=Linux, java.specification.version>=1.8, "
                       "java.specification.version<=1.8\n"))
      << r.err;
  EXPECT_NE(std::string::npos,
            r.err.find("  " + dir.file("system/bin/java") +
                       ": property java.specification.version is \"25\", not <=1.8\n"))
      << r.err;
  // The first line names the variables already.
  EXPECT_EQ(std::string::npos, r.err.find("A suitable Java can also be named")) << r.err;
  // The macOS file is not searched on Linux.
  EXPECT_EQ(std::string::npos, r.err.find("Mac OS X")) << r.err;
  EXPECT_TRUE(leftInTemp().empty());
}

// Only -bv: arguments are the launcher's; "--" ends them. -silent,
// -console, -cp:p and -cp:a, and everything after "--", reach the
// application unchanged; TMPDIR is where the jars go.
TEST_F(E2eOneLineCommandTest, ArgumentsReachTheApplicationAndTmpdirIsHonoured) {
  writeVersionedJvm(dir.file("jdk"), "17");
  std::string app = printArgs("app");
  std::string log = dir.file("run.log");
  ProcessResult r = command(app,
                            {"-silent", "-console", "-cp:p", "x", "-bv:log", log, "--", "-bv:log", "y", "--",
                             "-bv:help", ""},
                            userEnv(dir.file("jdk/bin")));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  std::vector<std::string> args;
  bool after = false;
  for (const std::string& line : splitLines(r.out)) {
    if (line.compare(0, 4, "arg=") != 0) continue;
    if (after) args.push_back(line.substr(4));
    if (line == "arg=PrintArgs") after = true;
  }
  EXPECT_EQ((std::vector<std::string>{"-silent", "-console", "-cp:p", "x", "-bv:log", "y", "--", "-bv:help", ""}),
            args)
      << r.out;
  // The run's temporary files lie in TMPDIR (the JVM file of the match).
  EXPECT_NE(std::string::npos, readFile(log).find("Matching JVM file is " + temp + "/bvj")) << readFile(log);
  EXPECT_TRUE(leftInTemp().empty());
}

// A Java home's release file answers for it: the first run starts no
// verification JVM. A release file that does not tell the truth about its
// java (here a broken install: bin/java and its launcher library without
// the rest) ends with the JVM's own message, not with silence.
TEST_F(E2eOneLineCommandTest, TheReleaseFileAnswersForItsHome) {
  std::string real;
  for (const std::string& java : findJavaExecutables()) {
    std::string home = javaHomeOf(java);
    if (pathExists(home + "/release") && pathExists(home + "/lib/libjli.so")) real = home;
  }
  if (real.empty()) GTEST_SKIP() << "no Java home with a release file";
  std::string app = printArgs("app");
  std::string log = dir.file("run.log");
  ProcessResult r = command(app, {"-bv:log", log}, userEnv("/usr/bin:/bin", {"JAVA_HOME=" + real}));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, readFile(log).find("taken from the release file of its home")) << readFile(log);

  std::string broken = dir.file("broken");
  ASSERT_EQ(0, runShell("mkdir -p " + shellQuote(broken + "/bin") + " " + shellQuote(broken + "/lib") + " && cp " +
                        shellQuote(real + "/bin/java") + " " + shellQuote(broken + "/bin/") + " && cp " +
                        shellQuote(real + "/lib/libjli.so") + " " + shellQuote(broken + "/lib/") + " && cp " +
                        shellQuote(real + "/release") + " " + shellQuote(broken + "/")));
  r = command(app, {}, userEnv("/usr/bin:/bin", {"JAVA_HOME=" + broken}));
  EXPECT_NE(0, r.status) << r.out << r.err;
  EXPECT_EQ("", r.out);
  EXPECT_NE(std::string::npos, r.err.find("Error: could not find libjava.so")) << r.err;
  EXPECT_TRUE(leftInTemp().empty());
}

// A ':' in the cache folder's path (HOME, XDG_CACHE_HOME) would split the
// class path of the cached jars: they go to the run's temporary folder,
// and the application runs.
TEST_F(E2eOneLineCommandTest, ACacheFolderWhosePathHoldsAColonIsLeftForTheTemporaryFolder) {
  BV_REQUIRE_JAVA();
  std::string app = printArgs("app");
  std::string home = dir.file("home:x");
  ASSERT_EQ(0, mkdir(home.c_str(), 0700));
  struct Case {
    const char* label;
    std::vector<std::string> env;
  } cases[] = {{"HOME", {"HOME=" + home}}, {"XDG_CACHE_HOME", {"XDG_CACHE_HOME=" + home + "/cache"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::string> environment = userEnv(dirName(javaExe));
    for (const std::string& setting : c.env) {
      for (std::string& entry : environment) {
        if (entry.compare(0, 5, "HOME=") == 0 && setting.compare(0, 5, "HOME=") == 0) entry = setting;
      }
      if (setting.compare(0, 5, "HOME=") != 0) environment.push_back(setting);
    }
    std::string log = dir.file(std::string("log-") + c.label);
    ProcessResult r = command(app, {"-bv:log", log}, environment);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    std::string classpath = itemOf(r.out, "prop[java.class.path]");
    EXPECT_EQ(temp + "/bvj", classpath.substr(0, temp.size() + 4)) << r.out;
    EXPECT_NE(std::string::npos, readFile(log).find("No cache folder: the path of " + home)) << readFile(log);
    EXPECT_TRUE(leftInTemp().empty());
  }
}

// --home-property: the folder of the jars as the application sees them;
// --options-env: the user's variable, words and quotes, nothing run.
TEST_F(E2eOneLineCommandTest, TheApplicationKnowsItsHomeAndTakesItsUsersOptions) {
  BV_REQUIRE_JAVA();
  std::string app = printArgs("app", {"--home-property", "app.home", "--options-env", "APP_OPTS"});
  std::string opts = "-Dprintargs.show=app.home,a.b,c.d '-Da.b=two words' \"-Dc.d=$(touch pwned)\" -Xss2m";
  ProcessResult r = command(app, {}, userEnv(dirName(javaExe), {"APP_OPTS=" + opts}));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  std::string classpath = itemOf(r.out, "prop[java.class.path]");
  EXPECT_EQ(dirName(classpath), itemOf(r.out, "prop[app.home]")) << r.out;
  EXPECT_EQ(dir.file(".cache/bvlauncher"), dirName(dirName(classpath))) << r.out;
  EXPECT_EQ("two words", itemOf(r.out, "prop[a.b]")) << r.out;
  EXPECT_EQ("$(touch pwned)", itemOf(r.out, "prop[c.d]")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("=<-Xss2m>\n")) << r.out;
  EXPECT_FALSE(pathExists(dir.file("pwned")));

  // A quote that is not closed: that line is left out, with a word.
  r = command(app, {}, userEnv(dirName(javaExe), {"APP_OPTS=-Dprintargs.show=app.home\n-Dx='open"}));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ("Ignoring a line of the variable APP_OPTS whose quote is not closed: -Dx='open\n", r.err);
  EXPECT_NE("(none)", itemOf(r.out, "prop[app.home]")) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

// The jars' cache folder is named after their content: the payload's
// digests name it, so no jar is read to find it, yet a jar whose bytes
// differ (same name, same length) gets a folder of its own. Each launcher
// finds its own jars again.
TEST_F(E2eOneLineCommandTest, TheJarsFolderFollowsTheirContent) {
  BV_REQUIRE_JAVA();
  struct Case {
    const char* launcher;
    const char* bytes;
  } cases[] = {{"one", "data-one"}, {"two", "data-two"}};
  std::vector<std::string> folders;
  for (const Case& c : cases) {
    std::string jar = dir.file(std::string(c.launcher) + "/extra.jar");
    mkdir(dirName(jar).c_str(), 0755);
    writeFile(jar, c.bytes);  // never opened: PrintArgs lies in the first jar
    std::vector<std::string> options = {"--min-java", "11", "--jar", jar};
    std::string app = printArgs(std::string(c.launcher) + "-app", options);
    for (int run = 0; run < 2; ++run) {
      ProcessResult r = command(app, {}, userEnv(dirName(javaExe)));
      ASSERT_EQ(0, r.status) << c.launcher << r.out << r.err;
      std::string classpath = itemOf(r.out, "prop[java.class.path]");
      std::string folder = dirName(classpath.substr(classpath.find(':') + 1));
      EXPECT_EQ(c.bytes, readFile(folder + "/extra.jar")) << c.launcher;
      if (run == 0) folders.push_back(folder);
      EXPECT_EQ(folders.back(), folder) << c.launcher << ": the same folder again";
    }
  }
  EXPECT_NE(folders[0], folders[1]);
}

// The real-client check: an application of several jars whose launcher
// class finds the others through its home property, as Apache Ant's does,
// with its users' options from its own variable.
TEST_F(E2eOneLineCommandTest, AnAntLikeApplicationFindsItsJarsThroughItsHome) {
  BV_REQUIRE_JAVA();
  std::string out;
  ASSERT_EQ(0, runBvpack({"-o", dir.file("antlike"), "--main-class", "antlike.launch.Launcher", "--jar",
                          javaBuildPath("antlike-launcher.jar"), "--jar", javaBuildPath("antlike-core.jar"), "--jar",
                          javaBuildPath("antlike-util.jar"), "--home-property", "antlike.home", "--options-env",
                          "ANTLIKE_OPTS"},
                         &out))
      << out;
  ProcessResult r = command(dir.file("antlike"), {"build", "two words", "--", "-bv:x"},
                            userEnv(dirName(javaExe), {"ANTLIKE_OPTS=-Dantlike.opt='a b'"}));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ("", r.err);
  std::string home = itemOf(r.out, "home");
  EXPECT_EQ(dir.file(".cache/bvlauncher"), dirName(home)) << r.out;
  EXPECT_EQ("antlike-core.jar,antlike-launcher.jar,antlike-util.jar", itemOf(r.out, "jars")) << r.out;
  EXPECT_EQ("a b", itemOf(r.out, "opt")) << r.out;
  EXPECT_EQ("build|two words|-bv:x", itemOf(r.out, "core")) << r.out;
  EXPECT_EQ(home + "/antlike-core.jar", itemOf(r.out, "from")) << r.out;
  EXPECT_EQ(0u, r.out.find("home=<")) << r.out;  // nothing of the launcher's before it
  EXPECT_TRUE(leftInTemp().empty());
}

// --app-dir carries a whole folder: unpacked once per user and content
// into the cache, the jar inside it taken from there, the home property
// naming it, so the application reads its data beside its jars. A jar
// outside the folder still comes from the jars' cache folder.
TEST_F(E2eOneLineCommandTest, AnApplicationFolderIsUnpackedOnceAndItsHomePropertyNamesIt) {
  BV_REQUIRE_JAVA();
  std::string folder = dir.file("My App");
  runShell("mkdir -p " + shellQuote(folder + "/lib") + " " + shellQuote(folder + "/data/deep") + " && cp " +
           shellQuote(javaBuildPath("ByName.jar")) + " " + shellQuote(folder + "/lib/") + " && ln -s ../lib " +
           shellQuote(folder + "/data/lib-link"));
  writeFile(folder + "/data/deep/note.txt", "beside the jars\n");
  std::string app = dir.file("app");
  std::string out;
  ASSERT_EQ(0, runBvpack({"-o", app, "--main-class", "ByName", "--jar", folder + "/lib/../lib/ByName.jar", "--jar",
                          javaBuildPath("Hello.jar"), "--app-dir", folder + "/", "--home-property", "app.home"},
                         &out))
      << out;
  EXPECT_NE(std::string::npos, out.find("bvpack: the application folder " + folder + ": 6 files and folders")) << out;
  std::string path = dirName(javaExe) + ":/usr/bin:/bin";
  std::string log = dir.file("log");
  ProcessResult first = command(app, {"-bv:log", log, "read", "app.home", "data/deep/note.txt"}, userEnv(path));
  ASSERT_EQ(0, first.status) << first.out << first.err;
  EXPECT_EQ("beside the jars\n", first.out);
  std::vector<std::string> apps;
  for (const std::string& name : listDir(dir.file(".cache/bvlauncher"))) {
    if (name.compare(0, 4, "app-") == 0) apps.push_back(name);
  }
  ASSERT_EQ(1u, apps.size());
  std::string unpacked = dir.file(".cache/bvlauncher/" + apps[0]);
  EXPECT_EQ("beside the jars\n", readFile(unpacked + "/data/deep/note.txt"));
  EXPECT_TRUE(pathExists(unpacked + "/data/lib-link/ByName.jar"));
  std::string text = readFile(log);
  EXPECT_NE(std::string::npos, text.find("-cp \"" + unpacked + "/lib/ByName.jar\":\"")) << text;
  EXPECT_NE(std::string::npos, text.find("The application folder was unpacked into " + unpacked)) << text;

  // The next run unpacks nothing: the same folder.
  ProcessResult again = command(app, {"-bv:log", log, "read", "app.home", "data/deep/note.txt"}, userEnv(path));
  ASSERT_EQ(0, again.status) << again.err;
  EXPECT_EQ("beside the jars\n", again.out);
  EXPECT_NE(std::string::npos, readFile(log).find("The application folder is in the cache: " + unpacked));
}

}  // namespace
}  // namespace bvtest
