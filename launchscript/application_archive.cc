#include "launchscript/application_archive.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "archive/archive_format.h"
#include "archive/file_index_entry.h"
#include "archive/launcher_input_files.h"
#include "foundation/launcher_exception.h"
#include "platform/platform_impl.h"
#include "platform/write_error.h"

const SString& ApplicationArchive::get(const LauncherInputFiles& files) {
  if (!m_path.empty()) return m_path;
  SString dir = PlatformImpl::createTempSubDirectory();
  for (long i = 0; i < files.getEmbeddedFileCount(); ++i) {
    FileIndexEntry* entry = files.getFileAt(i);
    if (entry != nullptr && entry->getFileType() == FILE_APPLICATION_ARCHIVE) {
      m_path = entry->extract(dir);
    }
  }
  return m_path;
}

const SString& ApplicationArchive::get(const SString& fileName, const SString& launcherDir) {
  if (!m_path.empty()) return m_path;
  SString source = launcherDir;
  if (!source.empty() && source[source.length() - 1] != '/') source += '/';
  source += fileName;
  SString target = PlatformImpl::createTempSubDirectory();
  target += '/';
  unsigned long sep = fileName.find_last_of("/\\");
  target += sep == SString::npos ? fileName : fileName.substr(sep + 1);

  int error = 0;
  FILE* in = fopen(source.c_str(), "rb");
  FILE* out = in != nullptr ? fopen(target.c_str(), "wb") : nullptr;
  if (in != nullptr && out != nullptr) {
    fchmod(fileno(out), 0600);  // private, like every temporary file
    char buffer[4096];
    for (;;) {
      memset(buffer, 0, sizeof buffer);
      size_t n = fread(buffer, 1, sizeof buffer, in);
      if (n == 0) break;
      if (fwrite(buffer, 1, n, out) != n) {
        error = errno;
        break;
      }
    }
    if (ferror(in) && error == 0) error = errno != 0 ? errno : EIO;
    m_path = target;
  }
  if (in != nullptr) fclose(in);
  if (out != nullptr) {
    if (fflush(out) != 0 && error == 0) error = errno;
    if (fclose(out) != 0 && error == 0) error = errno;
  }
  if (error != 0) {
    // A short copy must not be used by a later launch.
    m_path = SString();
    throw LauncherException(writeErrorText(error));
  }
  return m_path;
}
