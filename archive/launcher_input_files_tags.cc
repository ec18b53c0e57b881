// The input file set: which embedded or named tag file becomes which script
// object. An input file is applied before the archive is read, and the
// archive only fills what is still empty, so the input file ranks first.
#include "archive/launcher_input_files.h"
#include "instructions/instructions.h"
#include "jvm/jvm_file.h"
#include "launchscript/launch_script.h"
#include "platform/platform_impl.h"

void LauncherInputFiles::loadTagFiles(FILE* file) {
  for (long i = 0; i < m_fileIndex.size(); ++i) {
    FileIndexEntry* entry = m_fileIndex.at(i);
    if (!entry->isTagFile()) continue;
    entry->loadTagFile(file);
    TagFile* tagFile = entry->getTagFile();
    if (tagFile == nullptr) continue;
    switch (entry->getFileType()) {
      case FILE_JVM:
        if (!m_jvmFilesLoaded) m_jvmFiles.addJVMFile(new JVMFile(*tagFile));
        break;
      case FILE_INSTRUCTIONS:
        if (m_instructions == nullptr) m_instructions = new Instructions(*tagFile);
        break;
      case FILE_LAUNCH_SCRIPT:
        if (m_launchScript == nullptr) {
          m_launchScript = new LaunchScript(*tagFile, true);
          PlatformImpl::setUITitle(m_launchScript->getDesc());
        }
        break;
      default:
        break;
    }
  }
  m_jvmFilesLoaded = true;
}

void LauncherInputFiles::load(const TagFile& inputFile) {
  SString instructions = inputFile.getTagValue("INSTRUCTIONS", 0);
  if (!instructions.empty()) {
    TagFile* tagFile = loadTagFile(instructions);
    delete m_instructions;
    m_instructions = new Instructions(*tagFile);
  }
  SString launchScript = inputFile.getTagValue("LAUNCHSCRIPT", 0);
  if (!launchScript.empty()) {
    TagFile* tagFile = loadTagFile(launchScript);
    delete m_launchScript;
    m_launchScript = new LaunchScript(*tagFile, true);
    PlatformImpl::setUITitle(m_launchScript->getDesc());
  }
  SString verifyClasspath = inputFile.getTagValue("VERIFY_CLASSPATH", 0);
  SString verifyClassName = inputFile.getTagValue("VERIFY_CLASS_NAME", 0);
  if (!verifyClasspath.empty() && !verifyClassName.empty()) {
    m_jvmFiles.setVerifyClass(verifyClasspath, verifyClassName);
  }
  SString title = inputFile.getTagValue("UI_TITLE", 0);
  if (!title.empty()) PlatformImpl::setUITitle(title);
  long count = inputFile.getTagValueCount("JVM");
  for (long i = 0; i < count; ++i) {
    m_jvmFilesLoaded = true;
    SString name = inputFile.getTagValue("JVM", static_cast<unsigned long>(i));
    if (!name.empty()) m_jvmFiles.addJVMFile(new JVMFile(*loadTagFile(name)));
  }
}

TagFile* LauncherInputFiles::loadTagFile(const SString& fileName) {
  TagFile* tagFile = new TagFile(fileName);
  m_tagFiles.push_back(tagFile);
  return tagFile;
}
