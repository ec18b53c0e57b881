#include "tools/pack_list.h"

#include <sys/stat.h>

#include <cstdio>

#include "archive/damaged_launcher.h"
#include "archive/launcher_input_files.h"
#include "archive/payload_digest.h"
#include "archive/runtime_archive.h"
#include "foundation/launcher_exception.h"
#include "tools/pack_options.h"

namespace {

std::string entryLine(long position, const FileIndexEntry& entry) {
  std::string line = std::to_string(position) + " type " + std::to_string(entry.getFileType()) +
                     " (" + fileTypeName(static_cast<int>(entry.getFileType())) + ") id " +
                     std::to_string(entry.getFileId()) + " length " +
                     std::to_string(entry.getFileLength()) + " offset " +
                     std::to_string(entry.getOffsetToBytes()) + " name " +
                     entry.getFileName().c_str();
  if (entry.isCompressed()) {
    line += " compressed " + std::to_string(entry.getDecompressedFileCount()) + " files " +
            std::to_string(entry.getDecompressedSize()) + " bytes";
  } else if (entry.isMarkedForCache() && entry.getFileType() == FILE_CLASSPATH_JAR) {
    line += " cached";
  }
  return line + "\n";
}

long fileSize(FILE* file) {
  struct stat st;
  return fstat(fileno(file), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// Checks the executable image and every entry as the launcher would, all of
// them whatever their flags; the listing's last line.
std::string checkedDigests(FILE* file, const LauncherInputFiles& files, const PayloadDigests& digests) {
  if (static_cast<long>(digests.entryDigests.size()) != files.getEmbeddedFileCount()) {
    throw DamagedLauncherException("the digest block and the file index count different files");
  }
  int fd = fileno(file);
  checkBytes(fd, 0, digests.stubLength, digests.stubDigest, "the executable image");
  for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
    const FileIndexEntry& entry = *files.getFileAt(i);
    checkBytes(fd, entry.getOffsetToBytes(), entry.getFileLength(), digests.entryDigests[static_cast<size_t>(i)],
               entry.getFileName());
  }
  return "digests: SHA-256, executable image of " + std::to_string(digests.stubLength) +
         " bytes, index and every file whole\n";
}

}  // namespace

std::string listLauncher(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) throw PackError("cannot open " + path);
  std::string listing;
  try {
    int purpose = fseek(file, -trailerPurposeFromEnd, SEEK_END) == 0 ? fgetc(file) : EOF;
    long indexOffset = 0;
    if (purpose == EOF || !LauncherInputFiles::readTrailer(file, indexOffset)) {
      throw PackError(path + " carries no launcher archive");
    }
    PayloadDigests digests;
    bool hasDigests = readPayloadDigests(fileno(file), fileSize(file), indexOffset, digests);
    LauncherInputFiles files;
    files.loadFileIndex(file, indexOffset);
    listing = "launcher purpose: " + std::to_string(purpose) + "\nfile index offset: " +
              std::to_string(indexOffset) + "\nfile count: " +
              std::to_string(files.getEmbeddedFileCount()) + "\n";
    for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
      const FileIndexEntry& entry = *files.getFileAt(i);
      listing += entryLine(i, entry);
      if (entry.getFileType() != FILE_JAVA_RUNTIME) continue;
      // What the runtime answered when it was packed.
      std::vector<RuntimeAnswer> answers = readRuntimeAnswers(fileno(file), entry.getOffsetToBytes(),
                                                              entry.getFileLength());
      listing += "  verification answers recorded when packed: " + std::to_string(answers.size()) + "\n";
      for (const RuntimeAnswer& answer : answers) listing += "    " + answer.first + "=" + answer.second + "\n";
    }
    LauncherInputFiles::checkIndexEnd(file, hasDigests ? digests.blockOffset : fileSize(file) - trailerSize);
    listing += hasDigests ? checkedDigests(file, files, digests) : "digests: none\n";
  } catch (const DamagedLauncherException& e) {
    fclose(file);
    throw PackError(path + ": " + e.getMessage().c_str() + " (" + e.getDetail().c_str() + ")");
  } catch (const LauncherException& e) {
    fclose(file);
    throw PackError(path + ": " + e.getMessage().c_str());
  } catch (...) {
    fclose(file);
    throw;
  }
  fclose(file);
  return listing;
}
