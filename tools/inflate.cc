// Canonical Huffman decoding after RFC 1951, one bit at a time: slow, but
// only a few bytes of each class file are ever decoded.
#include "tools/inflate.h"

#include <stdexcept>

namespace {

const int kMaxBits = 15;

struct Huffman {
  short count[kMaxBits + 1];  // number of codes of each length
  short symbol[288];          // symbols ordered by code
};

class DamagedData : public std::runtime_error {
 public:
  explicit DamagedData(const char* what) : std::runtime_error(what) {}
};

class Inflater {
 public:
  Inflater(const unsigned char* in, size_t size, size_t wanted, std::string* out)
      : m_in(in), m_size(size), m_pos(0), m_bitBuffer(0), m_bitCount(0), m_wanted(wanted), m_out(out) {}

  void run() {
    bool last = false;
    while (!last && !enough()) {
      last = bits(1) != 0;
      switch (bits(2)) {
        case 0: stored(); break;
        case 1: fixed(); break;
        case 2: dynamic(); break;
        default: throw DamagedData("invalid block type");
      }
    }
  }

 private:
  bool enough() const { return m_out->size() >= m_wanted; }

  int bits(int need) {
    long value = m_bitBuffer;
    while (m_bitCount < need) {
      if (m_pos == m_size) throw DamagedData("the data ends early");
      value |= static_cast<long>(m_in[m_pos++]) << m_bitCount;
      m_bitCount += 8;
    }
    m_bitBuffer = value >> need;
    m_bitCount -= need;
    return static_cast<int>(value & ((1L << need) - 1));
  }

  void stored() {
    m_bitBuffer = 0;
    m_bitCount = 0;
    if (m_size - m_pos < 4) throw DamagedData("the data ends early");
    unsigned length = m_in[m_pos] | (m_in[m_pos + 1] << 8);
    unsigned check = m_in[m_pos + 2] | (m_in[m_pos + 3] << 8);
    m_pos += 4;
    if (length != (~check & 0xFFFFu)) throw DamagedData("stored block length does not match");
    if (m_size - m_pos < length) throw DamagedData("the data ends early");
    for (unsigned i = 0; i < length && !enough(); ++i) *m_out += static_cast<char>(m_in[m_pos + i]);
    m_pos += length;
  }

  // Builds h from code lengths; an over-subscribed set is damaged data, an
  // incomplete one fails only when a missing code is read.
  static void construct(Huffman* h, const short* length, int n) {
    for (int len = 0; len <= kMaxBits; ++len) h->count[len] = 0;
    for (int s = 0; s < n; ++s) h->count[length[s]]++;
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
      left <<= 1;
      left -= h->count[len];
      if (left < 0) throw DamagedData("over-subscribed code");
    }
    short offsets[kMaxBits + 1];
    offsets[1] = 0;
    for (int len = 1; len < kMaxBits; ++len) offsets[len + 1] = offsets[len] + h->count[len];
    for (int s = 0; s < n; ++s) {
      if (length[s] != 0) h->symbol[offsets[length[s]]++] = static_cast<short>(s);
    }
  }

  int decode(const Huffman& h) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      code |= bits(1);
      int count = h.count[len];
      if (code - count < first) return h.symbol[index + (code - first)];
      index += count;
      first += count;
      first <<= 1;
      code <<= 1;
    }
    throw DamagedData("invalid code");
  }

  void codes(const Huffman& lengthCode, const Huffman& distanceCode) {
    static const short kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                          31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const short kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const short kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                            33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                            1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const short kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    while (!enough()) {
      int symbol = decode(lengthCode);
      if (symbol < 256) {
        *m_out += static_cast<char>(symbol);
      } else if (symbol == 256) {
        return;
      } else {
        symbol -= 257;
        if (symbol >= 29) throw DamagedData("invalid length code");
        int length = kLengthBase[symbol] + bits(kLengthExtra[symbol]);
        int distanceSymbol = decode(distanceCode);
        if (distanceSymbol >= 30) throw DamagedData("invalid distance code");
        size_t distance = static_cast<size_t>(kDistanceBase[distanceSymbol] + bits(kDistanceExtra[distanceSymbol]));
        if (distance > m_out->size()) throw DamagedData("distance too far back");
        for (int i = 0; i < length && !enough(); ++i) *m_out += (*m_out)[m_out->size() - distance];
      }
    }
  }

  void fixed() {
    Huffman lengthCode, distanceCode;
    short lengths[288];
    int s = 0;
    for (; s < 144; ++s) lengths[s] = 8;
    for (; s < 256; ++s) lengths[s] = 9;
    for (; s < 280; ++s) lengths[s] = 7;
    for (; s < 288; ++s) lengths[s] = 8;
    construct(&lengthCode, lengths, 288);
    for (s = 0; s < 30; ++s) lengths[s] = 5;
    construct(&distanceCode, lengths, 30);
    codes(lengthCode, distanceCode);
  }

  void dynamic() {
    static const short kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int lengthCount = bits(5) + 257;
    int distanceCount = bits(5) + 1;
    int codeCount = bits(4) + 4;
    if (lengthCount > 286 || distanceCount > 30) throw DamagedData("too many codes");
    short lengths[320];
    int index = 0;
    for (; index < codeCount; ++index) lengths[kOrder[index]] = static_cast<short>(bits(3));
    for (; index < 19; ++index) lengths[kOrder[index]] = 0;
    Huffman lengthCode, distanceCode;
    construct(&lengthCode, lengths, 19);
    index = 0;
    while (index < lengthCount + distanceCount) {
      int symbol = decode(lengthCode);
      if (symbol < 16) {
        lengths[index++] = static_cast<short>(symbol);
        continue;
      }
      short value = 0;
      int repeat;
      if (symbol == 16) {
        if (index == 0) throw DamagedData("repeat with no first length");
        value = lengths[index - 1];
        repeat = 3 + bits(2);
      } else if (symbol == 17) {
        repeat = 3 + bits(3);
      } else {
        repeat = 11 + bits(7);
      }
      if (index + repeat > lengthCount + distanceCount) throw DamagedData("too many lengths");
      while (repeat-- > 0) lengths[index++] = value;
    }
    if (lengths[256] == 0) throw DamagedData("no end-of-block code");
    construct(&lengthCode, lengths, lengthCount);
    construct(&distanceCode, lengths + lengthCount, distanceCount);
    codes(lengthCode, distanceCode);
  }

  const unsigned char* m_in;
  size_t m_size;
  size_t m_pos;
  long m_bitBuffer;
  int m_bitCount;
  size_t m_wanted;
  std::string* m_out;
};

}  // namespace

bool inflatePrefix(const unsigned char* in, size_t size, size_t wanted, std::string* out,
                   std::string* error) {
  try {
    Inflater(in, size, wanted, out).run();
    return true;
  } catch (const DamagedData& e) {
    if (error != nullptr) *error = std::string("damaged deflate data: ") + e.what();
    return false;
  }
}
