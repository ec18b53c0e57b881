// File system search and disk checks.
#include "platform/platform_files.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwchar>

#include "foundation/launcher_exception.h"
#include "platform/file_navigator.h"
#include "platform/platform_impl.h"
#include "tagfile/text_utils.h"

double neededDiskSpace(long size, long fileCount, unsigned long blockSize) {
  long block = static_cast<long>(blockSize);
  long blocks = size / block;
  if (fileCount == 1 && size % block != 0) {
    blocks += 1;
  } else if (fileCount > 1) {
    blocks += fileCount;
  }
  return static_cast<double>(blocks) * static_cast<double>(blockSize);
}

void PlatformImpl::findFiles(const StringDeque& names, const FoundFileHandler& handler) {
  FindFiles search(names, handler);
  StringDeque partitions;
  getJVMSearchPartitions(partitions);
  for (long i = 0; i < partitions.size(); ++i) {
    SString root = partitions.at(i);
    appendPathSeparator(root);
    if (search.process(root)) break;
  }
}

void PlatformImpl::getJVMSearchPartitions(StringDeque& out) { out.push_back("/"); }

void PlatformImpl::getPlatformHint(StringDeque& out, const SString& variable) {
  out.clear();
  if (variable.empty()) return;
  SString value = getEnvironmentVariable(variable);
  if (value.empty()) return;
  unsigned long start = 0;
  for (;;) {
    unsigned long colon = value.find(':', start);
    if (colon == SString::npos) {
      out.push_back(value.substr(start));
      return;
    }
    out.push_back(value.substr(start, colon - start));
    start = colon + 1;
  }
}

void PlatformImpl::getPlatformJVMPaths(StringDeque& out) { getPlatformHint(out, "PATH"); }

bool PlatformImpl::fileExists(const SString& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

SString PlatformImpl::getPathSeparator() { return SString("/"); }

bool PlatformImpl::checkFreeSpace(const SString& path, long size, long fileCount) {
  SString dir = path;
  if (dir.empty() || dir[0] != '/') {
    char buffer[4096];
    dir = getcwd(buffer, sizeof buffer) != nullptr ? buffer : ".";
  }
  struct statvfs fs;
  if (statvfs(dir.c_str(), &fs) != 0) throw LauncherException(strerror(errno));
  // f_bavail counts fragments of f_frsize bytes, the file system's block.
  unsigned long blockSize = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
  double needed = neededDiskSpace(size, fileCount, blockSize);
  double available = static_cast<double>(blockSize) * static_cast<double>(fs.f_bavail);
  return available >= needed;
}

SString PlatformImpl::wideToMultiByte(const wchar_t* text) {
  if (text == nullptr) return SString();
  size_t length = wcstombs(nullptr, text, 0);
  if (length == static_cast<size_t>(-1)) {
    // Count what converts, character by character.
    length = 0;
    wctomb(nullptr, 0);
    for (const wchar_t* c = text; *c != L'\0'; ++c) {
      char piece[10] = {0};
      int n = wctomb(piece, *c);
      if (n > 0) length += static_cast<size_t>(n);
    }
  }
  char* buffer = new char[length + 1]();
  // Stops at the first character that does not convert.
  wcstombs(buffer, text, length);
  SString result(buffer);
  delete[] buffer;
  return result;
}

long PlatformImpl::convertToLong(char* p) { return bigEndianLong(p); }

short PlatformImpl::convertToShort(char* p) { return bigEndianShort(p); }
