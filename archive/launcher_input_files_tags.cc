// The embedded tag files: parsed in index order, each kept by its entry.
#include "archive/launcher_input_files.h"

void LauncherInputFiles::loadTagFiles(FILE* file) {
  for (long i = 0; i < m_fileIndex.size(); ++i) {
    FileIndexEntry* entry = m_fileIndex.at(i);
    if (entry->isTagFile()) entry->loadTagFile(file);
  }
}
