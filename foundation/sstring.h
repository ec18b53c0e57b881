// SString: the byte string of the whole system.
//
// Every path, tag value, message, command line and file buffer is an SString.
// It holds narrow characters with an explicit length, so counted operations
// may carry NUL bytes, and always keeps a NUL after the last character so
// that c_str() can be handed to the C library.
//
// The buffer is one block of capacity + 2 bytes: byte 0 is a reference count,
// bytes 1..capacity hold the characters and one more byte the terminator. The
// data pointer points at byte 1, so the count is the byte just before the
// first character. Count values: 0 = one owner, 1..254 = that many further
// strings share the buffer, 255 = frozen (one owner, never shared again).
// Copies share the buffer until one of them changes (copy on write), so
// passing strings by value costs a count increment and no allocation.
//
// Capacities are rounded up to 31, 63, 95, ... so that repeated appends do
// not reallocate on every call.
//
// Positions and counts are unsigned long; npos (0xFFFFFFFF) means "no
// position" as a result and "up to the end" as a count. Every count is
// clamped to what is available after its position. A position past the
// length throws RangeException; a result that would reach npos characters
// throws LengthException. Both are thrown before any change, so a string is
// unchanged when one is thrown.
//
// Not thread-safe: the reference count is a plain byte.
#ifndef BV_FOUNDATION_SSTRING_H_
#define BV_FOUNDATION_SSTRING_H_

#include <cstring>

// Thrown when a result would reach npos characters or exceed max_size().
class LengthException {};

// Thrown when a position exceeds the length of the string it indexes.
class RangeException {};

// Character primitives on char, on which SString is built.
class CharTraits {
 public:
  static void assign(char& to, const char& from) { to = from; }
  static bool eq(const char& a, const char& b) { return a == b; }
  // Less-than on signed characters.
  static bool lt(const char& a, const char& b) {
    return static_cast<signed char>(a) < static_cast<signed char>(b);
  }
  static int compare(const char* a, const char* b, unsigned long n) {
    return n == 0 ? 0 : memcmp(a, b, n);
  }
  static unsigned long length(const char* s) { return strlen(s); }
  static char* copy(char* to, const char* from, unsigned long n) {
    return n == 0 ? to : static_cast<char*>(memcpy(to, from, n));
  }
  // The first occurrence of c in the n bytes at s, or null.
  static const char* find(const char* s, unsigned long n, const char& c) {
    return n == 0 ? nullptr : static_cast<const char*>(memchr(s, c, n));
  }
  static char* move(char* to, const char* from, unsigned long n) {
    return n == 0 ? to : static_cast<char*>(memmove(to, from, n));
  }
  static char* assign(char* s, unsigned long n, const char& c) {
    return n == 0 ? s : static_cast<char*>(memset(s, c, n));
  }
  static char to_char_type(const int& i) { return static_cast<char>(i); }
  static int to_int_type(const char& c) { return static_cast<signed char>(c); }
  static bool eq_int_type(const int& a, const int& b) { return a == b; }
  static int eof() { return -1; }
  static int not_eof(const int& c) { return c == eof() ? 0 : c; }
};

class SString {
 public:
  // No position; as a count, up to the end.
  static constexpr unsigned long npos = 4294967295UL;

  // Empty, without a buffer.
  SString() : m_ptr(nullptr), m_len(0), m_res(0) {}
  // Shares s's buffer when it can (see assign(s, pos, n)).
  SString(const SString& s) : SString() { assign(s, 0, npos); }
  // REQUIRES: pos <= s.length(), else RangeException.
  SString(const SString& s, unsigned long pos, unsigned long n) : SString() { assign(s, pos, n); }
  // The first n bytes at s (NULs included).
  SString(const char* s, unsigned long n) : SString() { assign(s, n); }
  // A NUL-terminated string.
  SString(const char* s) : SString() { assign(s); }
  // n copies of c.
  SString(unsigned long n, char c) : SString() { assign(n, c); }
  virtual ~SString() { _Tidy(true); }

