// Packed launchers whose payload does more than find and launch: JVM
// installation by the instruction script, extraction of the payload, and an
// embedded launcher started in place of the running one.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

bool hasLine(const std::string& text, const std::string& line) {
  std::vector<std::string> lines = splitLines(text);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The value of the first line that starts with prefix, without the prefix;
// "(none)" when there is none.
std::string lineAfter(const std::string& text, const std::string& prefix) {
  for (const std::string& line : splitLines(text)) {
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  }
  return "(none)";
}

class E2ePayloadTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    writeFakeJvm(dir.file("fake"));
  }
  // A launcher that installs the JVM with the option and launches with it;
  // without a JVM the script ends and the exit status is 0.
  std::string installingLauncher(const std::string& option, const std::string& installer) {
    std::vector<std::string> entries = payload(
        write("install-" + option + ".tag",
              scriptText({"INSTALL_JVM " + option, "JMP0 @N1@ NONE", "LAUNCH @S1@ 0", ":NONE"})));
    if (!installer.empty()) entries.push_back("jvm-installer:" + installer);
    return pack("setup-" + option, entries);
  }
};

TEST_F(E2ePayloadTest, InstallJvmLaysATemporaryJvmAndLaunchesWithIt) {
  std::string fakeInstaller =
      write("fake-installer.sh", installerText(dir.file("fake/bin/java")), 0755);
  // Option 0: the UI stays hidden.
  ProcessResult r = run(installingLauncher("0", fakeInstaller), {"--exit=3"}, env());
  EXPECT_EQ(3, r.status) << r.out << r.err;
  EXPECT_FALSE(hasLine(r.out, "Preparing Java(tm) Virtual Machine...")) << r.out;
  std::string home = lineAfter(r.out, "JAVA_HOME=");
  EXPECT_EQ(temp + "/bvj", home.substr(0, temp.size() + 4)) << r.out;
  EXPECT_TRUE(hasLine(r.out, "arg=-Dbv.jvm.home=" + home)) << r.out;
  EXPECT_TRUE(hasLine(r.out, "arg=-Dbv.jvm.temp=1")) << r.out;
  EXPECT_TRUE(hasLine(r.out, "arg=-Dbv.jvm.file=" + home + "/jvm")) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
  EXPECT_TRUE(pathExists(dir.file("fake/bin/java")));  // the link went, not its target

  // Option 1 with the machine's JDK behind the link.
  if (javaExe.empty()) GTEST_SKIP() << "no java on PATH or in /usr/lib/jvm";
  std::string realInstaller = write("real-installer.sh", installerText(javaExe), 0755);
  r = run(installingLauncher("1", realInstaller), {"--exit=4"}, env());
  EXPECT_EQ(4, r.status) << r.out << r.err;
  EXPECT_TRUE(hasLine(r.out, "Preparing Java(tm) Virtual Machine...")) << r.out;
  home = lineAfter(r.out, "prop[bv.jvm.home]=<");
  EXPECT_EQ(temp + "/bvj", home.substr(0, temp.size() + 4)) << r.out;
  EXPECT_TRUE(hasLine(r.out, "prop[bv.jvm.temp]=<1>")) << r.out;
  EXPECT_TRUE(hasLine(r.out, "prop[bv.jvm.file]=<" + home.substr(0, home.size() - 1) + "/jvm>"))
      << r.out;
  EXPECT_TRUE(hasLine(r.out, "env[JAVA_HOME]=<" + home)) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
  EXPECT_TRUE(pathExists(javaExe));
}

