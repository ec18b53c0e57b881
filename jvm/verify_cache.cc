#include "jvm/verify_cache.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstring>

#include "foundation/log.h"
#include "jvm/jvm_file.h"
#include "jvm/string_pair.h"
#include "platform/platform_impl.h"
#include "platform/user_cache.h"
#include "tagfile/text_utils.h"

const char* verifyCacheMagic = "bvlauncher-verify-cache 1\n";

namespace {

const char kFileName[] = "verify.cache";
const char kEnd[] = "end ";
// Key fields before the property names.
const size_t kExeField = 0, kClassField = 1, kStateField = 2, kFixedKeyFields = 3;

// The folders below a JVM home that hold what the JVM needs to start (the
// launcher's libraries such as lib/libjli.so, libjvm.so, lib/modules,
// rt.jar, jvm.cfg), for the JDK layouts in use, and the deepest level that
// is looked at inside each.
const char* const kJVMFolders[] = {"bin", "lib", "jre/bin", "jre/lib"};
const int kJVMFolderDepth = 4;
// A JVM with more entries than this in those folders is not cached.
const size_t kMostJVMEntries = 20000;
// The release file tells the version.
const char kReleaseFile[] = "release";
// Environment variables through which a JVM takes options.
const char* const kJVMOptionVariables[] = {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS"};

std::string hex16(uint64_t value) {
  char text[17];
  snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

void appendField(std::string& out, const std::string& field) {
  out += std::to_string(field.size());
  out += ':';
  out += field;
  out += '\n';
}

// Reads the decimal number that ends at the next terminator, at most
// limit; advances pos past the terminator.
bool readNumber(const std::string& in, size_t& pos, char terminator, size_t limit, size_t& value) {
  value = 0;
  size_t digits = 0;
  while (pos < in.size() && in[pos] >= '0' && in[pos] <= '9') {
    value = value * 10 + static_cast<size_t>(in[pos] - '0');
    if (++digits > 9 || value > limit) return false;
    ++pos;
  }
  if (digits == 0 || pos >= in.size() || in[pos] != terminator) return false;
  ++pos;
  return true;
}

bool readList(const std::string& in, size_t& pos, std::vector<std::string>& list) {
  size_t count;
  if (!readNumber(in, pos, '\n', maxVerifyCacheListSize, count)) return false;
  for (size_t i = 0; i < count; ++i) {
    size_t length;
    if (!readNumber(in, pos, ':', maxVerifyCacheFieldSize, length)) return false;
    if (in.size() - pos < length + 1 || in[pos + length] != '\n') return false;
    list.emplace_back(in, pos, length);
    pos += length + 1;
  }
  return true;
}

// "name dev ino size mtime ctime" of the file at path, or "name -" when it
// cannot be stat'ed.
std::string identity(const std::string& name, const std::string& path) {
  struct stat st;
  std::string line = name;
  if (stat(path.c_str(), &st) != 0) return line + " -\n";
  char numbers[160];
  snprintf(numbers, sizeof numbers, " %llu %llu %lld %lld.%09ld %lld.%09ld\n",
           static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
           static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
           static_cast<long>(st.st_mtim.tv_nsec), static_cast<long long>(st.st_ctim.tv_sec),
           static_cast<long>(st.st_ctim.tv_nsec));
  return line + numbers;
}

// The numbers of a stat that change with the file: type and mode, device,
// inode, size, modification and change time.
void appendStat(std::string& out, const struct stat& st) {
  char numbers[160];
  snprintf(numbers, sizeof numbers, " %o %llu %llu %lld %lld.%09ld %lld.%09ld",
           static_cast<unsigned>(st.st_mode), static_cast<unsigned long long>(st.st_dev),
           static_cast<unsigned long long>(st.st_ino), static_cast<long long>(st.st_size),
           static_cast<long long>(st.st_mtim.tv_sec), static_cast<long>(st.st_mtim.tv_nsec),
           static_cast<long long>(st.st_ctim.tv_sec), static_cast<long>(st.st_ctim.tv_nsec));
  out += numbers;
}

// Adds every entry below folder (relative path, its lstat and, for a link,
// what it leads to) to the digest, names in byte order, folders to depth;
// false when there are more than budget entries. A folder that cannot be
// read adds its error.
bool digestTree(const std::string& folder, const std::string& relative, int depth, size_t& budget,
                uint64_t& digest) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    std::string line = relative + " unreadable " + std::to_string(errno) + "\n";
    digest = fnv1a64(line.data(), line.size(), digest);
    return true;
  }
  std::vector<std::string> names;
  while (struct dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    if (budget == 0) {
      closedir(dir);
      return false;
    }
    --budget;
    names.emplace_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = folder + "/" + name;
    std::string line = relative + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      line += " -";
    } else {
      appendStat(line, st);
      struct stat target;
      if (S_ISLNK(st.st_mode)) {
        line += " ->";
        if (stat(path.c_str(), &target) == 0) appendStat(line, target);
      }
    }
    line += '\n';
    digest = fnv1a64(line.data(), line.size(), digest);
    if (S_ISDIR(st.st_mode) && depth > 1 &&
        !digestTree(path, relative + "/" + name, depth - 1, budget, digest)) {
      return false;
    }
  }
  return true;
}

