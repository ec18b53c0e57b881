// The settings of the instruction script for the run as a whole, in whole
// runs with a fake JVM (which prints its arguments): CONSOLE_UI (no status
// display), BV_OPTIONS_ONLY (only -bv: options, "--" ends them) and
// USE_TMPDIR (TMPDIR chooses the temporary folder); and the -bv:cp:p and
// -bv:cp:a options, which every launcher takes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

// The typical script with the given settings (tag lines).
std::string scriptWith(const std::string& settings) {
  return settings +
         "INSTRUCTIONS:\n  INITIALIZE_UI\n  FIND_JVM 1 1\n  JMP0 @N1@ NONE\n  LAUNCH @S2@ 5\n  :NONE\n/:\n";
}

// The arguments that the fake java got, from "arg=" lines, after the
// class name PrintArgs (the application's own).
std::vector<std::string> applicationArguments(const std::string& out) {
  std::vector<std::string> args;
  bool after = false;
  for (const std::string& line : splitLines(out)) {
    if (line.compare(0, 4, "arg=") != 0) continue;
    if (after) args.push_back(line.substr(4));
    if (line == "arg=PrintArgs") after = true;
  }
  return args;
}

// The value of the -Dtemp.dir the fake java got, or "(none)".
std::string tempDirOf(const std::string& out) {
  for (const std::string& line : splitLines(out)) {
    if (line.compare(0, 15, "arg=-Dtemp.dir=") == 0) return line.substr(15);
  }
  return "(none)";
}

class E2eLauncherSettingsTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    writeFakeJvm(dir.file("fake"));
  }
  std::string launcher(const std::string& name, const std::string& settings) {
    return pack(name, payload(write(name + ".tag", scriptWith(settings))));
  }
  // A run without -bv:tempdir (E2eTest::run always gives one).
  ProcessResult runPlain(const std::string& launcher, const std::vector<std::string>& args,
                         std::vector<std::string> environment) {
    std::vector<std::string> argv = {launcher};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, environment);
  }
};

