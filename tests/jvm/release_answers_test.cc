// A JVM file with RELEASE_FILE_ANSWERS takes a home's release file as the
// answer to the verification when the file states every property asked;
// otherwise the JVM runs as for any candidate. bin/java is /bin/true, a
// program of this machine that prints nothing: a match proves that no JVM
// ran, no match that the verification ran (and found no answer).
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>

#include "jvm/jvm_file.h"
#include "jvm/jvm_match.h"
#include "tagfile/tag_file.h"
#include "tests/jvm/jvm_test_fixture.h"

namespace bvtest {
namespace {

const char* kRelease =
    "JAVA_VERSION=\"25.0.3\"\nJAVA_RUNTIME_VERSION=\"25.0.3+9-LTS\"\nOS_NAME=\"Linux\"\nOS_ARCH=\"x86_64\"\n";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ReleaseAnswersTest : public JVMFileTest {
 protected:
  // A home at name whose java is /bin/true (or the fake script JVM that
  // answers Linux and 21) and whose release file holds release (none when
  // null) with the given mode.
  std::string home(const std::string& name, const char* release, int mode = 0644, bool script = false) {
    std::string path = makeFakeHome(m_dir.file(name), "1739021872\nLinux\n21\n");
    if (!script) writeFile(path + "/bin/java", readFile("/bin/true"), 0755);
    if (release != nullptr) {
      writeFile(path + "/release", release, mode);
      chmod((path + "/release").c_str(), mode);
    }
    return path;
  }
};

TEST_F(ReleaseAnswersTest, AReleaseFileStandsInForTheVerificationOnlyWhenItStatesEveryProperty) {
  std::string damaged = std::string(kRelease) + "NOT A FIELD\n";
  std::string noRuntimeVersion = "JAVA_VERSION=\"25.0.3\"\nOS_NAME=\"Linux\"\n";  // a jlink image's way
  struct Case {
    const char* name;
    const char* release;  // the file's text, or null for none
    int mode;
    const char* properties;  // JVM_PROPERTIES values, separated by spaces
    bool optIn;              // RELEASE_FILE_ANSWERS: 1
    bool script;             // bin/java is the fake script JVM
    bool matches;
    const char* version;  // JVM_VERSION of a match
  } cases[] = {
      {"stated", kRelease, 0644, "os.name=Linux java.specification.version>=17", true, false, true, "25"},
      {"os.arch stated, the version not asked", kRelease, 0644, "os.arch=amd64", true, false, true, ""},
      {"a condition the file fails", kRelease, 0644, "java.specification.version>=26", true, false, false, ""},
      {"no opt-in", kRelease, 0644, "os.name=Linux", false, false, false, ""},
      {"no release file", nullptr, 0644, "os.name=Linux", true, false, false, ""},
      {"a damaged release file", damaged.c_str(), 0644, "os.name=Linux", true, false, false, ""},
      {"writable by others", kRelease, 0646, "os.name=Linux", true, false, false, ""},
      {"a property it does not state", kRelease, 0644, "os.name=Linux java.vendor=Someone", true, false, false, ""},
      {"the feature without JAVA_RUNTIME_VERSION", noRuntimeVersion.c_str(), 0644,
       "os.name=Linux java.specification.version>=17", true, false,
       true, "25"},
      {"java.version without JAVA_RUNTIME_VERSION", noRuntimeVersion.c_str(), 0644, "java.version=25.0.3", true,
       false, false, ""},
      // A java that is not this machine's program is never taken on its
      // home's word: it runs, and here it answers.
      {"a script java", kRelease, 0644, "os.name=Linux java.specification.version>=17", true, true, true, "21"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "DESC: d\nJVM_EXE: bin/java\nCLASSPATH: \"-cp \"\nJVM_PROPERTIES:\n";
    for (size_t start = 0, end; start <= std::strlen(c.properties); start = end + 1) {
      end = std::string(c.properties).find(' ', start);
      if (end == std::string::npos) end = std::strlen(c.properties);
      text += "  " + std::string(c.properties).substr(start, end - start) + "\n";
    }
    text += "/:\n";
    if (c.optIn) text += "RELEASE_FILE_ANSWERS: 1\n";
    TagFile& tags = loadTagFile(text);
    JVMFile jvm(tags, context());
    std::string path = home(c.name, c.release, c.mode, c.script);
    std::unique_ptr<JVMMatch> match(jvm.verify(path.c_str(), "\"/opt/bv/verify.jar\"", "\"Verify\""));
    EXPECT_EQ(c.matches, match != nullptr) << log();
    if (match != nullptr) {
      EXPECT_STREQ(c.version, tags.getTagValue("JVM_VERSION", 0).c_str());
    }
    bool fromRelease = contains(log(), "Verification of " + path + "/bin/java taken from the release file");
    EXPECT_EQ(c.script ? false : c.matches || std::string(c.name) == "a condition the file fails", fromRelease);
  }
}

}  // namespace
}  // namespace bvtest
