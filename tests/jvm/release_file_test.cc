// The release file of a Java home: the reader on hand-made files, the
// properties derived from it, and both against real JDKs' own answers.
#include "jvm/release_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

class ReleaseFileTest : public ::testing::Test {
 protected:
  // A home whose release file holds text.
  std::string home(const std::string& text, int mode = 0644) {
    std::string path = m_dir.file("home");
    mkdir(path.c_str(), 0755);
    writeFile(path + "/release", text, mode);
    chmod((path + "/release").c_str(), mode);
    return path;
  }

  TempDir m_dir;
};

TEST_F(ReleaseFileTest, ReadsTheFieldsOfAWellFormedFile) {
  std::string text =
      "# comment\r\nIMPLEMENTOR=\"Someone\"\r\n\nJAVA_VERSION=\"25.0.3\"\nOS_NAME=Linux\nEMPTY=\"\"\n"
      "MODULES=\"java.base java.desktop\"";  // no line break at the end
  ReleaseFields fields;
  ASSERT_TRUE(readReleaseFile(home(text), fields));
  EXPECT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields["IMPLEMENTOR"], "Someone");
  EXPECT_EQ(fields["JAVA_VERSION"], "25.0.3");
  EXPECT_EQ(fields["OS_NAME"], "Linux");
  EXPECT_EQ(fields["EMPTY"], "");
  EXPECT_EQ(fields["MODULES"], "java.base java.desktop");
}

TEST_F(ReleaseFileTest, TurnsDownDamagedFilesWithAReason) {
  struct Case {
    std::string text;
    const char* reason;
  } cases[] = {
      {"JAVA_VERSION=\"25\nOS_NAME=\"Linux\"\n", "Line 1 "},      // no closing quote
      {"JAVA_VERSION=\"25\"\nJAVA_VERSION=\"17\"\n", "repeats a key"},
      {"JAVA VERSION=\"25\"\n", "Line 1 "},                          // space in the key
      {"OS_NAME=\"Linux\"\n=\"25\"\n", "Line 2 "},                   // no key
      {"JAVA_VERSION\n", "Line 1 "},                                 // no "="
      {"JAVA_VERSION=\"2\"5\"\n", "Line 1 "},                        // a quote inside
      {std::string("JAVA_VERSION=\"25\0\"\n", 19), "Line 1 "},  // a NUL byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string& text = c.text;
    ReleaseFields fields;
    std::string problem;
    EXPECT_FALSE(readReleaseFile(home(text), fields, &problem));
    EXPECT_TRUE(fields.empty());
    EXPECT_NE(problem.find(c.reason), std::string::npos) << problem;
  }
}

TEST_F(ReleaseFileTest, TurnsDownAMissingUntrustedOrOversizedFile) {
  ReleaseFields fields;
  std::string problem;
  EXPECT_FALSE(readReleaseFile(m_dir.file("nowhere"), fields, &problem));
  EXPECT_NE(problem.find("cannot be opened"), std::string::npos) << problem;

  // Writable by the group: someone else could have put their answers there.
  EXPECT_FALSE(readReleaseFile(home("JAVA_VERSION=\"25\"\n", 0664), fields, &problem));
  EXPECT_NE(problem.find("release"), std::string::npos) << problem;
  EXPECT_TRUE(readReleaseFile(home("JAVA_VERSION=\"25\"\n", 0644), fields));

  // One byte over the bound is too much; the bound itself is not.
  std::string line = "JAVA_VERSION=\"25\"\n";
  std::string atBound = line + "#" + std::string(kMostReleaseFileBytes - line.size() - 2, 'x') + "\n";
  ASSERT_EQ(atBound.size(), kMostReleaseFileBytes);
  EXPECT_TRUE(readReleaseFile(home(atBound), fields));
  EXPECT_FALSE(readReleaseFile(home(atBound + "\n"), fields, &problem));
  EXPECT_NE(problem.find("larger than"), std::string::npos) << problem;

  // A folder named release.
  std::string folder = m_dir.file("folder-home");
  mkdir(folder.c_str(), 0755);
  mkdir((folder + "/release").c_str(), 0755);
  EXPECT_FALSE(readReleaseFile(folder, fields, &problem));
}

