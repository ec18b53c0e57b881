// The stub runs on any Linux of its architecture: it depends on no shared
// library of the machine it was built on (nothing for the dynamic loader to
// find, no symbol versions of the build machine's C library), runs in a root
// that holds nothing but itself, and prints the message catalog's German in
// ISO-8859-1 and in UTF-8 without converting at run time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/messages.h"
#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"

namespace bvtest {
namespace {

// The German text of "Cannot use %s as the temp directory ...", up to the
// word with an umlaut, in ISO-8859-1 and in UTF-8.
const char kGermanLatin1[] = " kann nicht als tempor\xe4res Verzeichnis verwendet werden";
const char kGermanUtf8[] = " kann nicht als tempor\xc3\xa4res Verzeichnis verwendet werden";

// The Russian text of that message for the missing folder (message 44, the
// first sentence of message 39, which a setup program's launcher prints):
// the table's own bytes (ISO-8859-5), or the UTF-8 text converted to
// codeset.
std::string russianTempMessage(const char* codeset = nullptr) {
  int ru = 0;
  while (std::string(msg_locale_table[ru][0]) != "ru") ++ru;
  std::string text = codeset == nullptr ? msg_locale_table[ru][MSGID_GIVEN_TEMP_DIR_MISSING]
                                        : msg_locale_table_utf8[ru][MSGID_GIVEN_TEMP_DIR_MISSING];
  text.replace(text.find("%s"), 2, "/nonexistent-bv-temp");
  if (codeset == nullptr) return text;
  SString converted;
  if (!convertCharset(text.c_str(), text.size(), "UTF-8", codeset, converted)) return "(no " + std::string(codeset) + ")";
  return converted.c_str();
}

class PortableStubTest : public E2eTest {
 protected:
  // A launcher with the typical script; the run below stops at its
  // temporary directory, before any JVM is looked for.
  std::string launcher() { return pack("app", payload(typicalScriptPath())); }

  ProcessResult runWithMissingTemp(const std::string& program, const std::string& lang) {
    return runProcess({program, "-bv:tempdir", "/nonexistent-bv-temp"}, {"LANG=" + lang, "PATH=/usr/bin:/bin"});
  }
};

// The sanitizer builds link the stub against the shared libraries (the
// sanitizers' runtimes need them), so these two hold for the static stub of
// the ordinary build only.
#if BV_STATIC_STUB
TEST_F(PortableStubTest, TheStubNeedsNoSharedLibrary) {
  std::string out;
  ASSERT_EQ(0, runShell("readelf --program-headers --dynamic --version-info " +
                            shellQuote(binaryPath("bvlauncher")) , &out))
      << out;
  // No program interpreter (the dynamic loader), no library to load, no
  // symbol version required of one.
  EXPECT_EQ(std::string::npos, out.find("INTERP")) << out;
  EXPECT_EQ(std::string::npos, out.find("(NEEDED)")) << out;
  EXPECT_EQ(std::string::npos, out.find(".gnu.version_r")) << out;
  EXPECT_EQ(std::string::npos, out.find("GLIBC_")) << out;
  // bvpack, for comparison, is an ordinary dynamically linked program.
  ASSERT_EQ(0, runShell("readelf --dynamic " + shellQuote(binaryPath("bvpack")), &out));
  EXPECT_NE(std::string::npos, out.find("(NEEDED)")) << out;
}

TEST_F(PortableStubTest, ALauncherRunsInARootWithoutAnyLibrary) {
  // A root that holds the launcher and nothing else: no C library, no
  // dynamic loader, no /proc, no conversion modules. chroot is allowed in a
  // user namespace of one's own.
  std::string root = dir.file("root");
  ASSERT_EQ(0, runShell("mkdir -p " + shellQuote(root + "/tmp") + " && cp " + shellQuote(launcher()) + " " +
                        shellQuote(root + "/app") + " && cp /bin/true " + shellQuote(root + "/true")));
  std::string out;
  ASSERT_EQ(0, runShell("unshare --map-root-user true", &out))
      << "needs user namespaces (unshare --map-root-user): " << out;
  // A dynamically linked program cannot start there.
  EXPECT_NE(0, runShell("unshare --map-root-user chroot " + shellQuote(root) + " /true", &out));
  struct Case {
    const char* lang;
    const char* text;
  } cases[] = {{"de_DE.UTF-8", kGermanUtf8}, {"de_DE.ISO-8859-1", kGermanLatin1},
               // No module to convert with: the table's own bytes.
               {"de_DE.ISO-8859-15@euro", kGermanLatin1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang);
    EXPECT_EQ(255, runShell(languagePrefix(c.lang) + "unshare --map-root-user chroot " + shellQuote(root) +
                                " /app -bv:tempdir /nonexistent-bv-temp",
                            &out));
    EXPECT_NE(std::string::npos, out.find("/nonexistent-bv-temp" + std::string(c.text))) << out;
  }
  EXPECT_EQ(255, runShell(languagePrefix("ru_RU.KOI8-R") + "unshare --map-root-user chroot " + shellQuote(root) +
                              " /app -bv:tempdir /nonexistent-bv-temp",
                          &out));
  EXPECT_NE(std::string::npos, out.find(russianTempMessage())) << out;
  // Without /proc the launcher finds its file by the name it was started by.
  ASSERT_EQ(0, runShell("unshare --map-root-user chroot " + shellQuote(root) + " /app -bv:help", &out));
  EXPECT_NE(std::string::npos, out.find("-bv:javahome")) << out;
}
#endif  // BV_STATIC_STUB

TEST_F(PortableStubTest, TheCatalogPrintsGermanInLatin1AndInUtf8) {
  std::string app = launcher();
  struct Case {
    const char* lang;
    const char* text;
  } cases[] = {
      {"de_DE.ISO-8859-1", kGermanLatin1},
      {"de_DE.iso88591", kGermanLatin1},
      {"de_DE", kGermanLatin1},  // no codeset: the table's own
      {"de_DE.UTF-8", kGermanUtf8},
      {"de_DE.utf8", kGermanUtf8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang);
    ProcessResult r = runWithMissingTemp(app, c.lang);
    EXPECT_EQ(255, r.status);
    // A setup program's launcher prints its messages on standard output.
    EXPECT_NE(std::string::npos, r.out.find("/nonexistent-bv-temp" + std::string(c.text))) << r.out;
  }
  // Another codeset is converted with the system's modules, which this
  // machine's C library (the one the stub was built with) may load.
  ProcessResult r = runWithMissingTemp(app, "ru_RU.KOI8-R");
  EXPECT_NE(std::string::npos, r.out.find(russianTempMessage("KOI8-R"))) << r.out;
  EXPECT_NE(russianTempMessage("KOI8-R"), russianTempMessage());
}

}  // namespace
}  // namespace bvtest
