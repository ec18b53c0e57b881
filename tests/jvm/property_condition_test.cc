// JVM_PROPERTIES conditions: version comparison, the parsing of a setting
// into name, operator and value, and the verification command and output
// check that use them.
#include "jvm/property_condition.h"

#include <string>

#include <gtest/gtest.h>

#include "jvm/jvm_file.h"
#include "jvm/string_pair.h"
#include "jvm/version_compare.h"
#include "launchscript/shell_quoting.h"
#include "tests/jvm/jvm_test_fixture.h"

namespace bvtest {
namespace {

int signOf(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

TEST(VersionCompare, VersionsCompareByTheirLeadingNumbers) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  } cases[] = {
      {"1.8.0_392", "9", -1},
      {"9", "17", -1},
      {"17", "17.0.15", -1},
      {"17.0.15", "21-ea", -1},
      {"17.0.9", "17.0.15", -1},
      {"17", "17.0.0", 0},
      {"17", "17", 0},
      {"21-ea", "21", 0},          // the first part that is not a number ends it
      {"21+35", "21.35", 0},        // "+" separates parts like "."
      {"1.8", "1.8.0_392", -1},
      {"11.0.2", "11.0.02", 0},    // numbers, not texts
      {"100000000000000000000001", "99999999999999999999999", 1},
      {"17.0.1x.5", "17.0.0.9", -1},  // "1x" ends the first at 17.0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(c.order, signOf(compareVersions(c.a, c.b)));
    EXPECT_EQ(-c.order, signOf(compareVersions(c.b, c.a)));
  }
  for (const char* v : {"null", "", "ea-17", ".17", "-1", "v17", " 17"}) {
    SCOPED_TRACE(v);
    EXPECT_FALSE(isComparableVersion(v));
  }
  for (const char* v : {"0", "17", "21-ea", "1.8.0_392", "17."}) {
    SCOPED_TRACE(v);
    EXPECT_TRUE(isComparableVersion(v));
  }
}

TEST(VersionCompare, NamesOrderByTheNumbersInThem) {
  EXPECT_GT(compareNamesByNumbers("17.0.15-tem", "17.0.9-zulu"), 0);
  EXPECT_GT(compareNamesByNumbers("jdk-21", "jdk-17"), 0);
  EXPECT_GT(compareNamesByNumbers("jdk-17.0.1", "jdk-17"), 0);
  EXPECT_GT(compareNamesByNumbers("jdk-8", "default-java"), 0);
  EXPECT_EQ(0, compareNamesByNumbers("temurin-17", "zulu-17"));
  EXPECT_LT(compareNamesByNumbers("java-1.8.0-openjdk", "java-11-openjdk"), 0);
}

TEST(PropertyCondition, SettingsSplitIntoNameOperatorAndValue) {
  struct Case {
    const char* setting;
    const char* name;
    PropertyOperator op;
    const char* value;
  } cases[] = {
      {"os.name=Linux", "os.name", PROPERTY_EQUALS, "Linux"},
      {" java.vendor = Apple... ", "java.vendor", PROPERTY_EQUALS, "Apple..."},
      {"a=", "a", PROPERTY_EQUALS, ""},
      {"a=b>c", "a", PROPERTY_EQUALS, "b>c"},   // the old format wins when '=' comes first
      {"a==17", "a", PROPERTY_EQUALS, "=17"},
      {"java.specification.version>=1.8", "java.specification.version", PROPERTY_AT_LEAST, "1.8"},
      {"a <= 21", "a", PROPERTY_AT_MOST, "21"},
      {"a>17", "a", PROPERTY_ABOVE, "17"},
      {"a<17.0.2", "a", PROPERTY_BELOW, "17.0.2"},
      {"a>=x=y", "a", PROPERTY_AT_LEAST, "x=y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    SString name;
    SString value;
    PropertyOperator op = PROPERTY_BELOW;
    ASSERT_TRUE(parsePropertyCondition(c.setting, name, op, value));
    EXPECT_STREQ(c.name, name.c_str());
    EXPECT_EQ(c.op, op);
    EXPECT_STREQ(c.value, value.c_str());
  }
  for (const char* bad : {"no operator", "", "=Linux", " >= 17", "a>=", "a>= ", "a<", "a=>17",
                          "a=<17", "a>=>17", "a<>17", "a>>17", "a<=<17"}) {
    SCOPED_TRACE(bad);
    SString name;
    SString value;
    PropertyOperator op;
    EXPECT_FALSE(parsePropertyCondition(bad, name, op, value));
  }
}

TEST(PropertyCondition, PrintedValuesSatisfyComparisonsAsVersions) {
  struct Case {
    const char* printed;
    PropertyOperator op;
    const char* value;
    bool result;
  } cases[] = {
      {"17.0.15", PROPERTY_AT_LEAST, "17", true},
      {"17", PROPERTY_AT_LEAST, "17", true},
      {"11.0.22", PROPERTY_AT_LEAST, "17", false},
      {"1.8", PROPERTY_AT_LEAST, "1.8", true},
      {"9", PROPERTY_AT_LEAST, "1.8", true},
      {"1.7", PROPERTY_AT_LEAST, "1.8", false},
      {"21-ea", PROPERTY_AT_LEAST, "21", true},
      {"21-ea", PROPERTY_ABOVE, "21", false},
      {"17.0.15", PROPERTY_ABOVE, "17", true},
      {"17", PROPERTY_ABOVE, "17.0", false},
      {"17", PROPERTY_AT_MOST, "17.0.0", true},
      {"17.0.1", PROPERTY_AT_MOST, "17", false},
      {"1.8.0_392", PROPERTY_BELOW, "9", true},
      {"9", PROPERTY_BELOW, "9", false},
      {"null", PROPERTY_AT_LEAST, "1", false},   // unset property
      {"null", PROPERTY_BELOW, "99", false},
      {"", PROPERTY_AT_MOST, "99", false},
      {"17", PROPERTY_AT_LEAST, "null", false},  // a given value without a number
      {"Linux", PROPERTY_EQUALS, "Linux", true},
      {"Linux", PROPERTY_EQUALS, "Lin...", true},
      {"17.0.15", PROPERTY_EQUALS, "17", false},  // "=" stays an exact match
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.printed) + " op " + std::to_string(c.op) + " " + c.value);
    EXPECT_EQ(c.result, propertySatisfies(c.printed, c.op, c.value));
  }
}

