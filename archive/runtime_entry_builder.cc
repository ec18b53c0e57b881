#include "archive/runtime_entry_builder.h"

#include <zstd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <memory>
#include <stdexcept>

namespace {

void appendBig(std::string& out, uint64_t value, int size) {
  for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
    out += static_cast<char>((value >> shift) & 0xFF);
  }
}

}  // namespace

RuntimeEntryBuilder::RuntimeEntryBuilder(const std::vector<RuntimeAnswer>& answers) {
  appendBig(m_table, answers.size(), 2);
  for (const RuntimeAnswer& answer : answers) {
    appendBig(m_table, answer.first.size(), 2);
    m_table += answer.first;
    appendBig(m_table, answer.second.size(), 2);
    m_table += answer.second;
  }
}

void RuntimeEntryBuilder::addFolder(int mode, const std::string& name) {
  m_table += 'd';
  appendBig(m_table, static_cast<uint64_t>(mode), 2);
  appendBig(m_table, name.size(), 2);
  m_table += name;
}

void RuntimeEntryBuilder::addLink(const std::string& name, const std::string& target) {
  m_table += 'l';
  appendBig(m_table, 0777, 2);
  appendBig(m_table, name.size(), 2);
  m_table += name;
  appendBig(m_table, target.size(), 2);
  m_table += target;
}

void RuntimeEntryBuilder::addFile(int mode, const std::string& name, uint64_t size,
                                  const std::vector<std::string>& pieces) {
  m_table += 'f';
  appendBig(m_table, static_cast<uint64_t>(mode), 2);
  appendBig(m_table, name.size(), 2);
  m_table += name;
  appendBig(m_table, size, 8);
  for (const std::string& piece : pieces) {
    appendBig(m_table, piece.size(), 4);
    appendBig(m_table, XXH3_64bits(piece.data(), piece.size()), 8);
    m_pieces += piece;
  }
}

void RuntimeEntryBuilder::addFileBytes(int mode, const std::string& name, const std::string& data, int level) {
  std::vector<std::string> pieces;
  for (size_t done = 0; done < data.size(); done += runtimeChunkSize) {
    size_t n = data.size() - done < static_cast<size_t>(runtimeChunkSize) ? data.size() - done : runtimeChunkSize;
    pieces.push_back(compressRuntimePiece(data.data() + done, n, level));
  }
  addFile(mode, name, data.size(), pieces);
}

std::string RuntimeEntryBuilder::finish(RuntimeUse use, bool ended) {
  std::string table = m_table;
  if (ended) table += 'e';
  XXH128_hash_t digest = XXH3_128bits(table.data(), table.size());
  RuntimeHeader header;
  header.digestHigh = digest.high64;
  header.digestLow = digest.low64;
  header.use = use;
  header.tableLength = static_cast<uint32_t>(table.size());
  return encodeRuntimeHeader(header) + table + m_pieces;
}

std::string compressRuntimePiece(const char* data, size_t size, int level) {
  std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx*)> cctx(ZSTD_createCCtx(), ZSTD_freeCCtx);
  if (!cctx) throw std::runtime_error("zstd cannot start");
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, level);
  // The table's digest of the compressed bytes stands for the frame's own
  // checksum.
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 0);
  std::string frame(ZSTD_compressBound(size), '\0');
  size_t n = ZSTD_compress2(cctx.get(), &frame[0], frame.size(), data, size);
  if (ZSTD_isError(n)) throw std::runtime_error(std::string("zstd: ") + ZSTD_getErrorName(n));
  frame.resize(n);
  return frame;
}
