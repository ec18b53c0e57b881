// The JVM file's settings for the search, in whole runs with fake JVM
// homes: PLATFORM (a file for another system takes no part), SEARCH_ORDER
// (the order of the hint searches) and PLATFORM_HINT_WARNING (a home named
// by a variable that does not do is reported on standard error).
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

std::string systemName() {
  struct utsname names;
  return uname(&names) == 0 ? names.sysname : "";
}

// A JVM file like jvmFileText's, with path hints, a search order, a
// platform and the warning flag as given (empty: left out).
std::string jvmFile(const std::string& desc, const std::string& pathHint, const std::string& order,
                    const std::string& platform, bool warning) {
  std::string text = "DESC: " + desc +
                     "\nJVM_EXE: bin/java\nPLATFORM_HINT:\n  JAVA_HOME\n/:\n"
                     "JVM_PROPERTIES:\n  os.name=Linux\n/:\n"
                     "CLASSPATH: \"-cp \"\nCLASSPATH_SEPARATOR: :\nSYSTEM: -D\nSYSTEM_SEPARATOR: =\n";
  if (!pathHint.empty()) text += "PATH_HINT: " + pathHint + "\n";
  if (!order.empty()) text += "SEARCH_ORDER:\n" + order + "/:\n";
  if (!platform.empty()) text += "PLATFORM:\n" + platform + "/:\n";
  if (warning) text += "PLATFORM_HINT_WARNING: 1\n";
  return text;
}

class E2eSearchSettingsTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    for (const char* name : {"env", "hint", "path"}) writeFakeJvm(dir.file(name));
    writeFakeJvm(dir.file("windows"), "Windows 11");
  }
  // A launcher of the typical script with UNIX_COMMAND: 1 (one "Searching
  // for" line per JVM file, the diagnostics on standard error, exit 1 when
  // nothing is found) with the given JVM files, in order.
  std::string launcher(const std::vector<std::string>& jvmFiles) {
    std::vector<std::string> entries = {"instructions:" + typicalUnixScriptPath(),
                                        "verify-jar:" + javaBuildPath("Verify.jar"),
                                        "launch-script:" + write("launch.tag", launchScriptText(true))};
    for (size_t i = 0; i < jvmFiles.size(); ++i) {
      entries.push_back("jvm:" + write("jvm" + std::to_string(i) + ".tag", jvmFiles[i]));
    }
    return pack("setup", entries);
  }
  // The JAVA_HOME the fake application saw, or "" when none ran.
  static std::string launchedHome(const ProcessResult& r) {
    for (const std::string& line : splitLines(r.out)) {
      if (line.compare(0, 10, "JAVA_HOME=") == 0) return line.substr(10);
    }
    return "";
  }
};

