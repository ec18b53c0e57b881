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
#include "tests/java/java_installs.h"
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
    "if [ -n \"$BV_TEST_NOEXEC_CACHE\" ]; then\n"
    "  /bin/mount -t tmpfs -o noexec,mode=0700 tmpfs \"$XDG_CACHE_HOME\" || exit 99\n"
    "fi\n"
    "if [ -n \"$BV_TEST_SMALL_TEMP\" ]; then\n"
    "  /bin/mount -t tmpfs -o size=$BV_TEST_SMALL_TEMP,mode=0700 tmpfs \"$BV_TEST_TEMP\" || exit 99\n"
    "fi\n"
    "if [ -n \"$BV_TEST_NOEXEC_TEMP\" ]; then\n"
    "  /bin/mount -t tmpfs -o noexec,mode=0700 tmpfs \"$BV_TEST_TEMP\" || exit 99\n"
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

  // Runs the fallback launcher where no Java is installed, logging to
  // <dir>/log; its output ends with "status N", then "left:" and what the
  // cache folder and the temporary folder hold, listed from inside.
  ProcessResult runAndList(const std::vector<std::string>& environment) {
    return scriptWithoutJava(
        "\"$L\" -bv:tempdir \"$T\" -bv:log \"$T/../log\" 2>&1; echo \"status $?\"; echo left:; /bin/ls -A \"$C\" "
        "\"$T\"\n",
        launcherFor("fallback"), environment);
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

// A cancel during the search (SIGTERM as a candidate's check starts) ends
// the run: the bundled runtime is not unpacked as the fallback. (Whether
// the cancel meets the search where only that check stops the fallback
// depends on timing: without the check this fails in most runs, not all.)
TEST_F(BundledRuntimeTest, ACancelDuringTheSearchUnpacksNoFallbackRuntime) {
  std::string started = dir.file("started");
  write("slow/bin/java", "#!/bin/sh\n: > " + shellQuote(started) + "\nexec /bin/sleep 30\n", 0755);
  ProcessResult result = scriptWithoutJava(
      "\"$L\" -bv:tempdir \"$T\" -bv:log \"$T/../log\" > \"$T/../out\" 2>&1 & pid=$!\n"
      "i=0; while [ ! -e " + shellQuote(started) + " ] && [ $i -lt 1000 ]; do sleep 0.02; i=$((i+1)); done\n"
      "kill -TERM $pid; wait $pid; echo \"status $?\"; echo left:; /bin/ls -A \"$C\"\n",
      launcherFor("fallback"), runtimeEnv(dir.file("slow")));
  EXPECT_NE(std::string::npos, result.out.find("status 143\nleft:\n")) << result.out;
  EXPECT_EQ(std::string::npos, readFile(dir.file("out")).find("Preparing Java")) << readFile(dir.file("out"));
  EXPECT_EQ(std::string::npos, readFile(dir.file("log")).find("bundled Java runtime")) << readFile(dir.file("log"));
  size_t left = result.out.find("left:\n");
  ASSERT_NE(std::string::npos, left);
  EXPECT_EQ(std::string::npos, result.out.find("runtime-", left)) << result.out;
  EXPECT_EQ(std::string::npos, result.out.find(".unpack-", left)) << result.out;
  EXPECT_TRUE(leftInTemp().empty());
}

// Every file of a new cache entry reaches the disk before the marker that
// makes the entry complete is written (a crash must not leave a marked
// entry with empty files): seen with strace, as a waiting sync of each
// file (sync_file_range with WAIT_AFTER, or fsync) before the marker's
// creation.
TEST_F(BundledRuntimeTest, AnEntrysFilesAreSyncedBeforeItsMarker) {
  if (runShell("command -v strace >/dev/null") != 0) GTEST_SKIP() << "no strace";
  std::string trace = dir.file("trace");
  // The leak checker of a sanitizer build cannot run under ptrace.
  std::vector<std::string> environment = runtimeEnv();
  environment.push_back("ASAN_OPTIONS=detect_leaks=0");
  ProcessResult result = runWithoutJava(
      {"/usr/bin/strace", "-f", "-qq", "-o", trace, "-e", "trace=openat,fsync,sync_file_range",
       launcherFor("fallback"), "-bv:tempdir", temp},
      environment);
  ASSERT_EQ(0, result.status) << result.out << result.err;
  long syncs = 0, syncsBeforeLastMarker = -1;
  for (const std::string& line : splitLines(readFile(trace))) {
    bool waits = line.find("SYNC_FILE_RANGE_WAIT_AFTER") != std::string::npos || line.find(" fsync(") != std::string::npos;
    if (waits) ++syncs;
    if (line.find(".bvlauncher-complete") != std::string::npos && line.find("O_CREAT") != std::string::npos) {
      syncsBeforeLastMarker = syncs;
    }
  }
  std::string files;
  ASSERT_EQ(0, runShell("find " + shellQuote(cache + "/bvlauncher") +
                            " -type f ! -name .bvlauncher-complete -path '*/runtime-*' -o -type f "
                            "! -name .bvlauncher-complete -path '*/jars-*' | wc -l",
                        &files));
  long fileCount = std::stol(files);
  EXPECT_LT(10, fileCount);
  EXPECT_LE(fileCount, syncsBeforeLastMarker);
}

// A full cache is left for the temporary folder, as a read-only one: the
// runtime and the jars go there and the run succeeds; only when the
// temporary folder is full too does the run stop, with the system's error
// and the space hint, whose -bv:tempdir now helps. Nothing half-done stays.
TEST_F(BundledRuntimeTest, AFullCacheLeavesTheRuntimeAndJarsToTheTemporaryFolder) {
  // The cache is a tmpfs of 8 MiB in the namespace (the temporary folder
  // too, in the second case): what the run leaves is listed from inside.
  struct Case {
    const char* label;
    const char* cacheSize;  // 4k: not even the jars fit
    bool tempFull;
  } cases[] = {{"the temporary folder has room", "8m", false},
               {"the jars do not fit either", "4k", false},
               {"the temporary folder is full too", "8m", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::string> environment = runtimeEnv();
    environment.push_back(std::string("BV_TEST_SMALL_CACHE=") + c.cacheSize);
    environment.push_back("BV_TEST_TEMP=" + temp);
    if (c.tempFull) environment.push_back("BV_TEST_SMALL_TEMP=8m");
    ProcessResult result = runAndList(environment);
    std::string log = readFile(dir.file("log"));
    unlink(dir.file("log").c_str());
    bool jarsFit = std::string(c.cacheSize) != "4k";
    if (c.tempFull) {
      // The error names the file it could not write, then the space hint.
      size_t error = result.out.find("Error writing file = 28 (No space left on device): " + temp + "/bvj");
      EXPECT_NE(std::string::npos, error) << result.out;
      EXPECT_NE(std::string::npos, result.out.find(" There may not be enough temporary disk space", error))
          << result.out;
      EXPECT_EQ(std::string::npos, result.out.find("Hello, world!"));
      EXPECT_NE(std::string::npos, result.out.find("status 255\nleft:\n")) << result.out;
    } else {
      EXPECT_NE(std::string::npos, result.out.find("Hello, world!")) << result.out;
      EXPECT_NE(std::string::npos, result.out.find("status 0\nleft:\n")) << result.out;
      EXPECT_NE(std::string::npos, log.find("unpacked into the temporary folder " + temp)) << log;
      // The runtime is removed at the end of the run: no archive is made
      // for it afterwards (the jars in the cache would allow one).
      if (jarsFit) {
        EXPECT_NE(std::string::npos, log.find("Class-data sharing: none, since the Java at " + temp + "/bvj")) << log;
        EXPECT_NE(std::string::npos, log.find("lies in this run's temporary folder")) << log;
      }
    }
    // The space check said so before anything was unpacked, into the cache
    // or into the temporary folder.
    EXPECT_NE(std::string::npos,
              log.find("The cache folder " + cache + "/bvlauncher has no room for the bundled Java runtime."))
        << log;
    if (c.tempFull) {
      EXPECT_EQ(std::string::npos, result.out.find("Preparing Java")) << result.out;
    }
    // The jars went to the cache when they fitted, else to the temporary folder.
    EXPECT_EQ(jarsFit && !c.tempFull, log.find("The application's jars are in the cache folder") != std::string::npos)
        << log;
    size_t left = result.out.find("left:\n");
    ASSERT_NE(std::string::npos, left) << result.out;
    EXPECT_EQ(std::string::npos, result.out.find("runtime-", left)) << result.out;
    EXPECT_EQ(std::string::npos, result.out.find(".unpack-", left)) << result.out;
    EXPECT_EQ(std::string::npos, result.out.find("bvj", left)) << result.out;
    if (!jarsFit) {
      EXPECT_EQ(std::string::npos, result.out.find("jars-", left)) << result.out;
    }
  }
}

// A cache whose file system does not let programs run (noexec) takes no
// runtime: it goes to the temporary folder, and when that one does not
// let programs run either, the run says so and names -bv:tempdir, with
// nothing unpacked.
TEST_F(BundledRuntimeTest, ACacheWhereProgramsCannotRunLeavesTheRuntimeToTheTemporaryFolder) {
  struct Case {
    const char* label;
    bool tempNoexec;
  } cases[] = {{"programs run from the temporary folder", false}, {"nor from the temporary folder", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::string> environment = runtimeEnv();
    environment.push_back("BV_TEST_NOEXEC_CACHE=1");
    environment.push_back("BV_TEST_TEMP=" + temp);
    if (c.tempNoexec) environment.push_back("BV_TEST_NOEXEC_TEMP=1");
    ProcessResult result = runAndList(environment);
    std::string log = readFile(dir.file("log"));
    unlink(dir.file("log").c_str());
    if (c.tempNoexec) {
      EXPECT_NE(std::string::npos,
                result.out.find("The bundled Java runtime cannot be unpacked into " + temp +
                                ": its file system does not allow programs to run (mounted noexec). Please run the "
                                "program again using the option -bv:tempdir"))
          << result.out;
      EXPECT_NE(std::string::npos, result.out.find("status 255\nleft:\n")) << result.out;
    } else {
      EXPECT_NE(std::string::npos, result.out.find("Hello, world!")) << result.out;
      EXPECT_NE(std::string::npos, log.find("unpacked into the temporary folder " + temp)) << log;
    }
    EXPECT_NE(std::string::npos, log.find("does not allow programs to run (mounted noexec)")) << log;
    size_t left = result.out.find("left:\n");
    ASSERT_NE(std::string::npos, left) << result.out;
    EXPECT_EQ(std::string::npos, result.out.find("runtime-", left)) << result.out;
    EXPECT_EQ(std::string::npos, result.out.find("bvj", left)) << result.out;
  }
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

// A runtime folder taken from the cache (a way to skip jlink) or from a
// run's temporary folder holds the launcher's own marker at its top:
// bvpack leaves it out, and the launcher it packs runs.
TEST_F(BundledRuntimeTest, ARuntimeFolderFromTheCachePacksALauncherThatRuns) {
  ProcessResult first = run(launcherFor("always"), {}, runtimeEnv());
  ASSERT_EQ(0, first.status) << first.out << first.err;
  std::vector<std::string> runtimes = entries("runtime-");
  ASSERT_EQ(1u, runtimes.size());
  std::string cached = cache + "/bvlauncher/" + runtimes[0];
  ASSERT_TRUE(pathExists(cached + "/.bvlauncher-complete"));
  // The same runtime as a run's temporary folder has it, with its owner's
  // marker.
  std::string temporary = dir.file("bvjcopy");
  ASSERT_EQ(0, runShell("cp -a " + shellQuote(cached) + " " + shellQuote(temporary) + " && rm -f " +
                        shellQuote(temporary + "/.bvlauncher-complete") + " && echo marker > " +
                        shellQuote(temporary + "/.bvowner")));
  for (const std::string& runtime : {cached, temporary}) {
    SCOPED_TRACE(runtime);
    std::string launcher = dir.file("repacked");
    std::string out;
    ASSERT_EQ(0, runBvpack({"-o", launcher, "--main-class", "Hello", "--jar", javaBuildPath("Hello.jar"), "--runtime",
                            runtime, "--runtime-use", "always", "--no-cds", "--compression-level", "1"},
                           &out))
        << out;
    std::string fresh = dir.file("fresh-cache");
    removeTree(fresh);
    mkdir(fresh.c_str(), 0700);
    std::vector<std::string> e = env();
    e.push_back("XDG_CACHE_HOME=" + fresh);
    ProcessResult result = run(launcher, {}, e);
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("Hello, world!")) << result.out << result.err;
  }
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
// write, one of another user, and one holding a file or folder that
// another user could change are ignored: the runtime is unpacked into the
// user's cache as usual.
TEST_F(BundledRuntimeTest, ASharedRuntimeFolderIsUsedReadOnlyWhenItHoldsTheRuntime) {
  std::string shared = dir.file("shared");
  mkdir(shared.c_str(), 0755);
  std::string launcher = dir.file("hello-shared");
  std::string out;
  ASSERT_EQ(0, runBvpack({"-o", launcher, "--main-class", "Hello", "--jar", buildPath("java/Hello.jar"), "--runtime",
                          buildPath("tests/runtime/emit/runtime"), "--compression-level", "1",
                          // No class-data archive: its maker, which goes on after a run,
                          // would write into the cache that each case removes.
                          "--no-cds", "--shared-runtime-dir", shared},
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
      // What the runtime holds: a library or module file that another user
      // could change would run in every user's Java.
      {"a file inside of another user", "chown 65534 " + shared + "/" + name + "/release",
       "chown 0 " + shared + "/" + name + "/release", " is not safe: release belongs to another user (uid 65534)"},
      {"a file inside that others may write", "chmod o+w " + shared + "/" + name + "/release",
       "chmod o-w " + shared + "/" + name + "/release", " is not safe: release may be written by group or others"},
      {"a folder inside that its group may write", "chmod g+w " + shared + "/" + name + "/bin",
       "chmod g-w " + shared + "/" + name + "/bin", " is not safe: bin may be written by group or others"},
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
