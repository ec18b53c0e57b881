// TagFile: the text format of every file that the launcher reads or writes.
//
// A tag file is an ordered list of named tags, each with one or more string
// values. Text, as read (line by line; every carriage return dropped; each
// line trimmed of whitespaceChars; empty lines skipped but counted):
//
//   NAME: value              one value: the rest of the line
//   NAME: "  quoted "" value "   one value; "" stands for one double quote
//   NAME:                    a block: one value per following line,
//     first value            a line starting with a double quote is a
//     "second value"         quoted string, empty lines add nothing,
//   /:                       and "/:" ends the block
//
// There is no comment syntax; inside a block no line is a tag line. A tag
// that is read again loses its old entry and values and moves to the end of
// the order (the last occurrence wins).
//
// An embedded tag file is read from a stretch (offset, length) of the open
// launcher file: reading stops before the first top-level line that would
// begin at or after offset + length. A line that has begun is read up to its
// line feed and a block up to its terminator, so an embedded file must end
// with a line feed.
//
// Tag names are C strings compared byte for byte (case-sensitive); values and
// file names are SStrings. There is at most one entry per name; an index by
// name keeps lookups cheap, so that a file of many tags loads in linear time.
#ifndef BV_TAGFILE_TAG_FILE_H_
#define BV_TAGFILE_TAG_FILE_H_

#include <cstdio>

#include "foundation/deque.h"
#include "foundation/sstring.h"
#include "tagfile/tag_index.h"

// One tag: a name and its values, in order. Owns its value list.
class TagFileEntry {
 public:
  // Takes ownership of values.
  TagFileEntry(SString key, StringDeque* values);
  ~TagFileEntry();
  TagFileEntry(const TagFileEntry&) = delete;
  TagFileEntry& operator=(const TagFileEntry&) = delete;

  SString getKey() const { return m_key; }
  // The key as a C string, valid as long as the entry.
  const char* keyText() const { return m_key.c_str(); }
  // The value list, still owned by the entry.
  StringDeque* getValue() const { return m_values; }

 private:
  SString m_key;
  StringDeque* m_values;
};

class TagFileEntryPtrDE : public PtrDE<TagFileEntry> {
 public:
  using PtrDE::PtrDE;
};
// Owns its entries: erasing one deletes it with its values.
class TagFileEntryPtrDeque : public PtrDeque<TagFileEntry, TagFileEntryPtrDE> {};

// The longest line a tag file may hold, in bytes (carriage returns and the
// line feed not counted); no real tag file comes near it.
const unsigned long maxTagFileLineLength = 1024UL * 1024UL;

class TagFile {
 public:
  // Empty, not loaded, line number 0, empty name.
  TagFile();
  // Loads the whole named file (load(file, fileName, 0, -1)). Throws
  // LauncherException "Unable to load input file: <fileName>" when the file
  // cannot be opened, and the errors of load.
  explicit TagFile(const SString& fileName);
  virtual ~TagFile();
  TagFile(const TagFile&) = delete;
  TagFile& operator=(const TagFile&) = delete;

  // Parses the text that begins at byte offset of the open file, up to the
  // end of the file when length is negative, else as described above. name
  // is used in syntax error reports; line numbers count from 1 at the first
  // line read here. Existing entries remain; tags read again are replaced.
  // Throws LauncherException:
  //   "Unable to read tag file." when the seek fails or the stream reports a
  //     read error;
  //   "Syntax error in <name> at line <n> ==> <message>" (also logged with
  //     LOG_ERROR), message one of "Missing colon at the end of the tag
  //     name.", "Invalid tag format.", "Missing /: tag completer." (n is then
  //     the line of the tag that opened the block);
  //   "Expected double quote to end argument near <pos>" for an unclosed
  //     quoted value (not logged, no name or line).
  // Entries stored before an error stay; isLoaded() becomes true only when
  // a load reaches its end.
  void load(FILE* file, const SString& name, long offset, long length);

  bool isLoaded() const { return m_loaded; }
  // The name given to the last load.
  SString getName() const { return m_name; }

