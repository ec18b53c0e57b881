#include "jvm/jvm_file.h"

#include <signal.h>
#include <sys/resource.h>

#include <string>

#include <gtest/gtest.h>

#include "foundation/launcher_exception.h"
#include "jvm/jvm_match.h"
#include "jvm/string_pair.h"
#include "launchscript/shell_quoting.h"
#include "platform/platform_impl.h"
#include "tests/jvm/jvm_test_fixture.h"

namespace bvtest {
namespace {

const char* kVerifyClasspath = "\"/opt/bv/verify.jar\"";
const char* kVerifyClass = "\"Verify\"";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(JVMFileTest, MacrosTakeTagValues) {
  TagFile& tags = loadTagFile(std::string(kExampleJVMFile) +
                              "JVM_HOME: /opt/jdk\\\n"
                              "OTHER: C:\\\n"
                              "SELF: x@SELF@\n");
  JVMFile jvm(tags, context());
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"@JVM_HOME@/@JVM_EXE@", "/opt/jdk/bin/java"},  // one trailing backslash dropped,
      {"@OTHER@", "C:\\"},                             // in JVM_HOME only
      {"@MAX_JAVA_HEAP@60m", "-Xmx60m"},
      {"[@NO_SUCH_TAG@]", "[]"},
      {"a@@b", "a@b"},
      {"@PATH_HINT@", "/Library/Java/Home/"},          // value 0 of a list
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_STREQ(c.out, jvm.resolve(c.in).c_str());
  }
  EXPECT_STREQ("bin/java", jvm.getJVMExe().c_str());
  EXPECT_FALSE(jvm.isSearchAll());
  EXPECT_EQ(&tags, jvm.getTagFile());

  // A value holding its own macro is stopped.
  try {
    jvm.resolve("@SELF@");
    FAIL() << "no exception";
  } catch (const LauncherException& e) {
    EXPECT_TRUE(contains(e.getMessage().c_str(), "Launch script error: ")) << e.getMessage().c_str();
  }
}