  // Assignment: trims the buffer (a short value in a large buffer shrinks it).
  SString& operator=(const SString& s) { return assign(s); }
  SString& operator=(const char* s) { return assign(s); }
  SString& operator=(char c) { return assign(1, c); }
  SString& assign(const SString& s) { return assign(s, 0, npos); }
  SString& assign(const SString& s, unsigned long pos, unsigned long n);
  SString& assign(const char* s, unsigned long n);
  SString& assign(const char* s) { return assign(s, CharTraits::length(s)); }
  SString& assign(unsigned long n, char c);

  SString& operator+=(const SString& s) { return append(s); }
  SString& operator+=(const char* s) { return append(s); }
  SString& operator+=(char c) { return append(1, c); }
  SString& append(const SString& s) { return append(s, 0, npos); }
  SString& append(const SString& s, unsigned long pos, unsigned long n);
  SString& append(const char* s, unsigned long n);
  SString& append(const char* s) { return append(s, CharTraits::length(s)); }
  SString& append(unsigned long n, char c);

  SString& insert(unsigned long pos, const SString& s) { return insert(pos, s, 0, npos); }
  SString& insert(unsigned long pos, const SString& s, unsigned long pos2, unsigned long n);
  SString& insert(unsigned long pos, const char* s, unsigned long n);
  SString& insert(unsigned long pos, const char* s) { return insert(pos, s, CharTraits::length(s)); }
  SString& insert(unsigned long pos, unsigned long n, char c);

  // Removes min(n, length - pos) characters; the buffer stays.
  SString& erase(unsigned long pos = 0, unsigned long n = npos);

  SString& replace(unsigned long pos, unsigned long n, const SString& s) {
    return replace(pos, n, s, 0, npos);
  }
  SString& replace(unsigned long pos, unsigned long n, const SString& s, unsigned long pos2,
                   unsigned long m);
  SString& replace(unsigned long pos, unsigned long n, const char* s, unsigned long m);
  SString& replace(unsigned long pos, unsigned long n, const char* s) {
    return replace(pos, n, s, CharTraits::length(s));
  }
  SString& replace(unsigned long pos, unsigned long n, unsigned long m, char c);

  // at() throws RangeException when pos >= length(). The non-const forms of
  // at() and operator[] freeze the buffer: it is never shared again, so a
  // reference written through stays private to this string.
  char& at(unsigned long pos);
  const char& at(unsigned long pos) const;
  // No range check; pos == length() gives the terminator. Past that (or on a
  // string without a buffer) it gives a static NUL that must not be written.
  char& operator[](unsigned long pos);
  const char& operator[](unsigned long pos) const {
    return m_ptr == nullptr || pos > m_len ? *_Nullstr() : m_ptr[pos];
  }
  const char* c_str() const { return m_ptr == nullptr ? _Nullstr() : m_ptr; }
  const char* data() const { return c_str(); }

  unsigned long length() const { return m_len; }
  unsigned long size() const { return m_len; }
  unsigned long max_size() const { return 4294967293UL; }
  unsigned long capacity() const { return m_res; }
  bool empty() const { return m_len == 0; }
  // Grows to hold at least n characters; never shrinks.
  void reserve(unsigned long n = 0);
  void resize(unsigned long n, char c);
  void resize(unsigned long n) { resize(n, '\0'); }

  // Copies up to n characters from pos to dest; writes no terminator.
  unsigned long copy(char* dest, unsigned long n, unsigned long pos = 0) const;
  SString substr(unsigned long pos = 0, unsigned long n = npos) const { return SString(*this, pos, n); }

  unsigned long find(const SString& s, unsigned long pos = 0) const { return find(s.c_str(), pos, s.size()); }
  unsigned long find(const char* s, unsigned long pos, unsigned long n) const;
  unsigned long find(const char* s, unsigned long pos = 0) const {
    return find(s, pos, CharTraits::length(s));
  }
  unsigned long find(char c, unsigned long pos = 0) const { return find(&c, pos, 1); }

