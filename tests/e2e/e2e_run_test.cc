// Whole runs of packed launchers: the typical instruction script with and
// without a JVM, what reaches the Java application, exit statuses and the
// captured standard error at exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"

namespace bvtest {
namespace {

bool hasLine(const std::string& text, const std::string& line) {
  std::vector<std::string> lines = splitLines(text);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The lines of text that are in wanted, in their order in text.
std::vector<std::string> linesAmong(const std::string& text,
                                    const std::vector<std::string>& wanted) {
  std::vector<std::string> found;
  for (const std::string& line : splitLines(text)) {
    if (std::find(wanted.begin(), wanted.end(), line) != wanted.end()) found.push_back(line);
  }
  return found;
}

using E2eRunTest = E2eTest;

TEST_F(E2eRunTest, ExampleLauncherFindsTheJdkVerifiesItAndLaunchesTheApplication) {
  BV_REQUIRE_JAVA();
  std::string log = dir.file("run.log");
  ProcessResult r =
      run(buildPath("example/setup"), {"-bv:log", log, "one", "two words"}, env(dirName(javaExe)));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  std::vector<std::string> status = {"Example Setup",
                                     "Initializing Example Setup...",
                                     "Searching for Java(tm) Virtual Machine...",
                                     "Running Example Setup...",
                                     "Example setup application started.",
                                     "    [0] one",
                                     "    [1] two words",
                                     "Example setup application done."};
  EXPECT_EQ(status, linesAmong(r.out, status)) << r.out;
  EXPECT_TRUE(hasLine(r.out, "  temp.dir = " + temp)) << r.out;
  std::string logText = readFile(log);
  EXPECT_NE(std::string::npos, logText.find("Matching JVM home is ")) << logText;
  EXPECT_NE(std::string::npos, logText.find("\" \"Verify\" os.name java.specification.version"))
      << logText;
  EXPECT_TRUE(leftInTemp().empty());
}

// The typical script (INITIALIZE_UI, FIND_JVM 1 1, JMP0, LAUNCH @S2@ 5) with
// a JVM file whose only hints are JAVA_HOME and PATH: the environment of the
// run decides what is found. With UNIX_COMMAND: 1, a run that finds nothing
// fails.
TEST_F(E2eRunTest, TypicalScriptLaunchesWithTheJvmThatTheEnvironmentNames) {
  BV_REQUIRE_JAVA();
  writeFakeJvm(dir.file("fake"));
  writeFakeJvm(dir.file("windows"), "Windows 11");
  std::string launcher = pack("setup", payload(typicalUnixScriptPath()));
  struct Case {
    const char* name;
    std::string path, javaHomeVar, home;  // home: expected, empty for none
  } cases[] = {
      {"real JDK through JAVA_HOME", "", javaHome, javaHome},
      // The home is where the executable really lies, whatever links PATH
      // goes through (/usr/bin/java -> /etc/alternatives/java -> ...).
      {"real JDK through PATH", dirName(javaExe), "", javaHome},
      {"fake JVM through JAVA_HOME", "", dir.file("fake"), dir.file("fake")},
      {"JAVA_HOME not valid, PATH valid", dirName(javaExe), dir.file("windows"), javaHome},
      {"nothing", "", "", ""},
      {"only an invalid JVM", "", dir.file("windows"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessResult r = run(launcher, {"-bv:javaconsole", "a b"}, env(c.path, c.javaHomeVar));
    // A run that found no JVM and so launched nothing has failed.
    EXPECT_EQ(c.home.empty() ? 1 : 0, r.status) << r.out << r.err;
    std::vector<std::string> head = {"Test Setup", "", "Initializing Test Setup...", "",
                                     "Searching for Java(tm) Virtual Machine..."};
    std::vector<std::string> lines = splitLines(r.out);
    ASSERT_GE(lines.size(), head.size()) << r.out;
    EXPECT_EQ(head, std::vector<std::string>(lines.begin(), lines.begin() + 5)) << r.out;
    if (c.home.empty()) {
      EXPECT_TRUE(hasLine(r.err,
                          "No suitable Java was found. Set JAVA_HOME to the folder of a Java installation, "
                          "or run again with -bv:javahome DIR."))
          << r.err;
      EXPECT_FALSE(hasLine(r.out, "Running Test Setup...")) << r.out;
    } else {
      EXPECT_TRUE(hasLine(r.out, "Running Test Setup...")) << r.out;
      bool fake = c.home == dir.file("fake");
      EXPECT_TRUE(hasLine(r.out, fake ? "arg=a b" : "arg[0]=<a b>")) << r.out;
      EXPECT_TRUE(hasLine(r.out, fake ? "JAVA_HOME=" + c.home : "env[JAVA_HOME]=<" + c.home + ">"))
          << r.out;
      if (!fake) {
        EXPECT_TRUE(hasLine(r.out, "prop[bv.jvm.home]=<" + c.home + ">")) << r.out;
        EXPECT_TRUE(hasLine(r.out, "prop[temp.dir]=<" + temp + ">")) << r.out;
        EXPECT_TRUE(hasLine(r.out, "prop[bv.jvm.temp]=<0>")) << r.out;
        EXPECT_TRUE(hasLine(r.out, "prop[bv.launcher.file]=<" + launcher + ">")) << r.out;
        EXPECT_TRUE(hasLine(r.out, "prop[bv.external.home]=<" + dir.path() + ">")) << r.out;
        EXPECT_TRUE(hasLine(r.out, "cwd=<" + dir.path() + ">")) << r.out;
      }
    }
    EXPECT_TRUE(leftInTemp().empty());
  }
}

// With UNIX_COMMAND: 1 the status display names each JVM file once and
// shows a "Verifying" line only for a candidate that is run; a home reached
// under two names (a link on PATH, the same folder twice) is run once, and
// PATH folders that are relative or not a ".../bin" give no candidate.
TEST_F(E2eRunTest, StatusLinesOnlyForCandidatesThatAreRunEachHomeOnce) {
  writeFakeJvm(dir.file("windows"), "Windows 11");
  writeFakeJvm(dir.file("fake"));
  write("linked/readme", "");
  ASSERT_EQ(0, runShell("ln -s " + shellQuote(dir.file("windows/bin")) + " " +
                        shellQuote(dir.file("linked/bin"))));
  std::string launcher = pack("setup", payload(typicalUnixScriptPath()));
  std::string path = dir.file("none1/bin") + ":" + dir.file("windows/bin") + ":bin:.:" +
                     dir.file("linked/bin") + ":" + dir.file("windows") + ":" +
                     dir.file("none2/bin") + ":" + dir.file("fake/bin");
  std::string log = dir.file("run.log");
  ProcessResult r = run(launcher, {"-bv:log", log}, env(path, dir.file("windows")));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  std::vector<std::string> lines = splitLines(r.out);
  // JAVA_HOME (windows) and the fake are run; the linked copy of windows is
  // the same home; the folders without java give dots only.
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "Searching for Test JVM")) << r.out;
  EXPECT_EQ(2, std::count(lines.begin(), lines.end(), "Verifying Test JVM")) << r.out;
  EXPECT_TRUE(hasLine(r.out, "Running Test Setup...")) << r.out;
  std::string logText = readFile(log);
  EXPECT_NE(std::string::npos, logText.find("The JVM home " + dir.file("windows") + " was checked already"))
      << logText;
  EXPECT_EQ(std::string::npos, logText.find("from the platform JVM path " + dir.file("windows") + "\n"))
      << logText;
  EXPECT_EQ(std::string::npos, logText.find("Checking JVM at bin")) << logText;

  // Without the fake: the diagnostics list the Windows JVM once.
  path = dir.file("none1/bin") + ":" + dir.file("windows/bin") + ":" + dir.file("linked/bin") + ":" +
         dir.file("windows/bin") + ":" + dir.file("none1/bin");
  r = run(launcher, {}, env(path, ""));
  EXPECT_EQ(1, r.status) << r.out << r.err;
  lines = splitLines(r.err);
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(),
                          "  " + dir.file("windows") +
                              "/bin/java: property os.name is \"Windows 11\", not \"Linux\""))
      << r.err;
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "  " + dir.file("none1") + "/bin/java: no executable"))
      << r.err;
  EXPECT_EQ(2, std::count_if(lines.begin(), lines.end(),
                             [](const std::string& l) { return l.compare(0, 3, "  /") == 0; }))
      << r.err;
  EXPECT_TRUE(leftInTemp().empty());
}

