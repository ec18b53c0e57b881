// -bv:help: the launcher's own options and exit statuses, printed before
// any other option acts; nothing runs.
#include <gtest/gtest.h>

#include <string>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/test_util.h"

namespace {

TEST(LauncherHelpTest, HelpListsEveryOptionAndExitStatusAndRunsNothing) {
  bvtest::TempDir dir;
  // A launcher whose script would fail at once if it ran.
  bvtest::writeFile(dir.file("script.tag"), "INSTRUCTIONS:\n  LAUNCH nowhere.jvm 0\n/:\n");
  bvtest::writeFile(dir.file("launch.tag"), "COMMAND: true\n");
  ASSERT_EQ(0, bvtest::runBvpack({"-o", dir.file("l"), "instructions:" + dir.file("script.tag"),
                                  "launch-script:" + dir.file("launch.tag")}));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-bv:help"}, {"x", "-bv:in", dir.file("missing.tag"), "-bv:help"},
        {"-bv:extract", "-bv:help"}}) {
    std::vector<std::string> argv = {dir.file("l")};
    argv.insert(argv.end(), args.begin(), args.end());
    bvtest::ProcessResult r = bvtest::runProcess(argv, {"LANG=de_DE"}, "", dir.path());
    EXPECT_EQ(0, r.status) << r.out << r.err;
    for (const char* option : {"-bv:help", "-bv:javahome DIR", "-bv:log FILE", "-bv:tempdir DIR", "-bv:silent",
                               "-silent ", "-bv:javaconsole", "-console ", "-cp:p PATH", "-cp:a PATH",
                               "-bv:cp:p PATH", "-bv:cp:a PATH",
                               "-bv:extract", "-bv:in FILE", "-bv:version", "-bv:orig FILE"}) {
      EXPECT_NE(std::string::npos, r.out.find("\n  " + std::string(option))) << option;
    }
    for (const char* status : {"the application's own", "1 when no", "255 when the launcher failed",
                               "128+n"}) {
      EXPECT_NE(std::string::npos, r.out.find(status)) << status;
    }
    // Nothing ran: no extraction, no input-file message, no script error.
    EXPECT_EQ((std::vector<std::string>{"l", "launch.tag", "script.tag"}), bvtest::listDir(dir.path()));
    EXPECT_EQ(std::string::npos, r.out.find("Could not load")) << r.out;
  }
  // As the value of an option it is that value; --help is the application's.
  bvtest::ProcessResult r = bvtest::runProcess({dir.file("l"), "-bv:log", "-bv:help", "--help"}, {}, "", dir.path());
  EXPECT_EQ(255, r.status) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("Unable to load input file: nowhere.jvm")) << r.out;
  EXPECT_NE(std::string::npos, bvtest::readFile(dir.file("-bv:help")).find("nowhere.jvm"));
}

}  // namespace
