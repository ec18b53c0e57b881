// A launcher that carries a jlinked Java runtime (made once per build by
// tests/CMakeLists.txt): runs on a machine without Java (a mount namespace
// with a tmpfs over /usr/lib/jvm and a PATH without java), unpacks the
// runtime once into the user's cache, copes with concurrent and killed
// first runs, a full disk and a home of another user, and is preferred or
// not as bvpack was told.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

std::string launcherFor(const char* use) { return buildPath(std::string("tests/runtime/hello-") + use); }

// The script that hides every installed Java, then runs its arguments.
const char* kNoJava =
    "/bin/mount -t tmpfs tmpfs /usr/lib/jvm || exit 99\n"
    "if [ -n \"$BV_TEST_SMALL_CACHE\" ]; then\n"
    "  /bin/mount -t tmpfs -o size=$BV_TEST_SMALL_CACHE,mode=0700 tmpfs \"$XDG_CACHE_HOME\" || exit 99\n"
    "fi\n"
    "if [ -n \"$BV_TEST_READ_ONLY_CACHE\" ]; then\n"
    "  /bin/mount --bind \"$XDG_CACHE_HOME\" \"$XDG_CACHE_HOME\" &&\n"
    "    /bin/mount -o remount,bind,ro \"$XDG_CACHE_HOME\" || exit 99\n"
    "fi\n"
    "exec \"$@\"\n";

class BundledRuntimeTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    cache = dir.file("xdg");
    mkdir(cache.c_str(), 0700);
  }

  // The environment of a run: no JAVA_HOME unless given, a PATH without
  // java, the test's cache folder.
  std::vector<std::string> runtimeEnv(const std::string& javaHomeValue = "") {
    std::vector<std::string> e = env("", javaHomeValue);
    e.push_back("XDG_CACHE_HOME=" + cache);
    return e;
  }

  // Runs command where no Java is installed.
  ProcessResult runWithoutJava(const std::vector<std::string>& command, std::vector<std::string> environment) {
    if (environment.empty()) environment = runtimeEnv();
    std::vector<std::string> argv = {"/usr/bin/unshare", "-m", "/bin/sh", "-c", kNoJava, "sh"};
    argv.insert(argv.end(), command.begin(), command.end());
    return runProcess(argv, environment);
  }

  // Runs launcher with -bv:tempdir and args where no Java is installed.
  ProcessResult runWithoutJava(const std::string& launcher, const std::vector<std::string>& args,
                               const std::vector<std::string>& environment = {}) {
    std::vector<std::string> command = {launcher, "-bv:tempdir", temp};
    command.insert(command.end(), args.begin(), args.end());
    return runWithoutJava(command, environment);
  }

  // A shell script run where no Java is installed; $L is the launcher,
  // $T the temporary folder, $C the cache folder.
  ProcessResult scriptWithoutJava(const std::string& script, const std::string& launcher,
                                  const std::vector<std::string>& environment = {}) {
    std::string body = std::string("L=\"$1\" T=\"$2\" C=\"$3\"\n") + script;
    return runWithoutJava(std::vector<std::string>{"/bin/sh", "-c", body, "sh", launcher, temp,
                                                   cache + "/bvlauncher"},
                          environment);
  }

  std::vector<std::string> entries(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& name : listDir(cache + "/bvlauncher")) {
      if (name.compare(0, prefix.size(), prefix) == 0) found.push_back(name);
    }
    return found;
  }

  std::string cache;
};

