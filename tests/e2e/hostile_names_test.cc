// Hostile names everywhere the launcher takes a text from outside, run as
// real launcher processes: the launcher's folder and file name, the
// temporary folder, the JVM home, -cp:p, an environment variable, the files
// next to the launcher and the arguments handed on. A fake java records its
// exact argv; nothing of a name may run as shell code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/hostile_names.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

// A fake JVM: on the verification class it answers for the properties of
// jvmFileText(); run as the application it writes $0 and its arguments,
// each ended by a NUL byte, to the file $BV_ARGV_FILE.
const char* kArgvJava =
    "#!/bin/sh\n"
    "for a in \"$@\"; do\n"
    "  if [ \"$a\" = Verify ]; then\n"
    "    echo 1739021872; echo Linux; echo 'Java Virtual Machine Specification'; exit 0\n"
    "  fi\n"
    "done\n"
    "{ printf '%s\\0' \"$0\"; printf '%s\\0' \"$@\"; } > \"$BV_ARGV_FILE\"\n";

// Every kind of value of the template: functions, @ and # macros, the
// runtime files.
std::string hostileLaunchScript() {
  auto prop = [](const std::string& name, const std::string& value) {
    return " %SYSTEMPROP%(\"\"" + name + "\"\", \"\"\"\"\"\"" + value + "\"\"\"\"\"\")";
  };
  return "DESC: Hostile\nDISPLAY_CONSOLE: 0\nAUTO_SET_WORKING_DIR: 1\n"
         "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%()" +
         prop("temp.dir", "%TEMP_DIR%()") + prop("bv.jvm.home", "@JVM_HOME@") +
         prop("bv.launcher.file", "%LAUNCHER_FILE%()") + prop("bv.jvm.file", "@JVM_FILE@") +
         prop("bv.external.home", "%LAUNCHER_DIR%()") +
         " -Denv=#BV_HOSTILE# -Dunquoted=%LAUNCHER_DIR%() %RUNTIME_SYSTEMPROP%() "
         "%RUNTIME_JAVAARGS%() Main\"\n";
}

std::vector<std::string> splitNul(const std::string& text) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\0', pos);
    if (end == std::string::npos) end = text.size();
    parts.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

// name as one shell word for an argument file line.
std::string quotedWord(const std::string& name) { return shellQuote(name); }

using HostileNamesTest = E2eTest;