TEST(ReleasePropertiesTest, StatesOnlyWhatTheFieldsSayForCertain) {
  struct Case {
    ReleaseFields fields;
    std::map<std::string, std::string> properties;
  } cases[] = {
      {{{"JAVA_VERSION", "25.0.3"}, {"JAVA_RUNTIME_VERSION", "25.0.3+9-LTS"}, {"OS_NAME", "Linux"},
        {"OS_ARCH", "x86_64"}},
       {{"java.version", "25.0.3"}, {"java.specification.version", "25"}, {"os.name", "Linux"},
        {"os.arch", "amd64"}}},
      // Debian's own option part; a release without an update number.
      {{{"JAVA_VERSION", "17.0.15"}, {"JAVA_RUNTIME_VERSION", "17.0.15+6-Debian-1deb12u1"}},
       {{"java.version", "17.0.15"}, {"java.specification.version", "17"}}},
      {{{"JAVA_VERSION", "21"}, {"JAVA_RUNTIME_VERSION", "21+35"}},
       {{"java.version", "21"}, {"java.specification.version", "21"}}},
      // An early-access build: java.version carries the pre-release part.
      {{{"JAVA_VERSION", "26"}, {"JAVA_RUNTIME_VERSION", "26-ea+5-123"}},
       {{"java.version", "26-ea"}, {"java.specification.version", "26"}}},
      {{{"JAVA_VERSION", "17.0.2"}, {"JAVA_RUNTIME_VERSION", "17.0.2-internal"}},
       {{"java.version", "17.0.2-internal"}, {"java.specification.version", "17"}}},
      // 8 and earlier: the old numbers, as the JVM prints them.
      {{{"JAVA_VERSION", "1.8.0_402"}, {"OS_NAME", "Linux"}, {"OS_ARCH", "amd64"}},
       {{"java.version", "1.8.0_402"}, {"java.specification.version", "1.8"}, {"os.name", "Linux"},
        {"os.arch", "amd64"}}},
      {{{"OS_NAME", "Darwin"}, {"OS_ARCH", "aarch64"}}, {{"os.name", "Mac OS X"}, {"os.arch", "aarch64"}}},
      // Not stated for certain: left to the JVM.
      // A jlink image: the feature only.
      {{{"JAVA_VERSION", "25.0.3"}}, {{"java.specification.version", "25"}}},
      {{{"JAVA_VERSION", "25.0.3"}, {"JAVA_RUNTIME_VERSION", "17.0.3+1"}}, {}},  // disagrees
      {{{"JAVA_VERSION", "25"}, {"JAVA_RUNTIME_VERSION", "250+1"}}, {}},
      {{{"JAVA_VERSION", "25"}, {"JAVA_RUNTIME_VERSION", "25.1+1"}}, {}},
      {{{"JAVA_VERSION", "025"}, {"JAVA_RUNTIME_VERSION", "025+1"}}, {}},
      {{{"JAVA_VERSION", "25..1"}, {"JAVA_RUNTIME_VERSION", "25..1+1"}}, {}},
      {{{"JAVA_VERSION", "1.8.0 x"}}, {}},
      {{{"JAVA_VERSION", ""}, {"JAVA_RUNTIME_VERSION", "+1"}}, {}},
      {{{"OS_NAME", "Windows"}, {"OS_ARCH", "amd64"}}, {}},
      {{{"OS_NAME", "Linux"}, {"OS_ARCH", "sparcv9"}}, {{"os.name", "Linux"}}},
      {{{"OS_ARCH", "x86_64"}}, {}},
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const auto& field : c.fields) trace += field.first + "=" + field.second + " ";
    SCOPED_TRACE(trace);
    EXPECT_EQ(releaseProperties(c.fields), c.properties);
  }
}

// The properties a real JDK's release file gives are those its java prints.
TEST(ReleasePropertiesTest, AgreeWithWhatRealJDKsPrint) {
  int checked = 0;
  for (const char* home : {"/usr/lib/jvm/temurin-25-jdk-amd64", "/usr/lib/jvm/java-17-openjdk-amd64"}) {
    if (access((std::string(home) + "/bin/java").c_str(), X_OK) != 0) continue;
    SCOPED_TRACE(home);
    ReleaseFields fields;
    std::string problem;
    ASSERT_TRUE(readReleaseFile(home, fields, &problem)) << problem;
    std::map<std::string, std::string> stated = releaseProperties(fields);
    EXPECT_EQ(stated.size(), 4u);
    std::string out;
    ASSERT_EQ(runShell(std::string("'") + home + "/bin/java' -XshowSettings:properties -version 2>&1", &out), 0);
    for (const auto& property : stated) {
      std::string line = "    " + property.first + " = " + property.second + "\n";
      EXPECT_NE(out.find(line), std::string::npos) << "no line: " << line;
    }
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "no JDK in /usr/lib/jvm";
}

}  // namespace
}  // namespace bvtest