// The digest of the file's bytes; false when it cannot be read whole.
bool digestFile(const std::string& path, uint64_t& digest) {
  // O_NONBLOCK: a FIFO in place of the file must not hold the open; a
  // regular file reads the same either way.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  digest = fnv1a64(nullptr, 0);
  char buffer[65536];
  while (ok) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    digest = fnv1a64(buffer, static_cast<size_t>(got), digest);
  }
  close(fd);
  return ok;
}

// The file is the user's own and not writable by others.
bool isPrivate(const struct stat& st) {
  return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool cacheOff() {
  const char* setting = getenv("BV_VERIFY_CACHE");
  return setting != nullptr && strcmp(setting, "0") == 0;
}

}  // namespace

uint64_t fnv1a64(const void* data, size_t size, uint64_t hash) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 1099511628211ULL;
  }
  return hash;
}

std::string formatVerifyCache(const std::vector<VerifyCacheEntry>& entries) {
  std::string out = verifyCacheMagic;
  out += std::to_string(entries.size());
  out += '\n';
  for (const VerifyCacheEntry& entry : entries) {
    for (const std::vector<std::string>* list : {&entry.key, &entry.values}) {
      out += std::to_string(list->size());
      out += '\n';
      for (const std::string& field : *list) appendField(out, field);
    }
  }
  uint64_t checksum = fnv1a64(out.data(), out.size());
  out += kEnd;
  out += hex16(checksum);
  out += '\n';
  return out;
}

bool parseVerifyCache(const std::string& bytes, std::vector<VerifyCacheEntry>& entries) {
  entries.clear();
  // Size, then header, then checksum, then the fields.
  const size_t endSize = sizeof kEnd - 1 + 16 + 1;
  size_t magicSize = strlen(verifyCacheMagic);
  if (bytes.size() > maxVerifyCacheFileSize || bytes.size() < magicSize + endSize) return false;
  if (bytes.compare(0, magicSize, verifyCacheMagic) != 0) return false;
  size_t end = bytes.size() - endSize;
  if (bytes.compare(end, sizeof kEnd - 1, kEnd) != 0 || bytes[bytes.size() - 1] != '\n') return false;
  if (bytes.compare(end + sizeof kEnd - 1, 16, hex16(fnv1a64(bytes.data(), end))) != 0) return false;

  std::string body(bytes, 0, end);
  size_t pos = magicSize, count;
  std::vector<VerifyCacheEntry> read;
  if (!readNumber(body, pos, '\n', maxVerifyCacheEntries, count)) return false;
  for (size_t i = 0; i < count; ++i) {
    VerifyCacheEntry entry;
    if (!readList(body, pos, entry.key) || !readList(body, pos, entry.values)) return false;
    if (entry.key.size() < kFixedKeyFields) return false;
    read.push_back(entry);
  }
  if (pos != body.size()) return false;
  entries.swap(read);
  return true;
}

VerifyCache::VerifyCache(const SString& exePath, const SString& jvmExe,
                         const SString& verifyClasspath, const SString& verifyClassName,
                         const StringPairPtrDeque& expected)
    : m_usable(false), m_exePath(exePath) {
  if (cacheOff()) return;
  SString reason;
  if (!PlatformImpl::isTrustedFile(exePath, reason)) return;
  char resolved[PATH_MAX];
  if (realpath(exePath.c_str(), resolved) == nullptr) return;
  std::string exe(resolved);

  // The home of the resolved executable: less one folder per component of
  // JVM_EXE ("bin/java" takes two).
  std::string home = exe;
  size_t parts = 0;
  for (unsigned long i = 0; i < jvmExe.length(); ++i) {
    if (jvmExe[i] != '/' && (i == 0 || jvmExe[i - 1] == '/')) ++parts;
  }
  for (; parts > 0; --parts) {
    size_t slash = home.rfind('/');
    if (slash == std::string::npos) return;
    home.erase(slash);
  }

  std::string archive(verifyClasspath.c_str(), verifyClasspath.length());
  if (archive.size() >= 2 && archive.front() == '"' && archive.back() == '"') {
    archive = archive.substr(1, archive.size() - 2);
  }
  uint64_t digest;
  if (!digestFile(archive, digest)) return;

  std::string state = identity("exe", exe);
  state += identity(kReleaseFile, home + "/" + kReleaseFile);
  size_t budget = kMostJVMEntries;
  for (const char* folder : kJVMFolders) {
    uint64_t tree = fnv1a64(nullptr, 0);
    std::string path = home + "/" + folder;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      state += std::string(folder) + " -\n";
      continue;
    }
    if (!digestTree(path, folder, kJVMFolderDepth, budget, tree)) return;
    state += std::string(folder) + " " + hex16(tree) + "\n";
  }
  state += "archive " + hex16(digest) + "\n";
  for (const char* variable : kJVMOptionVariables) {
    const char* value = getenv(variable);
    std::string field = value == nullptr ? std::string("-") : "=" + std::string(value);
    state += variable;
    state += ' ';
    appendField(state, field);
  }

  m_key.push_back(exe);
  m_key.emplace_back(verifyClassName.c_str(), verifyClassName.length());
  m_key.push_back(state);
  for (long i = 0; i < expected.size(); ++i) {
    const SString& name = expected.at(i)->getName();
    m_key.emplace_back(name.c_str(), name.length());
  }
  m_usable = true;
}

