// The bookkeeping of the class-data archives that needs no Java: the
// version rule and the removal of old and unfinished files.
#include "jvm/class_data_archives.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace bvtest {
namespace {

std::vector<std::string> listDir(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (struct dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ClassDataArchivesTest, FeatureVersions) {
  struct Case {
    const char* text;
    int version;
  } cases[] = {{"1.8", 8}, {"9", 9}, {"13", 13}, {"17", 17}, {"17.0", 17}, {"25-ea", 25},
               {"", 0},    {"null", 0}, {"1.", 0}};
  for (const Case& c : cases) EXPECT_EQ(c.version, ClassDataArchives::featureVersion(c.text)) << c.text;
}

// Keeps the most recently used keys (at most maxClassDataArchives, none
// unused for 30 days) and keys that a process holds; removes unfinished
// files of keys that nobody works on.
TEST(ClassDataArchivesTest, PruneKeepsTheRecentAndTheBusyAndRemovesTheRest) {
  TempDir dir;
  std::string folder = dir.file("cds");
  mkdir(folder.c_str(), 0700);
  time_t now = time(nullptr);
  auto make = [&](const std::string& name, time_t age) {
    std::string path = folder + "/" + name;
    writeFile(path, "x", 0600);
    struct timespec times[2] = {{now - age, 0}, {now - age, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  };
  const time_t hour = 3600, day = 24 * hour;
  std::vector<std::string> expected;
  for (int i = 0; i < 10; ++i) {
    std::string key = "k" + std::to_string(i);
    time_t age = i == 9 ? 31 * day : i * hour;
    make(key + ".jsa", age);
    make(key + ".lock", age);
    if (i < static_cast<int>(maxClassDataArchives)) {
      expected.push_back(key + ".jsa");
      expected.push_back(key + ".lock");
    }
  }
  make("failed.failed", 40 * day);  // unused for too long
  make("busy.jsa", 40 * day);       // old, but a process holds its lock
  make("busy.lock", 40 * day);
  make("busy.classes-abcdef", 0);
  make("left.classes-abcdef", 2 * hour);  // a run that was killed
  make("left.lock", 2 * hour);
  make("k0.jsa-abcdef", 0);  // an unfinished archive that nobody makes
  make("mine.lock", 0);         // the caller's key: its lock is held by the caller,
  make("mine.classes-abcdef", 0);  // so its lists are leftovers of ended runs
  expected.insert(expected.end(), {"busy.classes-abcdef", "busy.jsa", "busy.lock", "mine.lock"});
  std::sort(expected.begin(), expected.end());

  int locks[2];
  for (int i = 0; i < 2; ++i) {
    locks[i] = open((folder + (i == 0 ? "/busy.lock" : "/mine.lock")).c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(locks[i], 0);
    ASSERT_EQ(0, flock(locks[i], LOCK_EX));
  }
  ClassDataArchives::prune(folder, now, "mine");
  for (int fd : locks) close(fd);
  EXPECT_EQ(expected, listDir(folder));
}

// The archives together stay within the byte budget: the least recently
// used go first, the most recently used stays even when it alone is larger.
TEST(ClassDataArchivesTest, PruneKeepsTheArchivesWithinTheBudget) {
  struct Case {
    const char* what;
    unsigned long long budget;
    std::vector<std::string> kept;
  } cases[] = {
      {"all fit", 100, {"a.jsa", "a.lock", "b.jsa", "b.lock", "c.jsa", "c.lock"}},
      {"exactly the two newest", 70, {"a.jsa", "a.lock", "b.jsa", "b.lock"}},
      {"one byte less", 69, {"a.jsa", "a.lock"}},
      {"the newest alone is larger", 10, {"a.jsa", "a.lock"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string folder = dir.file("cds");
    mkdir(folder.c_str(), 0700);
    time_t now = time(nullptr);
    // a: 40 bytes, used an hour ago; b: 30, two hours; c: 20, three hours.
    const char* names[] = {"a", "b", "c"};
    for (int i = 0; i < 3; ++i) {
      for (const char* suffix : {".jsa", ".lock"}) {
        std::string path = folder + "/" + names[i] + suffix;
        writeFile(path, std::string(std::string(suffix) == ".jsa" ? 40 - 10 * i : 0, 'x'), 0600);
        struct timespec times[2] = {{now - 3600 * (i + 1), 0}, {now - 3600 * (i + 1), 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
      }
    }
    ClassDataArchives::prune(folder, now, "", c.budget);
    EXPECT_EQ(c.kept, listDir(folder));
  }
}

TEST(ClassDataArchivesTest, TheBudgetComesFromTheEnvironmentWhenItIsANumber) {
  struct Case {
    const char* value;
    unsigned long long budget;
  } cases[] = {{nullptr, defaultClassDataArchiveBudget}, {"", defaultClassDataArchiveBudget},
               {"0", 0}, {"300", 300ULL << 20}, {"-1", defaultClassDataArchiveBudget},
               {"12x", defaultClassDataArchiveBudget}, {"99999999999", defaultClassDataArchiveBudget}};
  for (const Case& c : cases) {
    if (c.value == nullptr) {
      unsetenv("BV_CDS_BUDGET_MB");
    } else {
      setenv("BV_CDS_BUDGET_MB", c.value, 1);
    }
    EXPECT_EQ(c.budget, classDataArchiveBudget()) << (c.value == nullptr ? "unset" : c.value);
  }
  unsetenv("BV_CDS_BUDGET_MB");
}

}  // namespace
}  // namespace bvtest
