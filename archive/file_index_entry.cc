#include "archive/file_index_entry.h"

#include <sys/stat.h>

#include "foundation/launcher_exception.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

FileIndexEntry::FileIndexEntry()
    : m_fileType(FILE_INSTRUCTIONS),
      m_tagFile(nullptr),
      m_fileId(-1),
      m_fileLength(0),
      m_offsetToBytes(0),
      m_compressed(false),
      m_flag(0),
      m_decompressedFileCount(0),
      m_decompressedSize(0),
      m_checked(false),
      m_checkedDevice(0),
      m_checkedInode(0) {}

FileIndexEntry::~FileIndexEntry() { delete m_tagFile; }

namespace {

// A name that would not name a file inside the target directory.
bool isUnsafeFileName(const SString& name) {
  return name.empty() || name.compare(".") == 0 || name.compare("..") == 0 ||
         name.find('/') != SString::npos || name.find('\n') != SString::npos;
}

}  // namespace

void FileIndexEntry::load(FILE* file) {
  int type = fgetc(file);
  if (type == EOF || type >= fileTypeCount) {
    throw LauncherException("Invalid file type in file index.");
  }
  m_fileType = type;
  m_fileId = loadLongValue(file, "Unable to load file id.");
  m_fileLength = loadLongValue(file, "Unable to load file length.");
  m_offsetToBytes = loadLongValue(file, "Unable to load offset to file bytes.");

  short nameLength = loadShortValue(file, "Unable to load the string value.");
  if (nameLength < 0) throw LauncherException("Invalid file name length in file index.");
  // Exactly n bytes: a line feed or NUL inside the field must not shift the
  // fields that follow it.
  char buffer[maxEntryNameLength + 1];
  unsigned long count = static_cast<unsigned long>(nameLength);
  if (getBytes(file, buffer, count) < count) {
    throw LauncherException("Unable to load the string value.");
  }
  buffer[count] = '\0';
  m_fileName = buffer;  // up to the first NUL
  if (isUnsafeFileName(m_fileName)) throw LauncherException("Invalid file name in file index.");

  int flag = fgetc(file);
  m_flag = flag == EOF ? 0 : flag;
  m_compressed = flag == compressedFlagValue;
  if (m_compressed) {
    m_decompressedFileCount = loadLongValue(file, "Unable to load decompressed file count.");
    m_decompressedSize = loadLongValue(file, "Unable to load decompressed size.");
  }
}

void FileIndexEntry::loadTagFile(FILE* file) {
  if (!isTagFile()) return;
  // A damaged index must not make a script of nothing (bytes past the end)
  // or of the whole rest of the file (a negative length).
  if (fseek(file, 0, SEEK_END) != 0 || !liesWithin(ftell(file))) throw outsideError();
  // Never parse bytes that a digest has not vouched for.
  check(fileno(file));
  TagFile* tagFile = new TagFile();
  try {
    tagFile->load(file, m_fileName, m_offsetToBytes, m_fileLength);
  } catch (...) {
    delete tagFile;
    throw;
  }
  delete m_tagFile;
  m_tagFile = tagFile;
}

bool FileIndexEntry::liesWithin(long fileSize) const {
  return m_offsetToBytes >= 0 && m_fileLength >= 0 && fileSize >= 0 &&
         m_offsetToBytes <= fileSize - m_fileLength;
}

LauncherException FileIndexEntry::outsideError() const {
  return LauncherException(
      SString("Embedded file ").append(m_fileName).append(" lies outside the launcher file."));
}

bool FileIndexEntry::isCheckedIn(int fd) const {
  if (m_digest.empty()) return true;
  struct stat st;
  return m_checked && fstat(fd, &st) == 0 && st.st_dev == m_checkedDevice && st.st_ino == m_checkedInode;
}

void FileIndexEntry::markChecked(int fd) const {
  struct stat st;
  if (fstat(fd, &st) != 0) return;
  m_checked = true;
  m_checkedDevice = st.st_dev;
  m_checkedInode = st.st_ino;
}

void FileIndexEntry::check(int fd) const {
  if (isCheckedIn(fd)) return;
  checkBytes(fd, m_offsetToBytes, m_fileLength, m_digest, m_fileName);
  markChecked(fd);
}

DigestCheck FileIndexEntry::digestCheck() const { return DigestCheck(m_digest, m_fileName); }

bool FileIndexEntry::isTagFile() const {
  return m_fileType == FILE_INSTRUCTIONS || m_fileType == FILE_JVM ||
         m_fileType == FILE_LAUNCH_SCRIPT;
}
