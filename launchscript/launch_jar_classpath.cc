// The classpath archives of the launcher archive, extracted for %CP%.
#include "archive/archive_format.h"
#include "archive/block_copy.h"
#include "archive/file_index_entry.h"
#include "archive/launcher_input_files.h"
#include "foundation/launcher_exception.h"
#include "launchscript/launch_script.h"
#include "launchscript/shell_quoting.h"
#include "platform/platform_impl.h"

// The archives are extracted once per resolution of the command, when
// %CP% or %CLASSPATH_JAR_DIR% first asks for them, into a directory of its
// own that the clean-up at the end of the run removes. The directory is made
// when the first archive is found, so a launcher without classpath archives
// leaves no empty directory behind. Archives marked for the cache come from
// their folder in the user's cache instead (archive/cached_entries.h).
void LaunchScript::extractJars() const {
  if (m_jarsExtracted) return;
  m_jarsExtracted = true;
  m_jarDirectory.erase();
  m_jarPaths.clear();
  if (!m_extractJars) return;
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
    SString path;
    SString folder;
    const SString& cached = entry->isMarkedForCache() ? inputFiles.getCachedClasspathFolder() : SString();
    if (!cached.empty()) {
      folder = cached;
      path = cached;
      path += "/";
      path += entry->getFileName();
    } else {
      if (directory.empty()) directory = PlatformImpl::createTempSubDirectory();
      folder = directory;
      path = entry->extract(directory);
    }
    // The folder of the first archive is the one the application is told.
    if (m_jarDirectory.empty()) m_jarDirectory = folder;
    m_jarPaths.push_back(path);
  }
}

SString LaunchScript::buildJARClasspath(bool quote) const {
  SString classpath;
  extractJars();
  for (long i = 0; i < m_jarPaths.size(); ++i) {
    // Java splits a class path at ':': "DIR/a:b.jar" would name "DIR/a"
    // and "b.jar" in the working directory, where another user may have
    // put one (bvpack refuses such a name; another packer may not).
    if (m_jarPaths.at(i).find(':') != SString::npos) {
      throw LauncherException(SString("The classpath archive ")
                                  .append(m_jarPaths.at(i))
                                  .append(" cannot go on the class path: its ':' would split it in two."));
    }
    SString classpathEntry;
    if (quote) classpathEntry += "\"";
    classpathEntry += ShellValues::insert(m_jarPaths.at(i));
    if (quote) classpathEntry += "\"";
    addToClasspath(m_jvmFile, classpath, classpathEntry);
  }
  return classpath;
}

SString LaunchScript::callCLASSPATH_JAR_DIR(const SString&, const StringDeque&) const {
  extractJars();
  return ShellValues::insert(m_jarDirectory);
}

SString LaunchScript::callAPP_DIR(const SString&, const StringDeque&) const {
  return ShellValues::insert(m_context->inputFiles.getApplicationFolder());
}