TEST_F(E2eSearchSettingsTest, AFileForAnotherSystemTakesNoPart) {
  std::string here = systemName();
  ASSERT_FALSE(here.empty());
  std::string setup = launcher({jvmFile("Other", dir.file("hint"), "", "  Plan9\n  Amiga\n", false),
                                jvmFile("Here", "", "", "  Plan9\n  " + here + "\n", false)});
  std::string log = dir.file("run.log");
  ProcessResult r = run(setup, {"-bv:log", log}, env(dir.file("path/bin"), dir.file("env")));
  EXPECT_EQ(0, r.status) << r.out << r.err;
  // The first file would have taken JAVA_HOME; it is not searched at all.
  EXPECT_EQ(dir.file("env"), launchedHome(r)) << r.out;
  std::vector<std::string> lines = splitLines(r.out);
  EXPECT_EQ(0, std::count(lines.begin(), lines.end(), "Searching for Other")) << r.out;
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "Searching for Here")) << r.out;
  EXPECT_NE(std::string::npos, readFile(log).find("Skipping the JVM file jvm0.tag: it is for another system than " + here))
      << readFile(log);

  // Nothing found: the diagnostics name only the file that was searched.
  r = run(setup, {}, env());
  EXPECT_EQ(1, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.err.find("\n  Here (bin/java)")) << r.err;
  EXPECT_EQ(std::string::npos, r.err.find("Other")) << r.err;
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(E2eSearchSettingsTest, SearchOrderSetsTheOrderOfTheHintSearches) {
  struct Case {
    const char* name;
    std::string order, expected;  // order: the block's lines; expected: the home run
  } cases[] = {
      {"default: JAVA_HOME, path hints, PATH", "", dir.file("env")},
      // The home of the PATH folder path/bin is "path/", kept as written.
      {"PATH first", "  PATH\n  PLATFORM_HINT\n  PATH_HINT\n", dir.file("path/")},
      {"path hints first", "  PATH_HINT\n  PATH\n", dir.file("hint")},
      {"an unknown search is skipped", "  NETWORK\n  PATH\n", dir.file("path/")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string setup = launcher({jvmFile("Test JVM", dir.file("hint"), c.order, "", false)});
    std::string log = dir.file("run.log");
    removeTree(log);
    ProcessResult r = run(setup, {"-bv:log", log}, env(dir.file("path/bin"), dir.file("env")));
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(c.expected, launchedHome(r)) << r.out;
    if (c.order.find("NETWORK") != std::string::npos) {
      EXPECT_NE(std::string::npos, readFile(log).find("WARNING: Invalid SEARCH_ORDER value (NETWORK) in JVM File jvm0.tag"))
          << readFile(log);
    }
  }
  // A search that the block leaves out is not made: only PATH_HINT here.
  std::string setup = launcher({jvmFile("Test JVM", dir.file("nothing"), "  PATH_HINT\n", "", false)});
  ProcessResult r = run(setup, {}, env(dir.file("path/bin"), dir.file("env")));
  EXPECT_EQ(1, r.status) << r.out << r.err;
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(E2eSearchSettingsTest, AnUnusableHomeOfAPlatformHintIsReportedAndTheSearchGoesOn) {
  std::string warned = launcher({jvmFile("Test JVM", "", "", "", true)});
  struct Case {
    const char* name;
    std::string javaHome, warning;  // warning: "" for none
  } cases[] = {
      {"missing folder", dir.file("gone"),
       "The Java home in JAVA_HOME, " + dir.file("gone") + ", cannot be used: it does not exist"},
      {"folder without java", dir.file("hint/bin"),
       "The Java home in JAVA_HOME, " + dir.file("hint/bin") + ", cannot be used: it holds no bin/java"},
      {"Java of the wrong kind", dir.file("windows"),
       "The Java home in JAVA_HOME, " + dir.file("windows") +
           ", cannot be used: property os.name is \"Windows 11\", not \"Linux\""},
      {"a usable home", dir.file("env"), ""},
  };
  for (const Case& c : cases) {
    for (bool silent : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (silent ? " silent" : ""));
      std::vector<std::string> args;
      if (silent) args.push_back("-bv:silent");
      ProcessResult r = run(warned, args, env(dir.file("path/bin"), c.javaHome));
      EXPECT_EQ(0, r.status) << r.out << r.err;
      // The PATH folder path/bin gives the home "path/", kept as written.
      EXPECT_EQ(c.warning.empty() ? c.javaHome : dir.file("path/"), launchedHome(r)) << r.out;
      EXPECT_EQ(c.warning.empty() ? "" : c.warning + "\n", r.err);
    }
  }
  // Nothing found: the warning, then the not-found message.
  ProcessResult r = run(warned, {}, env("", dir.file("gone")));
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(0u, r.err.find("The Java home in JAVA_HOME, " + dir.file("gone") +
                           ", cannot be used: it does not exist\nNo suitable Java was found."))
      << r.err;
  // Without the flag the search says nothing about it.
  std::string quiet = launcher({jvmFile("Test JVM", "", "", "", false)});
  r = run(quiet, {}, env(dir.file("path/bin"), dir.file("gone")));
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);
  EXPECT_TRUE(leftInTemp().empty());
}

}  // namespace
}  // namespace bvtest
