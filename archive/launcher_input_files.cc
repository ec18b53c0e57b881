#include "archive/launcher_input_files.h"

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "tagfile/text_utils.h"

const char* actionTagName = "ACTION";
const char* instructionsTagName = "INSTRUCTIONS";
const char* launchScriptTagName = "LAUNCHSCRIPT";
const char* jvmTagName = "JVM";
const char* runInstructionsActionName = "RUN_INSTRUCTIONS";
const char* extractedInputFileName = "input.tag";

void LauncherInputFiles::load(const SString& launcherFile, bool parseTagFiles) {
  if (m_internalFilesLoaded) return;
  m_launcherFile = launcherFile;
  FILE* file = fopen(launcherFile.c_str(), "rb");
  if (file == nullptr) throw LauncherException("Cannot open launcher file.");
  FileCloser closer(file);
  long indexOffset = 0;
  bool payload = false;
  // The trailer and the index are what bvpack wrote: when they cannot be
  // read, the file was damaged after it was made.
  try {
    payload = readTrailer(file, indexOffset);
    if (payload) loadFileIndex(file, indexOffset);
  } catch (const LauncherException& e) {
    throw LauncherException(SString(e.getMessage()).append(" The launcher file is damaged; get it again."));
  }
  if (payload) {
    m_payloadFound = true;
    for (long i = 0; i < m_fileIndex.size(); ++i) logEntry(*m_fileIndex.at(i));
    if (parseTagFiles) loadTagFiles(file);
  }
  m_internalFilesLoaded = true;
}

bool LauncherInputFiles::readTrailer(FILE* file, long& indexOffset) {
  // The purpose byte, 9 bytes before the end, is the launcher's business.
  if (fseek(file, -trailerIndexOffsetFromEnd, SEEK_END) != 0) {
    throw LauncherException("Invalid launcher format.");
  }
  long offset = loadLongValue(file, "Unable to read file index offset.");
  long identification = loadLongValue(file, "Unable to read launcher identification value.");
  if (identification != launcherIdentificationValue) return false;
  indexOffset = offset;
  return true;
}

void LauncherInputFiles::loadFileIndex(FILE* file, long indexOffset) {
  if (fseek(file, indexOffset, SEEK_SET) != 0) {
    throw LauncherException("Invalid file index offset.");
  }
  long count = loadLongValue(file, "Unable to read the file count.");
  for (long i = 0; i < count; ++i) {
    FileIndexEntry* entry = new FileIndexEntry();
    entry->setLauncherFile(m_launcherFile);
    try {
      entry->load(file);
    } catch (...) {
      delete entry;
      throw;
    }
    m_fileIndex.push_back(entry);
  }
}

void LauncherInputFiles::logEntry(const FileIndexEntry& entry) {
  SString text("file type: ");
  text.append(convertToString(entry.getFileType()));
  text.append("\n  file id: ").append(convertToString(entry.getFileId()));
  text.append("\n  length: ").append(convertToString(entry.getFileLength()));
  text.append("\n  offset: ").append(convertToString(entry.getOffsetToBytes()));
  text.append("\n  file name: ").append(entry.getFileName());
  logMessage(text, LOG_INFO);
}

FileIndexEntry* LauncherInputFiles::getFileAt(long position) const {
  return const_cast<FileIndexEntryPtrDeque&>(m_fileIndex).at(position);
}

FileIndexEntry* LauncherInputFiles::getFile(long fileId) const {
  for (long i = 0; i < m_fileIndex.size(); ++i) {
    FileIndexEntry* entry = getFileAt(i);
    if (entry->getFileId() == fileId) return entry;
  }
  return nullptr;
}
