#include "archive/extraction_error.h"

#include "platform/write_error.h"

WriteErrorException fileWriteError(int errorNumber, const SString& path) {
  return WriteErrorException(errorNumber, path);
}

WriteErrorException fileWriteError(int errorNumber, const std::string& path) {
  return fileWriteError(errorNumber, SString(path.c_str(), path.size()));
}
