// Helpers for the archive and bvpack tests: running the built bvpack and
// writing index bytes by hand.
#ifndef BV_TESTS_ARCHIVE_ARCHIVE_TEST_UTIL_H_
#define BV_TESTS_ARCHIVE_ARCHIVE_TEST_UTIL_H_

#include <string>
#include <vector>

namespace bvtest {

// The argument quoted for /bin/sh.
std::string shellQuote(const std::string& arg);

// Runs build/bin/bvpack with args; returns its exit status. Standard output
// and standard error go to *out when out is not null.
int runBvpack(const std::vector<std::string>& args, std::string* out = nullptr);

// value as size big-endian bytes (two's complement).
std::string bigEndian(long value, int size);

// The bytes of one index entry, as bvpack writes it; flag 1 adds the two
// decompressed counts.
std::string indexEntryBytes(int type, long id, long length, long offset, const std::string& name,
                            int flag = 0, long fileCount = 0, long size = 0);

}  // namespace bvtest

#endif  // BV_TESTS_ARCHIVE_ARCHIVE_TEST_UTIL_H_
