// Running the launch command: a fake JVM home whose bin/java is a shell
// script that reports what it received, and the real JDK running PrintArgs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "foundation/launcher_exception.h"
#include "platform/platform_impl.h"
#include "tests/java/java_installs.h"
#include "tests/launchscript/launch_script_fixture.h"

namespace bvtest {
namespace {

std::string str(const SString& s) { return std::string(s.c_str(), s.length()); }

// Reports its working directory, environment and arguments on standard
// output, writes "err" on standard error and exits with 3.
const char* const kFakeJava =
    "#!/bin/sh\n"
    "echo \"cwd=$(pwd)\"\n"
    "echo \"JAVA_HOME=${JAVA_HOME-unset}\"\n"
    "echo \"W1=${BV_TEST_W1-unset} W2=${BV_TEST_W2-unset}\"\n"
    "for a in \"$@\"; do printf 'arg=<%s>\\n' \"$a\"; done\n"
    "echo err >&2\n"
    "exit 3\n";

class LaunchCommandTest : public LaunchScriptTest {
 protected:
  void SetUp() override {
    LaunchScriptTest::SetUp();
    m_home = m_dir.file("jvm home");
    ASSERT_EQ(0, runShell("mkdir -p \"" + m_home + "/bin\""));
    writeFile(m_dir.file("jvm home/bin/java"), kFakeJava, 0755);
    loadJVMFile(exampleJVMFile() + "JVM_HOME: \"" + m_home + "\"\n");
    unsetEnv("JAVA_HOME");
    unsetEnv("BV_TEST_W1");
    unsetEnv("BV_TEST_W2");
  }

  // A launcher file whose purpose byte (9 bytes before its end) is purpose.
  void writeLauncher(char purpose) {
    writeFile(launcherPath(), std::string("#!launcher") + purpose + std::string(8, 'x'), 0755);
  }

