#include "tagfile/tag_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "tests/test_util.h"

namespace {

using Values = std::vector<std::string>;

std::string str(const SString& s) { return std::string(s.data(), s.length()); }

Values valuesOf(const TagFile& tags, const char* tag) {
  Values out;
  for (long i = 0; i < tags.getTagValueCount(tag); ++i) {
    out.push_back(str(tags.getTagValue(tag, static_cast<unsigned long>(i))));
  }
  return out;
}

std::vector<std::string> keysOf(const TagFile& tags) {
  std::vector<std::string> out;
  for (long i = 0; i < tags.getEntries().size(); ++i) {
    out.push_back(str(tags.getEntries().at(i)->getKey()));
  }
  return out;
}

class TagFileTest : public ::testing::Test {
 protected:
  void SetUp() override { resetLog(); }
  void TearDown() override { resetLog(); }

  // Writes text to a file in the temp dir and loads it whole under name.
  void load(TagFile& tags, const std::string& text, const char* name = "test.tag") {
    std::string path = dir.file("in.tag");
    bvtest::writeFile(path, text);
    FILE* file = fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, file);
    try {
      tags.load(file, name, 0, -1);
    } catch (...) {
      fclose(file);
      throw;
    }
    fclose(file);
  }

  bvtest::TempDir dir;
};

