// A small inflater for deflate data (RFC 1951), enough to read the start of
// a compressed jar entry. It decodes only as far as the caller needs, so its
// work and memory are bounded by the input and the wanted size, whatever
// the input holds; damaged data is an error, never a crash.
#ifndef BV_TOOLS_INFLATE_H_
#define BV_TOOLS_INFLATE_H_

#include <cstddef>
#include <string>

// Decodes the raw deflate stream in[0, size) into *out until *out holds at
// least wanted bytes or the last block ends (*out may then be shorter).
// Returns false with the reason in *error when the data is damaged or ends
// early.
bool inflatePrefix(const unsigned char* in, size_t size, size_t wanted, std::string* out,
                   std::string* error);

#endif  // BV_TOOLS_INFLATE_H_
