#include "tools/pack_list.h"

#include <cstdio>

#include "archive/launcher_input_files.h"
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
    LauncherInputFiles files;
    files.loadFileIndex(file, indexOffset);
    listing = "launcher purpose: " + std::to_string(purpose) + "\nfile index offset: " +
              std::to_string(indexOffset) + "\nfile count: " +
              std::to_string(files.getEmbeddedFileCount()) + "\n";
    for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
      listing += entryLine(i, *files.getFileAt(i));
    }
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
