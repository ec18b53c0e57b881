#include "tagfile/tag_index.h"

#include <cstring>

#include "tagfile/tag_file.h"

namespace {

uint64_t hashName(const char* name) {
  uint64_t hash = 14695981039346656037ULL;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    hash ^= *p;
    hash *= 1099511628211ULL;
  }
  return hash;
}

// The home slot of a hash in a table of size slots (a power of two). The
// low bits of FNV-1a are weak for names that differ only in their last
// characters, so the bits are mixed first (the splitmix64 finalizer).
size_t home(uint64_t hash, size_t size) {
  hash ^= hash >> 30;
  hash *= 0xbf58476d1ce4e5b9ULL;
  hash ^= hash >> 27;
  hash *= 0x94d049bb133111ebULL;
  hash ^= hash >> 31;
  return static_cast<size_t>(hash) & (size - 1);
}

}  // namespace

size_t TagIndex::probe(const char* name, uint64_t hash) const {
  size_t mask = m_slots.size() - 1;
  size_t i = home(hash, m_slots.size());
  while (m_slots[i].entry != nullptr &&
         (m_slots[i].hash != hash || strcmp(m_slots[i].entry->keyText(), name) != 0)) {
    i = (i + 1) & mask;
  }
  return i;
}

TagFileEntry* TagIndex::find(const char* name) const {
  if (m_used == 0) return nullptr;
  return m_slots[probe(name, hashName(name))].entry;
}

TagFileEntry*& TagIndex::findOrAdd(const char* name) {
  if (2 * (m_used + 1) > m_slots.size()) grow();
  uint64_t hash = hashName(name);
  Slot& slot = m_slots[probe(name, hash)];
  if (slot.entry == nullptr) {
    slot.hash = hash;
    ++m_used;
  }
  return slot.entry;
}

void TagIndex::remove(const char* name) {
  if (m_used == 0) return;
  size_t mask = m_slots.size() - 1;
  size_t hole = probe(name, hashName(name));
  if (m_slots[hole].entry == nullptr) return;
  m_slots[hole].entry = nullptr;
  --m_used;
  // Moves back every later slot of the run that may live in the hole, so
  // that each stays reachable from its home slot.
  for (size_t i = (hole + 1) & mask; m_slots[i].entry != nullptr; i = (i + 1) & mask) {
    size_t want = home(m_slots[i].hash, m_slots.size());
    bool reachable = hole <= i ? (want > hole && want <= i) : (want > hole || want <= i);
    if (reachable) continue;
    m_slots[hole] = m_slots[i];
    m_slots[i].entry = nullptr;
    hole = i;
  }
}

void TagIndex::grow() {
  std::vector<Slot> old;
  old.swap(m_slots);
  m_slots.assign(old.empty() ? 16 : 2 * old.size(), Slot{0, nullptr});
  size_t mask = m_slots.size() - 1;
  for (const Slot& slot : old) {
    if (slot.entry == nullptr) continue;
    size_t i = home(slot.hash, m_slots.size());
    while (m_slots[i].entry != nullptr) i = (i + 1) & mask;
    m_slots[i] = slot;
  }
}
