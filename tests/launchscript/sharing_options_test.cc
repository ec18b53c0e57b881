// %CDS_OPTIONS%(): the words of the finished command go to the
// ClassDataSharing object, and its options take the mark's place, each one
// word, only where the mark stands as a word of its own outside quotes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launchscript/class_data_sharing.h"
#include "tests/launchscript/launch_script_fixture.h"

namespace bvtest {
namespace {

// Records what it was asked and gives fixed options.
class RecordingSharing : public ClassDataSharing {
 public:
  std::vector<std::string> optionsFor(const std::vector<std::string>& words,
                                      const std::string& workingDirectory) override {
    ++asked;
    this->words = words;
    directory = workingDirectory;
    return options;
  }
  void commandEnded(long exitCode) override { ended.push_back(exitCode); }

  std::vector<std::string> options = {"-XX:SharedArchiveFile=/c/it's here.jsa", "-Xlog:cds*=off"};
  int asked = 0;
  std::vector<std::string> words;
  std::string directory;
  std::vector<long> ended;
};

// Prints each argument on a line of its own and exits with 4.
const char* const kFakeJava = "#!/bin/sh\nfor a in \"$@\"; do printf 'arg=<%s>\\n' \"$a\"; done\nexit 4\n";

class SharingOptionsTest : public LaunchScriptTest {
 protected:
  void SetUp() override {
    LaunchScriptTest::SetUp();
    m_home = m_dir.file("jdk");
    ASSERT_EQ(0, runShell("mkdir -p '" + m_home + "/bin'"));
    writeFile(m_home + "/bin/java", kFakeJava, 0755);
    loadJVMFile(exampleJVMFile() + "JVM_HOME: " + m_home + "\n");
  }

  // The arguments that the fake java received, one "arg=<...>" line each.
  std::string run(const std::string& command, RecordingSharing* sharing) {
    LaunchScript script(SString(command.c_str()), true, false, context());
    StringDeque extra;
    extra.push_back("user arg");
    EXPECT_EQ(4, script.execute(*m_jvmFile, &extra, false, sharing));
    return script.getStdOut().c_str();
  }

  std::string m_home;
};

TEST_F(SharingOptionsTest, TheOptionsTakeTheMarksPlaceEachAsOneWord) {
  RecordingSharing sharing;
  std::string out = run("\"@JVM_HOME@/@JVM_EXE@\" -Xss2m %CDS_OPTIONS%() -cp \"/app dir/a.jar\" Main", &sharing);
  EXPECT_EQ(
      "arg=<-Xss2m>\narg=<-XX:SharedArchiveFile=/c/it's here.jsa>\narg=<-Xlog:cds*=off>\narg=<-cp>\n"
      "arg=</app dir/a.jar>\narg=<Main>\narg=<user arg>\n",
      out);
  EXPECT_EQ(1, sharing.asked);
  // The words as the program receives them, without the options asked for.
  EXPECT_EQ((std::vector<std::string>{m_home + "/bin/java", "-Xss2m", "-cp", "/app dir/a.jar", "Main",
                                      "user arg"}),
            sharing.words);
  EXPECT_EQ(m_dir.path(), sharing.directory);
  EXPECT_EQ(std::vector<long>{4}, sharing.ended);

  // No options: nothing in their place; without a ClassDataSharing either.
  sharing.options.clear();
  EXPECT_EQ("arg=<-cp>\narg=<a.jar>\narg=<Main>\narg=<user arg>\n",
            run("\"@JVM_HOME@/@JVM_EXE@\" %CDS_OPTIONS%() -cp a.jar Main", &sharing));
  EXPECT_EQ("arg=<-cp>\narg=<a.jar>\narg=<Main>\narg=<user arg>\n",
            run("\"@JVM_HOME@/@JVM_EXE@\" %CDS_OPTIONS%() -cp a.jar Main", nullptr));
}

TEST_F(SharingOptionsTest, AMarkInsideQuotesTwiceOrInACommandForTheShellGetsNothing) {
  struct Case {
    const char* command;
    const char* out;
  } cases[] = {
      {"\"@JVM_HOME@/@JVM_EXE@\" \"%CDS_OPTIONS%()\" Main", "arg=<>\narg=<Main>\narg=<user arg>\n"},
      {"\"@JVM_HOME@/@JVM_EXE@\" '-X%CDS_OPTIONS%()' Main", "arg=<-X>\narg=<Main>\narg=<user arg>\n"},
      {"\"@JVM_HOME@/@JVM_EXE@\" -X%CDS_OPTIONS%() Main", "arg=<-X>\narg=<Main>\narg=<user arg>\n"},
      {"\"@JVM_HOME@/@JVM_EXE@\" %CDS_OPTIONS%() %CDS_OPTIONS%() Main", "arg=<Main>\narg=<user arg>\n"},
      {"X=1 \"@JVM_HOME@/@JVM_EXE@\" %CDS_OPTIONS%() Main", "arg=<Main>\narg=<user arg>\n"},
      {"\"@JVM_HOME@/@JVM_EXE@\" %CDS_OPTIONS%() \"$BV_NOT_SET\"x Main", "arg=<x>\narg=<Main>\narg=<user arg>\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    RecordingSharing sharing;
    std::string out = run(c.command, &sharing);
    EXPECT_EQ(c.out, out);
    EXPECT_EQ(0, sharing.asked);
  }
  EXPECT_NE(std::string::npos, log().find("Class-data sharing: none, since %CDS_OPTIONS%() does not stand"));
  EXPECT_NE(std::string::npos, log().find("Class-data sharing: none, since the command is not one program"));
}

}  // namespace
}  // namespace bvtest