TEST_F(TagFileTest, EachLineGivesItsTagAndValues) {
  struct Case {
    std::string text;
    const char* tag;
    Values values;
  } cases[] = {
      {"CLASSPATH: \"-cp \"\n", "CLASSPATH", {"-cp "}},
      {"CLASSPATH_SEPARATOR: :\n", "CLASSPATH_SEPARATOR", {":"}},
      {"VERBOSE_GC: -verbose:gc\n", "VERBOSE_GC", {"-verbose:gc"}},
      {"SYSTEM:  -D\n", "SYSTEM", {"-D"}},
      {"PATH_HINT:\n    /Library/Java/Home/\n\t/opt/jdk\n/:\n", "PATH_HINT",
       {"/Library/Java/Home/", "/opt/jdk"}},
      {"JVM_PROPERTIES:\n  \"java.vendor=Apple...\"\n  \"java.vm.version=1.4...\"\n/:\n",
       "JVM_PROPERTIES", {"java.vendor=Apple...", "java.vm.version=1.4..."}},
      // Carriage returns vanish wherever they stand; the last line needs no feed.
      {"DE\rSC: a\rb \r\n", "DESC", {"ab"}},
      {"DESC: last line", "DESC", {"last line"}},
      // Names are trimmed, may hold blanks, may be empty; later colons are value.
      {"  TWO WORDS  :  x:y:z  \n", "TWO WORDS", {"x:y:z"}},
      {": nameless\n", "", {"nameless"}},
      // Inner double quotes of a bare value stay; text after a closing quote goes.
      {"A: say \"hi\"\n", "A", {"say \"hi\""}},
      {"A: \"  padded \"\" \" trailing text\n", "A", {"  padded \" "}},
      {"A: \"\"\n", "A", {""}},
      // Blocks: quoted lines, empty lines and quoted empty lines, labels.
      {"B:\n  \"  x \"\n\n  \"\"\n  :DO_FIND_ELSE\n  \"a\" tail\n/:\n", "B",
       {"  x ", ":DO_FIND_ELSE", "a"}},
      {"B:\n  one\n  \"/:\"\n", "B", {"one"}},
      {"B:\n  /:x\n /: \n", "B", {"/:x"}},
      {"B:\n/:\n", "B", {}},
      {"/:\n  v\n/:\n", "/", {"v"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TagFile tags;
    load(tags, c.text);
    EXPECT_TRUE(tags.isLoaded());
    EXPECT_EQ(c.values, valuesOf(tags, c.tag));
    EXPECT_EQ(c.values.empty() ? 0u : 1u, keysOf(tags).size());
  }
}

TEST_F(TagFileTest, CrLfAndLfReadAlike) {
  std::string lf = "A: 1\n\nB:\n  x\n  \"y \"\n/:\nC: \"q\"\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  TagFile a, b;
  load(a, lf);
  load(b, crlf);
  EXPECT_EQ(keysOf(a), keysOf(b));
  for (const char* tag : {"A", "B", "C"}) EXPECT_EQ(valuesOf(a, tag), valuesOf(b, tag));
  EXPECT_EQ((Values{"x", "y "}), valuesOf(b, "B"));
}

TEST_F(TagFileTest, LastOccurrenceWinsAndMovesToTheEnd) {
  TagFile tags;
  load(tags, "A: 1\nB:\n  b1\n  b2\n/:\nC: 3\nB: again\n");
  EXPECT_EQ((std::vector<std::string>{"A", "C", "B"}), keysOf(tags));
  EXPECT_EQ((Values{"again"}), valuesOf(tags, "B"));

  // A second load merges: tags read again are replaced, the others stay,
  // and an empty block removes the tag.
  load(tags, "A:\n  x\n  y\n/:\nC:\n/:\nD: 4\n", "second.tag");
  EXPECT_EQ((std::vector<std::string>{"B", "A", "D"}), keysOf(tags));
  EXPECT_EQ((Values{"x", "y"}), valuesOf(tags, "A"));
  EXPECT_EQ(0, tags.getTagValueCount("C"));
  EXPECT_EQ("second.tag", str(tags.getName()));
}

TEST_F(TagFileTest, SyntaxErrorsNameTheFileAndLineAndAreLogged) {
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"no colon here\n", "Syntax error in test.tag at line 1 ==> Missing colon at the end of the tag name."},
      {"A: 1\n\n\r\n  \nnope\n", "Syntax error in test.tag at line 5 ==> Missing colon at the end of the tag name."},
      {"A: 1\n\nB:\n  x\n\n  y\n", "Syntax error in test.tag at line 3 ==> Missing /: tag completer."},
      {"A:\n", "Syntax error in test.tag at line 1 ==> Missing /: tag completer."},
      // Unclosed quotes: the parser's message alone, with no file or line.
      {"A: \"open\n", "Expected double quote to end argument near 4"},
      {"A:\n  \"open\n/:\n", "Expected double quote to end argument near 1"},
      {"A: \"ends in a pair\"\"\n", "Expected double quote to end argument near -1"},
      // One byte past the longest line.
      {"A: 1\nB: " + std::string(maxTagFileLineLength - 2, 'x') + "\n",
       "Syntax error in test.tag at line 2 ==> Line too long."},
  };
  std::string log = dir.file("run.log");
  setLogFileName(log.c_str());
  std::string expectedLog = "------------------\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TagFile tags;
    EXPECT_EQ(c.message, bvtest::launcherErrorOf([&] { load(tags, c.text); }));
    EXPECT_FALSE(tags.isLoaded());
    if (c.message.rfind("Syntax error", 0) == 0) expectedLog += "ERROR: " + c.message + "\n";
  }
  EXPECT_EQ(expectedLog, bvtest::readFile(log));
}

TEST_F(TagFileTest, AFailedLoadKeepsWhatItStoredAndTheLoadedFlag) {
  TagFile tags;
  load(tags, "A: 1\n");
  EXPECT_TRUE(tags.isLoaded());
  TagFile fresh;
  EXPECT_NE("(no exception)", bvtest::launcherErrorOf([&] { load(fresh, "B: 2\nC:\n  3\n"); }));
  EXPECT_FALSE(fresh.isLoaded());
  EXPECT_EQ((Values{"2"}), valuesOf(fresh, "B"));
  EXPECT_EQ((Values{"3"}), valuesOf(fresh, "C"));
  EXPECT_NE("(no exception)", bvtest::launcherErrorOf([&] { load(tags, "bad\n"); }));
  EXPECT_TRUE(tags.isLoaded());
}

