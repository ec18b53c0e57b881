// The check against the real JDK of the machine (`java` on PATH), run on the
// Verify.jar that the build writes.
#include "jvm/jvm_file.h"

#include <string>

#include <gtest/gtest.h>

#include "jvm/jvm_match.h"
#include "tests/java/java_installs.h"
#include "tests/jvm/jvm_test_fixture.h"

namespace bvtest {
namespace {

class RealJVMTest : public JVMFileTest {
 protected:
  void SetUp() override {
    JVMFileTest::SetUp();
    std::string java = findJava();
    if (java.empty()) GTEST_SKIP() << "no java on PATH or under /usr/lib/jvm";
    m_home = javaHomeOf(java);
    m_jar = javaBuildPath("Verify.jar");
    if (!pathExists(m_jar)) GTEST_SKIP() << "Verify.jar was not built: " << m_jar;
  }

  // Checks the real home against one JVM_PROPERTIES list.
  bool check(const std::string& properties) {
    TagFile& tags = loadTagFile("DESC: test JVM\nJVM_EXE: bin/java\nCLASSPATH: \"-cp \"\n"
                                "CLASSPATH_SEPARATOR: :\nJVM_PROPERTIES:\n" +
                                properties + "/:\n");
    JVMFile jvm(tags, context());
    std::string cp = "\"" + m_jar + "\"";
    JVMMatch* match = jvm.verify(m_home.c_str(), cp.c_str(), "\"Verify\"");
    bool found = match != nullptr;
    if (found) {
      EXPECT_STREQ(m_home.c_str(), match->getJVMHome().c_str());
    }
    delete match;
    return found;
  }

  std::string m_home;
  std::string m_jar;
};

TEST_F(RealJVMTest, PatternsAreMatchedAgainstTheRealJVM) {
  struct Case {
    const char* name;
    std::string properties;
    bool matches;
  } cases[] = {
      {"exact", "  file.separator=/\n  path.separator=:\n  java.class.path=" + m_jar + "\n", true},
      {"prefix", "  os.name=Lin...\n  java.vendor.url=http...\n  java.vm.name=...\n", true},
      {"unset property prints null", "  bv.no.such.property=null\n", true},
      {"failing exact", "  file.separator=/\n  path.separator=;\n", false},
      {"failing prefix", "  java.specification.version=1.1...\n", false},
      {"exact is not a prefix", "  os.name=Lin\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.matches, check(c.properties)) << log();
  }
  EXPECT_TRUE(log().find("Found matching JVM at " + m_home + "\n") != std::string::npos);
}

}  // namespace
}  // namespace bvtest
