#include "jvm/verify_cache.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "foundation/log.h"
#include "jvm/jvm_file.h"
#include "jvm/jvm_identity.h"
#include "jvm/string_pair.h"
#include "platform/platform_impl.h"
#include "platform/user_cache.h"
#include "tagfile/text_utils.h"

const char* verifyCacheMagic = "bvlauncher-verify-cache 1\n";

const char* const jvmOptionVariables[3] = {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS"};

namespace {

const char kFileName[] = "verify.cache";
const char kEnd[] = "end ";
// Key fields before the property names.
const size_t kExeField = 0, kClassField = 1, kStateField = 2, kFixedKeyFields = 3;


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
  std::string exe, home;
  if (!resolveJVMExecutable(std::string(exePath.c_str(), exePath.length()),
                            std::string(jvmExe.c_str(), jvmExe.length()), exe, home)) {
    return;
  }

  std::string archive(verifyClasspath.c_str(), verifyClasspath.length());
  if (archive.size() >= 2 && archive.front() == '"' && archive.back() == '"') {
    archive = archive.substr(1, archive.size() - 2);
  }
  uint64_t digest;
  if (!digestFile(archive, digest)) return;

  std::string state;
  if (!jvmIdentity(exe, home, state)) return;
  state += "archive " + hex16(digest) + "\n";
  for (const char* variable : jvmOptionVariables) {
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
