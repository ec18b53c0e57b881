#include "launcher/payload_scripts.h"

#include "archive/archive_format.h"
#include "archive/file_index_entry.h"
#include "archive/launcher_input_files.h"
#include "jvm/jvm_file.h"
#include "launchscript/launch_script.h"
#include "platform/platform_impl.h"

PayloadScripts::PayloadScripts(const LaunchContext& context)
    : m_context(context),
      m_instructions(nullptr),
      m_launchScript(nullptr),
      m_jvmFiles(context),
      m_jvmFilesLoaded(false) {}

// The launch script goes first; the members then go in reverse order: the
// JVM files (which refer to the tag files), then the named tag files.
PayloadScripts::~PayloadScripts() { delete m_launchScript; }

void PayloadScripts::addFromArchive(const LauncherInputFiles& files) {
  for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
    FileIndexEntry* entry = files.getFileAt(i);
    TagFile* tagFile = entry->getTagFile();
    if (tagFile == nullptr) continue;
    switch (entry->getFileType()) {
      case FILE_JVM:
        if (!m_jvmFilesLoaded) m_jvmFiles.addJVMFile(new JVMFile(*tagFile, m_context));
        break;
      case FILE_INSTRUCTIONS:
        if (m_instructions == nullptr) m_instructions = tagFile;
        break;
      case FILE_LAUNCH_SCRIPT:
        if (m_launchScript == nullptr) {
          m_launchScript = new LaunchScript(*tagFile, true, m_context);
          PlatformImpl::setUITitle(m_launchScript->getDesc());
        }
        break;
      default:
        break;
    }
  }
  m_jvmFilesLoaded = true;
}

void PayloadScripts::showTitleOfLoadedLaunchScript(const LauncherInputFiles& files) {
  if (m_launchScript != nullptr) return;  // an input file's, whose title is shown
  for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
    FileIndexEntry* entry = files.getFileAt(i);
    if (entry->getFileType() != FILE_LAUNCH_SCRIPT || entry->getTagFile() == nullptr) continue;
    PlatformImpl::setUITitle(LaunchScript(*entry->getTagFile(), true, m_context).getDesc());
    return;
  }
}

void PayloadScripts::load(const TagFile& inputFile) {
  SString instructions = inputFile.getTagValue("INSTRUCTIONS", 0);
  if (!instructions.empty()) m_instructions = loadTagFile(instructions);
  SString launchScript = inputFile.getTagValue("LAUNCHSCRIPT", 0);
  if (!launchScript.empty()) {
    TagFile* tagFile = loadTagFile(launchScript);
    delete m_launchScript;
    m_launchScript = new LaunchScript(*tagFile, true, m_context);
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
    if (!name.empty()) m_jvmFiles.addJVMFile(new JVMFile(*loadTagFile(name), m_context));
  }
}

TagFile* PayloadScripts::loadTagFile(const SString& fileName) {
  TagFile* tagFile = new TagFile(fileName);
  m_tagFiles.push_back(tagFile);
  return tagFile;
}
