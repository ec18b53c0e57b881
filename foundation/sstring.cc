#include "foundation/sstring.h"

#include <cstdlib>
#include <new>

namespace {

const unsigned char kFrozen = 255;
const unsigned char kMaxShareCount = 253;

unsigned long clampCount(unsigned long n, unsigned long avail) { return n < avail ? n : avail; }

}  // namespace

const char* SString::_Nullstr() {
  static const char nul = '\0';
  return &nul;
}

void SString::_Tidy(bool release) {
  if (release && m_ptr != nullptr) {
    unsigned char& count = _Refcnt(m_ptr);
    if (count != 0 && count != kFrozen) {
      --count;
    } else {
      free(m_ptr - 1);
    }
  }
  m_ptr = nullptr;
  m_len = 0;
  m_res = 0;
}

void SString::_Copy(unsigned long n) {
  unsigned long res = n | 31;
  if (res > max_size()) res = n;
  char* block = static_cast<char*>(malloc(res + 2));
  if (block == nullptr) {
    res = n;
    block = static_cast<char*>(malloc(res + 2));
    if (block == nullptr) throw std::bad_alloc();
  }
  char* ptr = block + 1;
  unsigned long keep = clampCount(m_len, res);
  if (keep > 0) CharTraits::copy(ptr, m_ptr, keep);
  _Tidy(true);
  _Refcnt(ptr) = 0;
  m_ptr = ptr;
  m_res = res;
  _Eos(keep);
}

bool SString::_Grow(unsigned long n, bool trim) {
  if (n > max_size()) throw LengthException();
  if (m_ptr != nullptr && _Refcnt(m_ptr) != 0 && _Refcnt(m_ptr) != kFrozen) {
    if (n > 0) {
      _Copy(n);
      return true;
    }
    --_Refcnt(m_ptr);
    m_ptr = nullptr;
    m_len = 0;
    m_res = 0;
    return false;
  }
  if (n == 0) {
    if (trim) {
      _Tidy(true);
    } else if (m_ptr != nullptr) {
      _Eos(0);
    }
    return false;
  }
  if (trim && (m_res > 31 || m_res < n)) {
    _Tidy(true);
    _Copy(n);
  } else if (!trim && m_res < n) {
    // Growing by half at least keeps a string built piece by piece (a
    // command of many arguments, a character at a time) linear in time.
    unsigned long grown = m_res + m_res / 2;
    _Copy(n < grown && grown <= max_size() ? grown : n);
  }
  return true;
}

void SString::_Freeze() {
  if (m_ptr == nullptr) return;
  if (_Refcnt(m_ptr) != 0 && _Refcnt(m_ptr) != kFrozen) _Grow(m_len, false);
  if (m_ptr != nullptr) _Refcnt(m_ptr) = kFrozen;
}

void SString::_Split() {
  if (m_ptr != nullptr && _Refcnt(m_ptr) != 0 && _Refcnt(m_ptr) != kFrozen) {
    // Re-assign from the shared contents; the counted copy keeps any NULs.
    const char* shared = m_ptr;
    unsigned long len = m_len;
    --_Refcnt(shared);
    m_ptr = nullptr;
    m_len = 0;
    m_res = 0;
    if (len > 0 && _Grow(len, true)) {
      CharTraits::copy(m_ptr, shared, len);
      _Eos(len);
    }
  }
}

SString& SString::assign(const SString& s, unsigned long pos, unsigned long n) {
  if (pos > s.m_len) throw RangeException();
  n = clampCount(n, s.m_len - pos);
  if (this == &s) {
    erase(pos + n);
    erase(0, pos);
  } else if (n > 0 && n == s.m_len && _Refcnt(s.m_ptr) <= kMaxShareCount) {
    _Tidy(true);
    m_ptr = s.m_ptr;
    m_len = s.m_len;
    m_res = s.m_res;
    ++_Refcnt(m_ptr);
  } else if (_Grow(n, true)) {
    CharTraits::copy(m_ptr, s.m_ptr + pos, n);
    _Eos(n);
  }
  return *this;
}

SString& SString::assign(const char* s, unsigned long n) {
  if (n > 0 && m_ptr != nullptr && s >= m_ptr && s < m_ptr + m_len) {
    // Assigning a piece of ourselves: keep the range.
    return assign(*this, static_cast<unsigned long>(s - m_ptr), n);
  }
  if (_Grow(n, true)) {
    CharTraits::copy(m_ptr, s, n);
    _Eos(n);
  }
  return *this;
}

SString& SString::assign(unsigned long n, char c) {
  if (n == npos) throw LengthException();
  if (_Grow(n, true)) {
    CharTraits::assign(m_ptr, n, c);
    _Eos(n);
  }
  return *this;
}

