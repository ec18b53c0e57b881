#include "archive/extraction_error.h"

#include "platform/write_error.h"

LauncherException fileWriteError(int errorNumber, const SString& path) {
  return LauncherException(writeErrorText(errorNumber, path));
}

LauncherException fileWriteError(int errorNumber, const std::string& path) {
  return fileWriteError(errorNumber, SString(path.c_str(), path.size()));
}