long VerifyCache::find(const std::vector<VerifyCacheEntry>& entries) const {
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::vector<std::string>& key = entries[i].key;
    if (key.size() != m_key.size() || key[kExeField] != m_key[kExeField] ||
        key[kClassField] != m_key[kClassField]) {
      continue;
    }
    bool same = true;
    for (size_t k = kFixedKeyFields; same && k < key.size(); ++k) same = key[k] == m_key[k];
    if (same) return static_cast<long>(i);
  }
  return -1;
}

bool VerifyCache::lookup(SString& output) {
  if (!m_usable) return false;
  std::string path = cacheFilePath(false);
  if (path.empty()) return false;
  std::vector<VerifyCacheEntry> entries = load(path);
  long found = find(entries);
  if (found < 0 || entries[found].key[kStateField] != m_key[kStateField]) return false;

  output = verificationMarker;
  output += "\n";
  for (const std::string& value : entries[found].values) {
    output.append(value.data(), value.size());
    output += "\n";
  }
  logMessage(SString("Verification of ").append(m_exePath).append(" taken from the cache"),
                       LOG_INFO);
  if (found > 0) {
    VerifyCacheEntry used = entries[found];
    entries.erase(entries.begin() + found);
    entries.insert(entries.begin(), used);
    save(path, entries);
  }
  return true;
}

void VerifyCache::store(const SString& output) {
  if (!m_usable) return;
  // The lines after the marker, up to one per property name.
  unsigned long pos = 0;
  SString line;
  bool marked = false;
  while (!marked && pos < output.length()) {
    line.erase();
    readLineFromString(output, pos, line);
    marked = line.compare(verificationMarker) == 0;
  }
  if (!marked) return;
  VerifyCacheEntry entry;
  entry.key = m_key;
  size_t names = m_key.size() - kFixedKeyFields;
  while (pos < output.length() && entry.values.size() < names) {
    line.erase();
    readLineFromString(output, pos, line);
    entry.values.emplace_back(line.c_str(), line.length());
  }

  std::string path = cacheFilePath(true);
  if (path.empty()) return;
  std::vector<VerifyCacheEntry> entries = load(path);
  long found = find(entries);
  if (found >= 0) entries.erase(entries.begin() + found);
  entries.insert(entries.begin(), entry);
  if (entries.size() > maxVerifyCacheEntries) entries.resize(maxVerifyCacheEntries);
  save(path, entries);
  logMessage(SString("Verification of ").append(m_exePath).append(" stored in the cache"),
                       LOG_INFO);
}

std::string VerifyCache::cacheFilePath(bool create) {
  if (cacheOff()) return std::string();
  std::string folder = userCacheFolder(create);
  if (folder.empty()) return std::string();
  return folder + "/" + kFileName;
}

std::vector<VerifyCacheEntry> VerifyCache::load(const std::string& path) {
  std::vector<VerifyCacheEntry> entries;
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return entries;
  struct stat st;
  std::string bytes;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && isPrivate(st) &&
            static_cast<size_t>(st.st_size) <= maxVerifyCacheFileSize;
  if (ok) {
    // One byte more than the size shows a file that grew meanwhile (and
    // fails the checksum).
    bytes.resize(static_cast<size_t>(st.st_size) + 1);
    size_t used = 0;
    while (used < bytes.size()) {
      ssize_t got = read(fd, &bytes[used], bytes.size() - used);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) ok = false;
      if (got <= 0) break;
      used += static_cast<size_t>(got);
    }
    bytes.resize(used);
  }
  close(fd);
  if (ok) parseVerifyCache(bytes, entries);
  return entries;
}

void VerifyCache::save(const std::string& path, const std::vector<VerifyCacheEntry>& entries) {
  // An existing file that fails the checks is left alone.
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || !isPrivate(st))) return;
  std::string bytes = formatVerifyCache(entries);
  std::string temp = path + ".XXXXXX";
  int fd = mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) return;
  bool ok = fchmod(fd, 0600) == 0;
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) ok = false;
    else done += static_cast<size_t>(written);
  }
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) unlink(temp.c_str());
}
