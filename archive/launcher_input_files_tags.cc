// Stand-in until the input file set lands: parses every embedded tag file,
// without making script objects of them.
#include "archive/launcher_input_files.h"

void LauncherInputFiles::loadTagFiles(FILE* file) {
  for (long i = 0; i < m_fileIndex.size(); ++i) m_fileIndex.at(i)->loadTagFile(file);
}