TEST_F(JVMFileTest, OutputIsMatchedAgainstThePatterns) {
  TagFile& tags = loadTagFile(kExampleJVMFile);
  JVMFile jvm(tags, context());
  struct Case {
    const char* pattern1;
    const char* pattern2;
    const char* output;
    bool result;
  } cases[] = {
      {"Apple...", "1.4...", "1739021872\nApple Computer, Inc.\n1.4.2_07\n", true},
      {"Apple...", "1.4...", "1739021872\r\nApple Computer, Inc.\r\n1.4.2_07\r\n", true},
      {"Apple...", "1.4...", "1739021872\nApple Computer, Inc.\n1.5.0\n", false},
      {"Apple...", "1.4", "1739021872\nApple Computer, Inc.\n1.4\n", true},
      {"Apple...", "1.4", "1739021872\nApple Computer, Inc.\n1.4.2\n", false},
      {"Apple...", "1.4...", "1739021872\nApp\n1.4\n", false},  // shorter than the prefix
      {"...", "...", "1739021872\nanything\n\n", true},          // "..." accepts any line
      {"Apple...", "1.4...", "banner line\nanother\n1739021872\nApple\n1.4.1\n", true},
      {"Apple...", "1.4...", "1739021872\n", true},               // ends after the marker
      {"Apple...", "1.4...", "1739021872\nApple Computer, Inc.", true},  // second not reached
      {"Apple...", "1.4...", "1739021872\nSun\n", false},
      {"Apple...", "1.4...", "  1739021872  \n  Apple \n\t1.4.2\t\n", true},  // lines trimmed
      {"Apple...", "1.4...", "", false},
      {"Apple...", "1.4...", "Error: could not find class\n", false},
      {"Apple...", "1.4...", "17390218720\nApple\n1.4\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    StringPairPtrDeque expected;
    expected.push_back(new StringPair("java.vendor", c.pattern1));
    expected.push_back(new StringPair("java.vm.version", c.pattern2));
    EXPECT_EQ(c.result, jvm.verifyJVMOutput(c.output, expected));
  }
  // Without the marker: an error naming the last line read.
  EXPECT_TRUE(contains(log(), "ERROR: Invalid magic value: Error: could not find class\n"));
  EXPECT_TRUE(contains(log(), "ERROR: Invalid magic value: \n"));
}

TEST_F(JVMFileTest, ExampleFileGivesTheVerificationCommand) {
  TagFile& tags = loadTagFile(std::string(kExampleJVMFile) +
                              "JVM_PROPERTIES:\n"
                              "  java.vendor = Apple...\n"
                              "  no equals sign\n"
                              "  java.vm.version=1.4...\n"
                              "/:\n");
  JVMFile jvm(tags, context());
  // The home and the archive's path go in as values; flattened they read as
  // the command text.
  ShellValueScope values;
  StringPairPtrDeque expected;
  SString command = ShellValues::flatten(jvm.buildVerifyCommand(
      "/Library/Java/Home", kVerifyClasspath, kVerifyClass, expected));
  EXPECT_STREQ(
      "\"/Library/Java/Home/@JVM_EXE@\" %CP%(\"\"\"/opt/bv/verify.jar\"\"\") \"Verify\" "
      "java.vendor java.vm.version",
      command.c_str());
  ASSERT_EQ(2, expected.size());
  EXPECT_STREQ("java.vendor", expected.at(0)->getName().c_str());
  EXPECT_STREQ("Apple...", expected.at(0)->getValue().c_str());
  EXPECT_STREQ("java.vm.version", expected.at(1)->getName().c_str());
  EXPECT_STREQ("1.4...", expected.at(1)->getValue().c_str());
  EXPECT_TRUE(contains(log(), "WARNING: Invalid JVM_PROPERTIES setting (no equals sign) in JVM File "));

  // An unquoted classpath is put in as it is; a home with its separator gets
  // no second one.
  StringPairPtrDeque ignored;
  EXPECT_STREQ(
      "\"/jdk/@JVM_EXE@\" %CP%(plain) Verify java.vendor java.vm.version",
      ShellValues::flatten(jvm.buildVerifyCommand("/jdk/", "plain", "Verify", ignored)).c_str());
}

TEST_F(JVMFileTest, ExampleFileRunsTheDocumentedCommand) {
  TagFile& tags = loadTagFile(kExampleJVMFile);
  JVMFile jvm(tags, context());
  // No JVM there: the command runs, the shell fails, and the check fails.
  EXPECT_FALSE(jvm.performVerify("/Library/Java/Home", kVerifyClasspath, kVerifyClass));
  EXPECT_TRUE(contains(log(),
                       "Executing launch script command: \"/Library/Java/Home/bin/java\" -cp "
                       "\"/opt/bv/verify.jar\" \"Verify\" java.vendor java.vm.version in "))
      << log();
  EXPECT_STREQ("/Library/Java/Home", tags.getTagValue("JVM_HOME", 0).c_str());

  // The same command against a fake home, which records what it was given.
  std::string home = makeFakeHome(m_dir.file("Home"), "1739021872\nApple Computer, Inc.\n1.4.2_07\n");
  EXPECT_TRUE(jvm.performVerify(home.c_str(), kVerifyClasspath, kVerifyClass));
  EXPECT_EQ(home + "\n-cp\n/opt/bv/verify.jar\nVerify\njava.vendor\njava.vm.version\n",
            invoked(home));
  EXPECT_STREQ(home.c_str(), tags.getTagValue("JVM_HOME", 0).c_str());
}

// A check asks exactly the JVM file's properties; a Java that passes gets
// JVM_IDENTITY, and JVM_VERSION with what it printed when the file asked
// for java.specification.version. Both stay in memory: the completed file
// holds neither, and another candidate's tags never stay behind.
TEST_F(JVMFileTest, APassingCheckRecordsTheJavaVersionAndIdentity) {
  struct Case {
    const char* properties;
    const char* output;
    const char* arguments;  // the property names the Java was given
    const char* version;    // JVM_VERSION afterwards, "" for none
  } cases[] = {
      {"os.name=Linux", "1739021872\nLinux\n21\n", "os.name\n", ""},
      {"java.specification.version>=1.8", "1739021872\n1.8\n", "java.specification.version\n", "1.8"},
      {"java.specification.version=...", "1739021872\nnull\n", "java.specification.version\n", ""},
      {"os.name=Linux", "1739021872\nLinux\n", "os.name\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    TagFile& tags = loadTagFile(std::string("DESC: d\nJVM_EXE: bin/java\nCLASSPATH: \"-cp \"\nJVM_PROPERTIES: ") + c.properties +
                                "\nJVM_VERSION: 99\nJVM_IDENTITY: stale\n");
    JVMFile jvm(tags, context());
    std::string home = makeFakeHome(m_dir.file("jdk"), c.output);
    JVMMatch* match = jvm.verify(home.c_str(), kVerifyClasspath, kVerifyClass);
    ASSERT_NE(nullptr, match);
    EXPECT_EQ(home + "\n-cp\n/opt/bv/verify.jar\nVerify\n" + c.arguments, invoked(home));
    std::string written = match->writeNewJVMFile().c_str();
    EXPECT_STREQ(c.version, match->getJVMVersion().c_str());
    EXPECT_EQ(16u, match->getJVMIdentity().length());
    EXPECT_STREQ(c.version, tags.getTagValue("JVM_VERSION", 0).c_str());
    delete match;
    TagFile completed(written.c_str());
    EXPECT_EQ(0, completed.getTagValueCount("JVM_VERSION"));
    EXPECT_EQ(0, completed.getTagValueCount("JVM_IDENTITY"));
  }
}

