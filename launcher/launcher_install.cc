// Installing a JVM carried in the payload: the installer unpacks a JVM into
// a directory and leaves a JVM description file named "jvm" there, which is
// then completed with the tags that tie it to that directory.
#include <cstdio>

#include "archive/file_index_entry.h"
#include "archive/launcher_input_files.h"
#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "launcher/launcher.h"
#include "launchscript/shell_quoting.h"
#include "platform/platform_impl.h"
#include "tagfile/tag_file.h"

namespace {

SString jvmFileIn(const SString& directory) {
  SString path = directory;
  if (path.empty() || path[path.length() - 1] != '/') path += '/';
  path += "jvm";
  return path;
}

void completeJVMFile(const SString& destination, const SString& path, bool temporary) {
  TagFile jvmFile(path);
  jvmFile.setDynamicJVMTags(destination, path, temporary);
  jvmFile.write(path);
}

}  // namespace

void Launcher::installJVM(InstallJVMOption option) {
  m_state.variables.setLongVariable(1, 0);
  m_state.variables.setStringVariable(1, SString());
  if (option == JVM_INSTALL_SILENT_TEMP) {
    PlatformImpl::hideUI(0);
  } else {
    PlatformImpl::showUI();
    PlatformImpl::setUIStatus(UI_STATUS_PREPARING_JVM);
  }

  LauncherInputFiles& files = m_state.inputFiles;
  FileIndexEntry* installer = nullptr;
  for (long i = 0; i < files.getEmbeddedFileCount() && installer == nullptr; ++i) {
    FileIndexEntry* entry = files.getFileAt(i);
    if (entry != nullptr && entry->getFileType() == FILE_JVM_INSTALLER) installer = entry;
  }
  if (installer == nullptr) {
    throw LauncherException(PlatformImpl::getMessageText(MSG_NO_JVM_INSTALLER));
  }

  SString destination = option == JVM_INSTALL_PROMPT ? PlatformImpl::promptJVMDestinationDirectory()
                                                     : PlatformImpl::createTempSubDirectory();
  if (destination.empty()) return;

  SString installerPath = installer->extract(destination);
  SString out, err;
  // The command is the installer's path, one quoted word for the shell.
  PlatformImpl::executeProcess(shellQuoteWord(installerPath), destination, false, true, true, &out,
                               &err, false);
  PlatformImpl::deleteFile(installerPath);

  SString path = jvmFileIn(destination);
  if (PlatformImpl::fileExists(path)) {
    completeJVMFile(destination, path, true);
    m_state.variables.setLongVariable(1, 1);
    m_state.variables.setFoundStringVariable(1, path);
  } else {
    logMessage("Invalid bundled JVM. Missing 'jvm' file.", LOG_ERROR);
  }
}

void Launcher::installJVM(bool showUI, bool /*showFailMsg*/, const SString& installerCommand,
                          const SString& destination) {
  PlatformImpl::executeProcess(installerCommand, destination, showUI, false, true, nullptr, nullptr,
                               false);
  SString path = jvmFileIn(destination);
  // A setup program's launcher fails on reading the missing file
  // ("Unable to load input file: <path>").
  if (m_state.console.isUnixCommand() && !PlatformImpl::fileExists(path)) {
    throw LauncherException(SString("The JVM installer ")
                                .append(installerCommand)
                                .append(" left no JVM description file ")
                                .append(path)
                                .append("."));
  }
  completeJVMFile(destination, path, false);
  m_state.console.result(path);
}