// A search that found nothing does not decide the status of a run that
// launched afterwards: the application's status is the launcher's.
TEST_F(E2eRunTest, ALaunchAfterAFailedSearchGivesTheApplicationsStatus) {
  writeFakeJvm(dir.file("fake"));
  std::string log = dir.file("retry.log");
  std::string launcher =
      pack("retry", {"instructions:" + write("retry.tag", scriptText({"FIND_JVM 0 0", "ILAUNCH 2 0"})),
                     "launch-script:" + write("retry-launch.tag", launchScriptText(true)),
                     "jvm:" + write("retry.jvm", jvmFileText("bin/java", "JVM_HOME: " + dir.file("fake") + "\n"))});
  ProcessResult r = run(launcher, {"-bv:log", log, "--exit=5"}, env());
  EXPECT_EQ(5, r.status) << r.out << r.err;
  EXPECT_TRUE(hasLine(r.out, "fakejava")) << r.out;
  EXPECT_NE(std::string::npos, readFile(log).find("No suitable Java was found.")) << readFile(log);
  EXPECT_TRUE(leftInTemp().empty());
}

// The Java application's exit status is the launcher's; its captured
// standard error is shown for a failure, except 232 from purpose 0 or 2,
// silent or not: on standard error with UNIX_COMMAND: 1 or when silent, on
// standard output (after the status lines, TranscriptTest) otherwise.
TEST_F(E2eRunTest, ExitStatusPassesThroughAndCapturedErrorIsShownByPurpose) {
  writeFakeJvm(dir.file("fake"));
  struct Case {
    int purpose, exitStatus;
    bool errorShown;
  } cases[] = {
      {0, 0, false}, {0, 1, true},    {0, 232, false}, {1, 232, true},
      {1, 7, true},  {2, 232, false}, {2, 3, true},
  };
  for (const Case& c : cases) {
    for (bool unixCommand : {false, true}) {
      SCOPED_TRACE("purpose " + std::to_string(c.purpose) + ", exit " + std::to_string(c.exitStatus) +
                   (unixCommand ? ", UNIX_COMMAND" : ""));
      std::string launcher =
          pack("setup" + std::to_string(c.purpose) + (unixCommand ? "-unix" : ""),
               payload(unixCommand ? typicalUnixScriptPath() : typicalScriptPath(), false), c.purpose);
      for (bool silent : {false, true}) {
        std::vector<std::string> args = {"--exit=" + std::to_string(c.exitStatus), "--stderr=it broke"};
        if (silent) args.insert(args.begin(), "-bv:silent");
        ProcessResult r = run(launcher, args, env("", dir.file("fake")));
        EXPECT_EQ(c.exitStatus, r.status) << r.out << r.err;
        // Captured: the application's output never reaches the console.
        EXPECT_FALSE(hasLine(r.out, "fakejava")) << r.out;
        const bool onError = unixCommand || silent;
        EXPECT_EQ(c.errorShown && !onError, hasLine(r.out, "it broke")) << r.out;
        EXPECT_EQ(c.errorShown && onError, hasLine(r.err, "it broke")) << r.err;
        if (silent) {
          EXPECT_EQ("", r.out);
        }
        EXPECT_TRUE(leftInTemp().empty());
      }
    }
  }
}

