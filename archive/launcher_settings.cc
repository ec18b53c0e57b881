#include "archive/launcher_settings.h"

#include <cstdio>

#include "archive/archive_format.h"
#include "archive/launcher_input_files.h"
#include "foundation/launcher_exception.h"
#include "tagfile/tag_file.h"
#include "tagfile/text_utils.h"

const char* consoleUITagName = "CONSOLE_UI";
const char* bvOptionsOnlyTagName = "BV_OPTIONS_ONLY";
const char* useTmpdirTagName = "USE_TMPDIR";
const char* unixCommandTagName = "UNIX_COMMAND";
const char* sharedRuntimeDirTagName = "SHARED_RUNTIME_DIR";

LauncherSettings readLauncherSettings(const SString& path) {
  LauncherSettings settings;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return settings;
  FileCloser closer(file);
  try {
    long indexOffset = 0;
    if (!LauncherInputFiles::readTrailer(file, indexOffset)) return settings;
    // A set of its own: the run's set reads the file again, with its log.
    LauncherInputFiles index;
    index.loadFileIndex(file, indexOffset);
    for (long i = 0; i < index.getEmbeddedFileCount(); ++i) {
      FileIndexEntry* entry = index.getFileAt(i);
      if (entry->getFileType() != FILE_INSTRUCTIONS) continue;
      entry->loadTagFile(file);
      const TagFile* script = entry->getTagFile();
      if (script == nullptr) break;
      settings.consoleUI = script->getBoolTagValue(consoleUITagName, true);
      settings.bvOptionsOnly = script->getBoolTagValue(bvOptionsOnlyTagName, false);
      settings.useTmpdir = script->getBoolTagValue(useTmpdirTagName, false);
      settings.unixCommand = script->getBoolTagValue(unixCommandTagName, false);
      SString shared = script->getTagValue(sharedRuntimeDirTagName, 0);
      if (!shared.empty() && shared[0] == '/' && shared.find('\n') == SString::npos) {
        settings.sharedRuntimeDir = shared;
      }
      break;
    }
  } catch (const LauncherException&) {
    // A damaged file: the defaults; loading it later says what is wrong.
  }
  return settings;
}
