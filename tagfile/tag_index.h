// TagIndex: the entries of a tag file by name.
//
// An open-addressing hash table of (hash, entry) slots with linear probing:
// a lookup touches one run of adjacent slots and compares names only where
// the 64-bit hashes agree, so a file of many tags loads in linear time
// without a heap node per tag. The table doubles when it is half full;
// removal shifts the following run back, so there are no tombstones.
//
// The entries are not owned (the tag file's sequence owns them); their
// names must not change while they are in the index. Single-threaded use.
#ifndef BV_TAGFILE_TAG_INDEX_H_
#define BV_TAGFILE_TAG_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <vector>

class TagFileEntry;

class TagIndex {
 public:
  // The entry named name (a C string, compared byte for byte), or null.
  TagFileEntry* find(const char* name) const;
  // The slot of name's entry, made (holding null) when there is none; the
  // reference stays valid until the next findOrAdd or remove.
  // REQUIRES: a new slot is given a non-null entry named name before the
  // index is used again.
  TagFileEntry*& findOrAdd(const char* name);
  // Takes name's entry out of the index, if there is one.
  void remove(const char* name);

 private:
  struct Slot {
    uint64_t hash;
    TagFileEntry* entry;  // null: the slot is free
  };
  // The index of name's slot, or of the free slot where it would go.
  size_t probe(const char* name, uint64_t hash) const;
  void grow();

  std::vector<Slot> m_slots;
  size_t m_used = 0;
};

#endif  // BV_TAGFILE_TAG_INDEX_H_
