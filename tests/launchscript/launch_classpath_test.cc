// The classpath function, the runtime files next to the launcher and the
// system property options.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/launcher_input_files.h"
#include "foundation/launcher_exception.h"
#include "launchscript/shell_quoting.h"
#include "platform/platform_impl.h"
#include "tests/archive/archive_test_util.h"
#include "tests/launchscript/launch_script_fixture.h"

namespace bvtest {
namespace {

std::string str(const SString& s) { return std::string(s.c_str(), s.length()); }

TEST_F(LaunchScriptTest, ClasspathTakesItsNineSourcesInOrder) {
  writeFile(m_dir.file("list"), "a1\r\n\n  a2  \n");
  writeFile(m_dir.file("setup.cp1"), "p1\n");
  writeFile(m_dir.file("setup.cp"), "c1\nc2");
  // A line of a side file is one entry as it stands, quotes included.
  writeFile(m_dir.file("setup.cp2"), "\"q 2\"\n");
  loadJVMFile(exampleJVMFile() + "JVM_CLASSPATH: jvm1:jvm2\n");
  m_run->classpath.prepend = " /opt/my lib/a.jar\t";
  m_run->classpath.append = ("@" + m_dir.file("list")).c_str();
  std::unique_ptr<TagFile> tags = loadLaunchScript(
      "ARCHIVE: \"\"\"%LAUNCHER_DIR%()/app.jar\"\"\"\n"
      "COMMAND: \"run %CP%(\"\"arg1\"\", \"\"\"\"\"\"arg 2\"\"\"\"\"\") main\"\n");
  LaunchScript script(*tags, true, context());
  EXPECT_EQ("run -cp \"/opt/my lib/a.jar\":'p1':jvm1:jvm2:'c1':'c2':arg1:\"arg 2\":\"" +
                m_dir.path() + "/app.jar\":'\"q 2\"':'a1':'a2' main",
            str(script.resolve(*m_jvmFile)));
}

TEST_F(LaunchScriptTest, ExampleCommandGivesQuotedClasspathAndProperties) {
  std::string command =
      "\"@JVM_HOME@/@JVM_EXE@\" %CP%(\"\"\".\"\"\", \"\"\"app.jar\"\"\", \"\"\"app.jar\"\"\") "
      "%SYSTEMPROP%(\"temp.dir\", \"\"\"%TEMP_DIR%()\"\"\") "
      "%SYSTEMPROP%(\"bv.jvm.home\", \"\"\"@JVM_HOME@\"\"\") "
      "%SYSTEMPROP%(\"bv.launcher.file\", \"\"\"%LAUNCHER_FILE%()\"\"\") "
      "%SYSTEMPROP%(\"bv.external.home\", \"\"\"%LAUNCHER_DIR%()\"\"\") "
      "%RUNTIME_SYSTEMPROP%() %IF_EXISTS%(\"INIT_JAVA_HEAP\", \"@INIT_JAVA_HEAP@20m\") "
      "%IF_EXISTS%(\"MAX_JAVA_HEAP\", \"@MAX_JAVA_HEAP@60m\") %RUNTIME_JAVAARGS%() run";
  std::string temp = PlatformImpl::getSystemTempDirectory().c_str();
  EXPECT_EQ("\"/Library/Java/Home/bin/java\" -cp \".\":\"app.jar\":\"app.jar\" -Dtemp.dir=\"" + temp +
                "\" -Dbv.jvm.home=\"/Library/Java/Home\" -Dbv.launcher.file=\"" + launcherPath() +
                "\" -Dbv.external.home=\"" + m_dir.path() + "\"  -Xms20m -Xmx60m  run",
            resolve(command));
}

TEST_F(LaunchScriptTest, EnvironmentModeSetsTheVariableInsteadOfAnOption) {
  unsetEnv("BV_TEST_CP");
  loadJVMFile(exampleJVMFile() + "USE_CP_ENV_VAR: 1\nCP_ENV_VAR: BV_TEST_CP\n");
  EXPECT_EQ("java  run",
            resolve("java %CP%(\"\"\".\"\"\", \"\"\"app.jar\"\"\", \"app\"\"\") run"));
  EXPECT_STREQ(".:app.jar:app", PlatformImpl::getEnvironmentVariable("BV_TEST_CP").c_str());
  EXPECT_NE(std::string::npos, log().find("Set env var BV_TEST_CP to .:app.jar:app\n"));

  // Without a variable name the classpath is lost, with an error in the log.
  loadJVMFile(exampleJVMFile() + "USE_CP_ENV_VAR: 1\n");
  EXPECT_EQ("java  run", resolve("java %CP%(\"x\") run"));
  EXPECT_NE(std::string::npos,
            log().find("ERROR: If USE_CP_ENV_VAR is set to 1 in the jvm file, then the jvm file "
                       "should also define CP_ENV_VAR.\n"));

  // Only exactly "1" turns the mode on.
  loadJVMFile(exampleJVMFile() + "USE_CP_ENV_VAR: \" 1\"\nCP_ENV_VAR: BV_TEST_CP\n");
  EXPECT_EQ("java -cp x run", resolve("java %CP%(\"x\") run"));
  loadJVMFile(exampleJVMFile() + "USE_CP_ENV_VAR: yes\nCP_ENV_VAR: BV_TEST_CP\n");
  EXPECT_EQ("java -cp x run", resolve("java %CP%(\"x\") run"));
}

TEST_F(LaunchScriptTest, CommandLineClasspathValues) {
  LaunchScript script(SString("x"), true, false, context());
  struct Case {
    std::string value;
    std::string classpath;
  } cases[] = {
      {"", ""},
      {" \t\r\n", ""},
      {"/opt/my lib/a.jar", "\"/opt/my lib/a.jar\""},
      {"  a  ", "\"a\""},
      {"@" + m_dir.file("missing"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ShellValueScope values;
    SString classpath;
    script.appendClasspathArg(m_jvmFile.get(), classpath, c.value.c_str());
    EXPECT_EQ(c.classpath, str(ShellValues::flatten(classpath)));
  }
  EXPECT_NE(std::string::npos, log().find("WARNING: Could not find the file " + m_dir.file("missing") +
                                          " while building the classpath.\n"));

  // Entries go after the separator; an empty entry adds nothing.
  SString classpath("a");
  script.addToClasspath(m_jvmFile.get(), classpath, "");
  script.addToClasspath(m_jvmFile.get(), classpath, "b");
  EXPECT_EQ("a:b", str(classpath));
}

TEST_F(LaunchScriptTest, RuntimeFileThatCannotBeReadAddsNothing) {
  // A directory opens for reading but fails on the first read.
  ASSERT_EQ(0, runShell("mkdir \"" + m_dir.file("setup.cp1") + "\" \"" + m_dir.file("setup.sp") + "\""));
  EXPECT_EQ("x   y", resolve("x %CP%() %RUNTIME_SYSTEMPROP%() y"));
}

TEST_F(LaunchScriptTest, RuntimeFileBaseDropsOnlyARealExtension) {
  struct Case {
    const char* launcher;
    const char* base;
  } cases[] = {
      {"/Volumes/CD/setup.app", "/Volumes/CD/setup"},
      {"/Volumes/My.CD/setup", "/Volumes/My.CD/setup"},
      {"/Volumes/CD/setup.tar.gz", "/Volumes/CD/setup.tar"},
      {"C:\\CD\\setup.exe", "C:\\CD\\setup"},
      {"setup.app", "setup.app"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.launcher);
    m_run->paths.originalLauncherFile = c.launcher;
    EXPECT_STREQ(c.base, LaunchScript(SString("x"), true, false, context()).getRuntimeFileBase().c_str());
  }
}

TEST_F(LaunchScriptTest, RuntimePropertiesAndJavaArguments) {
  ShellValueScope values;
  LaunchScript script(SString("x"), true, false, context());
  EXPECT_EQ("", str(script.buildRuntimeSystemProps(m_jvmFile.get())));
  EXPECT_EQ("", str(script.buildRuntimeJavaArgs(m_jvmFile.get())));

  writeFile(m_dir.file("setup.sp"), "a=b\nno equals sign\n\r\nc=d=e\n  home=@JVM_HOME@  \n");
  writeFile(m_dir.file("setup.ja"), "@MAX_JAVA_HEAP@128m\n\n  -verbose  \n");
  EXPECT_EQ("-Da=b -Dc=d=e -Dhome=/Library/Java/Home",
            str(ShellValues::flatten(script.buildRuntimeSystemProps(m_jvmFile.get()))));
  EXPECT_EQ("-Xmx128m -verbose",
            str(ShellValues::flatten(script.buildRuntimeJavaArgs(m_jvmFile.get()))));
  // Names, values and words are values: quoted for the shell.
  EXPECT_EQ("x -D'a'='b' -D'c'='d=e' -D'home'='/Library/Java/Home' y '-Xmx128m' '-verbose' z",
            resolve("x %RUNTIME_SYSTEMPROP%() y %RUNTIME_JAVAARGS%() z"));
  // A runtime file of the original launcher is used, not one of the copy
  // that runs.
  m_run->paths.originalLauncherFile = "/nonexistent/setup.app";
  EXPECT_EQ("x  y  z", resolve("x %RUNTIME_SYSTEMPROP%() y %RUNTIME_JAVAARGS%() z"));
}

TEST_F(LaunchScriptTest, SideFilesAreDataNotShellCode) {
  writeFile(m_dir.file("setup.sp"), "a b=$(id) `id`\nq=it's \"x\"\n");
  writeFile(m_dir.file("setup.cp"), "/opt/a b.jar;id\n$HOME/c.jar\n");
  writeFile(m_dir.file("setup.ja"),
            "-Dx=1; id > f; echo\n"
            "\"-Dy=$(id)\" '-Dz=`id`' -Dw=a\\ b \"\"\n"
            "-Dopen='not closed\n"
            "\"@MAX_JAVA_HEAP@128m\" me@@example.com\n");
  EXPECT_EQ("x -D'a b'='$(id) `id`' -D'q'='it'\\''s \"x\"' y", resolve("x %RUNTIME_SYSTEMPROP%() y"));
  EXPECT_EQ("-cp '/opt/a b.jar;id':'$HOME/c.jar'", resolve("%CP%()"));
  EXPECT_EQ("'-Dx=1;' 'id' '>' 'f;' 'echo' '-Dy=$(id)' '-Dz=`id`' '-Dw=a b' '' '-Xmx128m' "
            "'me@example.com'",
            resolve("%RUNTIME_JAVAARGS%()"));
  EXPECT_NE(std::string::npos, log().find("WARNING: Ignoring a line of " + m_dir.file("setup.ja") +
                                          " whose quote is not closed: -Dopen='not closed\n"))
      << log();
}

TEST_F(LaunchScriptTest, SideFilesThatFailTheOwnershipCheckAreIgnored) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the files to another user";
  const char* suffixes[] = {".cp1", ".cp", ".cp2", ".sp", ".ja"};
  for (const char* suffix : suffixes) {
    std::string path = m_dir.file(std::string("setup") + suffix);
    writeFile(path, "x=1\n");
    ASSERT_EQ(0, chown(path.c_str(), 4242, 4242));
  }
  SString reason;
  if (PlatformImpl::isTrustedFile(m_dir.file("setup.sp").c_str(), reason)) {
    GTEST_SKIP() << "the ownership check of this build accepts a file of another user";
  }
  EXPECT_EQ("x    y", resolve("x %CP%() %RUNTIME_SYSTEMPROP%() %RUNTIME_JAVAARGS%() y"));
  for (const char* suffix : suffixes) {
    SCOPED_TRACE(suffix);
    EXPECT_NE(std::string::npos,
              log().find("WARNING: Ignoring the file " + m_dir.file(std::string("setup") + suffix) +
                         " next to the launcher: "))
        << log();
  }
}

TEST_F(LaunchScriptTest, SystemPropertyResolvesOnlyTheValue) {
  LaunchScript script(SString("x"), true, false, context());
  EXPECT_EQ("-D@JVM_EXE@=\"/Library/Java/Home\"",
            str(script.makeSystemProp(m_jvmFile.get(), "@JVM_EXE@", "\"@JVM_HOME@\"")));
  loadJVMFile("SYSTEM: --prop:\nSYSTEM_SEPARATOR: :=\n");
  EXPECT_EQ("--prop:a:=b", str(script.makeSystemProp(m_jvmFile.get(), "a", "b")));
}

// %ENV_JAVAARGS%("NAME"): the variable split as the lines of the .ja file
// are, each word a value; no @ macro, no expansion; a line whose quote is
// not closed is skipped with a warning on standard error and in the log.
TEST_F(LaunchScriptTest, EnvironmentJavaArgumentsAreWordsOfTheVariable) {
  struct Case {
    const char* name;
    std::string value, expected;
  } cases[] = {
      {"words and quotes", "-Xmx1g  -Dant.home='/opt/my ant' \"-Da=b c\" -Dw=a\\ b \"\"",
       "x '-Xmx1g' '-Dant.home=/opt/my ant' '-Da=b c' '-Dw=a b' '' y"},
      {"shell and template text stay text", "$(id) `id` ${HOME} ; | %CP%() @MAX_JAVA_HEAP@1g #HOME#",
       "x '$(id)' '`id`' '${HOME}' ';' '|' '%CP%()' '@MAX_JAVA_HEAP@1g' '#HOME#' y"},
      {"lines, as in the .ja file", "-Da=1\r\n\n  -Db=2  \n", "x '-Da=1' '-Db=2' y"},
      {"a line whose quote is not closed", "-Da=1\n-Dopen='x\n-Db=2", "x '-Da=1' '-Db=2' y"},
      {"empty", "", "x  y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setEnv("BV_TEST_OPTS", c.value);
    EXPECT_EQ(c.expected, resolve("x %ENV_JAVAARGS%(\"BV_TEST_OPTS\") y"));
  }
  EXPECT_NE(std::string::npos,
            log().find("WARNING: Ignoring a line of the variable BV_TEST_OPTS whose quote is not closed: -Dopen='x\n"))
      << log();
  unsetEnv("BV_TEST_OPTS");
  EXPECT_EQ("x  y", resolve("x %ENV_JAVAARGS%(\"BV_TEST_OPTS\") y"));
  EXPECT_EQ("Launch script error: ENV_JAVAARGS function requires 1 argument.",
            resolveError("%ENV_JAVAARGS%()"));
}

TEST_F(LaunchScriptTest, ClasspathArchivesOnlyWhenExtracting) {
  LaunchScript script(SString("x"), true, false, context());
  EXPECT_EQ("", str(script.buildJARClasspath(true)));
}

}  // namespace
}  // namespace bvtest

namespace bvtest {
namespace {

// The classpath archives of a real launcher built with bvpack. The run's
// input files are read once per process, so each case runs in a child.
class LaunchJarClasspathTest : public LaunchScriptTest {
 protected:
  // Runs f in a child process and returns what it returned (or the message
  // of the LauncherException that it threw).
  std::string inChild(const std::function<std::string()>& f) {
    std::string result = m_dir.file("child-result");
    pid_t pid = fork();
    if (pid == 0) {
      std::string text;
      try {
        text = f();
      } catch (const LauncherException& e) {
        text = std::string("exception: ") + e.getMessage().c_str();
      }
      writeFile(result, text);
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return readFile(result);
  }

  // A launcher with two classpath archives between other kinds of file
  // (the second named second).
  void buildLauncher(const std::string& second = "b.jar", bool digests = true) {
    const char* files[][3] = {
        {"5", "Verify.jar", "verify"}, {"3", "a.jar", "first archive"},
        {"6", "app.jar", "application"}, {"3", second.c_str(), "second archive"}};
    std::vector<std::string> args = {"-o", launcherPath()};
    if (!digests) args.push_back("--no-digest");
    ASSERT_EQ(0, runShell("mkdir \"" + m_dir.file("in") + "\" \"" + m_dir.file("tmp") + "\""));
    for (const auto& file : files) {
      writeFile(m_dir.file(std::string("in/") + file[1]), file[2]);
      args.push_back(std::string(file[0]) + ":" + m_dir.file(std::string("in/") + file[1]));
    }
    std::string out;
    ASSERT_EQ(0, runBvpack(args, &out)) << out;
  }

  // In the child: reads the launcher's index and resolves command with a
  // launch script that extracts the archives.
  std::string resolveInLauncher(const std::string& command) {
    PlatformImpl::setSystemTempDir(m_dir.file("tmp").c_str());
    m_run->loadArchive();
    std::unique_ptr<TagFile> tags = loadLaunchScript("COMMAND: " + command + "\n");
    LaunchScript script(*tags, true, context());
    return str(script.resolve(*m_jvmFile));
  }
};

TEST_F(LaunchJarClasspathTest, EveryClasspathArchiveIsExtractedAndAdded) {
  buildLauncher();
  std::string resolved = inChild([&] { return resolveInLauncher("x %CP%(\"first\") y"); });
  std::string prefix = "x -cp first:\"" + m_dir.file("tmp/bvj");
  ASSERT_EQ(0u, resolved.find(prefix)) << resolved;
  // One new directory holds both archives, in index order, each quoted.
  std::string directory = resolved.substr(prefix.size() - 3, 9);
  std::string first = m_dir.file("tmp/" + directory + "/a.jar");
  std::string second = m_dir.file("tmp/" + directory + "/b.jar");
  EXPECT_EQ("x -cp first:\"" + first + "\":\"" + second + "\" y", resolved);
  EXPECT_EQ("first archive", readFile(first));
  EXPECT_EQ("second archive", readFile(second));

  // %CLASSPATH_JAR_DIR%() is the folder that %CP% takes them from, one
  // extraction whichever comes first; a property value goes in as a value.
  for (const std::string& command :
       {std::string("%SYSTEMPROP%(\"app.home\", \"\"\"%CLASSPATH_JAR_DIR%()\"\"\") %CP%()"),
        std::string("%CP%() %SYSTEMPROP%(\"app.home\", \"\"\"%CLASSPATH_JAR_DIR%()\"\"\")")}) {
    SCOPED_TRACE(command);
    removeTree(m_dir.file("tmp"));
    runShell("mkdir " + shellQuote(m_dir.file("tmp")));
    resolved = inChild([&] { return resolveInLauncher(command); });
    std::vector<std::string> made;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.file("tmp"))) {
      made.push_back(entry.path().filename().string());
    }
    ASSERT_EQ(1u, made.size()) << resolved;
    std::string home = m_dir.file("tmp/" + made[0]);
    EXPECT_NE(std::string::npos, resolved.find("-Dapp.home=\"" + home + "\"")) << resolved;
    EXPECT_NE(std::string::npos, resolved.find("-cp \"" + home + "/a.jar\":\"" + home + "/b.jar\""))
        << resolved;
  }