TEST_F(E2ePayloadTest, InstallJvmPromptsForADestinationThatStays) {
  std::string installer = write("installer.sh", installerText(dir.file("fake/bin/java")), 0755);
  std::string launcher = installingLauncher("2", installer);
  std::string chosen = dir.file("chosen");
  mkdir(chosen.c_str(), 0755);
  ProcessResult r = run(launcher, {"--exit=5"}, env(), chosen + "\n");
  EXPECT_EQ(5, r.status) << r.out << r.err;
  EXPECT_TRUE(hasLine(r.out, "Supply the destination directory for the Java Virtual Machine:"))
      << r.out;
  EXPECT_TRUE(hasLine(r.out, "JAVA_HOME=" + chosen)) << r.out;
  // The installer is gone; the JVM and its completed file stay.
  EXPECT_EQ((std::vector<std::string>{"bin", "jvm"}), listDir(chosen));
  EXPECT_EQ(chosen, tagValue(chosen + "/jvm", "JVM_HOME"));
  EXPECT_EQ(chosen + "/jvm", tagValue(chosen + "/jvm", "JVM_FILE"));
  EXPECT_EQ("1", tagValue(chosen + "/jvm", "JVM_TEMP"));
  EXPECT_TRUE(leftInTemp().empty());

  // No answer, or silent mode: nothing is installed and nothing launched.
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
  } cases[] = {{"end of input", {"--exit=5"}, ""},
               {"silent", {"-bv:silent", "--exit=5"}, chosen + "2\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    r = run(launcher, c.args, env(), c.input);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_FALSE(hasLine(r.out, "fakejava")) << r.out;
    EXPECT_FALSE(pathExists(chosen + "2"));
    EXPECT_TRUE(leftInTemp().empty());
  }
}

TEST_F(E2ePayloadTest, InstallJvmFailures) {
  std::string log = dir.file("install.log");
  // No installer in the payload: the script fails before any directory is made.
  ProcessResult r = run(installingLauncher("0", ""), {"-bv:log", log}, env());
  EXPECT_EQ(255, r.status);
  EXPECT_TRUE(hasLine(r.err, "No JVM installer was included in the launcher.")) << r.err;
  EXPECT_TRUE(leftInTemp().empty());
  // An installer that leaves no "jvm" file: logged, and the script goes on.
  std::string bad = write("bad.sh", installerText(dir.file("fake/bin/java"), false), 0755);
  r = run(installingLauncher("1", bad), {"-bv:log", log, "--exit=5"}, env());
  EXPECT_EQ(0, r.status) << r.out;
  EXPECT_FALSE(hasLine(r.out, "fakejava")) << r.out;
  std::string logText = readFile(log);
  EXPECT_NE(std::string::npos,
            logText.find("ERROR: No JVM installer was included in the launcher.\n"))
      << logText;
  EXPECT_NE(std::string::npos, logText.find("ERROR: Invalid bundled JVM. Missing 'jvm' file.\n"))
      << logText;
  EXPECT_TRUE(leftInTemp().empty());
}

