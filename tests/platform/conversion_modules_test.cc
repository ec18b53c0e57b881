// When iconv may load the system's conversion modules: the names glibc
// converts by itself, and the release a C library file names.
#include "platform/conversion_modules.h"

#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/test_util.h"

namespace {

TEST(ConversionModules, NamesCompareAsGlibcComparesThem) {
  EXPECT_EQ("utf8", normalizedCodeset("UTF-8"));
  EXPECT_EQ("utf8", normalizedCodeset("utf8"));
  EXPECT_EQ("iso88591", normalizedCodeset("ISO-8859-1"));
  EXPECT_EQ("iso88591", normalizedCodeset("ISO8859_1"));
  EXPECT_EQ("eucjp", normalizedCodeset("eucJP"));
  EXPECT_EQ("", normalizedCodeset("-_."));
  for (const char* builtIn : {"UTF-8", "utf8", "ASCII", "WCHAR_T", "UTF-16LE", "UCS-4", "UTF-32"}) {
    EXPECT_TRUE(isBuiltInCharset(builtIn)) << builtIn;
  }
  for (const char* module : {"ISO-8859-1", "KOI8-R", "EUC-JP", "UTF-7", "UTF-88", ""}) {
    EXPECT_FALSE(isBuiltInCharset(module)) << module;
  }
  // Conversions between built-in sets never need a module.
  EXPECT_TRUE(iconvUsable("WCHAR_T", "UTF-8"));
  // This test program uses the system's C library, so every pair may be
  // converted.
  EXPECT_TRUE(iconvUsable("UTF-8", "KOI8-R"));
}

TEST(ConversionModules, TheReleaseOfACLibraryFile) {
  bvtest::TempDir dir;
  // The C library this test program runs with names its own release.
  Dl_info info;
  ASSERT_NE(0, dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &info));
  EXPECT_EQ(gnu_get_libc_version(), libcReleaseOf(info.dli_fname)) << info.dli_fname;
  struct Case {
    const char* bytes;
    const char* release;
  } cases[] = {
      {"GNU C Library (Any 9.99-1) stable release version 9.99.\n", "9.99"},
      {"\x7f" "ELF...release version 2.17, by Roland McGrath et al.", "2.17"},
      {"release version ", ""},
      {"no banner here", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    bvtest::writeFile(dir.file("libc"), c.bytes);
    EXPECT_EQ(c.release, libcReleaseOf(dir.file("libc").c_str())) << c.bytes;
  }
  EXPECT_EQ("", libcReleaseOf(dir.file("missing").c_str()));
  EXPECT_EQ("", libcReleaseOf(dir.path().c_str()));
}

}  // namespace
