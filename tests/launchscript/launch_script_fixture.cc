#include "tests/launchscript/launch_script_fixture.h"

#include <stdlib.h>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "platform/platform_impl.h"

namespace bvtest {

const char* kExampleJVMFile =
    "DESC: Java 1.4.X by Apple Computer\n"
    "JVM_EXE: bin/java\n"
    "PATH_HINT:\n"
    "  /Library/Java/Home/\n"
    "  /System/Library/Frameworks/JavaVM.framework/Versions/1.4.1/Home\n"
    "/:\n"
    "JVM_PROPERTIES:\n"
    "  java.vendor=Apple...\n"
    "  java.vm.version=1.4...\n"
    "/:\n"
    "CLASSPATH: \"-cp \"\n"
    "CLASSPATH_SEPARATOR: :\n"
    "SYSTEM: -D\n"
    "SYSTEM_SEPARATOR: =\n"
    "SEARCH_ALL: 0\n"
    "INIT_JAVA_HEAP: -Xms\n"
    "MAX_JAVA_HEAP: -Xmx\n"
    "VERBOSE: -verbose\n"
    "BOOT_CLASSPATH: -Xbootclasspath:\n"
    "REDUCE_OS_SIGNALS: -Xrs\n"
    "DEBUG: -Xdebug\n";

std::string exampleJVMFile() {
  return std::string(kExampleJVMFile) + "JVM_HOME: /Library/Java/Home\n";
}

void LaunchScriptTest::SetUp() {
  resetLog();
  setLogFileName(m_dir.file("log").c_str());
  m_run->paths.setLauncherFile(launcherPath().c_str());
  loadJVMFile(exampleJVMFile());
}

void LaunchScriptTest::TearDown() {
  resetLog();
  PlatformImpl::setSystemTempDir("");
  for (auto it = m_savedEnv.rbegin(); it != m_savedEnv.rend(); ++it) {
    if (it->wasSet) {
      setenv(it->name.c_str(), it->value.c_str(), 1);
    } else {
      unsetenv(it->name.c_str());
    }
  }
}

void LaunchScriptTest::loadJVMFile(const std::string& text) {
  m_jvmFile.reset();
  std::string path = m_dir.file("test.jvm");
  writeFile(path, text);
  m_tagFile.reset(new TagFile(SString(path.c_str())));
  m_jvmFile.reset(new JVMTagLookup(*m_tagFile));
}

std::unique_ptr<TagFile> LaunchScriptTest::loadLaunchScript(const std::string& text) {
  std::string path = m_dir.file("launch.txt");
  writeFile(path, text);
  return std::unique_ptr<TagFile>(new TagFile(SString(path.c_str())));
}

std::string LaunchScriptTest::resolve(const std::string& command) {
  LaunchScript script(SString(command.c_str(), command.size()), true, false, context());
  SString text = script.resolve(*m_jvmFile);
  return std::string(text.c_str(), text.length());
}

std::string LaunchScriptTest::resolveError(const std::string& command) {
  try {
    resolve(command);
  } catch (const LauncherException& e) {
    return e.getMessage().c_str();
  }
  return "no exception";
}

void LaunchScriptTest::saveEnv(const std::string& name) {
  for (const SavedVariable& saved : m_savedEnv) {
    if (saved.name == name) return;
  }
  const char* value = getenv(name.c_str());
  m_savedEnv.push_back({name, value != nullptr, value != nullptr ? value : ""});
}

void LaunchScriptTest::setEnv(const std::string& name, const std::string& value) {
  saveEnv(name);
  setenv(name.c_str(), value.c_str(), 1);
}

void LaunchScriptTest::unsetEnv(const std::string& name) {
  saveEnv(name);
  unsetenv(name.c_str());
}

}  // namespace bvtest
