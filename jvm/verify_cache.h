// VerifyCache: the answers of earlier JVM verifications, kept per user.
//
// A verification runs a JVM, which costs as much as the launch that follows
// it. Its answer depends only on the Java installation, the verification
// archive and class, and the property names asked, so a verification that
// printed the marker is remembered, and a later one whose inputs are all
// unchanged reuses the printed values and starts no JVM. The values are
// matched against the JVM file's patterns anew every time; the cache only
// stands in for the run.
//
// What must be unchanged for a hit (the entry's key):
//   - the executable's resolved path (realpath), the verification class name
//     and the property names in order: together they name the entry;
//   - device, inode, size and modification and change times (nanoseconds)
//     of the resolved executable and of the home's release file, the home
//     being the resolved executable less JVM_EXE;
//   - the same of every entry of the folders that hold what the JVM needs
//     to start: bin/, lib/ and, for the older layout, jre/bin/ and jre/lib/,
//     four levels deep (lib/libjli.so, lib/server/libjvm.so, lib/modules,
//     rt.jar, ...), a link with what it leads to; as a digest per folder. A
//     file that appears, goes or changes there means a real verification,
//     so the cache chooses what a run without it would choose;
//   - a 64-bit FNV-1a digest of the verification archive's bytes;
//   - the environment variables through which the JVM takes options
//     (JAVA_TOOL_OPTIONS, _JAVA_OPTIONS, JDK_JAVA_OPTIONS).
// A change, or a file that cannot be read, means a real verification, whose
// answer replaces the entry of that name.
//
// Where: verify.cache in the user's cache folder (platform/user_cache.h:
// $XDG_CACHE_HOME/bvlauncher, else $HOME/.cache/bvlauncher, never under a
// base folder of another user; missing folders are made 0700, the file
// 0600). A file that is not the user's own, is writable by group or others,
// or is a symbolic link is neither read nor written. Without a usable
// folder, or with BV_VERIFY_CACHE=0 in the environment, there is no cache. A candidate that fails PlatformImpl::isTrustedFile is never
// answered from the cache.
//
// The file is replaced whole (a temporary file in the same folder, then
// rename), so readers see the old or the new file, never a mix; of two
// launchers that write at once, the later rename wins. A reader ignores a
// file that is damaged in any way. At most maxVerifyCacheEntries entries
// are kept; the least recently used go first.
//
// File layout (verifyCacheMagic below), every number decimal ASCII:
//   "bvlauncher-verify-cache 1\n"
//   <entry count>"\n"
//   per entry, most recently used first:
//     <key field count>"\n" then the key fields
//     <value count>"\n" then the values
//   each field: <byte length>":"<bytes>"\n" (any bytes)
//   "end "<FNV-1a 64 of every byte before "end", 16 lower-case hex digits>"\n"
// and nothing after it. Key fields: resolved executable, class name, state
// (file identities, archive digest, environment), then the property names.
//
// Single-threaded; the static operations keep no state between calls.
#ifndef BV_JVM_VERIFY_CACHE_H_
#define BV_JVM_VERIFY_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/sstring.h"

class StringPairPtrDeque;

extern const char* verifyCacheMagic;
// The environment variables through which a JVM takes options, and so may
// answer a verification otherwise.
extern const char* const jvmOptionVariables[3];
const size_t maxVerifyCacheEntries = 32;
// Bounds of the reader: a file, a field or a list longer than these is
// damaged.
const size_t maxVerifyCacheFileSize = 4UL << 20;
const size_t maxVerifyCacheFieldSize = 64UL << 10;
const size_t maxVerifyCacheListSize = 1024;

struct VerifyCacheEntry {
  std::vector<std::string> key;
  std::vector<std::string> values;
};

// 64-bit FNV-1a of size bytes.
uint64_t fnv1a64(const void* data, size_t size, uint64_t hash = 14695981039346656037ULL);

// The bytes of a cache file holding entries, in order.
std::string formatVerifyCache(const std::vector<VerifyCacheEntry>& entries);
// Reads a cache file's bytes. Returns true and fills entries only when the
// bytes are exactly a well-formed file (header, lengths, counts within the
// bounds above, checksum, nothing after the end); false leaves entries empty.
bool parseVerifyCache(const std::string& bytes, std::vector<VerifyCacheEntry>& entries);

// One verification's use of the cache: made before the JVM would run, asked
// for a stored output, and told the output of a real run.
class VerifyCache {
 public:
  // exePath is the candidate's executable (home + JVM_EXE), jvmExe the
  // JVM_EXE part; verifyClasspath and verifyClassName as given to
  // JVMFile::verify (a classpath in double quotes names the archive file);
  // expected the property pairs in the order they are asked. Works out the
  // key; when anything of it cannot be read, or the cache is off, the
  // object does nothing.
  VerifyCache(const SString& exePath, const SString& jvmExe, const SString& verifyClasspath,
              const SString& verifyClassName, const StringPairPtrDeque& expected);

  // True when an unchanged entry exists: output receives the marker line
  // and the stored values, one per line, and the entry becomes the most
  // recently used. Logs "Verification of <exe> taken from the cache".
  bool lookup(SString& output);
  // Remembers output when it holds the marker line: the lines after the
  // marker, up to one per property name. Logs "Verification of <exe> stored
  // in the cache". Failures to write are silent: the cache is an aid.
  void store(const SString& output);

  // The cache file's path, or empty when there is no usable cache folder
  // (off, no home, a folder that fails the checks). Makes missing folders
  // when create is set.
  static std::string cacheFilePath(bool create);

 private:
  // Loads the entries of the cache file; none when it is missing, damaged
  // or fails the checks.
  static std::vector<VerifyCacheEntry> load(const std::string& path);
  // Replaces the cache file with entries (temporary file and rename).
  static void save(const std::string& path, const std::vector<VerifyCacheEntry>& entries);
  // The index of the entry named like m_key, or -1.
  long find(const std::vector<VerifyCacheEntry>& entries) const;

  bool m_usable;
  SString m_exePath;
  std::vector<std::string> m_key;
};

#endif  // BV_JVM_VERIFY_CACHE_H_
