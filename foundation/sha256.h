// SHA-256 from OpenSSL's libcrypto, linked statically into the launcher (the
// README's "Where a launcher runs" says why this library): the digests of a
// launcher file's parts, checked by the launcher and written by bvpack.
//
// These are OpenSSL's own SHA-256 functions; OpenSSL 3 marks them deprecated
// in favour of its EVP interface, which would bring about 4 MB of provider
// code into the stub for the same result.
#ifndef BV_FOUNDATION_SHA256_H_
#define BV_FOUNDATION_SHA256_H_

#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <openssl/sha.h>

#include <cstddef>
#include <string>

class Sha256 {
 public:
  static const size_t kSize = SHA256_DIGEST_LENGTH;  // 32 bytes

  Sha256() { SHA256_Init(&m_context); }

  // Adds size bytes.
  void update(const void* data, size_t size) { SHA256_Update(&m_context, data, size); }
  // The digest of everything added, as kSize bytes; starts over afterwards.
  std::string finish() {
    std::string digest(kSize, '\0');
    SHA256_Final(reinterpret_cast<unsigned char*>(&digest[0]), &m_context);
    SHA256_Init(&m_context);
    return digest;
  }

 private:
  SHA256_CTX m_context;
};

#endif  // BV_FOUNDATION_SHA256_H_
