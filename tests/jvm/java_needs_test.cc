// What a run without a suitable JVM tells its user, read from the JVM
// files: the descriptions of the files meant for this system, and the
// download page.
#include "jvm/java_needs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "jvm/jvm_file.h"
#include "jvm/jvm_files.h"
#include "tagfile/tag_file.h"
#include "tests/launchscript/test_launch_context.h"
#include "tests/test_util.h"

namespace {

class JavaNeedsTest : public ::testing::Test {
 protected:
  // Adds a JVM file of the given tag lines.
  void add(const std::string& text) {
    std::string path = dir.file("jvm" + std::to_string(tagFiles.size()) + ".tag");
    bvtest::writeFile(path, text);
    tagFiles.emplace_back(new TagFile(SString(path.c_str())));
    files.addJVMFile(new JVMFile(*tagFiles.back(), run.context));
  }

  bvtest::TempDir dir;
  bvtest::TestLaunchContext run;
  std::vector<std::unique_ptr<TagFile>> tagFiles;  // outlive files (declared first)
  JVMFiles files{run.context};
};

TEST_F(JavaNeedsTest, TheFilesForThisSystemSayWhatIsNeededOnce) {
  std::string os = thisSystemOsName().c_str();
  ASSERT_FALSE(os.empty());
  add("DESC: Java 17 or later\nJVM_PROPERTIES:\n  os.name=" + os + "\n/:\n");
  add("DESC: Java 17 or later\nJVM_PROPERTIES:\n  os.name=Mac OS X\n/:\n");
  add("DESC: Windows Java\nJVM_PROPERTIES:\n  os.name=Win...\n  java.version>=17\n/:\n");
  add("DESC: Any Java 21\nJVM_PROPERTIES:\n  java.specification.version>=21\n/:\n");
  add("DESC: Prefix Java\nJVM_PROPERTIES:\n  os.name=" + os.substr(0, 2) + "...\n/:\n");
  add("JVM_EXE: bin/java\n");
  JavaNeeds needs = javaNeedsOf(files);
  EXPECT_EQ("Java 17 or later, Any Java 21, Prefix Java", std::string(needs.description.c_str()));
  EXPECT_EQ("", std::string(needs.downloadUrl.c_str()));
  EXPECT_TRUE(needs.warnings.empty());
}

TEST_F(JavaNeedsTest, OnlyFilesForOtherSystemsStillCount) {
  add("DESC: Windows Java\nJVM_PROPERTIES:\n  os.name=Windows 11\n/:\n"
      "DOWNLOAD_URL: https://example.org/windows\n");
  EXPECT_EQ("Windows Java", std::string(javaNeedsOf(files).description.c_str()));
  EXPECT_EQ("https://example.org/windows", std::string(javaNeedsOf(files).downloadUrl.c_str()));
}

TEST_F(JavaNeedsTest, TheFirstWebAddressWinsAndOthersAreReported) {
  add("DESC: Other\nJVM_PROPERTIES:\n  os.name=Plan 9\n/:\nDOWNLOAD_URL: https://example.org/plan9\n");
  add("DESC: Mine\nDOWNLOAD_URL: javascript:alert(1)\n");
  add("DESC: Mine too\nDOWNLOAD_URL: https://example.org/mine\n");
  add("DESC: Third\nDOWNLOAD_URL: https://example.org/third\n");
  JavaNeeds needs = javaNeedsOf(files);
  EXPECT_EQ("Mine, Mine too, Third", std::string(needs.description.c_str()));
  // A file of this system wins over one of another system before it.
  EXPECT_EQ("https://example.org/mine", std::string(needs.downloadUrl.c_str()));
  ASSERT_EQ(1u, needs.warnings.size());
  EXPECT_NE(std::string::npos,
            std::string(needs.warnings[0].c_str()).find("Ignoring DOWNLOAD_URL javascript:alert(1)"));
}

}  // namespace
