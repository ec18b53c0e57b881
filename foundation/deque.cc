#include "foundation/deque.h"

SString StringDeque::emptyString;

GenericDeque::~GenericDeque() {
  cleanup(m_entries, m_size);
  delete[] m_entries;
}

void GenericDeque::insert(long i, const DequeEntry* e) {
  // Past the end appends too, so an entry is never lost.
  if (i < 0 || i > m_size) i = m_size;
  // The array doubles (at least one growth step), so n insertions at the
  // end copy O(n) pointers in all.
  if (m_capacity < m_size + 1) {
    resize(m_capacity < m_growthStep ? m_growthStep : 2 * m_capacity);
  }
  for (long k = m_size; k > i; --k) m_entries[k] = m_entries[k - 1];
  m_entries[i] = const_cast<DequeEntry*>(e);
  ++m_size;
}

void GenericDeque::erase(long i) {
  if (!validIndex(i)) return;
  delete m_entries[i];
  for (long k = i; k + 1 < m_size; ++k) m_entries[k] = m_entries[k + 1];
  m_entries[m_size - 1] = nullptr;
  --m_size;
}

void GenericDeque::clear() {
  cleanup(m_entries, m_size);
  m_size = 0;
}

void GenericDeque::resize(long n) {
  if (n > m_capacity) {
    long capacity = (n + m_growthStep - 1) / m_growthStep * m_growthStep;
    DequeEntry** entries = new DequeEntry*[capacity];
    for (long k = 0; k < capacity; ++k) entries[k] = k < m_size ? m_entries[k] : nullptr;
    delete[] m_entries;
    m_entries = entries;
    m_capacity = capacity;
  } else if (n < m_capacity) {
    if (n < 0) n = 0;
    for (long k = n; k < m_capacity; ++k) {
      delete m_entries[k];
      m_entries[k] = nullptr;
    }
    if (m_size > n) m_size = n;
  }
}

void GenericDeque::cleanup(DequeEntry** array, long n) {
  if (array == nullptr) return;
  for (long k = 0; k < n; ++k) {
    if (array[k] != nullptr) {
      delete array[k];
      array[k] = nullptr;
    }
  }
}

SString& StringDeque::at(long i) {
  const DequeEntry* e = GenericDeque::at(i);
  return e == nullptr ? emptyString : *static_cast<const SStringPtrDE*>(e)->getValue();
}

const SString& StringDeque::at(long i) const {
  const DequeEntry* e = GenericDeque::at(i);
  return e == nullptr ? emptyString : *static_cast<const SStringPtrDE*>(e)->getValue();
}