  // Environment mode takes them without quotes.
  unsetEnv("BV_TEST_CP");
  loadJVMFile(exampleJVMFile() + "USE_CP_ENV_VAR: 1\nCP_ENV_VAR: BV_TEST_CP\n");
  std::string classpath = inChild([&] {
    resolveInLauncher("%CP%()");
    return std::string(getenv("BV_TEST_CP") ? getenv("BV_TEST_CP") : "unset");
  });
  EXPECT_EQ(0u, classpath.find(m_dir.file("tmp/bvj"))) << classpath;
  EXPECT_EQ(std::string::npos, classpath.find('"')) << classpath;
}

// Java splits a class path at ':': an archive stored as "a:b.jar" (which
// bvpack refuses, another packer may not) would be read as "DIR/a" and as
// "b.jar" in the run's working directory, where another user may put one.
// The run stops before anything is launched.
TEST_F(LaunchJarClasspathTest, AnArchiveWhoseNameHoldsAColonIsNotPutOnTheClassPath) {
  buildLauncher("b_c.jar", false);
  std::string bytes = readFile(launcherPath());
  size_t at = bytes.rfind("b_c.jar");
  ASSERT_NE(std::string::npos, at);
  bytes[at + 1] = ':';
  writeFile(launcherPath(), bytes);
  std::string resolved = inChild([&] { return resolveInLauncher("x %CP%() y"); });
  EXPECT_EQ(0u, resolved.find("exception: The classpath archive " + m_dir.file("tmp/bvj"))) << resolved;
  EXPECT_NE(std::string::npos, resolved.find("/b:c.jar cannot go on the class path: its ':' would split it in two."))
      << resolved;
}

}  // namespace
}  // namespace bvtest
