#include "launcher/launcher.h"

#include <cstdio>

#include "launcher/launcher_exception.h"
#include "launcher/run_outcome.h"

SString Launcher::m_logFileName;
bool Launcher::m_logFileInitialized = false;
SString Launcher::m_launcherFileName;
SString Launcher::m_origLauncherFileName;
SString Launcher::m_executableFileName;
SString Launcher::m_stringVariables[10];
bool Launcher::m_stringVariableFound[10] = {};
StringDeque Launcher::m_passThroughArgs;
StringDeque Launcher::m_args;
bool Launcher::m_showJavaConsole = false;
SString Launcher::m_userJavaHome;
SString Launcher::m_prependClasspath;
SString Launcher::m_appendClasspath;
SString Launcher::m_applicationArchive;
long Launcher::m_launcherPurpose = -1;
SString Launcher::m_stdOutput;
SString Launcher::m_errOutput;
long Launcher::m_numericVariables[5] = {0, 0, 0, 0, 0};

void Launcher::logMessage(const char* text, LogMessageType type) {
  if (m_logFileName.empty()) return;
  FILE* file = fopen(m_logFileName.c_str(), "a");
  if (file == nullptr) return;
  if (!m_logFileInitialized) {
    fputs("------------------\n", file);
    m_logFileInitialized = true;
  }
  const char* prefix = type == LOG_WARNING ? "WARNING: " : (type == LOG_ERROR ? "ERROR: " : "");
  fprintf(file, "%s%s\n", prefix, text);
  fflush(file);
  fclose(file);
}

void Launcher::logMessage(const SString& text, LogMessageType type) { logMessage(text.c_str(), type); }

long Launcher::getLauncherPurpose(const char* path) {
  bool own = m_launcherFileName.compare(path) == 0;
  if (own && m_launcherPurpose != -1) return m_launcherPurpose;
  long value = -1;
  // The running launcher's purpose is in the running executable.
  if (FILE* file = fopen(own ? m_executableFileName.c_str() : path, "rb")) {
    if (fseek(file, -9, SEEK_END) == 0) value = fgetc(file);
    fclose(file);
  }
  if (value < -1) value = -1;
  if (own) m_launcherPurpose = value;
  return value;
}

// A backslash is part of a name here, not a separator: the folder of
// "/a/x\\setup" is "/a".
SString Launcher::getOriginalLauncherDir() {
  unsigned long pos = m_origLauncherFileName.rfind('/');
  if (pos == SString::npos) return SString();
  return m_origLauncherFileName.substr(0, pos);
}

namespace {

SString numberText(long n) {
  char buf[32];
  snprintf(buf, sizeof buf, "%ld", n);
  return SString(buf);
}

}  // namespace

SString Launcher::getStringVariable(long n) {
  if (!isValidStringVariable(n)) {
    throw LauncherException(SString("Invalid string variable number: ").append(numberText(n)));
  }
  return m_stringVariables[n - 1];
}

void Launcher::setStringVariable(long n, const SString& value) {
  if (!isValidStringVariable(n)) {
    throw LauncherException(SString("Invalid string variable number: ").append(numberText(n)));
  }
  m_stringVariables[n - 1] = value;
  m_stringVariableFound[n - 1] = false;
}

void Launcher::setFoundStringVariable(long n, const SString& value) {
  setStringVariable(n, value);
  m_stringVariableFound[n - 1] = true;
}

bool Launcher::isFoundStringVariable(long n) {
  return isValidStringVariable(n) && m_stringVariableFound[n - 1];
}

long Launcher::getLongVariable(long n) {
  if (!isValidLongVariable(n)) {
    throw LauncherException(SString("Invalid numeric variable number: ").append(numberText(n)));
  }
  return m_numericVariables[n - 1];
}

void Launcher::setLongVariable(long n, long value) {
  if (!isValidLongVariable(n)) {
    throw LauncherException(SString("Invalid numeric variable number: ").append(numberText(n)));
  }
  m_numericVariables[n - 1] = value;
}

void Launcher::resetRunState() {
  m_logFileName = "";
  m_logFileInitialized = false;
  m_launcherFileName = "";
  m_origLauncherFileName = "";
  m_executableFileName = "";
  for (SString& s : m_stringVariables) s = "";
  for (bool& found : m_stringVariableFound) found = false;
  m_passThroughArgs.clear();
  m_args.clear();
  m_showJavaConsole = false;
  m_userJavaHome = "";
  m_prependClasspath = "";
  m_appendClasspath = "";
  m_applicationArchive = "";
  m_launcherPurpose = -1;
  m_stdOutput = "";
  m_errOutput = "";
  for (long& n : m_numericVariables) n = 0;
  resetRunOutcome();
}
