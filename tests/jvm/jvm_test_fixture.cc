#include "tests/jvm/jvm_test_fixture.h"

#include <stdlib.h>

#include <filesystem>

#include "foundation/log.h"
#include "platform/platform_impl.h"
#include "tests/archive/archive_test_util.h"

namespace bvtest {


void JVMFileTest::SetUp() {
  resetLog();
  setLogFileName(m_dir.file("run.log").c_str());
  m_run.paths.setLauncherFile(m_dir.file("setup").c_str());
  PlatformImpl::setSystemTempDir((m_dir.path() + "/").c_str());
  PlatformImpl::setSilent(true);
}

void JVMFileTest::TearDown() {
  PlatformImpl::cleanup();
  PlatformImpl::setSilent(false);
  PlatformImpl::setSystemTempDir("");
  resetLog();
}

TagFile& JVMFileTest::loadTagFile(const std::string& text) {
  std::string path = m_dir.file("test.jvm");
  writeFile(path, text);
  m_tagFile.reset(new TagFile(path.c_str()));
  return *m_tagFile;
}

std::string JVMFileTest::makeFakeHome(const std::string& dir, const std::string& output,
                                      const std::string& exe) {
  std::string exePath = dir + "/" + exe;
  std::filesystem::create_directories(std::filesystem::path(exePath).parent_path());
  std::string script =
      "#!/bin/sh\n"
      "{ printf '%s\\n' \"$JAVA_HOME\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > " +
      shellQuote(dir + "/invoked") + "\n"
      "printf '%s' '" + output + "'\n";
  writeFile(exePath, script, 0755);
  return dir;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : m_name(name) {
  const char* old = getenv(name);
  m_wasSet = old != nullptr;
  if (m_wasSet) m_old = old;
  setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (m_wasSet) {
    setenv(m_name.c_str(), m_old.c_str(), 1);
  } else {
    unsetenv(m_name.c_str());
  }
}

}  // namespace bvtest
