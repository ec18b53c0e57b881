#include "tests/e2e/e2e_fixture.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "foundation/launcher_exception.h"
#include "tagfile/tag_file.h"
#include "tests/archive/archive_test_util.h"
#include "tests/java/java_installs.h"

namespace bvtest {

ProcessResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& input, const std::string& cwd) {
  ProcessResult result;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return result;
  std::vector<char*> args, vars;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& v : env) vars.push_back(const_cast<char*>(v.c_str()));
  vars.push_back(nullptr);
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    execve(args[0], args.data(), vars.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // The inputs are short: written whole before the output is read.
  signal(SIGPIPE, SIG_IGN);
  if (!input.empty() && write(in[1], input.data(), input.size()) < 0) {
    // the child did not read its input; its output tells
  }
  close(in[1]);
  struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* texts[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        texts[i]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.status = 128 + WTERMSIG(status);
  return result;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

std::string dirName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void writeFakeJvm(const std::string& home, const std::string& osName, const std::string& exe) {
  std::string path = home + "/" + exe;
  runShell("mkdir -p " + shellQuote(dirName(path)));
  writeFile(path,
            "#!/bin/sh\n"
            "# A fake JVM (see e2e_fixture.h).\n"
            "verify=no\n"
            "for a in \"$@\"; do [ \"$a\" = Verify ] && verify=yes; done\n"
            "if [ $verify = yes ]; then\n"
            "  echo 1739021872\n"
            "  props=no\n"
            "  for a in \"$@\"; do\n"
            "    if [ $props = yes ]; then\n"
            "      case \"$a\" in\n"
            "        os.name) echo '" +
                osName +
                "' ;;\n"
                "        java.vm.specification.name) echo 'Java Virtual Machine Specification' ;;\n"
                "        *) echo null ;;\n"
                "      esac\n"
                "    fi\n"
                "    [ \"$a\" = Verify ] && props=yes\n"
                "  done\n"
                "  exit 0\n"
                "fi\n"
                "status=0\n"
                "echo fakejava\n"
                "printf 'JAVA_HOME=%s\\n' \"$JAVA_HOME\"\n"
                "for a in \"$@\"; do\n"
                "  printf 'arg=%s\\n' \"$a\"\n"
                "  case \"$a\" in\n"
                "    --exit=*) status=${a#--exit=} ;;\n"
                "    --stderr=*) echo \"${a#--stderr=}\" >&2 ;;\n"
                "  esac\n"
                "done\n"
                "exit $status\n",
            0755);
}

void writeVersionedJvm(const std::string& home, const std::string& version) {
  runShell("mkdir -p " + shellQuote(home + "/bin"));
  writeFile(home + "/bin/java",
            "#!/bin/sh\n"
            "props=no\n"
            "for a in \"$@\"; do\n"
            "  if [ $props = yes ]; then\n"
            "    case \"$a\" in\n"
            "      os.name) echo Linux ;;\n"
            "      java.specification.version) echo '" + version + "' ;;\n"
            "      *) echo null ;;\n"
            "    esac\n"
            "  elif [ \"$a\" = Verify ]; then\n"
            "    echo 1739021872; props=yes\n"
            "  fi\n"
            "done\n"
            "[ $props = yes ] && exit 0\n"
            "echo fakejdk\n"
            "printf 'JAVA_HOME=%s\\n' \"$JAVA_HOME\"\n"
            "printf 'java=%s\\n' \"$0\"\n"
            "for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n",
            0755);
  writeReleaseFile(home, version);
}

void writeReleaseFile(const std::string& home, const std::string& version) {
  struct utsname names;
  std::string arch = uname(&names) == 0 ? names.machine : "x86_64";
  std::string text;
  if (version.compare(0, 2, "1.") == 0) {
    text = "JAVA_VERSION=\"" + version + ".0_402\"\n";
  } else {
    text = "JAVA_RUNTIME_VERSION=\"" + version + "+7\"\nJAVA_VERSION=\"" + version + "\"\n";
  }
  writeFile(home + "/release", text + "OS_ARCH=\"" + arch + "\"\nOS_NAME=\"Linux\"\n", 0644);
}

std::string jvmFileText(const std::string& exe, const std::string& extra) {
  return "DESC: Test JVM\n"
         "JVM_EXE: " +
         exe +
         "\n"
         "PLATFORM_HINT:\n"
         "  JAVA_HOME\n"
         "/:\n"
         "JVM_PROPERTIES:\n"
         "  \"os.name=Linux\"\n"
         "  \"java.vm.specification.name=Java Virtual Machine Specification\"\n"
         "/:\n"
         "CLASSPATH: \"-cp \"\n"
         "CLASSPATH_SEPARATOR: :\n"
         "SYSTEM: -D\n"
         "SYSTEM_SEPARATOR: =\n" +
         extra;
}

std::string launchScriptText(bool displayConsole) {
  auto prop = [](const std::string& name, const std::string& value) {
    return " %SYSTEMPROP%(\"\"" + name + "\"\", \"\"\"\"\"\"" + value + "\"\"\"\"\"\")";
  };
  return std::string("DESC: Test Setup\n") + "DISPLAY_CONSOLE: " + (displayConsole ? "1" : "0") +
         "\nAUTO_SET_WORKING_DIR: 1\n"
         "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%()" +
         prop("temp.dir", "%TEMP_DIR%()") + prop("bv.jvm.home", "@JVM_HOME@") +
         prop("bv.jvm.temp", "@JVM_TEMP@") + prop("bv.launcher.file", "%LAUNCHER_FILE%()") +
         prop("bv.jvm.file", "@JVM_FILE@") + prop("bv.external.home", "%LAUNCHER_DIR%()") +
         " PrintArgs\"\n";
}

std::string typicalScriptPath() { return sourcePath("examples/setup/instructions.tag"); }

std::string typicalUnixScriptText() { return "UNIX_COMMAND: 1\n" + readFile(typicalScriptPath()); }

std::string scriptText(const std::vector<std::string>& statements) {
  return "UNIX_COMMAND: 1\n" + setupScriptText(statements);
}

std::string setupScriptText(const std::vector<std::string>& statements) {
  std::string text = "INSTRUCTIONS:\n";
  for (const std::string& s : statements) text += "  " + s + "\n";
  return text + "/:\n";
}

std::string installerText(const std::string& java, bool writeJvmFile) {
  // The launcher runs it with the test's PATH, which may lead nowhere.
  std::string text =
      "#!/bin/sh\n# Lays a JVM home in the current directory.\n"
      "PATH=/usr/bin:/bin\nexport PATH\nmkdir -p bin\n";
  text += "ln -s " + shellQuote(java) + " bin/java\n";
  if (writeJvmFile) text += "cat > jvm <<'END_OF_JVM_FILE'\n" + jvmFileText() + "END_OF_JVM_FILE\n";
  return text;
}

std::string tagValue(const std::string& path, const char* tag) {
  try {
    TagFile file{SString(path.c_str())};
    return file.getTagValue(tag, 0).c_str();
  } catch (const LauncherException&) {
    return "(unreadable)";
  }
}

void E2eTest::SetUp() {
  temp = dir.file("temp");
  mkdir(temp.c_str(), 0755);
  javaExe = findJava();
  if (!javaExe.empty()) javaHome = javaHomeOf(javaExe);
}

std::string E2eTest::write(const std::string& name, const std::string& text, int mode) {
  std::string path = dir.file(name);
  runShell("mkdir -p " + shellQuote(dirName(path)));
  writeFile(path, text, mode);
  return path;
}

std::string E2eTest::pack(const std::string& name, const std::vector<std::string>& entries,
                          int purpose) {
  std::string path = dir.file(name);
  runShell("mkdir -p " + shellQuote(dirName(path)));
  std::vector<std::string> args = {"--purpose", std::to_string(purpose), "-o", path};
  args.insert(args.end(), entries.begin(), entries.end());
  std::string out;
  int status = runBvpack(args, &out);
  EXPECT_EQ(0, status) << out;
  return path;
}

std::string E2eTest::typicalUnixScriptPath() {
  return write("typical-unix.tag", typicalUnixScriptText());
}

std::vector<std::string> E2eTest::payload(const std::string& instructions, bool displayConsole) {
  return {"instructions:" + instructions, "verify-jar:" + javaBuildPath("Verify.jar"),
          "launch-script:" + write("launch.tag", launchScriptText(displayConsole)),
          "jvm:" + write("jvm.tag", jvmFileText()),
          "classpath-jar:" + javaBuildPath("PrintArgs.jar")};
}

ProcessResult E2eTest::run(const std::string& launcher, const std::vector<std::string>& args,
                           const std::vector<std::string>& environment, const std::string& input,
                           const std::string& cwd) {
  std::vector<std::string> argv = {launcher, "-bv:tempdir", temp};
  argv.insert(argv.end(), args.begin(), args.end());
  return runProcess(argv, environment, input, cwd);
}

std::vector<std::string> E2eTest::env(const std::string& path, const std::string& home) {
  std::vector<std::string> vars = {"PATH=" + (path.empty() ? dir.file("no-such-dir") : path),
                                   "LANG=C", "HOME=" + dir.path()};
  if (!home.empty()) vars.push_back("JAVA_HOME=" + home);
  return vars;
}

}  // namespace bvtest
