// Where the program at the start of a launcher file ends: the whole file
// for the stub as built and as strip leaves it, beyond the end for one cut
// short, unknown for anything that is not an ELF program of this machine.
#include "archive/executable_image.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/archive/archive_test_util.h"
#include "tests/test_util.h"

namespace {

long imageEndOf(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -2;
  long end = executableImageEnd(fd);
  close(fd);
  return end;
}

TEST(ExecutableImage, TheStubEndsWhereItsFileEndsAndACutOneBeyond) {
  bvtest::TempDir dir;
  std::string stub = bvtest::readFile(bvtest::binaryPath("bvlauncher"));
  ASSERT_GT(stub.size(), 100000u);
  EXPECT_EQ(static_cast<long>(stub.size()), imageEndOf(bvtest::binaryPath("bvlauncher")));
  ASSERT_EQ(0, bvtest::runShell("strip -o " + bvtest::shellQuote(dir.file("stripped")) + " " +
                                bvtest::shellQuote(bvtest::binaryPath("bvlauncher"))));
  std::string stripped = bvtest::readFile(dir.file("stripped"));
  EXPECT_EQ(static_cast<long>(stripped.size()), imageEndOf(dir.file("stripped")));
  // Cut anywhere, the image reaches past the end of the file.
  for (size_t keep : {stripped.size() - 1, stripped.size() / 2, size_t{100}}) {
    SCOPED_TRACE(keep);
    bvtest::writeFile(dir.file("cut"), stripped.substr(0, keep));
    EXPECT_GT(imageEndOf(dir.file("cut")), static_cast<long>(keep));
  }
  // A payload after it does not count.
  bvtest::writeFile(dir.file("longer"), stripped + "payload");
  EXPECT_EQ(static_cast<long>(stripped.size()), imageEndOf(dir.file("longer")));
  for (const std::string& other : {std::string("#!/bin/sh\nexit 0\n"), std::string("\x7f" "EL"), std::string(),
                                   std::string("\x7f" "ELF\x03") + std::string(100, '\0')}) {
    bvtest::writeFile(dir.file("other"), other);
    EXPECT_EQ(-1, imageEndOf(dir.file("other"))) << other;
  }
}

}  // namespace
