// The test applications that end-to-end tests launch: PrintArgs must report
// exactly what it received and exit with the status asked for.
#include <gtest/gtest.h>

#include <string>

#include "tests/java/java_installs.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

std::string inQuotes(const std::string& text) { return "\"" + text + "\""; }

class JavaApp : public ::testing::Test {
 protected:
  void SetUp() override {
    m_java = findJava();
    if (m_java.empty()) GTEST_SKIP() << "no Java found (java on PATH, $JAVA_HOME, /usr/lib/jvm/*)";
  }

  // Runs "java" options -cp "jar" mainClass args in the temp dir, in an
  // environment without Java settings plus m_env ("NAME=value ...");
  // standard output goes to *out, standard error to m_stderr.
  int run(const std::string& jar, const std::string& mainClass, const std::string& options,
          const std::string& args, std::string* out) {
    std::string errFile = m_dir.file("stderr");
    int status = runShell("cd " + inQuotes(m_dir.path()) +
                              " && env -u JAVA_HOME -u CLASSPATH -u JAVA_TOOL_OPTIONS -u JDK_JAVA_OPTIONS "
                              "-u _JAVA_OPTIONS " +
                              m_env + " " + inQuotes(m_java) + " " + options +
                              " -cp " + inQuotes(javaBuildPath(jar)) + " " + mainClass + " " + args +
                              " 2>" + inQuotes(errFile),
                          out);
    m_stderr = readFile(errFile);
    return status;
  }

  static bool hasLine(const std::string& out, const std::string& line) {
    return ("\n" + out).find("\n" + line + "\n") != std::string::npos;
  }

  TempDir m_dir;
  std::string m_java;
  std::string m_env;
  std::string m_stderr;
};

TEST_F(JavaApp, HelloPrintsOneLine) {
  std::string out;
  EXPECT_EQ(0, run("Hello.jar", "Hello", "", "", &out)) << m_stderr;
  EXPECT_EQ("Hello, world!\n", out);
}

TEST_F(JavaApp, PrintArgsReportsArgumentsPropertiesAndEnvironment) {
  std::string out;
  m_env = "BV_TEST_VAR=x=y";
  ASSERT_EQ(0, run("PrintArgs.jar", "PrintArgs",
                   "-Dbv.jvm.home=/opt/jvm \"-Dbv.zz=a b\" -Dbv.aa= -Dprintargs.show=user.dir,no.such "
                   "-Dprintargs.env=BV_TEST_VAR -Xmx64m",
                   "one \"two  words\" '' 'tab\there' 'say \"hi\"' 'caf\xc3\xa9'", &out))
      << m_stderr;
  EXPECT_EQ(0u, out.find("printargs.begin\nargc=6\n")) << out;
  const std::string lines[] = {
      "arg[0]=<one>",
      "arg[1]=<two  words>",
      "arg[2]=<>",
      "arg[3]=<tab\\there>",
      "arg[4]=<say \"hi\">",
      "prop[java.class.path]=<" + javaBuildPath("PrintArgs.jar") + ">",
      // The launch properties come first, in a fixed order, set or not; then
      // the other bv.* ones sorted; then the ones asked for.
      "prop[temp.dir] unset\nprop[bv.jvm.home]=</opt/jvm>\nprop[bv.jvm.temp] unset",
      "prop[bv.external.home] unset\nprop[bv.aa]=<>\nprop[bv.zz]=<a b>\nprop[user.dir]=<" + m_dir.path() +
          ">\nprop[no.such] unset",
      "env[JAVA_HOME] unset\nenv[CLASSPATH] unset\nenv[BV_TEST_VAR]=<x=y>",
      "jvmarg[0]=<-Dbv.jvm.home=/opt/jvm>",
      "jvmarg[1]=<-Dbv.zz=a b>",
      "cwd=<" + m_dir.path() + ">",
  };
  for (const std::string& line : lines) EXPECT_TRUE(hasLine(out, line)) << line << "\nin:\n" << out;
  // Characters outside printable ASCII are escaped (how the JVM decodes the
  // argument depends on the locale, so only the escape itself is checked).
  EXPECT_NE(std::string::npos, out.find("arg[5]=<caf\\u")) << out;
  EXPECT_NE(std::string::npos, out.find("\nmaxmemory=")) << out;
  const std::string end = "\nprintargs.end\n";
  EXPECT_EQ(out.size() - end.size(), out.find(end)) << out;
  EXPECT_EQ("", m_stderr);
}

TEST_F(JavaApp, PrintArgsExitsWithTheStatusAskedFor) {
  struct Case {
    const char* what;
    std::string options;
    std::string args;
    int status;
    std::string stderrText;
  } cases[] = {
      {"default", "", "", 0, ""},
      {"argument", "", "--exit=232", 232, ""},
      {"property", "-Dprintargs.exit=7", "", 7, ""},
      {"argument wins over property", "-Dprintargs.exit=7", "--exit=3", 3, ""},
      {"stderr text", "", "'--stderr=went wrong' --exit=1", 1, "went wrong\n"},
      {"stderr from a property", "'-Dprintargs.stderr=from prop'", "", 0, "from prop\n"},
      {"not a number", "", "--exit=x", 2, "PrintArgs: exit status is not a number: x\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out;
    EXPECT_EQ(c.status, run("PrintArgs.jar", "PrintArgs", c.options, c.args, &out));
    EXPECT_EQ(c.stderrText, m_stderr);
    EXPECT_NE(std::string::npos, out.find("printargs.end\n")) << out;
  }
}

}  // namespace
}  // namespace bvtest
