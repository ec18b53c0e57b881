// The verification class: the bytes that the generator writes, the archive
// that carries them, and the output of every JVM of the machine run on it the
// way the launcher runs it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/java/java_installs.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

std::string generatedClassPath() { return javaBuildPath("verify/Verify.class"); }

std::string inQuotes(const std::string& text) { return "\"" + text + "\""; }

TEST(VerifyClassFile, HeaderIsMagicThenVersion45Point3) {
  std::string bytes = readFile(generatedClassPath());
  ASSERT_GE(bytes.size(), 8u) << generatedClassPath();
  const unsigned char expected[] = {
      0xCA, 0xFE, 0xBA, 0xBE,  // magic
      0x00, 0x03,              // minor_version 3
      0x00, 0x2D,              // major_version 45
  };
  for (size_t i = 0; i < sizeof expected; ++i) {
    SCOPED_TRACE("byte " + std::to_string(i));
    EXPECT_EQ(expected[i], static_cast<unsigned char>(bytes[i]));
  }
}

TEST(VerifyClassFile, GeneratorWritesTheSameBytesEveryRun) {
  TempDir dir;
  std::string first = dir.file("first.class");
  std::string second = dir.file("second.class");
  ASSERT_EQ(0, runShell(inQuotes(binaryPath("verifyclass_gen")) + " " + inQuotes(first)));
  ASSERT_EQ(0, runShell(inQuotes(binaryPath("verifyclass_gen")) + " " + inQuotes(second)));
  std::string built = readFile(generatedClassPath());
  ASSERT_FALSE(built.empty());
  EXPECT_EQ(built, readFile(first));
  EXPECT_EQ(built, readFile(second));
  EXPECT_FALSE(pathExists(first + ".tmp"));
}

TEST(VerifyClassFile, GeneratorRejectsBadUsageAndUnwritableOutput) {
  TempDir dir;
  struct Case {
    std::string arguments;
    std::string message;
  } cases[] = {
      {"", "usage: verifyclass_gen OUTPUT"},
      {inQuotes(dir.file("a")) + " " + inQuotes(dir.file("b")), "usage: verifyclass_gen OUTPUT"},
      {inQuotes(dir.file("missing/Verify.class")), "cannot write " + dir.file("missing/Verify.class")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    std::string out;
    EXPECT_EQ(1, runShell(inQuotes(binaryPath("verifyclass_gen")) + " " + c.arguments, &out));
    EXPECT_NE(std::string::npos, out.find(c.message)) << out;
  }
  EXPECT_FALSE(pathExists(dir.file("a")));
  EXPECT_FALSE(pathExists(dir.file("missing")));
}

// The archive holds the class stored, uncompressed, as its only entry.
TEST(VerifyClassFile, JarStoresTheGeneratedClass) {
  std::string jar = readFile(javaBuildPath("Verify.jar"));
  std::string cls = readFile(generatedClassPath());
  ASSERT_GE(jar.size(), 30u + 12u);
  EXPECT_EQ(std::string("PK\x03\x04", 4), jar.substr(0, 4));  // local file header
  EXPECT_EQ(std::string("\0\0", 2), jar.substr(8, 2));         // method 0: stored
  EXPECT_EQ("Verify.class", jar.substr(30, 12));               // first entry name
  EXPECT_NE(std::string::npos, jar.find(cls));
  EXPECT_EQ(std::string::npos, jar.find("META-INF"));
}

class VerifyClassRun : public ::testing::Test {
 protected:
  void SetUp() override {
    m_javas = findJavaExecutables();
    if (m_javas.empty()) GTEST_SKIP() << "no Java found (java on PATH, $JAVA_HOME, /usr/lib/jvm/*)";
    // The launcher extracts the archive into a directory of its own and may
    // be told to use one whose name has blanks.
    m_jarDir = m_dir.file("extracted here");
    ASSERT_EQ(0, runShell("mkdir " + inQuotes(m_jarDir)));
    m_jar = m_jarDir + "/Verify.jar";
    writeFile(m_jar, readFile(javaBuildPath("Verify.jar")));
  }

  // Runs the class under java with the launcher's command shape, from
  // another working directory: "java" options -cp "jar" "Verify" names.
  // Returns the exit status; *out gets standard output only.
  int runVerify(const std::string& java, const std::string& options, const std::string& names,
                std::string* out) {
    std::string errFile = m_dir.file("stderr");
    int status = runShell("cd / && " + inQuotes(java) + " " + options + " -cp " + inQuotes(m_jar) + " " +
                              inQuotes("Verify") + " " + names + " 2>" + inQuotes(errFile),
                          out);
    m_stderr = readFile(errFile);
    return status;
  }

  TempDir m_dir;
  std::vector<std::string> m_javas;
  std::string m_jarDir;
  std::string m_jar;
  std::string m_stderr;
};

TEST_F(VerifyClassRun, EveryJvmPrintsTheMarkerThenOneLinePerName) {
  struct Case {
    const char* what;
    std::string names;
    std::string expected;
  } cases[] = {
      {"no names", "", "1739021872\n"},
      {"set, unset, blanks, empty value",
       "bv.set bv.unset bv.blank bv.empty",
       "1739021872\nyes\nnull\ntwo  blanks \n\n"},
      {"a name given twice, in another order", "bv.unset bv.set bv.set", "1739021872\nnull\nyes\nyes\n"},
      {"an empty name reads as unset, the next one still printed", "bv.set '' bv.set",
       "1739021872\nyes\nnull\nyes\n"},
      {"standard properties", "java.class.path path.separator", "1739021872\n" + m_jar + "\n:\n"},
  };
  const std::string options = "-Dbv.set=yes \"-Dbv.blank=two  blanks \" -Dbv.empty=";
  for (const std::string& java : m_javas) {
    SCOPED_TRACE(java);
    std::string version;
    if (runShell(inQuotes(java) + " -version", &version) != 0) {
      ADD_FAILURE() << java << " does not start: " << version;
      continue;
    }
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      std::string out;
      EXPECT_EQ(0, runVerify(java, options, c.names, &out)) << m_stderr;
      EXPECT_EQ(c.expected, out) << m_stderr;
    }
  }
}

// What a description file's patterns are matched against: values that start
// like the running JVM's own (its vendor and version are not empty).
TEST_F(VerifyClassRun, ReportsTheJvmsOwnVendorAndVersion) {
  for (const std::string& java : m_javas) {
    SCOPED_TRACE(java);
    std::string out;
    ASSERT_EQ(0, runVerify(java, "", "java.vendor java.version java.home", &out)) << m_stderr;
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
      lines.push_back(out.substr(start, nl - start));
    ASSERT_EQ(4u, lines.size()) << out;
    EXPECT_EQ("1739021872", lines[0]);
    EXPECT_FALSE(lines[1].empty() || lines[1] == "null") << out;
    EXPECT_FALSE(lines[2].empty() || lines[2] == "null") << out;
    // java.home is the JVM's home or, for JDK 8 and older, its jre/ below it.
    EXPECT_EQ(0u, lines[3].find(javaHomeOf(java))) << out;
  }
}

}  // namespace
}  // namespace bvtest
