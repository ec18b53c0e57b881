// What a JVM that did not start is reported with, and when a failed search
// is a Java that did not start rather than a missing one.
#include "jvm/candidate_report.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

namespace {

TEST(JvmStartErrorTest, TheFirstLineThatSaysWhy) {
  struct Case {
    long exitCode;
    const char* errorOutput;
    const char* expected;
  } cases[] = {
      {1,
       "Picked up JAVA_TOOL_OPTIONS: -XX:+NoSuchFlag\nUnrecognized VM option 'NoSuchFlag'\n"
       "Error: Could not create the Java Virtual Machine.\n",
       "Unrecognized VM option 'NoSuchFlag'"},
      {1, "NOTE: Picked up JDK_JAVA_OPTIONS: -x\n\n  Unrecognized option: -x \r\n", "Unrecognized option: -x"},
      {1, "Picked up _JAVA_OPTIONS: -Xmx1k\nError occurred during initialization of VM\nToo small maximum heap\n",
       "Error occurred during initialization of VM: Too small maximum heap"},
      {1, "Error occurred during initialization of VM\n", "Error occurred during initialization of VM"},
      {0, "Unrecognized VM option 'NoSuchFlag'\n", ""},
      {1, "Picked up JAVA_TOOL_OPTIONS: -Dx=1\n\n", ""},
      {1, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.errorOutput);
    EXPECT_STREQ(c.expected, jvmStartError(c.exitCode, SString(c.errorOutput)).c_str());
  }
  std::string longLine(300, 'x');
  SString cut = jvmStartError(1, SString(longLine.c_str()));
  EXPECT_EQ(std::string(200, 'x') + "...", std::string(cut.c_str()));
}

TEST(CandidateReportTest, OnlyJavasThatDidNotStartMakeAStartFailure) {
  unsetenv("JAVA_TOOL_OPTIONS");
  unsetenv("_JAVA_OPTIONS");
  unsetenv("JDK_JAVA_OPTIONS");
  CandidateReport report;
  EXPECT_FALSE(report.onlyStartFailures());
  report.beginCandidate("/none/bin/java");
  report.reject("no executable");
  EXPECT_FALSE(report.onlyStartFailures());
  report.beginCandidate("/opt/./a/../jdk/bin/java");
  report.rejectStart("Unrecognized VM option 'X'");
  EXPECT_TRUE(report.onlyStartFailures());
  EXPECT_STREQ("Java was found, but it did not start: Unrecognized VM option 'X'",
               report.startFailureMessage().c_str());
  setenv("JAVA_TOOL_OPTIONS", "-XX:+X", 1);
  setenv("JDK_JAVA_OPTIONS", "-y", 1);
  EXPECT_STREQ(
      "Java was found, but it did not start: Unrecognized VM option 'X' (JAVA_TOOL_OPTIONS and JDK_JAVA_OPTIONS are "
      "set: the JVM takes options from them)",
      report.startFailureMessage().c_str());
  unsetenv("JAVA_TOOL_OPTIONS");
  unsetenv("JDK_JAVA_OPTIONS");
  // A Java that answered, but not as wanted: Java is there and starts.
  for (const char* reason : {"property java.version is \"1.8\", not >=11", "did not answer the verification",
                             "did not answer within 30 s"}) {
    CandidateReport mixed;
    mixed.beginCandidate("/a/bin/java");
    mixed.rejectStart("Unrecognized VM option 'X'");
    mixed.beginCandidate("/b/bin/java");
    mixed.reject(reason);
    EXPECT_FALSE(mixed.onlyStartFailures()) << reason;
  }
}

}  // namespace