// -bv:extract writes the payload and input.tag into the current directory;
// a run with that input file uses the copies instead of the embedded files.
TEST_F(E2ePayloadTest, ExtractWritesThePayloadAndAnInputFileThatUsesTheCopies) {
  std::string launcher = pack("setup", payload(typicalScriptPath()));
  std::string work = dir.file("work");
  mkdir(work.c_str(), 0755);
  ProcessResult r = run(launcher, {"-bv:extract"}, env(), "", work);
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ((std::vector<std::string>{"PrintArgs.jar", "Verify.jar", "input.tag",
                                      "instructions.tag", "jvm.tag", "launch.tag"}),
            listDir(work));
  EXPECT_EQ(
      "ACTION:  RUN_INSTRUCTIONS\nINSTRUCTIONS:  instructions.tag\nLAUNCHSCRIPT:  launch.tag\n"
      "JVM:  jvm.tag\n",
      readFile(work + "/input.tag"));
  EXPECT_EQ(readFile(javaBuildPath("PrintArgs.jar")), readFile(work + "/PrintArgs.jar"));
  EXPECT_TRUE(leftInTemp().empty());

  // Edit the copies: another title, another system property spelling.
  writeFile(work + "/launch.tag", launchScriptText(true).replace(0, 16, "DESC: Edited Set"));
  writeFile(work + "/jvm.tag", jvmFileText("bin/java", "SYSTEM: -X\n"));
  r = run(launcher, {"-bv:in", "input.tag"}, env("", dir.file("fake")), "", work);
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_TRUE(hasLine(r.out, "Edited Set")) << r.out;
  EXPECT_FALSE(hasLine(r.out, "Test Setup")) << r.out;
  EXPECT_TRUE(hasLine(r.out, "arg=-Xbv.jvm.home=" + dir.file("fake"))) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

// EXECUTE_LAUNCHER extracts the embedded launcher and starts it in place of
// the running one with -bv:orig and every argument; the embedded launcher
// removes itself and its directory at its end.
TEST_F(E2ePayloadTest, EmbeddedLauncherGetsTheOriginalAndEveryArgument) {
  std::string inner =
      pack("inner",
           {"instructions:" + write("inner.tag", scriptText({"ILAUNCH 2 0"})),
            "launch-script:" +
                write("inner-launch.tag",
                      "DESC: Inner\nDISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" "
                      "\"\"file=%LAUNCHER_FILE%()\"\" \"\"dir=%LAUNCHER_DIR%()\"\"\"\n"),
            "jvm:" + write("inner.jvm",
                           jvmFileText("bin/java", "JVM_HOME: " + dir.file("fake") + "\n"))});
  std::string outer = pack(
      "outer dir/setup", {"instructions:" + write("outer.tag", scriptText({"EXECUTE_LAUNCHER 1"})),
                          "embedded-launcher:" + inner});
  // (An empty argument cannot pass: the command is split with CmdLine,
  // which drops empty arguments.)
  std::vector<std::string> args = {"a", "b c", "say \"hi\" twice", "back\\slash", "--exit=6"};
  // Both launchers log to this file when the name reaches the embedded one
  // unchanged.
  std::string log = dir.file("back\\slash $HOME `x` \"q\".log");
  std::vector<std::string> all = {"-bv:log", log};
  all.insert(all.end(), args.begin(), args.end());
  ProcessResult r = run(outer, all, env());
  EXPECT_EQ(6, r.status) << r.out << r.err;
  std::vector<std::string> lines = splitLines(r.out);
  auto first = std::find(lines.begin(), lines.end(), "fakejava");
  ASSERT_NE(lines.end(), first) << r.out;
  std::vector<std::string> got(first + 2, lines.end());
  ASSERT_EQ(7u, got.size()) << r.out;
  std::string innerPath = got[0].substr(std::string("arg=file=").size());
  EXPECT_EQ(temp + "/bvj", innerPath.substr(0, temp.size() + 4)) << r.out;
  EXPECT_EQ("/inner", innerPath.substr(innerPath.rfind('/')));
  EXPECT_EQ("arg=dir=" + dir.file("outer dir"), got[1]);
  for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ("arg=" + args[i], got[i + 2]);
  std::string logText = readFile(log);
  EXPECT_NE(std::string::npos, logText.find("------------------\n", 1)) << logText;
  EXPECT_NE(std::string::npos, logText.find("Executing launch script command: ")) << logText;
  EXPECT_TRUE(leftInTemp().empty());

  // A position that holds no embedded launcher: logged, the script goes on.
  log = dir.file("outer.log");
  std::string wrong =
      pack("wrong", {"instructions:" + write("wrong.tag", scriptText({"EXECUTE_LAUNCHER 0"})),
                     "embedded-launcher:" + inner});
  r = run(wrong, {"-bv:log", log}, env());
  EXPECT_EQ(0, r.status) << r.out;
  EXPECT_NE(std::string::npos,
            readFile(log).find("ERROR: Unable to execute the embedded launcher.\n"));
  EXPECT_TRUE(leftInTemp().empty());
}

}  // namespace
}  // namespace bvtest
