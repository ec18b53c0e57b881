// Running the resolved launch command: working directory, the arguments
// handed on to the application, the environment of the child, capture and
// the log lines.
#include "foundation/log.h"
#include "launchscript/launch_script.h"
#include "launchscript/shell_quoting.h"
#include "platform/platform_impl.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

namespace {

// Sets an environment variable for the life of the object and then puts
// back the value that it had (the empty string when it was unset), also
// when the command could not be started.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const SString& name, const SString& value)
      : m_name(name), m_saved(PlatformImpl::getEnvironmentVariable(name)) {
    PlatformImpl::setEnvironmentVariable(m_name, value);
  }
  ~ScopedEnvironmentVariable() { PlatformImpl::setEnvironmentVariable(m_name, m_saved); }
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  SString m_name;
  SString m_saved;
};

// The directory of the running launcher ("/" for a launcher in the root).
SString launcherDirectory(const LauncherPaths& paths) {
  SString directory = paths.launcherFile;
  unsigned long slash = directory.rfind('/');
  if (slash == SString::npos) return SString();
  directory.erase(slash == 0 ? 1 : slash);
  return directory;
}

// SET_ENV_FOR_WIZARD: "NAME=value" settings, each trimmed; a setting
// without "=" sets the whole text to the empty value.
void applyWizardEnvironment(const TagFile& tagFile) {
  long count = tagFile.getTagValueCount("SET_ENV_FOR_WIZARD");
  for (long i = 0; i < count; ++i) {
    SString setting = tagFile.getTagValue("SET_ENV_FOR_WIZARD", i);
    trim(setting, whitespaceChars);
    if (setting.empty()) continue;
    unsigned long equals = setting.find('=');
    SString name = setting.substr(0, equals);
    SString value = equals == SString::npos ? SString() : setting.substr(equals + 1);
    trim(name, whitespaceChars);
    trim(value, whitespaceChars);
    PlatformImpl::setEnvironmentVariable(name, value);
  }
}

}  // namespace

long LaunchScript::execute(const JVMTagLookup& jvmFile, const StringDeque* extraArguments,
                           bool forceConsole) {
  SString command;
  {
    // Each argument handed on is a value in double quotes, so that an empty
    // one stays an argument.
    ShellValueScope values;
    SString text = resolveTemplate(jvmFile);
    if (extraArguments != nullptr) {
      for (long i = 0; i < extraArguments->size(); ++i) {
        text += " \"";
        text += ShellValues::insert((*extraArguments)[i]);
        text += "\"";
      }
    }
    command = ShellValues::quote(text);
  }
  SString directory;
  if (m_autoSetWorkingDir) directory = launcherDirectory(m_context->paths);

  SString message("Executing launch script command: ");
  message += command;
  if (m_autoSetWorkingDir) {
    message += " in working directory ";
    message += directory;
  } else {
    message += " in current working directory";
  }
  logMessage(message, LOG_INFO);

  bool showConsole = m_displayConsole || forceConsole;
  bool capture = !showConsole && m_captureOutput;
  long exitCode;
  {
    const TagFile& tagFile = *jvmFile.getTagFile();
    ScopedEnvironmentVariable javaHome(setEnvVarAtLaunch, tagFile.getTagValue("JVM_HOME", 0));
    long purpose = m_context->paths.purpose;
    if (purpose == 0 || purpose == 2) applyWizardEnvironment(tagFile);
    PlatformImpl::preJavaLaunch(static_cast<int>(purpose), tagFile);
    exitCode = PlatformImpl::executeProcess(command, directory, showConsole, capture, true,
                                            &m_stdOut, &m_stdErr, false);
  }
  if (capture) {
    logMessage("Output from the launch script execution", LOG_INFO);
    logMessage("StdOut:", LOG_INFO);
    logMessage(m_stdOut, LOG_INFO);
    logMessage("ErrOut:", LOG_INFO);
    logMessage(m_stdErr, LOG_INFO);
  }
  return exitCode;
}
