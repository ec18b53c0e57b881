// A found Java executable is run only when nobody else could have put it
// there; a home that the user or the calling program named is run as given.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "jvm/jvm_file.h"
#include "jvm/jvm_match.h"
#include "platform/platform_impl.h"
#include "tests/jvm/jvm_test_fixture.h"

namespace bvtest {
namespace {

const char kJVMText[] =
    "DESC:  Trusty\n"
    "JVM_EXE:  bin/java\n"
    "JVM_PROPERTIES:  os.name=Linux\n";
const char kOutput[] = "1739021872\nLinux\n";

class JVMTrustTest : public JVMFileTest {
 protected:
  void SetUp() override {
    JVMFileTest::SetUp();
    SString why;
    if (!PlatformImpl::isTrustedFile(m_dir.path().c_str(), why)) {
      GTEST_SKIP() << "the test directory itself is not trusted: " << why.c_str();
    }
  }
  // A directory below the test directory with the given mode.
  std::string place(const std::string& name, int mode) {
    std::string path = m_dir.file(name);
    EXPECT_EQ(0, mkdir(path.c_str(), 0755));
    EXPECT_EQ(0, chmod(path.c_str(), mode));
    return path;
  }
  // Checks home with the fake verification; returns whether it matched and
  // the progress dots printed.
  bool check(const std::string& home, bool named, long& dots) {
    JVMFile file(loadTagFile(kJVMText), context());
    PlatformImpl::setSilent(false);
    PlatformImpl::showUI();
    testing::internal::CaptureStdout();
    std::unique_ptr<JVMMatch> match(file.verify(home.c_str(), "\"v.jar\"", "\"Verify\"", named));
    std::string printed = testing::internal::GetCapturedStdout();
    PlatformImpl::hideUI(0);
    PlatformImpl::setSilent(true);
    dots = 0;
    for (char c : printed) dots += c == '.';
    return match != nullptr;
  }
};

TEST_F(JVMTrustTest, FoundExecutablesThatOthersCouldReplaceAreSkippedWithoutRunning) {
  std::string clean = makeFakeHome(place("clean", 0755) + "/jdk", kOutput);
  std::string sticky = makeFakeHome(place("sticky", 01777) + "/jdk", kOutput);
  std::string open = makeFakeHome(place("open", 0777) + "/jdk", kOutput);
  std::string group = makeFakeHome(place("group", 0755) + "/jdk", kOutput);
  ASSERT_EQ(0, chmod((group + "/bin/java").c_str(), 0775));
  struct Case {
    std::string home;
    bool named;
    bool runs;
    std::string reason;
  } cases[] = {
      {clean, false, true, ""},
      {sticky, false, true, ""},
      {open, false, false,
       "The directory " + m_dir.file("open") + " above " + open + "/bin/java is writable by other users."},
      {group, false, false, "The file " + group + "/bin/java is writable by its group."},
      // Named by the user (-bv:javahome) or the calling program: run as given.
      {open, true, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.home + (c.named ? " (named)" : ""));
    unlink((c.home + "/invoked").c_str());
    long dots = 0;
    EXPECT_EQ(c.runs, check(c.home, c.named, dots));
    EXPECT_EQ(c.runs, !invoked(c.home).empty());
    // A skip moves the progress as a missing executable does (2); a run
    // moves it by 6 and a dot per chunk of output read.
    if (c.runs) {
      EXPECT_LE(6, dots);
    } else {
      EXPECT_EQ(2, dots);
    }
    std::string line = "WARNING: Not running " + c.home + "/bin/java: " + c.reason + "\n";
    EXPECT_EQ(!c.runs, log().find(line) != std::string::npos) << log();
  }
}

TEST_F(JVMTrustTest, AnExecutableOfAnotherUserIsNotRunByAnyHint) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
  std::string planted = makeFakeHome(place("planted", 0755) + "/jdk", kOutput);
  ASSERT_EQ(0, chown((planted + "/bin/java").c_str(), 4242, static_cast<gid_t>(-1)));
  std::string clean = makeFakeHome(place("clean", 0755) + "/jdk", kOutput);
  // An absolute path hint and a PATH directory lead to the planted home
  // first, then to the clean one.
  JVMFile file(loadTagFile(std::string(kJVMText) + "PATH_HINT:  " + planted + "\n"), context());
  std::unique_ptr<JVMMatch> match(file.verifyWithPathHints("\"v.jar\"", "\"Verify\""));
  EXPECT_EQ(nullptr, match.get());
  {
    ScopedEnv path("PATH", planted + "/bin:" + clean + "/bin");
    match.reset(file.verifyWithPlatformJVMPaths("\"v.jar\"", "\"Verify\""));
  }
  ASSERT_NE(nullptr, match.get());
  EXPECT_EQ(clean + "/", match->getJVMHome().c_str());  // the PATH folder's home as written
  EXPECT_EQ("", invoked(planted));
  EXPECT_NE("", invoked(clean + "/"));
  EXPECT_NE(std::string::npos,
            log().find("WARNING: Not running " + planted + "/bin/java: The file " + planted +
                       "/bin/java belongs to another user (uid 4242).\n"))
      << log();
}

}  // namespace
}  // namespace bvtest
