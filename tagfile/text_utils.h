// Text and stream utilities shared by the file readers and the interpreters.
//
// Small free functions on SString and C streams: trimming, line reading,
// quoted-string and token parsing, big-endian integers from a stream, number
// conversion, path joining and the decoding of Unicode escapes. Several file
// formats (tag files, the archive index, instruction statements, launch
// templates) depend on their exact rules, so each rule is stated here.
//
// Positions are unsigned long indices into an SString; SString::npos means
// "no position". Where a position appears in a message it is printed as a
// signed number, so npos prints as -1.
#ifndef BV_TAGFILE_TEXT_UTILS_H_
#define BV_TAGFILE_TEXT_UTILS_H_

#include <cstdio>

#include "foundation/sstring.h"

// The whitespace set of trimming, line reading and unquoted parsing:
// blank, tab, line feed and carriage return.
extern const char* whitespaceChars;

// Removes every trailing character of s that is in chars, then every leading
// one; a string made only of such characters becomes empty.
void trim(SString& s, const char* chars);

// True for blank, tab, line feed and carriage return.
bool isWhitespace(char c);

// Appends the path separator ("/") unless path is empty or already ends with
// it; an empty path stays empty, so that appending a file name to it names a
// file in the current directory.
void appendPathSeparator(SString& path);

// The position at which suffix begins when s ends with it, else npos. An
// empty suffix gives the length of s.
unsigned long stringEndsWith(const SString& s, const char* suffix);

// Removes one double quote at the start, if any, then one at the end, if
// any. The two are independent: an unbalanced quote is removed too.
void stripQuotes(SString& s);

// n in decimal ("%ld").
SString convertToString(long n);

// Reads a decimal number from the start of s ("%ld" / "%hd": leading
// whitespace skipped, trailing text ignored). True when a number was read;
// n is unchanged otherwise.
bool convertToLong(const SString& s, long& n);
bool convertToShort(const SString& s, short& n);

// Reads up to count bytes one by one, stopping at the end of the file (or a
// read error); returns the number of bytes stored in buffer.
unsigned long getBytes(FILE* file, char* buffer, unsigned long count);

// The big-endian signed 32-bit and 16-bit integers at p.
long bigEndianLong(const char* p);
short bigEndianShort(const char* p);

// Reads a big-endian two's-complement integer of 4 (long) or 2 (short)
// bytes. When fewer bytes arrive, throws LauncherException with exactly
// errorMessage. The result does not depend on the host's byte order.
long loadLongValue(FILE* file, const char* errorMessage);
short loadShortValue(FILE* file, const char* errorMessage);

// Reads bytes up to and including the next line feed, or to the end of the
// file; appends every byte read to line except the line feed and every
// carriage return, then trims line with whitespaceChars. On a stream already
// at its end line is left as it was. Callers pass an empty line.
// A line of more than maxLength bytes (line feed and carriage returns not
// counted) is read only up to maxLength bytes, the rest left unread, and
// the result is false, so that an endless line (a device such as
// /dev/zero) cannot take all memory; true when the whole line was read.
bool readLineFromStream(FILE* file, SString& line,
                        unsigned long maxLength = static_cast<unsigned long>(-1));

// If pos is below the length of text: appends the characters from pos up to
// the next line feed (or the end), leaving out the line feed and every
// carriage return, sets pos one past the line feed (length + 1 when the text
// ended) and trims line with whitespaceChars. Otherwise does nothing.
void readLineFromString(const SString& text, unsigned long& pos, SString& line);

// One argument of a line.
//
// Quoted mode (pos just after an opening double quote): two double quotes in
// a row stand for one; the first double quote not followed by another closes
// the string and pos ends one past it (npos when that is the end of text).
// An unclosed string throws LauncherException "Expected double quote to end
// argument near <n>", where n is the position where the last scan began
// (just after the opening quote or after the last pair), or -1 when the text
// ends in a pair.
//
// Unquoted mode: the characters from pos up to the next character of
// whitespaceChars, where pos then stands; or the rest of the text, with pos
// npos. A pos at or beyond the end gives an empty string and npos.
SString parseStringArgument(const SString& text, unsigned long& pos, bool quoted);

// One white-space separated token (white space as in the C locale: blank,
// tab, line feed, vertical tab, form feed, carriage return). Skips white
// space from pos; at the end of text the token is empty and pos stays where
// skipping stopped. Otherwise pos ends one past the character that ended the
// token (length + 1 when the text ended). noToken tells whether the token is
// empty.
SString getTokenFromString(const SString& text, unsigned long& pos, bool& noToken);

// A new, zero-terminated wide-character copy of s in which each escape of a
// backslash, "u" or "U" and four characters read as hexadecimal ("%x") is
// one wide character; an escape whose four characters give no number keeps
// its backslash. Other bytes are copied one by one, bytes of 128 and above
// as their unsigned value. The caller frees the array with delete[].
wchar_t* convertToUnicode(const SString& s);

// Closes a stream when the scope ends, on every path out of it, errors
// thrown included. The stream must not be null.
class FileCloser {
 public:
  explicit FileCloser(FILE* file) : m_file(file) {}
  ~FileCloser() { fclose(m_file); }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

 private:
  FILE* m_file;
};

#endif  // BV_TAGFILE_TEXT_UTILS_H_