  unsigned long rfind(const SString& s, unsigned long pos = npos) const {
    return rfind(s.c_str(), pos, s.size());
  }
  unsigned long rfind(const char* s, unsigned long pos, unsigned long n) const;
  unsigned long rfind(const char* s, unsigned long pos = npos) const {
    return rfind(s, pos, CharTraits::length(s));
  }
  unsigned long rfind(char c, unsigned long pos = npos) const { return rfind(&c, pos, 1); }

  unsigned long find_first_of(const SString& s, unsigned long pos = 0) const {
    return find_first_of(s.c_str(), pos, s.size());
  }
  unsigned long find_first_of(const char* s, unsigned long pos, unsigned long n) const;
  unsigned long find_first_of(const char* s, unsigned long pos = 0) const {
    return find_first_of(s, pos, CharTraits::length(s));
  }
  unsigned long find_first_of(char c, unsigned long pos = 0) const { return find_first_of(&c, pos, 1); }

  unsigned long find_last_of(const SString& s, unsigned long pos = npos) const {
    return find_last_of(s.c_str(), pos, s.size());
  }
  unsigned long find_last_of(const char* s, unsigned long pos, unsigned long n) const;
  unsigned long find_last_of(const char* s, unsigned long pos = npos) const {
    return find_last_of(s, pos, CharTraits::length(s));
  }
  unsigned long find_last_of(char c, unsigned long pos = npos) const { return find_last_of(&c, pos, 1); }

  unsigned long find_first_not_of(const SString& s, unsigned long pos = 0) const {
    return find_first_not_of(s.c_str(), pos, s.size());
  }
  unsigned long find_first_not_of(const char* s, unsigned long pos, unsigned long n) const;
  unsigned long find_first_not_of(const char* s, unsigned long pos = 0) const {
    return find_first_not_of(s, pos, CharTraits::length(s));
  }
  unsigned long find_first_not_of(char c, unsigned long pos = 0) const {
    return find_first_not_of(&c, pos, 1);
  }

  unsigned long find_last_not_of(const SString& s, unsigned long pos = npos) const {
    return find_last_not_of(s.c_str(), pos, s.size());
  }
  unsigned long find_last_not_of(const char* s, unsigned long pos, unsigned long n) const;
  unsigned long find_last_not_of(const char* s, unsigned long pos = npos) const {
    return find_last_not_of(s, pos, CharTraits::length(s));
  }
  unsigned long find_last_not_of(char c, unsigned long pos = npos) const {
    return find_last_not_of(&c, pos, 1);
  }

  // Byte-wise comparison: negative, 0 or positive; a proper prefix is less.
  int compare(const SString& s) const { return compare(0, m_len, s.c_str(), s.size()); }
  int compare(unsigned long pos, unsigned long n, const SString& s) const {
    return compare(pos, n, s, 0, npos);
  }
  int compare(unsigned long pos, unsigned long n, const SString& s, unsigned long pos2,
              unsigned long m) const;
  int compare(const char* s) const { return compare(0, m_len, s, CharTraits::length(s)); }
  int compare(unsigned long pos, unsigned long n, const char* s) const {
    return compare(pos, n, s, CharTraits::length(s));
  }
  int compare(unsigned long pos, unsigned long n, const char* s, unsigned long m) const;

 private:
  // Prepares the buffer for n characters; returns whether n may be written.
  bool _Grow(unsigned long n, bool trim = false);
  // Allocates a fresh buffer for n characters, keeping the old contents.
  void _Copy(unsigned long n);
  // Drops the buffer (decrements a shared count, frees an owned one).
  void _Tidy(bool release = false);
  // Sets the length to n and writes the terminator.
  void _Eos(unsigned long n) {
    m_len = n;
    m_ptr[n] = '\0';
  }
  void _Freeze();
  // Gives this string a private buffer before an in-place edit.
  void _Split();
  static unsigned char& _Refcnt(const char* p) {
    return reinterpret_cast<unsigned char*>(const_cast<char*>(p))[-1];
  }
  static const char* _Nullstr();

  char* m_ptr;
  unsigned long m_len;
  unsigned long m_res;
};

#endif  // BV_FOUNDATION_SSTRING_H_
