// The writer's side of the Java runtime entry (archive/runtime_archive.h):
// bvpack and the tests build entries with it. Kept apart from the reader so
// that the launcher, which only reads entries, carries no zstd compressor.
#ifndef BV_ARCHIVE_RUNTIME_ENTRY_BUILDER_H_
#define BV_ARCHIVE_RUNTIME_ENTRY_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "archive/runtime_archive.h"

// Builds an entry: bvpack and the tests add the answers and the members in
// order, then take the bytes. Pieces are compressed by the caller
// (compressRuntimePiece), so that they can be made in parallel.
class RuntimeEntryBuilder {
 public:
  explicit RuntimeEntryBuilder(const std::vector<RuntimeAnswer>& answers = std::vector<RuntimeAnswer>());
  void addFolder(int mode, const std::string& name);
  void addLink(const std::string& name, const std::string& target);
  // A file of size bytes whose pieces (compressed, in order) are given.
  void addFile(int mode, const std::string& name, uint64_t size, const std::vector<std::string>& pieces);
  // A file of the given bytes, split and compressed at level here.
  void addFileBytes(int mode, const std::string& name, const std::string& data, int level = 3);
  // Raw table bytes, for tests of damaged tables.
  void addRawTableBytes(const std::string& bytes) { m_table += bytes; }
  // Ends the table (unless ended is false: a test of a table without its
  // end) and returns the whole entry.
  std::string finish(RuntimeUse use, bool ended = true);
  // The table and the pieces' bytes as they stand.
  const std::string& table() const { return m_table; }

 private:
  std::string m_table;
  std::string m_pieces;
};

// One piece: size bytes at data as a zstd frame at level. Throws
// std::runtime_error when zstd fails.
std::string compressRuntimePiece(const char* data, size_t size, int level);

#endif  // BV_ARCHIVE_RUNTIME_ENTRY_BUILDER_H_
