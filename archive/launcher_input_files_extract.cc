// LauncherInputFiles::extractAll: every embedded file into the current
// directory, and an input file that lets a later run use the copies.
#include "archive/launcher_input_files.h"

#include <fcntl.h>
#include <unistd.h>

#include "archive/block_copy.h"
#include "archive/extraction_error.h"
#include "foundation/launcher_exception.h"
#include "platform/platform_impl.h"
#include "platform/replacement_file.h"
#include "tagfile/tag_file.h"

void LauncherInputFiles::extractAll() const {
  // A damaged file is found before any file is written.
  if (m_fileIndex.size() > 0 && !m_fileIndex.at(0)->getDigest().empty()) {
    int fd = open(m_launcherFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw LauncherException("Cannot open launcher file.");
    try {
      for (long i = 0; i < m_fileIndex.size(); ++i) m_fileIndex.at(i)->check(fd);
    } catch (...) {
      close(fd);
      throw;
    }
    close(fd);
  }
  TagFile inputFile;
  inputFile.setTagValue(actionTagName, runInstructionsActionName);
  // All the files are one piece of work for a progress window.
  long steps = 0;
  for (long i = 0; i < m_fileIndex.size(); ++i) {
    long length = m_fileIndex.at(i)->getFileLength();
    steps += extractionSteps(length, length);
  }
  UIWork work(steps);
  for (long i = 0; i < m_fileIndex.size(); ++i) {
    const FileIndexEntry* entry = m_fileIndex.at(i);
    // A run uses the first instruction script and the first launch script
    // of the index, so the input file names those.
    switch (entry->getFileType()) {
      case FILE_JVM:
        inputFile.appendTagValue(jvmTagName, entry->getFileName());
        break;
      case FILE_LAUNCH_SCRIPT:
        if (inputFile.getTagValueCount(launchScriptTagName) == 0) {
          inputFile.setTagValue(launchScriptTagName, entry->getFileName());
        }
        break;
      case FILE_INSTRUCTIONS:
        if (inputFile.getTagValueCount(instructionsTagName) == 0) {
          inputFile.setTagValue(instructionsTagName, entry->getFileName());
        }
        break;
      default:
        break;
    }
    entry->extract(SString());
  }
  // Like the extracted files, input.tag is a new file that replaces any
  // old one, never written through a link; a failed write is reported.
  ReplacementFile output(extractedInputFileName, 0600);
  if (!output.writeAll(inputFile.getText()) || !output.commit()) {
    throw fileWriteError(output.error(), SString(extractedInputFileName));
  }
}