TEST_F(E2eRunTest, PassThroughArgumentsAndConsoleOptions) {
  BV_REQUIRE_JAVA();
  std::string launcher = pack("setup", payload(typicalScriptPath(), false));
  // -silent and -console are passed on and act; the -bv: forms only act.
  ProcessResult r = run(
      launcher,
      {"-bv:silent", "-silent", "-console", "-bv:javaconsole", "foo", "say \"hi\"", "  padded  "},
      env("", javaHome));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  std::vector<std::string> lines = splitLines(r.out);
  std::vector<std::string> got;
  for (const std::string& line : lines) {
    if (line.rfind("arg", 0) == 0) got.push_back(line);
  }
  std::vector<std::string> expected = {
      "argc=5",       "arg[0]=<-silent>",    "arg[1]=<-console>",
      "arg[2]=<foo>", "arg[3]=<say \"hi\">", "arg[4]=<  padded  >"};
  EXPECT_EQ(expected, got) << r.out;
  // Silent: no status lines, only the application's own output.
  EXPECT_EQ("printargs.begin", lines.empty() ? "" : lines[0]) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(E2eRunTest, ClasspathOptionsGoBeforeAndAfterTheEmbeddedArchives) {
  BV_REQUIRE_JAVA();
  std::string launcher = pack("setup", payload(typicalScriptPath()));
  std::string list = write("extra.list", "/opt/one.jar\n\n/opt/two.jar\n");
  struct Case {
    std::vector<std::string> args;
    std::string before, after;  // around the extracted PrintArgs.jar
  } cases[] = {
      {{"-cp:p", "/opt/my lib/a.jar", "-cp:a", "@" + list},
       "/opt/my lib/a.jar:",
       ":/opt/one.jar:/opt/two.jar"},
      {{"-cp:p", "/x.jar", "-cp:p", "/y.jar"}, "/y.jar:", ""},  // the later one wins
      {{"-cp:a", ""}, "", ""},
      {{"-cp:a"}, "", ""},  // without a value: ignored, not passed on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    ProcessResult r = run(launcher, c.args, env("", javaHome));
    EXPECT_EQ(0, r.status) << r.out << r.err;
    std::string value = "(none)";
    const std::string label = "prop[java.class.path]=<";
    for (const std::string& line : splitLines(r.out)) {
      if (line.rfind(label, 0) == 0)
        value = line.substr(label.size(), line.size() - label.size() - 1);
    }
    // before + <temp>/bvjXXXXXX/PrintArgs.jar + after
    std::string jar =
        value.size() >= c.before.size() + c.after.size()
            ? value.substr(c.before.size(), value.size() - c.before.size() - c.after.size())
            : "";
    EXPECT_EQ(c.before + jar + c.after, value);
    EXPECT_EQ(0u, jar.rfind(temp + "/bvj", 0)) << value;
    EXPECT_EQ(std::string::npos, jar.find(':')) << value;
    EXPECT_EQ("/PrintArgs.jar",
              jar.substr(jar.rfind('/') == std::string::npos ? 0 : jar.rfind('/')))
        << value;
    EXPECT_TRUE(hasLine(r.out, "argc=0")) << r.out;
    EXPECT_TRUE(leftInTemp().empty());
  }
}

// A relative -bv:javahome is taken against the directory the user started
// the launcher from, although the checks run in the launcher's directory.
TEST_F(E2eRunTest, RelativeJavaHomeIsTakenAgainstTheCurrentDirectory) {
  writeFakeJvm(dir.file("user/jvms/mine"));
  std::string launcher = pack("bin/setup", payload(typicalScriptPath()));
  std::string log = dir.file("run.log");
  ProcessResult r =
      run(launcher, {"-bv:log", log, "-bv:javahome", "jvms/mine"}, env(), "", dir.file("user"));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_TRUE(hasLine(r.out, "JAVA_HOME=" + dir.file("user/jvms/mine"))) << r.out;
  EXPECT_NE(std::string::npos,
            readFile(log).find("Checking user specified Java home directory => " +
                               dir.file("user/jvms/mine")))
      << readFile(log);
  // A user home that is no JVM: the hints are searched as without one.
  r = run(launcher, {"-bv:javahome", "jvms/none"}, env("", dir.file("user/jvms/mine")), "",
          dir.file("user"));
  EXPECT_TRUE(hasLine(r.out, "JAVA_HOME=" + dir.file("user/jvms/mine"))) << r.out;
  // Without a value the option is ignored and not passed on.
  r = run(launcher, {"-bv:javahome"}, env("", dir.file("user/jvms/mine")));
  EXPECT_FALSE(hasLine(r.out, "arg=-bv:javahome")) << r.out;
  EXPECT_TRUE(hasLine(r.out, "fakejava")) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

}  // namespace
}  // namespace bvtest
