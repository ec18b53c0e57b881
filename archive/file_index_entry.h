// FileIndexEntry: one entry of the launcher archive's file index, and the
// extraction of its embedded file.
//
// An entry describes where an embedded file's bytes lie in the launcher file
// (offset and length), what it is (FileType), the id its builder chose, and
// the name it gets when written out. A tag-file entry (types 0 to 2) may also
// own the parsed TagFile. The embedded bytes themselves stay in the launcher
// file until extract() copies them.
#ifndef BV_ARCHIVE_FILE_INDEX_ENTRY_H_
#define BV_ARCHIVE_FILE_INDEX_ENTRY_H_

#include <sys/types.h>

#include <cstdio>
#include <string>

#include "archive/archive_format.h"
#include "archive/payload_digest.h"
#include "foundation/deque.h"
#include "foundation/sstring.h"

class LauncherException;
class TagFile;

class FileIndexEntry {
 public:
  // Not loaded: type 0, id -1, length and offset 0, empty name, not
  // compressed, no tag file.
  FileIndexEntry();
  // Deletes the tag file, if any.
  ~FileIndexEntry();
  FileIndexEntry(const FileIndexEntry&) = delete;
  FileIndexEntry& operator=(const FileIndexEntry&) = delete;

  // Reads one entry at the file's current position (layout in
  // archive/archive_format.h). Throws LauncherException:
  //   "Invalid file type in file index."  type byte missing or above 8
  //   "Unable to load file id.", "Unable to load file length.",
  //   "Unable to load offset to file bytes.", "Unable to load the string
  //   value." (name length or name bytes missing), "Unable to load
  //   decompressed file count.", "Unable to load decompressed size."
  //   "Invalid file name length in file index."  negative name length
  //   "Invalid file name in file index."  a name that is empty, ".", "..",
  //     or holds a "/" or a line feed (it would not name a file of the
  //     target directory)
  // The name field is read as exactly its n bytes; the name is the text up
  // to the first NUL among them.
  void load(FILE* file);

  // For a tag-file entry: parses the embedded tag file from the open
  // launcher file (named after the entry, lines counted from its first
  // line) and keeps it; a tag file loaded before is replaced. Other types:
  // nothing. Bytes with a digest are checked first (check). Throws
  // "Embedded file <name> lies outside the launcher file." when its bytes
  // would not all lie in the file, DamagedLauncherException, else the
  // errors of TagFile::load.
  void loadTagFile(FILE* file);

  // Copies the embedded bytes into directory (a separator is added when it
  // lacks one; empty means the current directory) under the entry's name,
  // replacing any file there, and returns the target path. Installer and
  // launcher entries (types 4 and 7) are made executable. Checks free space
  // first (length + decompressed size, 1 + decompressed count files when
  // compressed); copies in pieces of extractionPieceSize bytes, advancing
  // the progress display one step per extractionBlockSize bytes
  // (extractionSteps) and stopping after the piece in which a cancel is
  // requested. Throws LauncherException:
  //   not enough room: MSG_FILE_WRITE_ERROR text + MSG_TEMP_SPACE_HINT text
  //   target not creatable, short write: MSG_FILE_WRITE_ERROR text + errno
  //     in decimal + MSG_TEMP_SPACE_HINT text
  //   canceled: MSG_CANCELED text
  //   "Cannot open launcher file." when the launcher file cannot be opened
  //   "Embedded file <name> lies outside the launcher file." when its bytes
  //     would run past the end (checked before the target is created)
  //   "Embedded file <name> would replace the launcher file." when the
  //     target is the launcher file itself
  //   "Unable to read embedded file <name> from the launcher file." on a
  //     read error
  //   "Cannot run <path>: programs cannot be run from <directory> ..."
  //     (naming -bv:tempdir) when an installer or launcher cannot be run
  //     where it was written (a file system mounted noexec)
  // An entry whose bytes have a digest and were not checked yet in this
  // file (isCheckedIn) is checked as it is copied, the bytes going through a
  // buffer; when they differ it throws DamagedLauncherException and no
  // target is left. Once checked, later copies let the kernel move them.
  // A target that an error or a cancel left partly written stays.
  SString extract(const SString& directory) const;

  // The digest that the file's digest block records for the entry's bytes
  // (digestSize bytes), or empty when the file has no digest block.
  const std::string& getDigest() const { return m_digest; }
  void setDigest(const std::string& digest) { m_digest = digest; }
  // Whether the bytes need no more checking in the open launcher file fd:
  // they have no digest, or they were checked in this same file (device and
  // inode; a file in use as a running program cannot be written, so its
  // bytes are still the ones checked).
  bool isCheckedIn(int fd) const;
  // Records that the bytes were checked in the open launcher file fd.
  void markChecked(int fd) const;
  // Checks the entry's bytes in the open launcher file fd against the
  // digest now, unless isCheckedIn(fd). Throws DamagedLauncherException.
  void check(int fd) const;
  // A check of the entry's bytes for a reader that reads them itself, from
  // the first to the last (DigestCheck in payload_digest.h; nothing is
  // checked without a digest); after its finish, call markChecked.
  DigestCheck digestCheck() const;

  long getFileType() const { return m_fileType; }
  long getFileId() const { return m_fileId; }
  long getFileLength() const { return m_fileLength; }
  long getOffsetToBytes() const { return m_offsetToBytes; }
  SString getFileName() const { return m_fileName; }
  // The parsed tag file, owned by the entry, or null (always null for other
  // types, and for a tag-file entry whose tags were not loaded).
  TagFile* getTagFile() const { return m_tagFile; }
  // The launcher file that holds the entry's bytes (the running
  // executable), which extract() reads; set by LauncherInputFiles.
  const SString& getLauncherFile() const { return m_launcherFile; }
  void setLauncherFile(const SString& path) { m_launcherFile = path; }
  // True for types 0, 1 and 2.
  bool isTagFile() const;
  bool isCompressed() const { return m_compressed; }
  // A classpath archive that goes into the user's cache (flag byte 2,
  // archive/cached_entries.h).
  bool isMarkedForCache() const { return m_flag == cacheFlagValue; }
  // The flag byte as read (0 when the index ended before it).
  int getFlag() const { return m_flag; }
  long getDecompressedFileCount() const { return m_decompressedFileCount; }
  long getDecompressedSize() const { return m_decompressedSize; }

 private:
  // Whether offset and length name bytes of a file of fileSize bytes.
  bool liesWithin(long fileSize) const;
  // "Embedded file <name> lies outside the launcher file."
  LauncherException outsideError() const;

  long m_fileType;
  TagFile* m_tagFile;
  long m_fileId;
  long m_fileLength;
  long m_offsetToBytes;
  SString m_fileName;
  SString m_launcherFile;
  bool m_compressed;
  int m_flag;
  long m_decompressedFileCount;
  long m_decompressedSize;
  std::string m_digest;
  // The launcher file in which the bytes were checked: checked is false
  // until then.
  mutable bool m_checked;
  mutable dev_t m_checkedDevice;
  mutable ino_t m_checkedInode;
};

class FileIndexEntryPtrDE : public PtrDE<FileIndexEntry> {
 public:
  using PtrDE::PtrDE;
};
// The index entries in index order; owns them.
class FileIndexEntryPtrDeque : public PtrDeque<FileIndexEntry, FileIndexEntryPtrDE> {};

#endif  // BV_ARCHIVE_FILE_INDEX_ENTRY_H_
