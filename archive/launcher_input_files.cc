#include "archive/launcher_input_files.h"

#include <sys/stat.h>

#include "archive/damaged_launcher.h"
#include "archive/executable_image.h"
#include "archive/payload_digest.h"
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
  if (readTrailer(file, indexOffset)) {
    m_payloadFound = true;
    PayloadDigests digests;
    bool hasDigests = readPayloadDigests(fileno(file), fileSize(file), indexOffset, digests);
    long count = loadFileIndex(file, indexOffset);
    // A count below 0 was read from bytes that are not an index (an offset
    // damaged in the trailer); 0 is an empty index.
    if (count < 0) throw DamagedLauncherException("the file index counts fewer than no files");
    // Only a file that carries the digest block is held to the exact
    // layout that bvpack writes; in any other, bytes that no entry points
    // to (between the files, after the index) are ignored, as the format
    // allows.
    if (hasDigests) {
      checkIndexEnd(file, digests.blockOffset);
      assignDigests(digests);
    }
    for (long i = 0; i < m_fileIndex.size(); ++i) logEntry(*m_fileIndex.at(i));
    if (parseTagFiles) loadTagFiles(file);
  } else {
    checkNoPayload(file);
  }
  m_internalFilesLoaded = true;
}

long LauncherInputFiles::fileSize(FILE* file) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0) throw LauncherException("Cannot open launcher file.");
  return static_cast<long>(st.st_size);
}

void LauncherInputFiles::checkIndexEnd(FILE* file, long expectedEnd) {
  // What the entries took must be all there is before the digest block or
  // the trailer: a file whose digest block lost its mark, or whose index
  // runs into the trailer, is not whole.
  if (ftell(file) != expectedEnd) {
    throw DamagedLauncherException("the file index does not end where the trailer or digest block begins");
  }
}

void LauncherInputFiles::assignDigests(const PayloadDigests& digests) {
  if (static_cast<long>(digests.entryDigests.size()) != m_fileIndex.size()) {
    throw DamagedLauncherException("the digest block and the file index count different files");
  }
  for (long i = 0; i < m_fileIndex.size(); ++i) {
    m_fileIndex.at(i)->setDigest(digests.entryDigests[static_cast<size_t>(i)]);
  }
}

void LauncherInputFiles::checkNoPayload(FILE* file) {
  // Without a trailer the file must be the bare executable image: anything
  // beyond it, or an image that ends past the end of the file, is what is
  // left of a launcher cut short.
  long imageEnd = executableImageEnd(fileno(file));
  if (imageEnd >= 0 && imageEnd != fileSize(file)) {
    throw DamagedLauncherException("the file has no trailer and is not the bare executable image");
  }
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

long LauncherInputFiles::loadFileIndex(FILE* file, long indexOffset) {
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
  return count;
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
