// What class-data sharing reads from a java command line, and what it
// leaves alone.
#include "jvm/java_command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bvtest {
namespace {

TEST(JavaCommandLineTest, ReadsTheOptionsTheClassPathAndTheMainClass) {
  struct Case {
    std::vector<std::string> words;
    const char* classPathVariable;
    const char* classPath;
    const char* mainClass;
    std::vector<std::string> options;
    bool jarMode;
  } cases[] = {
      {{"/j/java", "-cp", "/a.jar:/b.jar", "app.Main", "-cp", "x"}, "", "/a.jar:/b.jar", "app.Main",
       {"-cp", "/a.jar:/b.jar"}, false},
      // The last class path option counts; values are taken along, also
      // when they look like a main class.
      {{"/j/java", "-Xmx1g", "-classpath", "/a.jar", "--add-opens", "java.base/java.lang=ALL-UNNAMED",
        "--class-path=/c.jar", "-Dx=y z", "Main", "arg"},
       "", "/c.jar", "Main",
       {"-Xmx1g", "-classpath", "/a.jar", "--add-opens", "java.base/java.lang=ALL-UNNAMED",
        "--class-path=/c.jar", "-Dx=y z"},
       false},
      {{"/j/java", "-ea", "-jar", "/app.jar", "-cp", "ignored"}, "", "/app.jar", "/app.jar",
       {"-ea", "-jar", "/app.jar"}, true},
      // Without an option: CLASSPATH, else the current folder.
      {{"/j/java", "Main"}, "/env.jar", "/env.jar", "Main", {}, false},
      {{"/j/java", "Main"}, "", ".", "Main", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words[1]);
    JavaCommandLine line = parseJavaCommandLine(c.words, c.classPathVariable);
    EXPECT_TRUE(line.usable) << line.reason;
    EXPECT_EQ(c.classPath, line.classPath);
    EXPECT_EQ(c.mainClass, line.mainClass);
    EXPECT_EQ(c.options, line.options);
    EXPECT_EQ(c.jarMode, line.jarMode);
  }
}

TEST(JavaCommandLineTest, LeavesAloneWhatItCannotArchiveOrWhatSetsUpSharingItself) {
  const std::vector<std::vector<std::string>> commands = {
      {"/j/java"},
      {"/j/java", "-cp", "/a.jar"},
      {"/j/java", "-cp"},
      {"/j/java", "-jar"},
      {"/j/java", "-m", "app/app.Main"},
      {"/j/java", "--module-path", "mods", "-m", "app"},
      {"/j/java", "--module-path=mods", "Main"},
      {"/j/java", "-p", "mods", "Main"},
      {"/j/java", "Script.java"},
      {"/j/java", "@args", "Main"},
      {"/j/java", "-cp", "/a.jar", "@args"},
      {"/j/java", "-XX:Flags=.hotspotrc", "Main"},
      {"/j/java", "-XX:VMOptionsFile=opts", "Main"},
      {"/j/java", "-javaagent:/agent.jar", "Main"},
      {"/j/java", "-agentlib:jdwp=transport=dt_socket", "Main"},
      {"/j/java", "-Xshare:off", "Main"},
      {"/j/java", "-XX:SharedArchiveFile=/a.jsa", "Main"},
      {"/j/java", "-XX:ArchiveClassesAtExit=/a.jsa", "Main"},
      {"/j/java", "-XX:+AutoCreateSharedArchive", "Main"},
      {"/j/java", "-XX:DumpLoadedClassList=/l", "Main"},
      {"/j/java", "-XX:AOTCache=/a.aot", "Main"},
      {"/j/java", "-XX:AOTMode=record", "Main"},
      {"/j/java", "-version"},
      {"/j/java", "--dry-run", "Main"},
      {"/j/java", "-cp", "/a.jar", ""},
  };
  for (const std::vector<std::string>& words : commands) {
    SCOPED_TRACE(words.back());
    JavaCommandLine line = parseJavaCommandLine(words, "");
    EXPECT_FALSE(line.usable);
    EXPECT_FALSE(line.reason.empty());
  }
}

TEST(JavaCommandLineTest, TheArchiveIsMadeWithTheHeapAndCollectorOptionsOnly) {
  std::vector<std::string> options = {
      "-Xmx40g", "-Xms1g", "-Dheap=-Xmx1g", "-XX:+UseZGC", "-XX:-UseCompressedOops",
      "-XX:+UnlockExperimentalVMOptions", "-XX:ObjectAlignmentInBytes=16", "-Xlog:gc:file=/app/gc.log",
      "-XX:OnOutOfMemoryError=kill", "--enable-preview", "-XX:+UseStringDeduplication", "-cp", "/a.jar"};
  EXPECT_EQ((std::vector<std::string>{"-Xmx40g", "-XX:+UseZGC", "-XX:-UseCompressedOops",
                                      "-XX:+UnlockExperimentalVMOptions", "-XX:ObjectAlignmentInBytes=16",
                                      "--enable-preview"}),
            archiveRelevantOptions(options));
}

}  // namespace
}  // namespace bvtest
