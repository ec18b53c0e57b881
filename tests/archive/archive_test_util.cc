#include "tests/archive/archive_test_util.h"

#include "tests/test_util.h"

namespace bvtest {

std::string shellQuote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int runBvpack(const std::vector<std::string>& args, std::string* out) {
  std::string command = shellQuote(binaryPath("bvpack"));
  for (const std::string& arg : args) command += " " + shellQuote(arg);
  std::string text;
  int status = runShell(command, &text);
  if (out != nullptr) *out = text;
  return status;
}

std::string bigEndian(long value, int size) {
  std::string bytes;
  for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
    bytes += static_cast<char>((static_cast<unsigned long>(value) >> shift) & 0xFF);
  }
  return bytes;
}

std::string indexEntryBytes(int type, long id, long length, long offset, const std::string& name,
                            int flag, long fileCount, long size) {
  std::string bytes = bigEndian(type, 1) + bigEndian(id, 4) + bigEndian(length, 4) +
                      bigEndian(offset, 4) + bigEndian(static_cast<long>(name.size()), 2) + name +
                      bigEndian(flag, 1);
  if (flag == 1) bytes += bigEndian(fileCount, 4) + bigEndian(size, 4);
  return bytes;
}

}  // namespace bvtest