TEST_F(BundledRuntimeTest, RunsWithoutJavaAndUnpacksTheRuntimeOnlyOnce) {
  std::string launcher = launcherFor("fallback");
  ProcessResult first = runWithoutJava(launcher, {"-bv:log", dir.file("first.log")});
  ASSERT_EQ(0, first.status) << first.out << first.err;
  EXPECT_NE(std::string::npos, first.out.find("Preparing Java(tm) Virtual Machine...\n...")) << first.out;
  EXPECT_NE(std::string::npos, first.out.find("Hello, world!")) << first.out;
  EXPECT_EQ(std::string::npos, first.err.find("for this run only")) << first.err;
  std::vector<std::string> runtimes = entries("runtime-");
  ASSERT_EQ(1u, runtimes.size());
  std::string home = cache + "/bvlauncher/" + runtimes[0];
  EXPECT_NE(std::string::npos, readFile(dir.file("first.log")).find("Matching JVM home is " + home));
  // What the runtime answered when it was packed: no JVM starts to verify it.
  EXPECT_NE(std::string::npos, readFile(dir.file("first.log"))
                                   .find("Verification of " + home +
                                         "/bin/java taken from the answers recorded when the launcher was packed"));
  EXPECT_EQ(1u, entries("jars-").size());
  EXPECT_TRUE(entries(".unpack-").empty());

  // Modes as packed: executables stay executable, nothing is writable but
  // the folders by their owner.
  struct stat st;
  ASSERT_EQ(0, stat((home + "/bin/java").c_str(), &st));
  EXPECT_EQ(0555u, st.st_mode & 07777);
  ASSERT_EQ(0, stat((home + "/release").c_str(), &st));
  EXPECT_EQ(0444u, st.st_mode & 07777);
  ASSERT_EQ(0, stat((home + "/lib").c_str(), &st));
  EXPECT_EQ(0755u, st.st_mode & 07777);
  ASSERT_EQ(0, stat(home.c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 07777);
  ino_t inode = st.st_ino;

  // The repeat run unpacks nothing and starts no JVM to verify.
  ProcessResult repeat = runWithoutJava(launcher, {"-bv:log", dir.file("repeat.log")});
  ASSERT_EQ(0, repeat.status) << repeat.out << repeat.err;
  EXPECT_EQ(std::string::npos, repeat.out.find("Preparing Java")) << repeat.out;
  EXPECT_NE(std::string::npos, repeat.out.find("Hello, world!"));
  std::string log = readFile(dir.file("repeat.log"));
  EXPECT_NE(std::string::npos, log.find("The bundled Java runtime is in the cache: " + home)) << log;
  EXPECT_NE(std::string::npos, log.find(" taken from the answers recorded when the launcher was packed")) << log;
  ASSERT_EQ(0, stat(home.c_str(), &st));
  EXPECT_EQ(inode, st.st_ino);
  // The jars' path is the same on every run.
  std::string jars = cache + "/bvlauncher/" + entries("jars-")[0] + "/Hello.jar";
  EXPECT_NE(std::string::npos, log.find(jars)) << log;
  EXPECT_NE(std::string::npos, readFile(dir.file("first.log")).find(jars));
  EXPECT_TRUE(leftInTemp().empty());
}

// An input file that names another verification class has that class run:
// the answers recorded when the launcher was packed are those of the
// built-in class. This one is not a class at all, so no Java passes. (The
// class path is a string of the tag file holding the quoted path, as the
// shell is to see it.)
TEST_F(BundledRuntimeTest, AVerificationClassOfAnInputFileIsRunNotTakenFromTheRecord) {
  std::string junk = write("other-verify.jar", "not a jar");
  std::string request = write("request.tag", "ACTION: SEARCH\nLOGFILE: " + dir.file("search.log") +
                                                 "\nVERIFY_CLASSPATH: \"\"\"" + junk + "\"\"\"\nVERIFY_CLASS_NAME: Verify\n");
  ProcessResult search = runWithoutJava({launcherFor("always"), "-bv:silent", "-bv:in", request}, {});
  ASSERT_EQ(0, search.status) << search.out << search.err;
  EXPECT_EQ("0\n", search.out);
  std::string log = readFile(dir.file("search.log"));
  EXPECT_NE(std::string::npos, log.find("Verifying JVM at " + cache + "/bvlauncher/runtime-")) << log;
  EXPECT_EQ(std::string::npos, log.find("taken from the answers recorded")) << log;
}

// The runtime is checked against its digest before it is unpacked: 8 bytes
// changed inside it stop the first run with the one message, and nothing is
// unpacked or left behind. (The jars, checked as they are copied, are whole
// and may stay in the cache.)
TEST_F(BundledRuntimeTest, ADamagedRuntimeIsRefusedBeforeAnythingOfItIsUsed) {
  std::string launcher = launcherFor("fallback");
  std::string listing;
  ASSERT_EQ(0, runBvpack({"--list", launcher}, &listing)) << listing;
  size_t line = listing.find("(java-runtime)");
  ASSERT_NE(std::string::npos, line) << listing;
  long length = std::stol(listing.substr(listing.find(" length ", line) + 8));
  long offset = std::stol(listing.substr(listing.find(" offset ", line) + 8));
  std::string bytes = readFile(launcher);
  bytes.replace(static_cast<size_t>(offset + length / 2), 8, "12345678");
  std::string damaged = dir.file("damaged");
  writeFile(damaged, bytes, 0755);
  ProcessResult r = runWithoutJava(damaged, {"-bv:log", dir.file("log")});
  EXPECT_EQ(255, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.err.find("The launcher file is damaged or incomplete. Download it again.\n"))
      << r.err;
  EXPECT_EQ(std::string::npos, r.out.find("Hello, world!")) << r.out;
  EXPECT_NE(std::string::npos, readFile(dir.file("log")).find("(the digest of the Java runtime differs)"));
  EXPECT_TRUE(entries("runtime-").empty());
  EXPECT_TRUE(entries(".unpack-").empty());
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(BundledRuntimeTest, ConcurrentFirstRunsEndWithOneGoodCopy) {
  ProcessResult result = scriptWithoutJava(
      "pids=\n"
      "for i in 1 2 3; do \"$L\" -bv:tempdir \"$T\" -bv:silent > \"$T/../out$i\" 2>&1 & pids=\"$pids $!\"; done\n"
      "status=0\n"
      "for pid in $pids; do wait $pid || status=1; done\n"
      "exit $status\n",
      launcherFor("fallback"));
  EXPECT_EQ(0, result.status) << result.out << result.err;
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ("Hello, world!\n", readFile(dir.file("out" + std::to_string(i)))) << i;
  }
  EXPECT_EQ(1u, entries("runtime-").size());
  EXPECT_EQ(1u, entries("jars-").size());
  EXPECT_TRUE(entries(".unpack-").empty());
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(BundledRuntimeTest, AFirstRunKilledMidwayLeavesNothingThatALaterRunUses) {
  // Stopped as soon as its private folder appears, then killed.
  ProcessResult killed = scriptWithoutJava(
      "\"$L\" -bv:tempdir \"$T\" -bv:silent & pid=$!\n"
      "i=0\n"
      "while ! /bin/ls -d \"$C\"/.unpack-runtime-* >/dev/null 2>&1; do\n"
      "  i=$((i + 1)); [ $i -lt 5000 ] || exit 3\n"
      "  /bin/sleep 0.001\n"
      "done\n"
      "kill -STOP $pid; kill -KILL $pid; wait $pid\n"
      "exit 0\n",
      launcherFor("fallback"));
  ASSERT_EQ(0, killed.status) << killed.out << killed.err;
  EXPECT_TRUE(entries("runtime-").empty());
  std::vector<std::string> leftovers = entries(".unpack-runtime-");
  ASSERT_EQ(1u, leftovers.size());

  ProcessResult later = runWithoutJava(launcherFor("fallback"), {"-bv:log", dir.file("later.log")});
  ASSERT_EQ(0, later.status) << later.out << later.err;
  EXPECT_NE(std::string::npos, later.out.find("Preparing Java(tm) Virtual Machine..."));
  EXPECT_NE(std::string::npos, later.out.find("Hello, world!"));
  std::vector<std::string> runtimes = entries("runtime-");
  ASSERT_EQ(1u, runtimes.size());
  EXPECT_NE(std::string::npos,
            readFile(dir.file("later.log")).find("Matching JVM home is " + cache + "/bvlauncher/" + runtimes[0]));
  // The killed run's folder is left for the prune (a day later), unused.
  EXPECT_EQ(leftovers, entries(".unpack-runtime-"));
}

TEST_F(BundledRuntimeTest, AFullDiskGivesTheSpaceMessageAndLeavesNothingHalfDone) {
  // The cache is a tmpfs of 8 MiB in the namespace: what the run leaves in
  // it is listed from inside.
  std::vector<std::string> environment = runtimeEnv();
  environment.push_back("BV_TEST_SMALL_CACHE=8m");
  ProcessResult result = scriptWithoutJava(
      "\"$L\" -bv:tempdir \"$T\" 2>&1; echo \"status $?\"; echo left:; /bin/ls -A \"$C\"\n", launcherFor("fallback"),
      environment);
  EXPECT_NE(std::string::npos, result.out.find("Error writing file = ")) << result.out;
  EXPECT_NE(std::string::npos, result.out.find("There may not be enough temporary disk space")) << result.out;
  EXPECT_EQ(std::string::npos, result.out.find("Hello, world!"));
  size_t left = result.out.find("status 255\nleft:\n");
  ASSERT_NE(std::string::npos, left) << result.out;
  EXPECT_EQ(std::string::npos, result.out.find("runtime-", left)) << result.out;
  EXPECT_EQ(std::string::npos, result.out.find(".unpack-", left)) << result.out;
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(BundledRuntimeTest, ACacheThatTakesNothingNewLeavesTheRuntimeToTheTemporaryFolder) {
  mkdir((cache + "/bvlauncher").c_str(), 0700);
  std::vector<std::string> environment = runtimeEnv();
  environment.push_back("BV_TEST_READ_ONLY_CACHE=1");
  ProcessResult result = runWithoutJava(launcherFor("fallback"), {"-bv:log", dir.file("log")}, environment);
  ASSERT_EQ(0, result.status) << result.out << result.err;
  EXPECT_NE(std::string::npos, result.out.find("Hello, world!"));
  std::string log = readFile(dir.file("log"));
  EXPECT_NE(std::string::npos, log.find("The cache folder takes no new entry: Error writing file = 30")) << log;
  EXPECT_NE(std::string::npos, log.find("unpacked into the temporary folder " + temp)) << log;
  EXPECT_NE(std::string::npos, result.err.find("The bundled Java runtime is unpacked for this run only (the cache "
                                               "folder " + cache + "/bvlauncher takes no new entry: "))
      << result.err;
  EXPECT_TRUE(listDir(cache + "/bvlauncher").empty());
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(BundledRuntimeTest, AHomeOfAnotherUserGetsNoCacheAndTheRuntimeGoesToTheTemporaryFolder) {
  std::string home = dir.file("someone");
  mkdir(home.c_str(), 0755);
  ASSERT_EQ(0, chown(home.c_str(), 65534, 65534));
  std::vector<std::string> environment = env("", "");
  for (std::string& entry : environment) {
    if (entry.compare(0, 5, "HOME=") == 0) entry = "HOME=" + home;
  }
  ProcessResult result = runWithoutJava(launcherFor("fallback"), {"-bv:log", dir.file("log")}, environment);
  ASSERT_EQ(0, result.status) << result.out << result.err;
  EXPECT_NE(std::string::npos, result.out.find("Hello, world!"));
  EXPECT_TRUE(listDir(home).empty());
  EXPECT_NE(std::string::npos, readFile(dir.file("log")).find("unpacked into the temporary folder " + temp));
  // One line says so, and how to avoid it.
  size_t line = result.err.find("The bundled Java runtime is unpacked for this run only (no usable cache folder: ");
  ASSERT_NE(std::string::npos, line) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("); to unpack it once, give the user a home folder of their own or set "
                                               "XDG_CACHE_HOME to a folder they own.\n", line))
      << result.err;
  EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(BundledRuntimeTest, FallbackPrefersAnInstalledJavaAndAlwaysUsesTheBundledOne) {
  BV_REQUIRE_JAVA();
  ProcessResult fallback = run(launcherFor("fallback"), {"-bv:log", dir.file("fallback.log")}, runtimeEnv(javaHome));
  ASSERT_EQ(0, fallback.status) << fallback.out << fallback.err;
  EXPECT_NE(std::string::npos, fallback.out.find("Hello, world!"));
  EXPECT_NE(std::string::npos, readFile(dir.file("fallback.log")).find("Matching JVM home is " + javaHome));
  EXPECT_TRUE(entries("runtime-").empty());  // never unpacked

  ProcessResult always = run(launcherFor("always"), {"-bv:log", dir.file("always.log")}, runtimeEnv(javaHome));
  ASSERT_EQ(0, always.status) << always.out << always.err;
  EXPECT_NE(std::string::npos, always.out.find("Hello, world!"));
  std::vector<std::string> runtimes = entries("runtime-");
  ASSERT_EQ(1u, runtimes.size());
  EXPECT_NE(std::string::npos, readFile(dir.file("always.log"))
                                   .find("Matching JVM home is " + cache + "/bvlauncher/" + runtimes[0]));
  // Both launchers carry the same runtime: one folder serves both.
  ProcessResult again = runWithoutJava(launcherFor("fallback"), {});
  ASSERT_EQ(0, again.status) << again.out << again.err;
  EXPECT_EQ(std::string::npos, again.out.find("Preparing Java"));
}

// ByName loads by name what jdeps does not see. The runtime that --jlink
// made for it (with Hello, tests/CMakeLists.txt) holds the providers that
// bvpack adds by default, and not jdk.compiler, which bvpack named instead
// (tests/tools/bvpack_runtime_test.cc). Packed without --runtime-use, the
// bundled runtime runs even where a suitable Java is installed.
TEST_F(BundledRuntimeTest, ByDefaultTheBundledRuntimeRunsWithTheProvidersLoadedByName) {
  BV_REQUIRE_JAVA();
  std::string launcher = dir.file("byname");
  std::string out;
  ASSERT_EQ(0, runBvpack({"-o", launcher, "--main-class", "ByName", "--jar", buildPath("java/ByName.jar"), "--runtime",
                          buildPath("tests/runtime/emit/runtime"), "--compression-level", "1"},
                         &out))
      << out;
  ProcessResult installed = run(launcher, {"-bv:log", dir.file("log"), "modules"}, runtimeEnv(javaHome));
  ASSERT_EQ(0, installed.status) << installed.out << installed.err;
  std::vector<std::string> runtimes = entries("runtime-");
  ASSERT_EQ(1u, runtimes.size());
  EXPECT_NE(std::string::npos,
            readFile(dir.file("log")).find("Matching JVM home is " + cache + "/bvlauncher/" + runtimes[0]));
  EXPECT_EQ("zipfs: yes\nShift_JIS: yes\njavac: no\n", installed.out) << installed.err;

  ProcessResult result = runWithoutJava(launcher, {"modules"});
  ASSERT_EQ(0, result.status) << result.out << result.err;
  EXPECT_EQ("zipfs: yes\nShift_JIS: yes\njavac: no\n", result.out) << result.err;
}

// A shared runtime folder that an administrator filled is used as it is:
// nothing unpacked into the user's cache, nothing written there. A folder
// of the right name that holds another runtime, one that others may
// write, and one of another user are ignored: the runtime is unpacked
// into the user's cache as usual.
TEST_F(BundledRuntimeTest, ASharedRuntimeFolderIsUsedReadOnlyWhenItHoldsTheRuntime) {
  std::string shared = dir.file("shared");
  mkdir(shared.c_str(), 0755);
  std::string launcher = dir.file("hello-shared");
  std::string out;
  ASSERT_EQ(0, runBvpack({"-o", launcher, "--main-class", "Hello", "--jar", buildPath("java/Hello.jar"), "--runtime",
                          buildPath("tests/runtime/emit/runtime"), "--compression-level", "1",
                          "--shared-runtime-dir", shared},
                         &out))
      << out;
  // The administrator fills it: a user's unpacked copy, made readable.
  ProcessResult fill = runWithoutJava(launcher, {});
  ASSERT_EQ(0, fill.status) << fill.err;
  ASSERT_EQ(1u, entries("runtime-").size());
  std::string name = entries("runtime-")[0];
  ASSERT_EQ(0, runShell("mv " + shellQuote(cache + "/bvlauncher/" + name) + " " + shellQuote(shared + "/") +
                        " && chmod 755 " + shellQuote(shared + "/" + name)));
  std::string marker = shared + "/" + name + "/.bvlauncher-complete";
  struct stat before;
  ASSERT_EQ(0, stat(marker.c_str(), &before));

  ProcessResult used = runWithoutJava(launcher, {"-bv:log", dir.file("used.log")});
  ASSERT_EQ(0, used.status) << used.out << used.err;
  EXPECT_NE(std::string::npos, used.out.find("Hello, world!"));
  EXPECT_NE(std::string::npos, readFile(dir.file("used.log"))
                                   .find("The bundled Java runtime is in the shared folder: " + shared + "/" + name))
      << readFile(dir.file("used.log"));
  EXPECT_TRUE(entries("runtime-").empty());
  EXPECT_EQ((std::vector<std::string>{name}), listDir(shared));
  struct stat after;
  ASSERT_EQ(0, stat(marker.c_str(), &after));
  EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);

  struct Case {
    const char* what;
    std::string change;
    std::string undo;
    const char* reason;
  } cases[] = {
      {"another runtime under this name", "chmod u+w " + marker + " && echo runtime-0000 > " + marker,
       "echo " + name + " > " + marker + " && chmod 0400 " + marker, "holds another runtime than its name says"},
      {"writable by others", "chmod 0777 " + shared + "/" + name, "chmod 0755 " + shared + "/" + name,
       "or others may write it"},
      {"a folder above writable by others", "chmod 0777 " + shared, "chmod 0755 " + shared, " is not safe: "},
      {"another user's", "chown 65534 " + shared + "/" + name, "chown 0 " + shared + "/" + name,
       "belongs to another user than root"},
      {"a marker that others may write", "chmod 0666 " + marker, "chmod 0400 " + marker,
       "or its marker is not safe"},
      {"a link at the entry's name", "mv " + shared + "/" + name + " " + dir.file("real") + " && ln -s " +
       dir.file("real") + " " + shared + "/" + name,
       "rm " + shared + "/" + name + " && mv " + dir.file("real") + " " + shared + "/" + name, " is not a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(0, runShell(c.change));
    ProcessResult ignored = runWithoutJava(launcher, {"-bv:log", dir.file("ignored.log")});
    ASSERT_EQ(0, ignored.status) << ignored.err;
    EXPECT_NE(std::string::npos, ignored.out.find("Hello, world!"));
    std::string log = readFile(dir.file("ignored.log"));
    EXPECT_NE(std::string::npos, log.find("The shared runtime folder is not used: ")) << log;
    EXPECT_NE(std::string::npos, log.find(c.reason)) << log;
    EXPECT_EQ(1u, entries("runtime-").size());  // unpacked for the user
    ASSERT_EQ(0, runShell(c.undo + " && rm -rf " + shellQuote(cache + "/bvlauncher")));
  }
}

}  // namespace
}  // namespace bvtest
