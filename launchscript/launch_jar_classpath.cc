// The classpath archives of the launcher archive, extracted for %CP%.
#include "archive/archive_format.h"
#include "archive/block_copy.h"
#include "archive/file_index_entry.h"
#include "archive/launcher_input_files.h"
#include "launchscript/launch_script.h"
#include "launchscript/shell_quoting.h"
#include "platform/platform_impl.h"

// Every evaluation extracts the archives again, into a directory of its own
// that the clean-up at the end of the run removes. The directory is made
// when the first archive is found, so a launcher without classpath archives
// leaves no empty directory behind.
SString LaunchScript::buildJARClasspath(bool quote) const {
  SString classpath;
  if (!m_extractJars) return classpath;
  const LauncherInputFiles& inputFiles = m_context->inputFiles;
  // All the archives are one piece of work for a progress window.
  long steps = 0;
  for (long i = 0; i < inputFiles.getEmbeddedFileCount(); ++i) {
    const FileIndexEntry* entry = inputFiles.getFileAt(i);
    if (entry != nullptr && entry->getFileType() == FILE_CLASSPATH_JAR) {
      steps += extractionSteps(entry->getFileLength(), entry->getFileLength());
    }
  }
  UIWork work(steps);
  SString directory;
  for (long i = 0; i < inputFiles.getEmbeddedFileCount(); ++i) {
    const FileIndexEntry* entry = inputFiles.getFileAt(i);
    if (entry == nullptr || entry->getFileType() != FILE_CLASSPATH_JAR) continue;
    if (directory.empty()) directory = PlatformImpl::createTempSubDirectory();
    SString path = entry->extract(directory);
    SString classpathEntry;
    if (quote) classpathEntry += "\"";
    classpathEntry += ShellValues::insert(path);
    if (quote) classpathEntry += "\"";
    addToClasspath(m_jvmFile, classpath, classpathEntry);
  }
  return classpath;
}
