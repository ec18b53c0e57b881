#include "jvm/jvm_match.h"

#include <sys/stat.h>

#include "foundation/launcher_exception.h"
#include "jvm/tag_names.h"
#include "platform/platform_impl.h"
#include "tagfile/tag_file.h"

JVMMatch::JVMMatch(const SString& jvmHome, TagFile& tagFile)
    : m_jvmHome(jvmHome), m_jvmTemporary(false), m_tagFile(&tagFile) {}

SString JVMMatch::writeNewJVMFile() {
  SString fileName = PlatformImpl::createTempFile();
  m_tagFile->setDynamicJVMTags(m_jvmHome, fileName, m_jvmTemporary);
  m_version = m_tagFile->getTagValue(jvmVersionTagName, 0);
  m_identity = m_tagFile->getTagValue(jvmIdentityTagName, 0);
  m_tagFile->removeValue(jvmVersionTagName);
  m_tagFile->removeValue(jvmIdentityTagName);
  m_tagFile->write(fileName);
  if (!m_version.empty()) m_tagFile->setTagValue(jvmVersionTagName, m_version);
  if (!m_identity.empty()) m_tagFile->setTagValue(jvmIdentityTagName, m_identity);

  // The writer reports nothing when it cannot create the file. The completed
  // file holds at least the three tags just set, so an empty file means that
  // nothing was written; its path must not be handed on as the JVM file.
  struct stat info;
  if (stat(fileName.c_str(), &info) != 0 || info.st_size == 0) {
    SString message = PlatformImpl::getMessageText(MSG_FILE_WRITE_ERROR);
    message += fileName;
    throw LauncherException(message);
  }
  return fileName;
}