TEST_F(JVMFileTest, FakeHomesFollowTheOutputRules) {
  TagFile& tags = loadTagFile(kExampleJVMFile);
  JVMFile jvm(tags, context());
  struct Case {
    const char* name;
    const char* output;
    bool matches;
  } cases[] = {
      {"banner", "Picked up _JAVA_OPTIONS: -Xmx1g\n1739021872\nApple Computer, Inc.\n1.4.2_07\n",
       true},
      {"no marker", "Exception in thread main\n", false},
      {"ends after marker", "1739021872\n", true},
      {"wrong version", "1739021872\nApple Computer, Inc.\n1.5.0\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string home = makeFakeHome(m_dir.file(c.name), c.output);
    JVMMatch* match = jvm.verify(home.c_str(), kVerifyClasspath, kVerifyClass);
    EXPECT_EQ(c.matches, match != nullptr);
    if (match != nullptr) {
      EXPECT_STREQ(home.c_str(), match->getJVMHome().c_str());
      EXPECT_FALSE(match->isJVMTemporary());
      EXPECT_EQ(&tags, match->getTagFile());
      EXPECT_TRUE(contains(log(), "Found matching JVM at " + home + "\n"));
    }
    delete match;
    EXPECT_TRUE(contains(log(), "Verifying JVM at " + home + "/bin/java\n   for JVM: Java 1.4.X by Apple Computer\n"));
  }
  EXPECT_TRUE(contains(log(), "ERROR: Invalid magic value: Exception in thread main\n"));
}

TEST_F(JVMFileTest, MissingExecutableOrEmptyInputsStartNothing) {
  TagFile& tags = loadTagFile(kExampleJVMFile);
  JVMFile jvm(tags, context());
  std::string home = makeFakeHome(m_dir.file("jdk"), "1739021872\n", "jre/bin/java");
  EXPECT_EQ(nullptr, jvm.verify(home.c_str(), kVerifyClasspath, kVerifyClass));
  EXPECT_TRUE(contains(log(), home + "/bin/java does not exist\n"));
  EXPECT_FALSE(contains(log(), "Executing launch script command"));
  EXPECT_EQ("", invoked(home));

  EXPECT_EQ(nullptr, jvm.verify("", kVerifyClasspath, kVerifyClass));

  // The sub-status of the enclosing phase is back when the check ends.
  PlatformImpl::setSilent(false);
  PlatformImpl::setUISubStatus(UI_SUBSTATUS_SEARCHING, "outer phase");
  EXPECT_EQ(nullptr, jvm.verify(home.c_str(), kVerifyClasspath, kVerifyClass));
  EXPECT_EQ(UI_SUBSTATUS_SEARCHING, PlatformImpl::getUISubStatus());
  EXPECT_STREQ("outer phase", PlatformImpl::getUISubStatusData().c_str());
  PlatformImpl::setUISubStatus(UI_SUBSTATUS_NONE, "");
  PlatformImpl::setSilent(true);

  TagFile& noExe = loadTagFile("DESC: x\nJVM_PROPERTIES: a=b\n");
  JVMFile noExeJVM(noExe, context());
  EXPECT_EQ(nullptr, noExeJVM.verify(home.c_str(), kVerifyClasspath, kVerifyClass));
  EXPECT_FALSE(contains(log(), "Verifying JVM at " + home + "\n"));
}

TEST_F(JVMFileTest, VerifyWithoutHomeArgumentUsesTheJVMHomeTag) {
  std::string home = makeFakeHome(m_dir.file("jdk"), "1739021872\n");
  TagFile& tags = loadTagFile(std::string(kExampleJVMFile) + "JVM_HOME: " + home + "\n");
  JVMFile jvm(tags, context());
  JVMMatch* match = jvm.verify(kVerifyClasspath, kVerifyClass);
  ASSERT_NE(nullptr, match);
  EXPECT_STREQ(home.c_str(), match->getJVMHome().c_str());
  delete match;

  // Without JVM_PROPERTIES: a warning and no check; the explicit form still
  // checks and accepts any JVM that prints the marker.
  TagFile& bare = loadTagFile("DESC: bare\nJVM_EXE: bin/java\nJVM_HOME: " + home + "\n");
  JVMFile bareJVM(bare, context());
  EXPECT_EQ(nullptr, bareJVM.verify(kVerifyClasspath, kVerifyClass));
  EXPECT_TRUE(contains(log(), "WARNING: Unable to verify " + m_dir.file("test.jvm") +
                                  " because the JVM_PROPERTIES tag was not specified.\n"));
  match = bareJVM.verify(home.c_str(), kVerifyClasspath, kVerifyClass);
  EXPECT_NE(nullptr, match);
  delete match;
}

TEST_F(JVMFileTest, HomesWithShellOrTemplateCharactersAreVerifiedAsTheyAre) {
  TagFile& tags = loadTagFile(kExampleJVMFile);
  JVMFile jvm(tags, context());
  const char* names[] = {"a\"b", "a$(touch pwned)b", "a`touch pwned`b", "a\\b", "a'b",
                         "a%CP%()b", "a@JVM_EXE@b", "a#HOME#b", "My JVMs (1.4) & more!",
                         "$HOME", "a;b|c<d>e*f?[g", "caf\xe9\xff"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    std::string home = makeFakeHome(m_dir.file(name), "1739021872\nApple\n1.4\n");
    JVMMatch* match = jvm.verify(home.c_str(), kVerifyClasspath, kVerifyClass);
    EXPECT_NE(nullptr, match);
    delete match;
    EXPECT_EQ(home + "\n-cp\n/opt/bv/verify.jar\nVerify\njava.vendor\njava.vm.version\n",
              invoked(home));
  }
  EXPECT_FALSE(pathExists(m_dir.file("pwned")));

  // A line break cannot be written into the JVM file of a match: skipped.
  for (const char* name : {"a\nb", "a\rb", "x\nJVM_EXE: $(touch pwned)"}) {
    SCOPED_TRACE(name);
    std::string home = makeFakeHome(m_dir.file(name), "1739021872\nApple\n1.4\n");
    EXPECT_EQ(nullptr, jvm.verify(home.c_str(), kVerifyClasspath, kVerifyClass));
    EXPECT_EQ("", invoked(home));
    EXPECT_TRUE(contains(log(), "WARNING: Skipping JVM at " + home + " because its path holds a "
                                "line break"));
  }
  EXPECT_FALSE(pathExists(m_dir.file("pwned")));

  // A JVM splits the library paths it derives from its home at ':' and
  // would load libraries from the working directory: skipped.
  std::string colon = makeFakeHome(m_dir.file("a:b"), "1739021872\nApple\n1.4\n");
  EXPECT_EQ(nullptr, jvm.verify(colon.c_str(), kVerifyClasspath, kVerifyClass));
  EXPECT_EQ("", invoked(colon));
  EXPECT_TRUE(contains(log(), "its real home " + colon + " holds a ':', at which the JVM splits its library paths"))
      << log();
}

TEST_F(JVMFileTest, MatchWritesTheCompletedFile) {
  TagFile& tags = loadTagFile(kExampleJVMFile);
  for (bool temporary : {false, true}) {
    SCOPED_TRACE(temporary);
    JVMMatch match("/opt/jdk", tags);
    EXPECT_FALSE(match.isJVMTemporary());
    match.setJVMTemporary(temporary);
    SString path = match.writeNewJVMFile();
    EXPECT_EQ(0u, std::string(path.c_str()).find(m_dir.path() + "/"));
    TagFile written(path);
    EXPECT_STREQ("/opt/jdk", written.getTagValue("JVM_HOME", 0).c_str());
    EXPECT_STREQ(path.c_str(), written.getTagValue("JVM_FILE", 0).c_str());
    EXPECT_STREQ(temporary ? "1" : "0", written.getTagValue("JVM_TEMP", 0).c_str());
    EXPECT_STREQ("-cp ", written.getTagValue("CLASSPATH", 0).c_str());
    EXPECT_EQ(2, written.getTagValueCount("JVM_PROPERTIES"));
    // The in-memory tag file keeps the three tags.
    EXPECT_STREQ(path.c_str(), tags.getTagValue("JVM_FILE", 0).c_str());
  }
}

TEST_F(JVMFileTest, UnwritableJVMFileIsAnError) {
  TagFile& tags = loadTagFile(kExampleJVMFile);
  JVMMatch match("/opt/jdk", tags);
  // No file may grow: the temporary file is made, but nothing can be
  // written into it, as on a full disk.
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit none = saved;
  none.rlim_cur = 0;
  void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &none);
  bool thrown = false;
  std::string message;
  try {
    match.writeNewJVMFile();
  } catch (const LauncherException& e) {
    thrown = true;
    message = e.getMessage().c_str();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(thrown);
  EXPECT_TRUE(contains(message, m_dir.path() + "/")) << message;
}

TEST(JVMFilePtrDeque, DeletesOnlyTheFilesItOwns) {
  TestLaunchContext run;
  const LaunchContext& context = run.context;
  TagFile tags;
  // A wrong delete shows in the sanitizer build as a use after free of the
  // unowned file, or as a leak of an owned one.
  JVMFile* unowned = new JVMFile(tags, context);
  {
    JVMFilePtrDeque files;
    files.push_back(new JVMFile(tags, context), true);
    files.push_back(unowned, false);
    files.push_front(new JVMFile(tags, context), true);
    files.insert(1, new JVMFile(tags, context), true);
    ASSERT_EQ(4, files.size());
    EXPECT_EQ(unowned, files.at(3));
    EXPECT_EQ(unowned, files.back());
    EXPECT_EQ(nullptr, files.at(4));
    EXPECT_EQ(nullptr, files.at(-1));
    EXPECT_FALSE(static_cast<JVMFilePtrDE*>(files.GenericDeque::at(3))->isOwned());
    files.erase(0);
    EXPECT_EQ(3, files.size());
  }
  EXPECT_EQ(&tags, unowned->getTagFile());
  delete unowned;
}

// The bundled runtime's answers recorded when it was packed stand in for a
// run only when they cover every property asked, its java holds code for
// this machine that may be run where it lies (a runtime unpacked on a file
// system mounted noexec, or a java without its execute bits, cannot run
// whatever it answered when packed) and no variable gives the JVM options
// (which could change its answers); otherwise the JVM runs as for any
// candidate. /bin/true is a
// program of this machine that prints nothing: a match with it proves that
// no JVM ran.
TEST_F(JVMFileTest, RecordedAnswersStandInForARunOnlyWhenTheyCoverEveryProperty) {
  const RecordedAnswers full = {{"os.name", "Linux"}, {"java.specification.version", "17"}, {"os.arch", "amd64"}};
  const RecordedAnswers partial = {{"os.name", "Linux"}};
  std::string trueProgram = readFile("/bin/true");
  std::string otherMachine = trueProgram;
  otherMachine[18] = static_cast<char>(otherMachine[18] ^ 0x7f);  // e_machine
  struct Case {
    const char* name;
    const std::string* program;  // bin/java's bytes, or null for the fake JVM
    int mode;                    // bin/java's permission bits
    const RecordedAnswers* recorded;
    bool matches;
    const char* version;  // JVM_VERSION of a match
    bool ran;             // the fake JVM ran
    const char* toolOptions;  // JAVA_TOOL_OPTIONS
  } cases[] = {
      {"covered", &trueProgram, 0755, &full, true, "17", false, ""},
      {"a property not recorded", &trueProgram, 0755, &partial, false, "", false, ""},
      {"java of another machine", &otherMachine, 0755, &full, false, "", false, ""},
      {"java that may not be run", &trueProgram, 0644, &full, false, "", false, ""},
      {"options for the JVM", &trueProgram, 0755, &full, false, "", false, "-Dos.name=Other"},
      {"a script, not machine code", nullptr, 0755, &full, true, "21", true, ""},
      {"nothing recorded", nullptr, 0755, nullptr, true, "21", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv options("JAVA_TOOL_OPTIONS", c.toolOptions);
    TagFile& tags = loadTagFile(
        "DESC: d\nJVM_EXE: bin/java\nCLASSPATH: \"-cp \"\nJVM_PROPERTIES:\n  os.name=Linux\n  java.specification.version>=1\n/:\n");
    JVMFile jvm(tags, context());
    std::string home = makeFakeHome(m_dir.file(c.name), "1739021872\nLinux\n21\n");
    if (c.program != nullptr) writeFile(home + "/bin/java", *c.program, c.mode);
    JVMMatch* match = jvm.verify(home.c_str(), kVerifyClasspath, kVerifyClass, false, c.recorded);
    EXPECT_EQ(c.matches, match != nullptr);
    EXPECT_EQ(c.ran, !invoked(home).empty());
    if (match != nullptr) {
      EXPECT_STREQ(c.version, tags.getTagValue("JVM_VERSION", 0).c_str());
      delete match;
    }
    bool fromRecord = contains(log(), "Verification of " + home + "/bin/java taken from the answers recorded");
    EXPECT_EQ(c.matches && !c.ran, fromRecord);
  }
}

}  // namespace
}  // namespace bvtest
