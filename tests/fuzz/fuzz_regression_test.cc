// Replays the inputs that the fuzz targets once failed on, kept under
// tests/fuzz_regressions/<target>/, through the targets' own entry points
// (fuzz/fuzz_entries.h); and runs every target on the example files, so a
// target that breaks is noticed without a fuzz build.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/fuzz_entries.h"
#include "tests/test_util.h"

namespace {

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> files;
  if (DIR* handle = opendir(dir.c_str())) {
    while (struct dirent* entry = readdir(handle)) {
      std::string path = dir + "/" + entry->d_name;
      struct stat st;
      if (entry->d_name[0] != '.' && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        files.push_back(path);
      }
    }
    closedir(handle);
  }
  std::sort(files.begin(), files.end());
  return files;
}

int runEntry(const FuzzEntry& entry, const std::string& bytes) {
  return entry.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(FuzzRegressions, KeptInputsRunCleanly) {
  for (size_t i = 0; i < fuzzEntryCount; ++i) {
    const FuzzEntry& entry = fuzzEntries[i];
    for (const std::string& path : filesIn(bvtest::sourcePath("tests/fuzz_regressions/") + entry.name)) {
      SCOPED_TRACE(path);
      EXPECT_EQ(0, runEntry(entry, bvtest::readFile(path)));
    }
  }
}

TEST(FuzzRegressions, EveryTargetTakesTheExampleFiles) {
  std::vector<std::string> examples = filesIn(bvtest::sourcePath("examples"));
  std::vector<std::string> payload = filesIn(bvtest::sourcePath("examples/setup"));
  examples.insert(examples.end(), payload.begin(), payload.end());
  ASSERT_FALSE(examples.empty());
  for (size_t i = 0; i < fuzzEntryCount; ++i) {
    for (const std::string& path : examples) {
      SCOPED_TRACE(std::string(fuzzEntries[i].name) + " " + path);
      EXPECT_EQ(0, runEntry(fuzzEntries[i], bvtest::readFile(path)));
    }
  }
}

}  // namespace
