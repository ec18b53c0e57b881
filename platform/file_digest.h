// Digests of file contents and of texts, with the XXH3 hashes of the
// xxHash library (fast and well kept; not meant to resist an attacker, so
// used only where the user's own files are told apart).
#ifndef BV_PLATFORM_FILE_DIGEST_H_
#define BV_PLATFORM_FILE_DIGEST_H_

#include <string>

// The 64-bit XXH3 digest of the regular file's bytes as 16 lower-case hex
// digits, or "" when it cannot be read whole (or is not a regular file).
// The open never waits (a FIFO gives "").
std::string fileDigest(const std::string& path);

// The 128-bit XXH3 digest of text as 32 lower-case hex digits.
std::string textDigest(const std::string& text);

#endif  // BV_PLATFORM_FILE_DIGEST_H_
