// bvpack's one-line mode, driven as a program: the launcher it makes for
// the guide's two-jar application (java/guide/), run with the real JDK; the
// tag files of --emit; the Java version read from the jars, hostile jars
// included.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"
#include "tests/test_util.h"

namespace {

using bvtest::ProcessResult;
using bvtest::runBvpack;

// Little-endian bytes, the byte order of zip archives.
std::string le(unsigned long value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

struct ZipEntry {
  std::string name;
  int method;         // 0 stored, 8 deflated
  std::string data;   // as stored in the archive
  int flags = 0;
};

// A zip archive of the entries: local headers with their data, the central
// directory and its end record. Sizes are those of the data as given.
std::string zipBytes(const std::vector<ZipEntry>& entries) {
  std::string body, directory;
  for (const ZipEntry& e : entries) {
    unsigned long offset = body.size();
    std::string common = le(20, 2) + le(e.flags, 2) + le(e.method, 2) + le(0, 4) /* time, date */ +
                         le(0, 4) /* crc */ + le(e.data.size(), 4) + le(e.data.size(), 4) +
                         le(e.name.size(), 2) + le(0, 2);
    body += "PK\x03\x04" + common + e.name + e.data;
    directory += "PK\x01\x02" + le(20, 2) + common + le(0, 2) + le(0, 2) + le(0, 2) + le(0, 4) +
                 le(offset, 4) + e.name;
  }
  return body + directory + "PK\x05\x06" + le(0, 4) + le(entries.size(), 2) + le(entries.size(), 2) +
         le(directory.size(), 4) + le(body.size(), 4) + le(0, 2);
}

// The first bytes of a class file of the given major version.
std::string classHead(int major) {
  return std::string("\xCA\xFE\xBA\xBE\x00\x00", 6) + static_cast<char>(major >> 8) +
         static_cast<char>(major & 0xFF) + "rest of the class";
}

// One final stored deflate block holding data (RFC 1951, BTYPE 00).
std::string storedDeflate(const std::string& data) {
  return std::string(1, '\x01') + le(data.size(), 2) + le(~data.size() & 0xFFFF, 2) + data;
}

class BvpackOneLineTest : public ::testing::Test {
 protected:
  std::string appJar() { return bvtest::javaBuildPath("guide-app.jar"); }
  std::string libJar() { return bvtest::javaBuildPath("guide-lib.jar"); }
  std::vector<std::string> env() {
    return {"PATH=/usr/bin:/bin", "HOME=" + dir.path(), "LANG=C", "TMPDIR=" + dir.path()};
  }
  // The JVM condition that the emitted files require, e.g. "11".
  std::string requiredVersion(const std::string& emitDir) {
    std::string jvm = bvtest::readFile(emitDir + "/jvm-linux.tag");
    size_t at = jvm.find("java.specification.version>=");
    if (at == std::string::npos) return "(none)";
    size_t start = at + 28;
    return jvm.substr(start, jvm.find('\n', start) - start);
  }

  bvtest::TempDir dir;
};

// Arguments that a shell or the template would read as syntax. (Bytes that
// are not UTF-8 reach Java too, but Java itself decodes them, so they cannot
// be compared in what the application prints.)
const std::vector<std::string> kHostileArguments = {
    "a b", "$(touch pwned)", "`touch pwned`", "it's", "say \"hi\"", "back\\slash", "two\nlines",
    "", "% @ # %CP%() @JVM_HOME@ #HOME#", "* ? [a]", "; | & < >", "--help", "exit=3"};

std::string expectedOutput(const std::string& cwd) {
  std::string out = "Hello from the library jar\n";
  for (size_t i = 0; i < kHostileArguments.size(); ++i) {
    out += "arg[" + std::to_string(i) + "]=<" + kHostileArguments[i] + ">\n";
  }
  return out + "cwd=<" + cwd + ">\n";
}

// The guide's main example: the one-line command on the two-jar
// application. The launcher finds the JDK, runs the main class with both
// jars, passes every argument byte for byte in the caller's folder and
// exits with the application's status.
TEST_F(BvpackOneLineTest, GuideExamplePacksAndRunsTheTwoJarApplication) {
  std::string java = bvtest::findJava();
  if (java.empty()) GTEST_SKIP() << "no java on PATH";
  std::string home = bvtest::javaHomeOf(java);
  std::string out;
  ASSERT_EQ(0, runBvpack({"-o", dir.file("guide"), "--main-class", "guide.Main", "--jar", appJar(), "--jar",
                          libJar(), "--name", "Guide"},
                         &out))
      << out;
  ASSERT_EQ(0, bvtest::runShell("mkdir " + bvtest::shellQuote(dir.file("work"))));

  std::vector<std::string> argv = {dir.file("guide"), "-bv:silent", "-bv:javahome", home};
  argv.insert(argv.end(), kHostileArguments.begin(), kHostileArguments.end());
  ProcessResult r = bvtest::runProcess(argv, env(), "", dir.file("work"));
  EXPECT_EQ(3, r.status) << r.out << r.err;
  EXPECT_EQ(expectedOutput(dir.file("work")), r.out) << r.err;

  // The same launcher from the emitted tag files, packed in the tag-file
  // mode, with the version condition taken out of the JVM files.
  ASSERT_EQ(0, runBvpack({"--emit", dir.file("files"), "--main-class", "guide.Main", "--jar", appJar(), "--jar",
                          libJar(), "--name", "Guide"},
                         &out))
      << out;
  EXPECT_EQ("11", requiredVersion(dir.file("files")));
  for (const char* name : {"jvm-linux.tag", "jvm-macos.tag"}) {
    ASSERT_EQ(0, bvtest::runShell("sed -i '/java.specification.version/d' " +
                                  bvtest::shellQuote(dir.file("files") + "/" + name)));
  }
  ASSERT_EQ(0, runBvpack({"-o", dir.file("guide2"), "instructions:" + dir.file("files/instructions.tag"),
                          "launch-script:" + dir.file("files/launch.tag"), "jvm:" + dir.file("files/jvm-linux.tag"),
                          "jvm:" + dir.file("files/jvm-macos.tag"), "classpath-jar:" + appJar(),
                          "classpath-jar:" + libJar()},
                         &out))
      << out;
  argv[0] = dir.file("guide2");
  r = bvtest::runProcess(argv, env(), "", dir.file("work"));
  EXPECT_EQ(3, r.status) << r.out << r.err;
  EXPECT_EQ(expectedOutput(dir.file("work")), r.out) << r.err;
  EXPECT_FALSE(bvtest::pathExists(dir.file("work/pwned")));

  // Without a usable JVM (no system passes the os.name condition): the
  // not-found message and status 1.
  for (const char* name : {"jvm-linux.tag", "jvm-macos.tag"}) {
    ASSERT_EQ(0, bvtest::runShell("sed -i 's/os.name=.*/os.name=No such system/' " +
                                  bvtest::shellQuote(dir.file("files") + "/" + name)));
  }
  ASSERT_EQ(0, runBvpack({"-o", dir.file("guide3"), "instructions:" + dir.file("files/instructions.tag"),
                          "launch-script:" + dir.file("files/launch.tag"), "jvm:" + dir.file("files/jvm-linux.tag"),
                          "jvm:" + dir.file("files/jvm-macos.tag"), "classpath-jar:" + appJar()},
                         &out))
      << out;
  r = bvtest::runProcess({dir.file("guide3"), "-bv:javahome", dir.file("nothing")},
                         {"PATH=" + dir.file("nowhere"), "HOME=" + dir.path(), "LANG=C"});
  EXPECT_EQ(1, r.status) << r.out << r.err;
  // The emitted instructions make a Unix command (UNIX_COMMAND: 1).
  EXPECT_NE(std::string::npos, r.err.find("No suitable Java was found.")) << r.err;
}

TEST_F(BvpackOneLineTest, EmitWritesTheTagFilesAndTheCommandThatPacksThem) {
  std::string out;
  ASSERT_EQ(0, runBvpack({"--emit", dir.file("e"), "--main-class", "guide.Main", "--jar", appJar(), "--jar",
                          libJar(), "--java-option", "-Xss4m", "--java-option", "-Dgreeting=hello world",
                          "--java-option", "-Dq=it's", "--name", "My \"App\"", "--java-download-url",
                          "https://example.org/java?v=11&os=any"},
                         &out))
      << out;
  EXPECT_EQ((std::vector<std::string>{"instructions.tag", "jvm-linux.tag", "jvm-macos.tag", "launch.tag"}),
            bvtest::listDir(dir.file("e")));
  EXPECT_NE(std::string::npos, out.find("bvpack -o OUTPUT instructions:")) << out;
  EXPECT_NE(std::string::npos, out.find(" --cache classpath-jar:" + appJar() + " --cache classpath-jar:" + libJar())) << out;
  EXPECT_FALSE(bvtest::pathExists(dir.file("OUTPUT")));

  EXPECT_EQ(
      "DESC:  \"My \"\"App\"\"\"\n"
      "DISPLAY_CONSOLE:  1\n"
      "AUTO_SET_WORKING_DIR:  0\n"
      "COMMAND:  \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CDS_OPTIONS%() -Xss4m '-Dgreeting=hello world' "
      "'-Dq=it'\\''s' %RUNTIME_JAVAARGS%() %RUNTIME_SYSTEMPROP%() %CP%() guide.Main\"\n",
      bvtest::readFile(dir.file("e/launch.tag")));
  // --no-cds leaves the class-data options out.
  ASSERT_EQ(0, runBvpack({"--emit", dir.file("n"), "--no-cds", "--main-class", "guide.Main", "--jar", appJar()},
                         &out))
      << out;
  EXPECT_NE(std::string::npos, bvtest::readFile(dir.file("n/launch.tag"))
                                   .find("COMMAND:  \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %RUNTIME_JAVAARGS%() "))
      << bvtest::readFile(dir.file("n/launch.tag"));

  // A command: no status display, only -bv: options, TMPDIR, the ways of
  // a Unix command.
  std::string instructions = bvtest::readFile(dir.file("e/instructions.tag"));
  EXPECT_NE(std::string::npos,
            instructions.find("CONSOLE_UI:  0\nBV_OPTIONS_ONLY:  1\nUSE_TMPDIR:  1\nUNIX_COMMAND:  1\nINSTRUCTIONS:\n"))
      << instructions;
  EXPECT_NE(std::string::npos,
            instructions.find("  FIND_JVM 1 1\n  JMP0 @N1@ DO_FIND_ELSE\n  LAUNCH @S2@ 5\n")) << instructions;
  // The user's Java first: JAVA_HOME (warned about), PATH, then the usual
  // folders; each file only on its system.
  std::string linux = bvtest::readFile(dir.file("e/jvm-linux.tag"));
  for (const char* line : {"PLATFORM:  Linux\n", "  JAVA_HOME\n  JDK_HOME\n", "PLATFORM_HINT_WARNING:  1\n",
                           "SEARCH_ORDER:\n  PLATFORM_HINT\n  PATH\n  PATH_HINT\n/:\n", "  /usr/lib/jvm/*\n",
                           "  ~/.gradle/jdks/*/*\n", "  jre\n/:\n",
                           "  os.name=Linux\n  java.specification.version>=11\n/:\n",
                           "RELEASE_FILE_ANSWERS:  1\n"}) {
    EXPECT_NE(std::string::npos, linux.find(line)) << line;
  }
  std::string mac = bvtest::readFile(dir.file("e/jvm-macos.tag"));
  EXPECT_NE(std::string::npos, mac.find("PLATFORM:  Darwin\n")) << mac;
  EXPECT_NE(std::string::npos, mac.find("  /Library/Java/JavaVirtualMachines/*/Contents/Home\n")) << mac;
  EXPECT_NE(std::string::npos, mac.find("  os.name=Mac OS X\n")) << mac;
  // What a user without a suitable Java is told: the DESC, and the page.
  for (const std::string& jvm : {linux, mac}) {
    EXPECT_EQ(0u, jvm.find("DESC:  Java 11 or later\n")) << jvm;
    EXPECT_NE(std::string::npos, jvm.find("DOWNLOAD_URL:  https://example.org/java?v=11&os=any\n")) << jvm;
  }

  // The home property first, the variables' options after the .ja file's,
  // an upper bound, the status display on request.
  ASSERT_EQ(0, runBvpack({"--emit", dir.file("e2"), "--main-class", "guide.Main", "--jar", appJar(), "--jar",
                          libJar(), "--java-option", "-Xss4m", "--home-property", "guide.home", "--options-env",
                          "GUIDE_OPTS", "--options-env", "JAVA_OPTS", "--max-java", "17", "--ui", "status"},
                         &out))
      << out;
  EXPECT_EQ(
      "DESC:  Main\n"
      "DISPLAY_CONSOLE:  1\n"
      "AUTO_SET_WORKING_DIR:  0\n"
      "COMMAND:  \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CDS_OPTIONS%() %SYSTEMPROP%(\"\"guide.home\"\", "
      "\"\"\"\"\"\"%CLASSPATH_JAR_DIR%()\"\"\"\"\"\") -Xss4m %RUNTIME_JAVAARGS%() %RUNTIME_SYSTEMPROP%() "
      "%ENV_JAVAARGS%(\"\"GUIDE_OPTS\"\") %ENV_JAVAARGS%(\"\"JAVA_OPTS\"\") %CP%() guide.Main\"\n",
      bvtest::readFile(dir.file("e2/launch.tag")));
  EXPECT_NE(std::string::npos, bvtest::readFile(dir.file("e2/instructions.tag")).find("CONSOLE_UI:  1\n"));
  linux = bvtest::readFile(dir.file("e2/jvm-linux.tag"));
  EXPECT_NE(std::string::npos, linux.find("DESC:  Java 11 to 17\n")) << linux;
  EXPECT_NE(std::string::npos,
            linux.find("  java.specification.version>=11\n  java.specification.version<=17\n/:\n"))
      << linux;

  // --emit with -o writes both; the launcher carries the tag files, the two
  // jars and the built-in Verify.jar.
  ASSERT_EQ(0, runBvpack({"--emit", dir.file("e"), "-o", dir.file("l"), "--main-class", "guide.Main", "--jar",
                          appJar(), "--jar", libJar()},
                         &out))
      << out;
  ASSERT_EQ(0, runBvpack({"--list", dir.file("l")}, &out));
  for (const char* entry : {"0 type 0 (instructions)", "1 type 2 (launch-script)", "2 type 1 (jvm)",
                            "3 type 1 (jvm)", "4 type 3 (classpath-jar) id 4", "name guide-app.jar",
                            "5 type 3 (classpath-jar) id 5", "name guide-lib.jar",
                            "6 type 5 (verify-jar) id 6"}) {
    EXPECT_NE(std::string::npos, out.find(entry)) << entry << "\n" << out;
  }
  std::string verifyJar = bvtest::readFile(bvtest::javaBuildPath("Verify.jar"));
  ASSERT_FALSE(verifyJar.empty());
  EXPECT_NE(std::string::npos, bvtest::readFile(dir.file("l")).find(verifyJar));
}

// --emit writes as -o does: a link planted in the folder is replaced, the
// file it points to is untouched, and a file that cannot be put in place
// leaves nothing half-written.
TEST_F(BvpackOneLineTest, EmitNeverWritesThroughALink) {
  std::string out;
  bvtest::writeFile(dir.file("profile"), "the victim's own file\n", 0644);
  mkdir(dir.file("e").c_str(), 0755);
  ASSERT_EQ(0, symlink(dir.file("profile").c_str(), dir.file("e/launch.tag").c_str()));
  ASSERT_EQ(0, runBvpack({"--emit", dir.file("e"), "--main-class", "guide.Main", "--jar", appJar()}, &out)) << out;
  EXPECT_EQ("the victim's own file\n", bvtest::readFile(dir.file("profile")));
  struct stat st;
  ASSERT_EQ(0, lstat(dir.file("e/launch.tag").c_str(), &st));
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_NE(std::string::npos, bvtest::readFile(dir.file("e/launch.tag")).find("COMMAND:"));

  // A folder where a tag file goes: an error that names it.
  mkdir(dir.file("f").c_str(), 0755);
  mkdir(dir.file("f/launch.tag").c_str(), 0755);
  EXPECT_EQ(1, runBvpack({"--emit", dir.file("f"), "--main-class", "guide.Main", "--jar", appJar()}, &out));
  EXPECT_NE(std::string::npos, out.find("bvpack: cannot create " + dir.file("f/launch.tag"))) << out;
  for (const std::string& name : bvtest::listDir(dir.file("f"))) {
    EXPECT_EQ(std::string::npos, name.find(".bvpack")) << "left behind: " << name;
  }
}

// The tag files are packed later from the --emit folder: a folder that
// someone else may change (writable by others, or below a folder that is)
// is refused before anything is written into it.
TEST_F(BvpackOneLineTest, EmitRefusesAFolderThatOthersMayChange) {
  struct Case {
    const char* label;
    const char* parentMode;  // "" for none
    mode_t mode;
  } cases[] = {{"writable by others", "", 0777}, {"writable by its group", "", 0775}, {"below a shared folder", "0777", 0755}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string parent = dir.file(std::string("p-") + c.label);
    ASSERT_EQ(0, mkdir(parent.c_str(), 0755));
    if (c.parentMode[0] != '\0') {
      ASSERT_EQ(0, chmod(parent.c_str(), static_cast<mode_t>(strtol(c.parentMode, nullptr, 8))));
    }
    std::string emit = parent + "/e";
    ASSERT_EQ(0, mkdir(emit.c_str(), 0755));
    ASSERT_EQ(0, chmod(emit.c_str(), c.mode));
    std::string out;
    EXPECT_EQ(1, runBvpack({"--emit", emit, "--main-class", "guide.Main", "--jar", appJar()}, &out));
    EXPECT_NE(std::string::npos, out.find("bvpack: the --emit folder " + emit + " is not safe for the tag files: "))
        << out;
    EXPECT_TRUE(bvtest::listDir(emit).empty()) << "written into " << emit;
  }
  // A folder of the user's own, made by bvpack or before, is fine.
  std::string out;
  ASSERT_EQ(0, mkdir(dir.file("own").c_str(), 0700));
  EXPECT_EQ(0, runBvpack({"--emit", dir.file("own"), "--main-class", "guide.Main", "--jar", appJar()}, &out)) << out;
  EXPECT_TRUE(bvtest::pathExists(dir.file("own/launch.tag")));
}

TEST_F(BvpackOneLineTest, TheJavaVersionComesFromTheClassFilesOrFromMinJava) {
  // Jars made by hand: stored and deflated class entries; module-info and
  // META-INF/versions/ do not count.
  bvtest::writeFile(dir.file("stored.jar"),
                    zipBytes({{"p/", 0, ""}, {"p/Main.class", 0, classHead(52)}, {"p/data.txt", 0, "x"},
                              {"module-info.class", 0, classHead(69)},
                              {"META-INF/versions/21/p/Main.class", 0, classHead(65)}}));
  bvtest::writeFile(dir.file("deflated.jar"), zipBytes({{"q/Lib.class", 8, storedDeflate(classHead(61))}}));
  struct Case {
    std::vector<std::string> jars;
    std::string minJava;
    const char* version;
  } cases[] = {
      {{"stored.jar"}, "", "1.8"},
      {{"stored.jar", "deflated.jar"}, "", "17"},
      {{"stored.jar", "deflated.jar"}, "21", "21"},
      {{"stored.jar"}, "8", "1.8"},
      {{"stored.jar"}, "1.8", "1.8"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--emit", dir.file("v"), "--main-class", "p.Main"};
    for (const std::string& jar : c.jars) args.insert(args.end(), {"--jar", dir.file(jar)});
    if (!c.minJava.empty()) args.insert(args.end(), {"--min-java", c.minJava});
    std::string out;
    ASSERT_EQ(0, runBvpack(args, &out)) << out;
    EXPECT_EQ(c.version, requiredVersion(dir.file("v"))) << out;
  }
  // A --min-java lower than the classes need is taken, with a note.
  std::string out;
  ASSERT_EQ(0, runBvpack({"--emit", dir.file("v"), "--main-class", "p.Main", "--jar", dir.file("stored.jar"),
                          "--jar", dir.file("deflated.jar"), "--min-java", "11"},
                         &out));
  EXPECT_NE(std::string::npos, out.find("note: --min-java 11 is lower than q/Lib.class")) << out;
  // The real jars of the build: deflated by the jar tool.
  ASSERT_EQ(0, runBvpack({"--emit", dir.file("v"), "--main-class", "guide.Main", "--jar", libJar(), "--jar",
                          appJar()},
                         &out))
      << out;
  EXPECT_EQ("11", requiredVersion(dir.file("v")));
}

TEST_F(BvpackOneLineTest, UnreadableJarsAndBadOptionsAreRefusedClearly) {
  std::string good = zipBytes({{"p/Main.class", 0, classHead(55)}});
  std::string truncated = good.substr(0, good.size() - 5);
  std::string badOffset = good;
  badOffset[badOffset.size() - 3] = '\x7f';  // central directory offset far past the end
  std::string manyEntries = good;
  manyEntries[manyEntries.size() - 12] = '\x09';  // 9 entries claimed, 1 present
  bvtest::writeFile(dir.file("good.jar"), good);
  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;
  } jars[] = {
      {"empty.jar", "", "not a zip archive"},
      {"text.jar", std::string(300, 'x'), "no end of central directory"},
      {"truncated.jar", truncated, "not a zip archive"},
      {"offset.jar", badOffset, "outside the file"},
      {"entries.jar", manyEntries, "damaged central directory"},
      {"notclass.jar", zipBytes({{"p/Main.class", 0, "just text here"}}), "p/Main.class is not a class file"},
      {"deflate.jar", zipBytes({{"p/Main.class", 8, "\xff\xff\xff\xff\xff\xff"}}), "damaged deflate data"},
      {"short.jar", zipBytes({{"p/Main.class", 8, storedDeflate("\xCA\xFE")}}), "is not a class file"},
      {"method.jar", zipBytes({{"p/Main.class", 12, "BZh9"}}), "compressed with method 12"},
      {"secret.jar", zipBytes({{"p/Main.class", 0, classHead(55), 1}}), "p/Main.class is encrypted"},
  };
  for (const Case& c : jars) {
    SCOPED_TRACE(c.name);
    bvtest::writeFile(dir.file(c.name), c.bytes);
    std::string out;
    EXPECT_EQ(1, runBvpack({"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"),
                            "--jar", dir.file(c.name)},
                           &out));
    EXPECT_NE(std::string::npos, out.find("cannot read the class files of " + dir.file(c.name))) << out;
    EXPECT_NE(std::string::npos, out.find(c.reason)) << out;
    EXPECT_NE(std::string::npos, out.find("--min-java")) << out;
    EXPECT_FALSE(bvtest::pathExists(dir.file("l")));
    // With --min-java the jar is packed as it is.
    EXPECT_EQ(0, runBvpack({"--emit", dir.file("m"), "--main-class", "p.Main", "--jar", dir.file("good.jar"),
                            "--jar", dir.file(c.name), "--min-java", "17"},
                           &out))
        << out;
    EXPECT_EQ("17", requiredVersion(dir.file("m")));
  }

  bvtest::runShell("mkdir -p " + dir.file("app/a") + " " + dir.file("app/b") + " && cp " + dir.file("good.jar") + " " +
           dir.file("app/a/") + " && cp " + dir.file("good.jar") + " " + dir.file("app/b/") + " && cp " +
           dir.file("good.jar") + " '" + dir.file("app/odd \"name\".jar") + "' && cp " + dir.file("good.jar") + " " +
           dir.file("a:b.jar"));
  // Two jars of one name in the folder are fine: each keeps its place.
  std::string twoOut;
  EXPECT_EQ(0, runBvpack({"-o", dir.file("two"), "--main-class", "p.Main", "--jar", dir.file("app/a/good.jar"),
                          "--jar", dir.file("app/b/good.jar"), "--app-dir", dir.file("app"), "--jar",
                          dir.file("good.jar")},
                         &twoOut))
      << twoOut;
  struct Refusal {
    std::vector<std::string> args;
    int status;
    std::string message;
  } refusals[] = {
      {{"--main-class", "p.Main"}, 2, "--main-class needs at least one --jar"},
      {{"--main-class", "p.Main", "--jar", dir.file("good.jar")}, 2, "no output file given"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "x.jar"}, 2,
       "give the application's jars with --jar"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--id", "3"}, 2,
       "unknown option --id"},
      {{"-o", dir.file("l"), "--main-class", "p.Other", "--jar", dir.file("good.jar")}, 1,
       "no --jar holds the main class p.Other (p/Other.class)"},
      {{"-o", dir.file("l"), "--main-class", "p..Main", "--jar", dir.file("good.jar")}, 1,
       "is not a Java class name"},
      {{"-o", dir.file("l"), "--main-class", "p.Main; rm", "--jar", dir.file("good.jar")}, 1,
       "is not a Java class name"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--java-option",
        "-XX:HeapDumpPath=/tmp/%p"},
       1, "holds %, @, # or a line end"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--min-java", "1.9"}, 1,
       "--min-java needs a Java version"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--jar",
        dir.file("good.jar")},
       1, "two --jar files are named good.jar"},
      // Java splits a class path at ':': "a:b.jar" would be read as ".../a"
      // and as "b.jar" in the run's working directory, where another user
      // may put one.
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("a:b.jar")}, 1,
       "the classpath archive a:b.jar has a ':' in its name, at which Java splits a class path"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--name", "a\nb"}, 1,
       "must be one line"},
      // A jar that is not there is named as such, without advice about
      // --min-java.
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("nothing.jar")}, 1,
       "cannot read the jar " + dir.file("nothing.jar") + ": No such file or directory\n"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.path()}, 1,
       "cannot read the jar " + dir.path() + ": it is not a file\n"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--max-java", "9"}, 1,
       "--max-java 9 is lower than Java 11 (p/Main.class in " + dir.file("good.jar") + " needs it)"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--min-java", "17",
        "--max-java", "11"},
       1, "--max-java 11 is lower than Java 17 (--min-java)"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--max-java", "x"}, 1,
       "--max-java needs a Java version"},
      // An application folder must be one; a jar in it whose name the
      // template cannot hold as it is, is refused.
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--app-dir",
        dir.file("good.jar")},
       1, "--app-dir " + dir.file("good.jar") + " is not a folder"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--app-dir", dir.file("none")},
       1, "cannot read the --app-dir folder " + dir.file("none") + ": No such file or directory"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("app/odd \"name\".jar"), "--app-dir",
        dir.file("app")},
       1, "the jar " + dir.file("app/odd \"name\".jar") + " lies in the --app-dir folder under a name"},

      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--home-property",
        "a\"b"},
       1, "--home-property needs a property name"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--home-property",
        "-Dx"},
       1, "--home-property needs a property name"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--options-env", "A-B"},
       1, "--options-env needs an environment variable name"},
      {{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"), "--ui", "loud"}, 2,
       "--ui takes quiet or status, not \"loud\""},
      // The one-line options without --main-class.
      {{"-o", dir.file("l"), "--jar", dir.file("good.jar")}, 2,
       "--jar belongs to the one-line mode, which needs --main-class CLASS"},
      {{"-o", dir.file("l"), "--min-java", "11", "classpath-jar:" + dir.file("good.jar")}, 2,
       "--min-java belongs to the one-line mode, which needs --main-class CLASS"},
      {{"-o", dir.file("l"), "--home-property", "a.home", "classpath-jar:" + dir.file("good.jar")}, 2,
       "--home-property belongs to the one-line mode"},
  };
  std::vector<Refusal> urls;
  for (const char* url : {"javascript:alert(1)", "file:///etc/passwd", "ftp://example.org/java", "https://",
                          "https://example.org/a b", "https://example.org/$(id)", "-https://example.org",
                          "https://example.org/\xc3\xa4"}) {
    urls.push_back({{"-o", dir.file("l"), "--main-class", "p.Main", "--jar", dir.file("good.jar"),
                     "--java-download-url", url},
                    1,
                    "--java-download-url needs an http or https address"});
  }
  for (const Refusal& c : urls) {
    SCOPED_TRACE(c.args.back());
    std::string out;
    EXPECT_EQ(c.status, runBvpack(c.args, &out));
    EXPECT_NE(std::string::npos, out.find(c.message)) << out;
    EXPECT_FALSE(bvtest::pathExists(dir.file("l")));
  }
  for (const Refusal& c : refusals) {
    SCOPED_TRACE(c.message);
    std::string out;
    EXPECT_EQ(c.status, runBvpack(c.args, &out));
    EXPECT_NE(std::string::npos, out.find(c.message)) << out;
    if (c.message.find("unknown option") == std::string::npos) {
      EXPECT_EQ(std::string::npos, out.find("unknown option")) << out;
    }
    if (c.message.find("cannot read the jar") == 0) {
      EXPECT_EQ(std::string::npos, out.find("--min-java")) << out;
    }
    EXPECT_FALSE(bvtest::pathExists(dir.file("l")));
  }
}

}  // namespace