// The name, not "name>=value", goes to the verification class, and the
// output is matched with the operators.
TEST_F(JVMFileTest, ComparisonsGiveThePropertyNameToTheCommand) {
  TagFile& tags = loadTagFile(std::string(kExampleJVMFile) +
                              "JVM_PROPERTIES:\n"
                              "  os.name=Linux\n"
                              "  java.specification.version>=17\n"
                              "  java.version=>17\n"
                              "  java.vm.version<22\n"
                              "/:\n");
  JVMFile jvm(tags, context());
  ShellValueScope values;
  StringPairPtrDeque expected;
  SString command = ShellValues::flatten(jvm.buildVerifyCommand("/jdk", "cp", "Verify", expected));
  EXPECT_STREQ("\"/jdk/@JVM_EXE@\" %CP%(cp) Verify os.name java.specification.version "
               "java.vm.version",
               command.c_str());
  ASSERT_EQ(3, expected.size());
  EXPECT_EQ(PROPERTY_AT_LEAST, expected.at(1)->getOperator());
  EXPECT_STREQ("17", expected.at(1)->getValue().c_str());
  EXPECT_EQ(PROPERTY_BELOW, expected.at(2)->getOperator());
  EXPECT_NE(std::string::npos,
            log().find("WARNING: Invalid JVM_PROPERTIES setting (java.version=>17) in JVM File "));

  EXPECT_TRUE(jvm.verifyJVMOutput("1739021872\nLinux\n17.0.15\n17.0.15+6\n", expected));
  EXPECT_TRUE(jvm.verifyJVMOutput("1739021872\nLinux\n21\n21.0.2\n", expected));
  EXPECT_FALSE(jvm.verifyJVMOutput("1739021872\nLinux\n11\n11.0.22\n", expected));
  EXPECT_FALSE(jvm.verifyJVMOutput("1739021872\nLinux\n22\n22.0.1\n", expected));
  EXPECT_FALSE(jvm.verifyJVMOutput("1739021872\nLinux\nnull\n17\n", expected));
}

}  // namespace
}  // namespace bvtest