SString& SString::append(const SString& s, unsigned long pos, unsigned long n) {
  if (pos > s.m_len) throw RangeException();
  n = clampCount(n, s.m_len - pos);
  if (n == 0) return *this;
  if (n >= npos - m_len) throw LengthException();
  if (this == &s) {
    // Our own buffer may move while growing: copy the piece first.
    SString piece(s.m_ptr + pos, n);
    return append(piece.m_ptr, n);
  }
  unsigned long total = m_len + n;
  if (_Grow(total)) {
    CharTraits::copy(m_ptr + m_len, s.m_ptr + pos, n);
    _Eos(total);
  }
  return *this;
}

SString& SString::append(const char* s, unsigned long n) {
  if (n == 0) return *this;
  if (n >= npos - m_len) throw LengthException();
  if (m_ptr != nullptr && s >= m_ptr && s < m_ptr + m_len + 1) {
    SString piece(s, n);
    return append(piece.m_ptr, n);
  }
  unsigned long total = m_len + n;
  if (_Grow(total)) {
    CharTraits::copy(m_ptr + m_len, s, n);
    _Eos(total);
  }
  return *this;
}

SString& SString::append(unsigned long n, char c) {
  if (n == 0) return *this;
  if (n >= npos - m_len) throw LengthException();
  unsigned long total = m_len + n;
  if (_Grow(total)) {
    CharTraits::assign(m_ptr + m_len, n, c);
    _Eos(total);
  }
  return *this;
}

SString& SString::insert(unsigned long pos, const SString& s, unsigned long pos2, unsigned long n) {
  if (pos > m_len || pos2 > s.m_len) throw RangeException();
  n = clampCount(n, s.m_len - pos2);
  if (n == 0) return *this;
  SString piece(s.m_ptr + pos2, n);  // safe even when s is this string
  return insert(pos, piece.m_ptr, n);
}

SString& SString::insert(unsigned long pos, const char* s, unsigned long n) {
  if (pos > m_len) throw RangeException();
  if (n == 0) return *this;
  if (n >= npos - m_len) throw LengthException();
  if (m_ptr != nullptr && s >= m_ptr && s < m_ptr + m_len + 1) {
    SString piece(s, n);
    return insert(pos, piece.m_ptr, n);
  }
  unsigned long total = m_len + n;
  if (_Grow(total)) {
    CharTraits::move(m_ptr + pos + n, m_ptr + pos, m_len - pos);
    CharTraits::copy(m_ptr + pos, s, n);
    _Eos(total);
  }
  return *this;
}

SString& SString::insert(unsigned long pos, unsigned long n, char c) {
  if (pos > m_len) throw RangeException();
  if (n == 0) return *this;
  if (n >= npos - m_len) throw LengthException();
  unsigned long total = m_len + n;
  if (_Grow(total)) {
    CharTraits::move(m_ptr + pos + n, m_ptr + pos, m_len - pos);
    CharTraits::assign(m_ptr + pos, n, c);
    _Eos(total);
  }
  return *this;
}

SString& SString::erase(unsigned long pos, unsigned long n) {
  if (pos > m_len) throw RangeException();
  _Split();
  n = clampCount(n, m_len - pos);
  if (n > 0) {
    CharTraits::move(m_ptr + pos, m_ptr + pos + n, m_len - pos - n);
    _Eos(m_len - n);
  }
  return *this;
}

SString& SString::replace(unsigned long pos, unsigned long n, const SString& s, unsigned long pos2,
                          unsigned long m) {
  if (pos > m_len || pos2 > s.m_len) throw RangeException();
  m = clampCount(m, s.m_len - pos2);
  SString piece(s.m_ptr == nullptr ? "" : s.m_ptr + pos2, m);  // safe when s is this string
  return replace(pos, n, piece.c_str(), m);
}

SString& SString::replace(unsigned long pos, unsigned long n, const char* s, unsigned long m) {
  if (pos > m_len) throw RangeException();
  n = clampCount(n, m_len - pos);
  if (m >= npos - (m_len - n)) throw LengthException();
  if (m > 0 && m_ptr != nullptr && s >= m_ptr && s < m_ptr + m_len + 1) {
    SString piece(s, m);
    return replace(pos, n, piece.m_ptr, m);
  }
  _Split();
  unsigned long tail = m_len - pos - n;
  unsigned long total = m_len - n + m;
  if (m < n) CharTraits::move(m_ptr + pos + m, m_ptr + pos + n, tail);
  if ((m > 0 || n > 0) && _Grow(total)) {
    if (m > n) CharTraits::move(m_ptr + pos + m, m_ptr + pos + n, tail);
    CharTraits::copy(m_ptr + pos, s, m);
    _Eos(total);
  }
  return *this;
}