  std::string m_home;
};

const char* const kFakeCommand = "\"@JVM_HOME@/@JVM_EXE@\" first";

TEST_F(LaunchCommandTest, PassThroughArgumentsReachTheProgramByteForByte) {
  const char* arguments[] = {
      "two words", "say \"hi\"", "$HOME", "${PATH}", "`id`", "$(id)", "back\\slash", "trailing\\",
      "\\\"", "'single'", "", "line\nbreak", "tab\there", "!bang", "*", "; exit 9", "caf\xc3\xa9",
  };
  StringDeque extra;
  std::string expected = "arg=<first>\n";
  for (const char* argument : arguments) {
    extra.push_back(argument);
    expected += "arg=<" + std::string(argument) + ">\n";
  }
  LaunchScript script(SString(kFakeCommand), true, false, context());
  EXPECT_EQ(3, script.execute(*m_jvmFile, &extra, false));
  std::string out = str(script.getStdOut());
  EXPECT_NE(std::string::npos, out.find(expected)) << out;
}

TEST_F(LaunchCommandTest, RunsInTheLauncherDirectoryWithJavaHomeSetForTheCommandOnly) {
  setEnv("JAVA_HOME", "/before");
  LaunchScript script(SString(kFakeCommand), true, false, context());
  EXPECT_EQ(3, script.execute(*m_jvmFile, nullptr, false));
  EXPECT_EQ("cwd=" + m_dir.path() + "\nJAVA_HOME=" + m_home + "\nW1=unset W2=unset\narg=<first>\n",
            str(script.getStdOut()));
  EXPECT_EQ("err\n", str(script.getStdErr()));
  EXPECT_STREQ("/before", getenv("JAVA_HOME"));

  // A JAVA_HOME that was unset is the empty string afterwards.
  unsetEnv("JAVA_HOME");
  script.execute(*m_jvmFile, nullptr, false);
  EXPECT_STREQ("", getenv("JAVA_HOME"));
}

TEST_F(LaunchCommandTest, LauncherInTheRootDirectoryRunsThere) {
  m_run->paths.setLauncherFile("/setup.app");
  LaunchScript script(SString(kFakeCommand), true, false, context());
  script.execute(*m_jvmFile, nullptr, false);
  EXPECT_EQ(0u, str(script.getStdOut()).find("cwd=/\n")) << str(script.getStdOut());
}

TEST_F(LaunchCommandTest, JavaHomeIsRestoredWhenTheCommandCannotStart) {
  setEnv("JAVA_HOME", "/before");
  m_run->paths.setLauncherFile(m_dir.file("missing dir/setup.app").c_str());
  LaunchScript script(SString(kFakeCommand), true, false, context());
  EXPECT_NE("(no exception)", launcherErrorOf([&] { script.execute(*m_jvmFile, nullptr, false); }));
  EXPECT_STREQ("/before", getenv("JAVA_HOME"));
}

TEST_F(LaunchCommandTest, CapturedOutputAccumulatesAndIsLogged) {
  LaunchScript script(SString(kFakeCommand), true, false, context());
  script.execute(*m_jvmFile, nullptr, false);
  std::string first = str(script.getStdOut());
  script.execute(*m_jvmFile, nullptr, false);
  EXPECT_EQ(first + first, str(script.getStdOut()));
  EXPECT_EQ("err\nerr\n", str(script.getStdErr()));

  std::string command = "\"" + m_home + "/bin/java\" first";
  EXPECT_NE(std::string::npos,
            log().find("Executing launch script command: " + command + " in working directory " +
                       m_dir.path() + "\nOutput from the launch script execution\nStdOut:\n" + first +
                       "\nErrOut:\nerr\n\n"))
      << log();
}

TEST_F(LaunchCommandTest, ShownConsoleOrNoCaptureLeavesOutputAlone) {
  std::string command = std::string(kFakeCommand) + " >\"" + m_dir.file("report") + "\" 2>&1";
  std::string quoted;
  for (char c : command) quoted += c == '"' ? "\"\"" : std::string(1, c);
  std::unique_ptr<TagFile> tags = loadLaunchScript(
      "DISPLAY_CONSOLE: 1\nAUTO_SET_WORKING_DIR: 0\nCOMMAND: \"" + quoted + "\"\n");
  LaunchScript console(*tags, true, context());
  EXPECT_EQ(3, console.execute(*m_jvmFile, nullptr, false));
  // Without AUTO_SET_WORKING_DIR the command runs where the launcher runs.
  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  EXPECT_EQ(0u, readFile(m_dir.file("report")).find("cwd=" + std::string(cwd) + "\n"));
  EXPECT_NE(std::string::npos, log().find(" in current working directory\n"));

  LaunchScript forced(SString(command.c_str()), true, false, context());
  EXPECT_EQ(3, forced.execute(*m_jvmFile, nullptr, true));
  LaunchScript uncaptured(SString(command.c_str()), false, false, context());
  EXPECT_EQ(3, uncaptured.execute(*m_jvmFile, nullptr, false));

  EXPECT_TRUE(console.getStdOut().empty());
  EXPECT_TRUE(forced.getStdOut().empty());
  EXPECT_TRUE(uncaptured.getStdOut().empty());
  EXPECT_EQ(std::string::npos, log().find("Output from the launch script execution"));
}

TEST_F(LaunchCommandTest, WizardEnvironmentOnlyForPurposesZeroAndTwo) {
  loadJVMFile(exampleJVMFile() + "JVM_HOME: \"" + m_home +
              "\"\nSET_ENV_FOR_WIZARD:\n  BV_TEST_W1 = one = 1 \n  \" \"\n  BV_TEST_W2\n/:\n");
  struct Case {
    char purpose;
    const char* report;
  } cases[] = {
      {1, "W1=unset W2=unset"},
      {0, "W1=one = 1 W2="},
      {2, "W1=one = 1 W2="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.purpose));
    newRun();
    m_run->paths.setLauncherFile(launcherPath().c_str());
    unsetEnv("BV_TEST_W1");
    unsetEnv("BV_TEST_W2");
    writeLauncher(c.purpose);
    m_run->paths.purpose = c.purpose;
    LaunchScript script(SString(kFakeCommand), true, false, context());
    script.execute(*m_jvmFile, nullptr, false);
    EXPECT_NE(std::string::npos, str(script.getStdOut()).find(c.report)) << str(script.getStdOut());
  }
  // The settings stay for the rest of the run.
  EXPECT_STREQ("one = 1", getenv("BV_TEST_W1"));
}

TEST_F(LaunchCommandTest, TemplateErrorRunsNothing) {
  LaunchScript script(SString("\"@JVM_HOME@/@JVM_EXE@\" %CP%(x)"), true, false, context());
  try {
    script.execute(*m_jvmFile, nullptr, false);
    FAIL() << "no exception";
  } catch (const LauncherException& e) {
    EXPECT_STREQ("Launch script error: Expected string arg. (near character 28)",
                 e.getMessage().c_str());
  }
  EXPECT_TRUE(script.getStdOut().empty());
  EXPECT_EQ(nullptr, getenv("JAVA_HOME"));
}

// The example launch script on the real JDK, with PrintArgs as the
// application.
TEST_F(LaunchScriptTest, ExampleLaunchRunsAJavaProgramOnTheRealJDK) {
  std::string java = findJava();
  if (java.empty()) GTEST_SKIP() << "no Java found (java on PATH, $JAVA_HOME, /usr/lib/jvm/*)";
  std::string home = javaHomeOf(java);
  std::string jar = javaBuildPath("PrintArgs.jar");
  for (const char* name : {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "_JAVA_OPTIONS", "CLASSPATH"}) {
    unsetEnv(name);
  }
  unsetEnv("JAVA_HOME");
  PlatformImpl::setSystemTempDir(m_dir.path().c_str());
  loadJVMFile(exampleJVMFile() + "JVM_HOME: " + home + "\nJVM_FILE: " +
              m_dir.file("test.jvm") + "\nJVM_TEMP: 0\n");
  writeFile(m_dir.file("setup.sp"), "bv.from.sp=sp\n");
  writeFile(m_dir.file("setup.ja"), "-Dbv.from.ja=@JVM_TEMP@\n");
  m_run->classpath.prepend = m_dir.file("first dir").c_str();

  std::string launch =
      "DESC: Brenvard Wizard\n"
      "DISPLAY_CONSOLE: 0\n"
      "AUTO_SET_WORKING_DIR: 1\n"
      "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%(\"\"\"\"\"\".\"\"\"\"\"\", \"\"\"\"\"\"" + jar +
      "\"\"\"\"\"\", \"\"\"\"\"\"" + jar +
      "\"\"\"\"\"\") "
      "%SYSTEMPROP%(\"\"temp.dir\"\", \"\"\"\"\"\"%TEMP_DIR%()\"\"\"\"\"\") "
      "%SYSTEMPROP%(\"\"bv.jvm.home\"\", \"\"\"\"\"\"@JVM_HOME@\"\"\"\"\"\") "
      "%SYSTEMPROP%(\"\"bv.jvm.temp\"\", \"\"\"\"\"\"@JVM_TEMP@\"\"\"\"\"\") "
      "%SYSTEMPROP%(\"\"bv.media.home\"\", \"\"\"\"\"\"%APPLICATION_ARCHIVE%()\"\"\"\"\"\") "
      "%SYSTEMPROP%(\"\"bv.launcher.file\"\", \"\"\"\"\"\"%LAUNCHER_FILE%()\"\"\"\"\"\") "
      "%SYSTEMPROP%(\"\"bv.jvm.file\"\", \"\"\"\"\"\"@JVM_FILE@\"\"\"\"\"\") "
      "%SYSTEMPROP%(\"\"bv.external.home\"\", \"\"\"\"\"\"%LAUNCHER_DIR%()\"\"\"\"\"\") "
      "%RUNTIME_SYSTEMPROP%() "
      "%IF_EXISTS%(\"\"INIT_JAVA_HEAP\"\", \"\"@INIT_JAVA_HEAP@20m\"\") "
      "%IF_EXISTS%(\"\"MAX_JAVA_HEAP\"\", \"\"@MAX_JAVA_HEAP@60m\"\") "
      "%RUNTIME_JAVAARGS%() PrintArgs\"\n";
  std::unique_ptr<TagFile> tags = loadLaunchScript(launch);
  LaunchScript script(*tags, true, context());
  StringDeque extra;
  const char* arguments[] = {"two words", "say \"hi\"", "$HOME", "`id`", "back\\slash", "trailing\\", ""};
  for (const char* argument : arguments) extra.push_back(argument);

  EXPECT_EQ(0, script.execute(*m_jvmFile, &extra, false)) << str(script.getStdErr());
  std::string out = str(script.getStdOut());
  std::string temp = PlatformImpl::getSystemTempDirectory().c_str();
  std::string media = m_run->applicationArchive.archivePath(m_run->inputFiles).c_str();
  const std::string lines[] = {
      "argc=7",
      "arg[0]=<two words>",
      "arg[1]=<say \"hi\">",
      "arg[2]=<$HOME>",
      "arg[3]=<`id`>",
      "arg[4]=<back\\slash>",
      "arg[5]=<trailing\\>",
      "arg[6]=<>",
      "prop[java.class.path]=<" + m_dir.file("first dir") + ":.:" + jar + ":" + jar + ">",
      "prop[temp.dir]=<" + temp + ">",
      "prop[bv.jvm.home]=<" + home + ">",
      "prop[bv.jvm.temp]=<0>",
      "prop[bv.media.home]=<" + media + ">",
      "prop[bv.launcher.file]=<" + launcherPath() + ">",
      "prop[bv.jvm.file]=<" + m_dir.file("test.jvm") + ">",
      "prop[bv.external.home]=<" + m_dir.path() + ">",
      "prop[bv.from.ja]=<0>",
      "prop[bv.from.sp]=<sp>",
      "env[JAVA_HOME]=<" + home + ">",
      "cwd=<" + m_dir.path() + ">",
  };
  for (const std::string& line : lines) {
    EXPECT_NE(std::string::npos, ("\n" + out).find("\n" + line + "\n")) << line << "\n" << out;
  }
  // The options that the JVM itself received, in the order of the template.
  unsigned long last = 0;
  for (const char* option : {"-Dbv.from.sp=sp", "-Xms20m", "-Xmx60m", "-Dbv.from.ja=0"}) {
    SCOPED_TRACE(option);
    unsigned long at = out.find("]=<" + std::string(option) + ">\n");
    ASSERT_NE(std::string::npos, at) << out;
    EXPECT_LT(last, at);
    last = at;
  }
}

}  // namespace
}  // namespace bvtest
