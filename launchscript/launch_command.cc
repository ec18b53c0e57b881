// Running the resolved launch command: working directory, the arguments
// handed on to the application, the environment of the child, capture and
// the log lines.
#include <string>
#include <vector>

#include "foundation/log.h"
#include "launchscript/class_data_sharing.h"
#include "launchscript/launch_script.h"
#include "launchscript/shell_quoting.h"
#include "platform/platform_impl.h"
#include "platform/simple_command.h"
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

// The words of the shell command text would give, or false when it is not
// a simple command (simple_command.h).
bool commandWords(const SString& text, std::vector<std::string>& words) {
  StringDeque split;
  if (!splitSimpleCommand(ShellValues::quote(text), split)) return false;
  words.clear();
  for (long i = 0; i < split.size(); ++i) words.emplace_back(split[i].c_str(), split[i].length());
  return true;
}

// text with the placeholder mark replaced by value wherever it stands as a
// placeholder (the scan goes from one placeholder to the next, so that the
// closing NUL of one and the opening NUL of another never count as one).
SString replaced(const SString& text, const SString& mark, const SString& value) {
  SString out;
  unsigned long i = 0;
  while (i < text.length()) {
    unsigned long start = text.find('\0', i);
    if (start == SString::npos) {
      out.append(text, i, SString::npos);
      break;
    }
    unsigned long end = text.find('\0', start + 1);
    if (end == SString::npos) end = text.length() - 1;
    out.append(text, i, start - i);
    SString token(text, start, end + 1 - start);
    out += token.compare(mark) == 0 ? value : token;
    i = end + 1;
  }
  return out;
}

}  // namespace

SString LaunchScript::insertSharingOptions(const SString& text, const SString& workingDirectory,
                                           ClassDataSharing* sharing) const {
  if (sharing == nullptr) return text;
  // The command with the mark standing for nothing, and for one word: when
  // the mark is a word of its own outside quotes, the second has exactly
  // that word more, and each option put there will be one word too.
  std::vector<std::string> words, probe;
  bool simple = commandWords(replaced(text, m_sharingMark, SString()), words) &&
                commandWords(replaced(text, m_sharingMark, ShellValues::insert("-")), probe);
  bool ownWord = simple && probe.size() == words.size() + 1;
  size_t at = 0;
  while (ownWord && at < words.size() && probe[at] == words[at]) ++at;
  ownWord = ownWord && probe[at] == "-";
  for (size_t i = at; ownWord && i < words.size(); ++i) ownWord = probe[i + 1] == words[i];
  if (!ownWord) {
    logMessage(simple ? "Class-data sharing: none, since %CDS_OPTIONS%() does not stand as a "
                                  "word of its own outside quotes, or stands more than once"
                                : "Class-data sharing: none, since the command is not one program with "
                                  "quoted words",
                         LOG_INFO);
    return text;
  }
  std::vector<std::string> options =
      sharing->optionsFor(words, std::string(workingDirectory.c_str(), workingDirectory.length()));
  SString inserted;
  for (const std::string& option : options) {
    if (!inserted.empty()) inserted += " ";
    inserted += ShellValues::insert(SString(option.c_str(), option.length()));
  }
  return replaced(text, m_sharingMark, inserted);
}

long LaunchScript::execute(const JVMTagLookup& jvmFile, const StringDeque* extraArguments,
                           bool forceConsole, ClassDataSharing* sharing) {
  SString directory;
  if (m_autoSetWorkingDir) directory = launcherDirectory(m_context->paths);
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
    if (!m_sharingMark.empty()) text = insertSharingOptions(text, directory, sharing);
    command = ShellValues::quote(text);
  }

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
  if (sharing != nullptr) sharing->commandEnded(exitCode);
  if (capture) {
    logMessage("Output from the launch script execution", LOG_INFO);
    logMessage("StdOut:", LOG_INFO);
    logMessage(m_stdOut, LOG_INFO);
    logMessage("ErrOut:", LOG_INFO);
    logMessage(m_stdErr, LOG_INFO);
  }
  return exitCode;
}