SString& SString::replace(unsigned long pos, unsigned long n, unsigned long m, char c) {
  if (pos > m_len) throw RangeException();
  n = clampCount(n, m_len - pos);
  if (m >= npos - (m_len - n)) throw LengthException();
  _Split();
  unsigned long tail = m_len - pos - n;
  unsigned long total = m_len - n + m;
  if (m < n) CharTraits::move(m_ptr + pos + m, m_ptr + pos + n, tail);
  if ((m > 0 || n > 0) && _Grow(total)) {
    if (m > n) CharTraits::move(m_ptr + pos + m, m_ptr + pos + n, tail);
    CharTraits::assign(m_ptr + pos, m, c);
    _Eos(total);
  }
  return *this;
}

char& SString::at(unsigned long pos) {
  if (pos >= m_len) throw RangeException();
  _Freeze();
  return m_ptr[pos];
}

const char& SString::at(unsigned long pos) const {
  if (pos >= m_len) throw RangeException();
  return m_ptr[pos];
}

char& SString::operator[](unsigned long pos) {
  if (m_ptr == nullptr || pos > m_len) return *const_cast<char*>(_Nullstr());
  _Freeze();
  return m_ptr[pos];
}

void SString::reserve(unsigned long n) {
  if (m_res < n) {
    if (n > max_size()) throw LengthException();
    _Copy(n);  // also unshares
  }
}

void SString::resize(unsigned long n, char c) {
  if (n > m_len) {
    append(n - m_len, c);
  } else {
    erase(n);
  }
}

unsigned long SString::copy(char* dest, unsigned long n, unsigned long pos) const {
  if (pos > m_len) throw RangeException();
  n = clampCount(n, m_len - pos);
  if (n > 0) CharTraits::copy(dest, m_ptr + pos, n);
  return n;
}

unsigned long SString::find(const char* s, unsigned long pos, unsigned long n) const {
  if (n == 0) return pos <= m_len ? pos : npos;
  if (pos >= m_len || n > m_len - pos) return npos;
  const char* end = m_ptr + m_len - n + 1;  // one past the last start that fits
  for (const char* p = m_ptr + pos; p < end; ++p) {
    p = CharTraits::find(p, static_cast<unsigned long>(end - p), *s);
    if (p == nullptr) return npos;
    if (CharTraits::compare(p, s, n) == 0) return static_cast<unsigned long>(p - m_ptr);
  }
  return npos;
}

unsigned long SString::rfind(const char* s, unsigned long pos, unsigned long n) const {
  if (n == 0) return pos < m_len ? pos : m_len;
  if (n > m_len) return npos;
  unsigned long start = clampCount(pos, m_len - n);
  for (unsigned long i = start + 1; i-- > 0;) {
    if (CharTraits::eq(m_ptr[i], *s) && CharTraits::compare(m_ptr + i, s, n) == 0) return i;
  }
  return npos;
}

unsigned long SString::find_first_of(const char* s, unsigned long pos, unsigned long n) const {
  if (n == 0 || pos >= m_len) return npos;
  for (unsigned long i = pos; i < m_len; ++i) {
    if (CharTraits::find(s, n, m_ptr[i]) != nullptr) return i;
  }
  return npos;
}

unsigned long SString::find_last_of(const char* s, unsigned long pos, unsigned long n) const {
  if (n == 0 || m_len == 0) return npos;
  for (unsigned long i = clampCount(pos, m_len - 1) + 1; i-- > 0;) {
    if (CharTraits::find(s, n, m_ptr[i]) != nullptr) return i;
  }
  return npos;
}

unsigned long SString::find_first_not_of(const char* s, unsigned long pos, unsigned long n) const {
  if (pos >= m_len) return npos;
  for (unsigned long i = pos; i < m_len; ++i) {
    if (CharTraits::find(s, n, m_ptr[i]) == nullptr) return i;
  }
  return npos;
}

unsigned long SString::find_last_not_of(const char* s, unsigned long pos, unsigned long n) const {
  if (m_len == 0) return npos;
  for (unsigned long i = clampCount(pos, m_len - 1) + 1; i-- > 0;) {
    if (CharTraits::find(s, n, m_ptr[i]) == nullptr) return i;
  }
  return npos;
}

int SString::compare(unsigned long pos, unsigned long n, const SString& s, unsigned long pos2,
                     unsigned long m) const {
  if (pos2 > s.m_len) throw RangeException();
  return compare(pos, n, s.c_str() + pos2, clampCount(m, s.m_len - pos2));
}

int SString::compare(unsigned long pos, unsigned long n, const char* s, unsigned long m) const {
  if (pos > m_len) throw RangeException();
  n = clampCount(n, m_len - pos);
  int r = CharTraits::compare(c_str() + pos, s, clampCount(n, m));
  if (r != 0) return r;
  return n < m ? -1 : (n == m ? 0 : 1);
}