  // The value at index (from 0); empty when the tag is absent or index is
  // not below its value count.
  SString getTagValue(const char* tag, unsigned long index) const;
  // The number of values; 0 when the tag is absent.
  long getTagValueCount(const char* tag) const;
  // Value 0 read as a decimal short ("%hd"): non-zero gives true, 0 false;
  // defaultValue when the value is empty, absent or does not begin with a
  // number ("1abc" is true, "true" gives the default).
  bool getBoolTagValue(const char* tag, bool defaultValue) const;

  // Absent tag: a new entry with this one value at the end. Present tag: its
  // values become this one value and the entry keeps its place.
  void setTagValue(const char* tag, const SString& value);
  // Appends after the tag's last value; an absent tag is set.
  void appendTagValue(const char* tag, const SString& value);
  // setTagValue with "1" or "0".
  void setBoolTagValue(const char* tag, bool value);
  // In this order: JVM_HOME = jvmHome, JVM_FILE = jvmFile, JVM_TEMP = "1" or
  // "0". Used on a JVM description file just before it is written out for a
  // found or installed JVM; jvmFile is the path about to be written. Throws
  // LauncherException, setting nothing, when jvmHome or jvmFile holds a line
  // feed or carriage return (written out, it would inject tags).
  void setDynamicJVMTags(const SString& jvmHome, const SString& jvmFile, bool temporary);

  // Creates or truncates the named file and writes every tag that has
  // values, in order: "NAME:  value" for one value; for more, "NAME:", one
  // line "  value" per value and "/:". A value is written bare when it is
  // not empty, neither begins nor ends with a character of whitespaceChars
  // and holds no double quote; otherwise its double quotes are doubled and
  // it is written between double quotes. Lines end with a line feed. When the
  // file cannot be created nothing is written and nothing is reported.
  //
  // Reading the file back gives the same tags, values and order, except:
  // empty values of multi-value tags are lost, a value "/:" of a multi-value
  // tag ends the block early, and line feeds or carriage returns inside
  // values do not survive.
  void write(const SString& fileName) const;
  // The text that write puts into the file.
  SString getText() const;

  // The tag's value list or null; the list stays owned by the TagFile.
  StringDeque* getValue(const char* tag) const;
  // Removes the tag's entry, with its values, if present.
  void removeValue(const char* tag);

  // All entries in order (for listings and tests); owned by the TagFile.
  const TagFileEntryPtrDeque& getEntries() const { return m_entries; }

  // Reads one line (readLineFromStream) into line and counts it. A line
  // longer than maxTagFileLineLength bytes is the syntax error "Line too
  // long." (an endless input, such as a device, must not take all memory).
  void readLine(FILE* file, SString& line);
  // Logs "Syntax error in <fileName> at line <lineNumber> ==> <message>"
  // with LOG_ERROR and throws it as a LauncherException.
  [[noreturn]] void logSyntaxError(const SString& message, const SString& fileName,
                                   long lineNumber) const;

 private:
  // The entry named tag, or null.
  TagFileEntry* findEntry(const char* tag) const;
  // Drops the entry named tag, if any, and adds a new one of that name at
  // the end that takes ownership of values.
  void replaceEntry(const char* tag, StringDeque* values);
  // Deletes entry, which is in m_entries, and closes the gap (the index is
  // left to the caller).
  void eraseEntry(const TagFileEntry* entry);
  // Reads the values of a block tag opened at line tagLine.
  void readBlock(FILE* file, const char* tag, long tagLine);

  TagFileEntryPtrDeque m_entries;
  // Every entry of m_entries by its key; the entries are owned there.
  TagIndex m_index;
  bool m_loaded;
  long m_lineNumber;
  SString m_name;
};

class TagFilePtrDE : public PtrDE<TagFile> {
 public:
  using PtrDE::PtrDE;
};
// Owns its tag files: erasing one or destroying the sequence deletes them.
class TagFilePtrDeque : public PtrDeque<TagFile, TagFilePtrDE> {};

#endif  // BV_TAGFILE_TAG_FILE_H_