TEST_F(TagFileTest, FilesThatCannotBeReadAreReported) {
  std::string missing = dir.file("missing.tag");
  EXPECT_EQ("Unable to load input file: " + missing,
            bvtest::launcherErrorOf([&] { TagFile tags(SString(missing.c_str())); }));
  // A directory opens but cannot be read: an error, not an endless loop.
  EXPECT_EQ("Unable to read tag file.", bvtest::launcherErrorOf([&] { TagFile tags(SString(dir.path().c_str())); }));
  // A device that never ends a line: an error, not all memory.
  EXPECT_EQ("Syntax error in /dev/zero at line 1 ==> Line too long.",
            bvtest::launcherErrorOf([&] { TagFile tags(SString("/dev/zero")); }));
  // The longest line, carriage returns not counted, still loads.
  TagFile longest;
  load(longest, "A: " + std::string(maxTagFileLineLength - 3, 'x') + "\r\r\n");
  EXPECT_EQ(maxTagFileLineLength - 3, str(longest.getTagValue("A", 0)).size());

  std::string path = dir.file("ok.tag");
  bvtest::writeFile(path, "A: 1\n");
  FILE* file = fopen(path.c_str(), "rb");
  ASSERT_NE(nullptr, file);
  TagFile tags;
  EXPECT_EQ("Unable to read tag file.", bvtest::launcherErrorOf([&] { tags.load(file, "ok.tag", -5, -1); }));
  fclose(file);

  TagFile byName(SString(path.c_str()));
  EXPECT_TRUE(byName.isLoaded());
  EXPECT_EQ(path, str(byName.getName()));
  EXPECT_EQ((Values{"1"}), valuesOf(byName, "A"));
}

TEST_F(TagFileTest, EmbeddedStretchStopsAfterItsLastLine) {
  std::string head = std::string("\x7f" "ELF\0\0binary image\n", 20);
  std::string embedded = "DESC: inner\r\nLIST:\r\n  a\r\n/:\r\n";
  std::string tail = std::string("\xCA\x82 more: bytes\nZ: after\n");
  std::string path = dir.file("launcher");
  bvtest::writeFile(path, head + embedded + tail);

  FILE* file = fopen(path.c_str(), "rb");
  ASSERT_NE(nullptr, file);
  TagFile tags;
  tags.load(file, "instructions.txt", static_cast<long>(head.size()),
            static_cast<long>(embedded.size()));
  EXPECT_EQ((std::vector<std::string>{"DESC", "LIST"}), keysOf(tags));
  EXPECT_EQ((Values{"a"}), valuesOf(tags, "LIST"));

  // A block runs past the stretch to its terminator; a begun line runs to
  // its line feed.
  std::string text = "A:\n  x\n/:\nB: no feed";
  bvtest::writeFile(path, head + text + "-and more\nC: 3\n");
  TagFile cut;
  FILE* again = fopen(path.c_str(), "rb");
  cut.load(again, "cut", static_cast<long>(head.size()), 2);
  EXPECT_EQ((std::vector<std::string>{"A"}), keysOf(cut));
  rewind(again);
  TagFile runOn;
  runOn.load(again, "run-on", static_cast<long>(head.size()), static_cast<long>(text.size()));
  EXPECT_EQ((Values{"no feed-and more"}), valuesOf(runOn, "B"));
  EXPECT_EQ(0, runOn.getTagValueCount("C"));
  fclose(again);

  // Line numbers count from the stretch's first line.
  bvtest::writeFile(path, head + "A: 1\n\nbroken\n");
  TagFile bad;
  FILE* third = fopen(path.c_str(), "rb");
  EXPECT_EQ("Syntax error in launch.txt at line 3 ==> Missing colon at the end of the tag name.",
            bvtest::launcherErrorOf([&] { bad.load(third, "launch.txt", static_cast<long>(head.size()), 20); }));
  fclose(third);
  fclose(file);
}

