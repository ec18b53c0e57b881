// Indexed sequences of owned objects.
//
// GenericDeque is an array of DequeEntry pointers with `long` indexes. Every
// typed sequence derives from it and stores its elements through a small
// wrapper entry (a DequeEntry) that owns the element: deleting the entry
// deletes the element. An entry leaves a sequence only by being deleted.
//
// An invalid index is never an error: access yields null (or
// StringDeque::emptyString) and erase does nothing.
//
// Storage starts at 4 slots and doubles when full (4, 8, 16, 32, ...), so
// appending costs O(1) amortised and a one-element sequence (most tag
// values) stays small; it never shrinks. Insertion before the
// end and erasure move the later entries, so they cost O(size).
// Sequences are never copied. Single-threaded use only.
//
// Typed sequences are declared next to their element types with the two
// templates at the end of this file, e.g.
//   class TagFilePtrDE : public PtrDE<TagFile> { using PtrDE::PtrDE; };
//   class TagFilePtrDeque : public PtrDeque<TagFile, TagFilePtrDE> {};
#ifndef BV_FOUNDATION_DEQUE_H_
#define BV_FOUNDATION_DEQUE_H_

#include "foundation/sstring.h"

// The base of all stored entries; the wrapper's destructor deletes its element.
class DequeEntry {
 public:
  virtual ~DequeEntry() {}
};

class GenericDeque {
 public:
  GenericDeque() : m_entries(nullptr), m_size(0), m_growthStep(4), m_capacity(0) {}
  // Deletes every entry, then the array.
  virtual ~GenericDeque();
  GenericDeque(const GenericDeque&) = delete;
  GenericDeque& operator=(const GenericDeque&) = delete;

  bool validIndex(long i) const { return i >= 0 && i < m_size; }
  // The entry at i, or null when i is not a valid index.
  DequeEntry* at(long i) { return validIndex(i) ? m_entries[i] : nullptr; }
  const DequeEntry* at(long i) const { return validIndex(i) ? m_entries[i] : nullptr; }
  DequeEntry* operator[](long i) { return at(i); }
  const DequeEntry* operator[](long i) const { return at(i); }
  DequeEntry* front() { return at(0); }
  const DequeEntry* front() const { return at(0); }
  DequeEntry* back() { return at(m_size - 1); }
  const DequeEntry* back() const { return at(m_size - 1); }
  long size() const { return m_size; }
  bool empty() const { return m_size < 1; }

  // Stores e before position i and takes ownership of it; a negative i, or
  // one past the end, appends.
  void insert(long i, const DequeEntry* e);
  void push_back(const DequeEntry* e) { insert(-1, e); }
  void push_front(const DequeEntry* e) { insert(0, e); }
  // Deletes the entry at i and closes the gap; nothing for an invalid index.
  void erase(long i);
  void pop_front() { erase(0); }
  void pop_back() { erase(m_size - 1); }
  // Deletes every entry; the array and its capacity stay.
  void clear();
  // Grows the array to n slots rounded up to the growth step (4), or
  // deletes the entries from n on when n is below the capacity.
  void resize(long n);
  // Deletes the first n non-null entries of array and nulls their slots.
  static void cleanup(DequeEntry** array, long n);

  long capacity() const { return m_capacity; }

 private:
  DequeEntry** m_entries;
  long m_size;
  long m_growthStep;
  long m_capacity;
};

// A wrapper entry that owns one element of type T.
template <class T>
class PtrDE : public DequeEntry {
 public:
  explicit PtrDE(T* value) : m_value(value) {}
  ~PtrDE() override { delete m_value; }
  PtrDE(const PtrDE&) = delete;
  PtrDE& operator=(const PtrDE&) = delete;
  T* getValue() const { return m_value; }

 private:
  T* m_value;
};

// A sequence of owned T elements stored through wrapper entries of type DE.
// Handing a pointer to it hands over the element.
template <class T, class DE>
class PtrDeque : public GenericDeque {
 public:
  T* at(long i) { return value(GenericDeque::at(i)); }
  const T* at(long i) const { return value(GenericDeque::at(i)); }
  T* operator[](long i) { return at(i); }
  const T* operator[](long i) const { return at(i); }
  T* front() { return at(0); }
  const T* front() const { return at(0); }
  T* back() { return at(size() - 1); }
  const T* back() const { return at(size() - 1); }
  void push_back(T* v) { GenericDeque::insert(-1, new DE(v)); }
  void push_front(T* v) { GenericDeque::insert(0, new DE(v)); }
  void insert(long i, T* v) { GenericDeque::insert(i, new DE(v)); }

 private:
  static T* value(const DequeEntry* e) {
    return e == nullptr ? nullptr : static_cast<const DE*>(e)->getValue();
  }
};

class SStringPtrDE : public PtrDE<SString> {
 public:
  using PtrDE::PtrDE;
};

// A sequence of strings; each insertion stores a copy of the string.
class StringDeque : public GenericDeque {
 public:
  // Returned (by reference) wherever an access finds no element. Never
  // written by the system.
  static SString emptyString;

  SString& at(long i);
  const SString& at(long i) const;
  SString& operator[](long i) { return at(i); }
  const SString& operator[](long i) const { return at(i); }
  SString& front() { return at(0); }
  const SString& front() const { return at(0); }
  SString& back() { return at(size() - 1); }
  const SString& back() const { return at(size() - 1); }
  void push_back(const SString& s) { GenericDeque::insert(-1, new SStringPtrDE(new SString(s))); }
  void push_front(const SString& s) { GenericDeque::insert(0, new SStringPtrDE(new SString(s))); }
  void insert(long i, const SString& s) { GenericDeque::insert(i, new SStringPtrDE(new SString(s))); }
};

#endif  // BV_FOUNDATION_DEQUE_H_