TEST_F(HostileNamesTest, EveryHostileNameReachesJavaAsItsBytesAndRunsNothing) {
  std::string instructions = typicalScriptPath();
  std::string script = write("hostile-launch.tag", hostileLaunchScript());
  std::string jvm = write("hostile-jvm.tag", jvmFileText());
  int i = 0;
  for (const HostileName& hostile : hostileNames()) {
    const std::string& name = hostile.name;
    SCOPED_TRACE(hostile.label);
    std::string root = "case" + std::to_string(i++);
    // The launcher in a folder of that name, under a file of that name.
    std::string launcherDir = dir.file(root + "/" + name);
    std::string launcher = pack(root + "/" + name + "/" + name,
                                {"instructions:" + instructions,
                                 "verify-jar:" + javaBuildPath("Verify.jar"),
                                 "launch-script:" + script, "jvm:" + jvm,
                                 "classpath-jar:" + javaBuildPath("PrintArgs.jar")});
    // A tag value cannot hold a line break, so neither the JVM home nor the
    // temporary folder (where the JVM file of the match is written) can.
    bool oneLine = name.find('\n') == std::string::npos;
    std::string inTags = oneLine ? name : "line break";
    std::string home = dir.file(root + "/homes/" + inTags);
    // A JVM home is launched as @JVM_HOME@ gives it, which drops one
    // backslash at its end (the format's rule): "ends\" names the folder
    // "ends", and that folder's java is the one checked and run.
    std::string launchedName = root + "/homes/" + inTags;
    if (launchedName.back() == '\\') launchedName.pop_back();
    std::string launched = dir.file(launchedName);
    write(launchedName + "/bin/java", kArgvJava, 0755);
    std::string tempDir = dir.file(root + "/temp/" + inTags);
    runShell("mkdir -p " + shellQuote(tempDir));
    std::string prepend = dir.file(root + "/cp/" + name + "/x.jar");
    // The files next to the launcher; a name with a line break cannot be one
    // line of them, their lines are trimmed, and the JVM file's @ macros in
    // them are resolved (that is their format: "@@" is a literal "@").
    std::string base = dir.file(root + "/" + name + "/" + name.substr(0, name.rfind('.')));
    if (oneLine) {
      writeFile(base + ".sp", "p=" + name + "\n");
      writeFile(base + ".cp", name + "\n");
      writeFile(base + ".ja", "-Dja " + quotedWord(name) + "\n");
    }
    std::string trimmed = name.substr(0, name.find_last_not_of(" ") + 1);
    std::string resolved = name == "@JVM_HOME@" ? home : trimmed;
    std::string argvFile = dir.file(root + "/argv");

    // touch must be found, so that a name that ran would leave its marker.
    std::vector<std::string> environment = {"PATH=/usr/bin:/bin", "LANG=C",
                                            "HOME=" + dir.path(), "JAVA_HOME=" + home,
                                            "BV_HOSTILE=" + name, "BV_ARGV_FILE=" + argvFile};
    ProcessResult r = runProcess({launcher, "-bv:tempdir", tempDir, "-cp:p", prepend, name, ""},
                                 environment, "", dir.path());
    EXPECT_EQ(0, r.status) << r.out << r.err;

    std::vector<std::string> argv = splitNul(readFile(argvFile));
    std::string found;
    runShell("find " + shellQuote(dir.path()) + " -name " + kHostileMarker, &found);
    EXPECT_EQ("", found);
    EXPECT_EQ(std::vector<std::string>{}, listDir(tempDir));
    if (argv.size() != (oneLine ? 16u : 13u)) {
      ADD_FAILURE() << argv.size() << " arguments\n" << r.out << r.err;
      continue;
    }
    size_t k = 0;
    EXPECT_EQ(launched + "/bin/java", argv[k++]);
    EXPECT_EQ("-cp", argv[k++]);
    // -cp:p, the .cp line, then the extracted archive in the temp folder.
    std::string classpath = argv[k++];
    std::string head = prepend + ":" + (oneLine ? trimmed + ":" : "") + tempDir + "/bvj";
    EXPECT_EQ(head, classpath.substr(0, head.size()));
    EXPECT_EQ("/PrintArgs.jar", classpath.substr(classpath.size() - 14));
    EXPECT_EQ("-Dtemp.dir=" + tempDir, argv[k++]);
    EXPECT_EQ("-Dbv.jvm.home=" + launched, argv[k++]);
    EXPECT_EQ("-Dbv.launcher.file=" + launcher, argv[k++]);
    std::string jvmFile = "-Dbv.jvm.file=" + tempDir + "/bvj";
    EXPECT_EQ(jvmFile, argv[k++].substr(0, jvmFile.size()));
    EXPECT_EQ("-Dbv.external.home=" + launcherDir, argv[k++]);
    EXPECT_EQ("-Denv=" + name, argv[k++]);
    EXPECT_EQ("-Dunquoted=" + launcherDir, argv[k++]);
    if (oneLine) {
      EXPECT_EQ("-Dp=" + resolved, argv[k++]);
      EXPECT_EQ("-Dja", argv[k++]);
      EXPECT_EQ(name == "@JVM_HOME@" ? home : name, argv[k++]);
    }
    EXPECT_EQ("Main", argv[k++]);
    EXPECT_EQ(name, argv[k++]);
    EXPECT_EQ("", argv[k++]);
  }
}

// INSTALL_JVM runs the extracted installer, whose path lies in the
// temporary folder.
TEST_F(HostileNamesTest, TheJvmInstallerRunsFromAHostileTemporaryFolder) {
  write("fake/bin/java", kArgvJava, 0755);
  std::string installer = write("installer.sh", installerText(dir.file("fake/bin/java")), 0755);
  std::vector<std::string> entries = payload(
      write("install.tag", scriptText({"INSTALL_JVM 0", "JMP0 @N1@ NONE", "LAUNCH @S1@ 0", ":NONE"})));
  entries.push_back("jvm-installer:" + installer);
  std::string launcher = pack("setup", entries);
  int i = 0;
  for (const HostileName& hostile : hostileNames()) {
    SCOPED_TRACE(hostile.label);
    if (hostile.name.find('\n') != std::string::npos) continue;  // see above
    std::string tempDir = dir.file("temp" + std::to_string(i++) + "/" + hostile.name);
    runShell("mkdir -p " + shellQuote(tempDir));
    std::string argvFile = dir.file("argv");
    writeFile(argvFile, "");
    std::vector<std::string> environment = env("/usr/bin:/bin");
    environment.push_back("BV_ARGV_FILE=" + argvFile);
    ProcessResult r = runProcess({launcher, "-bv:tempdir", tempDir, "x"}, environment);
    EXPECT_EQ(std::vector<std::string>{}, listDir(tempDir));
    EXPECT_EQ(0, r.status) << r.out << r.err;
    std::vector<std::string> argv = splitNul(readFile(argvFile));
    if (argv.empty()) {
      ADD_FAILURE() << r.out << r.err;
      continue;
    }
    EXPECT_EQ(tempDir + "/bvj", argv[0].substr(0, tempDir.size() + 4));
    EXPECT_EQ("x", argv.back());
  }
  std::string found;
  runShell("find " + shellQuote(dir.path()) + " -name " + kHostileMarker, &found);
  EXPECT_EQ("", found);
}

}  // namespace
}  // namespace bvtest