TEST_F(TagFileTest, QueriesOfAbsentTagsAndIndexes) {
  TagFile tags;
  load(tags, "L:\n  a\n  b\n/:\n");
  EXPECT_EQ("b", str(tags.getTagValue("L", 1)));
  EXPECT_EQ("", str(tags.getTagValue("L", 2)));
  EXPECT_EQ("", str(tags.getTagValue("L", SString::npos)));
  EXPECT_EQ("", str(tags.getTagValue("l", 0)));  // names are case-sensitive
  EXPECT_EQ(0, tags.getTagValueCount("NONE"));
  EXPECT_EQ(nullptr, tags.getValue("NONE"));
  ASSERT_NE(nullptr, tags.getValue("L"));
  EXPECT_EQ(2, tags.getValue("L")->size());
}

TEST_F(TagFileTest, BoolValuesReadAShortFromTheStart) {
  struct Case {
    const char* text;
    bool withFalseDefault;
    bool withTrueDefault;
  } cases[] = {
      {"F: 0\n", false, false},      {"F: 2\n", true, true},       {"F: 1abc\n", true, true},
      {"F: -1\n", true, true},       {"F: true\n", false, true},   {"F: \"\"\n", false, true},
      {"G: 1\n", false, true},       {"F: \" 0\"\n", false, false}, {"F: 65536\n", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TagFile tags;
    load(tags, c.text);
    EXPECT_EQ(c.withFalseDefault, tags.getBoolTagValue("F", false));
    EXPECT_EQ(c.withTrueDefault, tags.getBoolTagValue("F", true));
  }
}

TEST_F(TagFileTest, SetAppendAndRemove) {
  TagFile tags;
  load(tags, "A: 1\nB:\n  b1\n  b2\n/:\nC: 3\n");
  tags.setTagValue("B", "only");  // keeps its place
  tags.setTagValue("D", "new");   // goes to the end
  tags.appendTagValue("A", "2");
  tags.appendTagValue("E", "e");
  tags.setBoolTagValue("F", true);
  tags.setBoolTagValue("C", false);
  tags.removeValue("NONE");
  EXPECT_EQ((std::vector<std::string>{"A", "B", "C", "D", "E", "F"}), keysOf(tags));
  EXPECT_EQ((Values{"1", "2"}), valuesOf(tags, "A"));
  EXPECT_EQ((Values{"only"}), valuesOf(tags, "B"));
  EXPECT_EQ((Values{"0"}), valuesOf(tags, "C"));
  EXPECT_EQ((Values{"1"}), valuesOf(tags, "F"));
  tags.removeValue("B");
  tags.removeValue("B");
  EXPECT_EQ((std::vector<std::string>{"A", "C", "D", "E", "F"}), keysOf(tags));
  EXPECT_EQ(nullptr, tags.getValue("B"));
  tags.appendTagValue("B", "back");
  tags.removeValue("A");
  EXPECT_EQ((std::vector<std::string>{"C", "D", "E", "F", "B"}), keysOf(tags));
  EXPECT_EQ((Values{"back"}), valuesOf(tags, "B"));
  EXPECT_EQ(0, tags.getTagValueCount("A"));

  TagFile jvm;
  load(jvm, "JVM_TEMP: 1\nDESC: d\nJVM_HOME: /old\n");
  jvm.setDynamicJVMTags("/usr/lib/jvm/default-java", "/var/tmp/bvj1", false);
  EXPECT_EQ((std::vector<std::string>{"JVM_TEMP", "DESC", "JVM_HOME", "JVM_FILE"}), keysOf(jvm));
  EXPECT_EQ("/usr/lib/jvm/default-java", str(jvm.getTagValue("JVM_HOME", 0)));
  EXPECT_EQ("/var/tmp/bvj1", str(jvm.getTagValue("JVM_FILE", 0)));
  EXPECT_EQ("0", str(jvm.getTagValue("JVM_TEMP", 0)));
  TagFile fresh;
  fresh.setDynamicJVMTags("/h", "/f", true);
  EXPECT_EQ((std::vector<std::string>{"JVM_HOME", "JVM_FILE", "JVM_TEMP"}), keysOf(fresh));
  EXPECT_EQ("1", str(fresh.getTagValue("JVM_TEMP", 0)));

  // A line break in either path would inject tags into the written file.
  const char* const broken[][2] = {
      {"/h\nJVM_EXE: x", "/f"}, {"/h", "/t/x\nJVM_EXE:  $(touch m)/bvj1"}, {"/h\r", "/f"}};
  for (const auto& paths : broken) {
    SCOPED_TRACE(std::string(paths[0]) + " " + paths[1]);
    TagFile untouched;
    load(untouched, "JVM_EXE: bin/java\n");
    try {
      untouched.setDynamicJVMTags(paths[0], paths[1], true);
      ADD_FAILURE() << "no error";
    } catch (const LauncherException& e) {
      EXPECT_NE(std::string::npos, std::string(e.getMessage().c_str())
                                       .find("holds a line break, which a JVM file cannot hold."));
    }
    EXPECT_EQ((std::vector<std::string>{"JVM_EXE"}), keysOf(untouched));
  }
}

TEST_F(TagFileTest, WriteUsesBareOrQuotedValues) {
  TagFile tags;
  tags.setTagValue("DESC", "Java 8 or later");
  tags.setTagValue("CLASSPATH", "-cp ");
  tags.setTagValue("EMPTY", "");
  tags.setTagValue("QUOTE", "say \"hi\"");
  tags.setTagValue("PATH_HINT", "/a");
  tags.appendTagValue("PATH_HINT", "\t/b");
  tags.appendTagValue("PATH_HINT", "\"\"");
  tags.setTagValue("GONE", "x");
  tags.getValue("GONE")->clear();  // an entry without values is skipped
  std::string path = dir.file("out.tag");
  tags.write(path.c_str());
  EXPECT_EQ(
      "DESC:  Java 8 or later\n"
      "CLASSPATH:  \"-cp \"\n"
      "EMPTY:  \"\"\n"
      "QUOTE:  \"say \"\"hi\"\"\"\n"
      "PATH_HINT:\n"
      "  /a\n"
      "  \"\t/b\"\n"
      "  \"\"\"\"\"\"\n"
      "/:\n",
      bvtest::readFile(path));

  TagFile back(SString(path.c_str()));
  EXPECT_EQ((std::vector<std::string>{"DESC", "CLASSPATH", "EMPTY", "QUOTE", "PATH_HINT"}),
            keysOf(back));
  for (const char* tag : {"DESC", "CLASSPATH", "EMPTY", "QUOTE", "PATH_HINT"}) {
    SCOPED_TRACE(tag);
    EXPECT_EQ(valuesOf(tags, tag), valuesOf(back, tag));
  }

  // An unwritable path writes nothing and reports nothing.
  tags.write(dir.file("no/such/dir/x.tag").c_str());
  EXPECT_FALSE(bvtest::pathExists(dir.file("no")));
}

TEST_F(TagFileTest, WhatARoundTripDoesNotKeep) {
  struct Case {
    Values written;
    std::string file;
    Values readBack;
    std::string error;
  } cases[] = {
      // Empty values of a block are lost.
      {{"a", "", "b"}, "T:\n  a\n  \"\"\n  b\n/:\n", {"a", "b"}, ""},
      // A carriage return inside a value vanishes.
      {{"x\ry"}, "T:  x\ry\n", {"xy"}, ""},
      // A value "/:" ends the block early; the real terminator then opens a
      // block of its own that never ends.
      {{"a", "/:"}, "T:\n  a\n  /:\n/:\n", {"a"},
       "Syntax error in trip.tag at line 4 ==> Missing /: tag completer."},
      // A line feed splits the value over two lines, bare or quoted.
      {{"a\nb"}, "T:  a\nb\n", {"a"},
       "Syntax error in trip.tag at line 2 ==> Missing colon at the end of the tag name."},
      {{"a\nb "}, "T:  \"a\nb \"\n", {}, "Expected double quote to end argument near 5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TagFile tags;
    for (const std::string& v : c.written) tags.appendTagValue("T", SString(v.data(), v.size()));
    std::string path = dir.file("trip.tag");
    tags.write(path.c_str());
    EXPECT_EQ(c.file, bvtest::readFile(path));
    TagFile back;
    std::string error = bvtest::launcherErrorOf([&] { load(back, c.file, "trip.tag"); });
    EXPECT_EQ(c.error.empty() ? "(no exception)" : c.error, error);
    EXPECT_EQ(c.readBack, valuesOf(back, "T"));
  }
}

// The worked example (CR LF line ends), kept as a fixture.
TEST_F(TagFileTest, ClassicExampleFilesReadAsDocumented) {
  TagFile instructions(SString(bvtest::sourcePath("tests/fixtures/worked_example/instructions.tag").c_str()));
  EXPECT_EQ((std::vector<std::string>{"DESC", "INSTRUCTIONS"}), keysOf(instructions));
  EXPECT_EQ((Values{"INITIALIZE_UI", "FIND_JVM 1 1", "JMP0 @N1@ DO_FIND_ELSE", "LAUNCH @S2@ 5",
                    "GOTO DO_FIND_DONE", ":DO_FIND_ELSE", ":DO_FIND_DONE"}),
            valuesOf(instructions, "INSTRUCTIONS"));

  TagFile launch(SString(bvtest::sourcePath("tests/fixtures/worked_example/launch.tag").c_str()));
  EXPECT_EQ((std::vector<std::string>{"DESC", "DISPLAY_CONSOLE", "AUTO_SET_WORKING_DIR", "COMMAND"}),
            keysOf(launch));
  EXPECT_EQ("Brenvard Wizard", str(launch.getTagValue("DESC", 0)));
  EXPECT_FALSE(launch.getBoolTagValue("DISPLAY_CONSOLE", true));
  EXPECT_TRUE(launch.getBoolTagValue("AUTO_SET_WORKING_DIR", false));
  std::string command = str(launch.getTagValue("COMMAND", 0));
  EXPECT_EQ(0u, command.find("\"@JVM_HOME@/@JVM_EXE@\" %CP%(\"\"\".\"\"\", "));
  EXPECT_NE(std::string::npos, command.find("%SYSTEMPROP%(\"temp.dir\", \"\"\"%TEMP_DIR%()\"\"\")"));
  EXPECT_NE(std::string::npos, command.find("%IF_EXISTS%(\"INIT_JAVA_HEAP\", \"@INIT_JAVA_HEAP@20m\")"));
  EXPECT_EQ(command.size() - 4, command.rfind(" run"));

  TagFile jvm(SString(bvtest::sourcePath("tests/fixtures/worked_example/jvm-linux.tag").c_str()));
  std::vector<std::string> keys = keysOf(jvm);
  EXPECT_EQ(23u, keys.size());
  for (const std::string& key : keys) {
    SCOPED_TRACE(key);
    long expected = key == "PATH_HINT" || key == "JVM_PROPERTIES" ? 2 : 1;
    EXPECT_EQ(expected, jvm.getTagValueCount(key.c_str()));
  }
  EXPECT_EQ("-cp ", str(jvm.getTagValue("CLASSPATH", 0)));
  EXPECT_EQ("bin/java", str(jvm.getTagValue("JVM_EXE", 0)));
  EXPECT_FALSE(jvm.getBoolTagValue("SEARCH_ALL", true));

  // The files keep their CR LF line ends.
  std::string raw = bvtest::readFile(bvtest::sourcePath("tests/fixtures/worked_example/instructions.tag"));
  EXPECT_NE(std::string::npos, raw.find("INSTRUCTIONS:\r\n"));
  EXPECT_EQ("/:\r\n", raw.substr(raw.size() - 4));
}

}  // namespace