TEST_F(E2eLauncherSettingsTest, ConsoleUiZeroPrintsNothingOfTheLaunchersOwnOnStandardOutput) {
  // Alone, and with UNIX_COMMAND: 1, under which a run that found no JVM
  // fails.
  for (const char* setting : {"", "UNIX_COMMAND: 1\n"}) {
    SCOPED_TRACE(setting);
    std::string quiet =
        launcher(setting[0] ? "quiet-unix" : "quiet", std::string("CONSOLE_UI: 0\n") + setting);
    ProcessResult r = run(quiet, {"x"}, env("", dir.file("fake")));
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(0u, r.out.find("fakejava\n")) << r.out;
    EXPECT_EQ("", r.err);
    // What was asked for is printed; errors go to standard error.
    r = run(quiet, {"-bv:version"}, env());
    EXPECT_EQ("2.51\n", r.out);
    r = run(quiet, {}, env());
    EXPECT_EQ(setting[0] ? 1 : 0, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(0u, r.err.find(setting[0] ? "No suitable Java was found." : "A suitable JVM could not be found."))
        << r.err;
  }
  // Without the setting the status display is there, as before.
  ProcessResult r = run(launcher("loud", ""), {"x"}, env("", dir.file("fake")));
  EXPECT_EQ(0u, r.out.find("Test Setup\n\nInitializing Test Setup...\n")) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(E2eLauncherSettingsTest, BvOptionsOnlyLeavesTheShortFormsToTheApplicationAndEndsAtDoubleDash) {
  std::string strict = launcher("strict", "BV_OPTIONS_ONLY: 1\n");
  std::string plain = launcher("plain", "");
  std::string log = dir.file("run.log");
  struct Case {
    const char* name;
    std::string launcher;
    std::vector<std::string> args, expected;
  } cases[] = {
      {"short forms are arguments", strict,
       {"-silent", "-console", "-cp:p", "x.jar", "-cp:a", "y.jar", "a b"},
       {"-silent", "-console", "-cp:p", "x.jar", "-cp:a", "y.jar", "a b"}},
      {"-- ends the options and goes", strict,
       {"-bv:javaconsole", "in", "--", "-bv:log", log, "--", "-bv:help", ""},
       {"in", "-bv:log", log, "--", "-bv:help", ""}},
      {"-bv: options act anywhere before --", strict, {"a", "-bv:silent", "b"}, {"a", "b"}},
      {"the format's rule: short forms act, -- is an argument", plain,
       {"-silent", "-cp:p", "x.jar", "--", "-console", "z"},
       {"-silent", "--", "-console", "z"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    removeTree(log);
    ProcessResult r = run(c.launcher, c.args, env("", dir.file("fake")));
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(c.expected, applicationArguments(r.out)) << r.out;
    EXPECT_FALSE(pathExists(log));
  }
  // -bv:help after -- is the application's; before it, the launcher's.
  ProcessResult r = run(strict, {"--", "-bv:help"}, env("", dir.file("fake")));
  EXPECT_NE(std::string::npos, r.out.find("arg=-bv:help")) << r.out;
  r = run(strict, {"-bv:help", "--"}, env());
  EXPECT_EQ(0, r.status);
  EXPECT_NE(std::string::npos, r.out.find("\n  --                   end of the launcher's options")) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("\n  -silent")) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("\n  -cp:p")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("\n  -bv:cp:p PATH")) << r.out;
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(E2eLauncherSettingsTest, BvCpOptionsPutEntriesAroundTheEmbeddedArchives) {
  for (const char* settings : {"", "BV_OPTIONS_ONLY: 1\n"}) {
    SCOPED_TRACE(settings);
    std::string setup = launcher(std::string("cp") + (settings[0] ? "1" : "0"), settings);
    ProcessResult r = run(setup, {"-bv:cp:p", "/first.jar", "-bv:cp:a", "/last.jar", "x"},
                          env("", dir.file("fake")));
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(std::vector<std::string>{"x"}, applicationArguments(r.out)) << r.out;
    size_t cp = r.out.find("arg=/first.jar:");
    ASSERT_NE(std::string::npos, cp) << r.out;
    std::string value = r.out.substr(cp, r.out.find('\n', cp) - cp);
    EXPECT_NE(std::string::npos, value.find("/PrintArgs.jar:/last.jar")) << value;
  }
}

TEST_F(E2eLauncherSettingsTest, UseTmpdirTakesTmpdirWithTheChecksOfTempdir) {
  std::string withTmpdir = launcher("tmpdir", "USE_TMPDIR: 1\n");
  std::string mine = dir.file("my-tmp");
  mkdir(mine.c_str(), 0700);
  std::string open = dir.file("open-tmp");
  mkdir(open.c_str(), 0700);
  chmod(open.c_str(), 0777);  // writable by all, not sticky
  std::vector<std::string> environment = env("", dir.file("fake"));
  auto withVar = [&](const std::string& tmpdir) {
    std::vector<std::string> e = environment;
    e.push_back("TMPDIR=" + tmpdir);
    return e;
  };
  struct Case {
    const char* name;
    std::string launcher;
    std::vector<std::string> args, environment;
    std::string tempDir, warning;
  } cases[] = {
      {"TMPDIR is used", withTmpdir, {}, withVar(mine), mine, ""},
      {"-bv:tempdir wins, without a word about TMPDIR", withTmpdir, {"-bv:tempdir", temp},
       withVar(dir.file("gone")), temp, ""},
      {"a TMPDIR that does not exist", withTmpdir, {}, withVar(dir.file("gone")), "/var/tmp/",
       "Ignoring TMPDIR: Cannot use " + dir.file("gone") + " as the temp directory because it does not exist.\n"},
      {"a TMPDIR that others may change", withTmpdir, {}, withVar(open), "/var/tmp/",
       "Ignoring TMPDIR: " + open +
           " cannot be the temporary directory: other users may write to it and it is not sticky.\n"},
      {"no TMPDIR", withTmpdir, {}, environment, "/var/tmp/", ""},
      {"without the setting TMPDIR is not read", launcher("plain", ""), {}, withVar(mine), "/var/tmp/",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessResult r = runPlain(c.launcher, c.args, c.environment);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(c.tempDir, tempDirOf(r.out)) << r.out;
    EXPECT_EQ(c.warning, r.err);
  }
  EXPECT_TRUE(listDir(mine).empty());
  EXPECT_TRUE(listDir(open).empty());
}

}  // namespace
}  // namespace bvtest
