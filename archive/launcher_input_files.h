// LauncherInputFiles: the set of input files of one run.
//
// It reads the launcher's own file once: the 9-byte trailer, the file index
// (FileIndexEntry objects, in index order) and, on request, the embedded tag
// files. It owns the index entries for the whole run; operations address an
// entry by its position in the index or by its file id. The script objects
// made from the tag files belong to the launcher (launcher/payload_scripts.h).
//
// One instance per run, part of the run's state.
#ifndef BV_ARCHIVE_LAUNCHER_INPUT_FILES_H_
#define BV_ARCHIVE_LAUNCHER_INPUT_FILES_H_

#include <cstdio>

#include "archive/file_index_entry.h"
#include "archive/payload_digest.h"
#include "foundation/sstring.h"
#include "tagfile/tag_file.h"

// Tags of the input file that extractAll writes (and that an input file
// may hold).
extern const char* actionTagName;        // "ACTION"
extern const char* instructionsTagName;  // "INSTRUCTIONS"
extern const char* launchScriptTagName;  // "LAUNCHSCRIPT"
extern const char* jvmTagName;           // "JVM"
// The value of ACTION in the input file that extractAll writes.
extern const char* runInstructionsActionName;  // "RUN_INSTRUCTIONS"
// The name of the input file that extractAll writes.
extern const char* extractedInputFileName;  // "input.tag"

class LauncherInputFiles {
 public:
  // Empty index, nothing loaded.
  LauncherInputFiles()
      : m_internalFilesLoaded(false), m_payloadFound(false), m_cachedClasspathKnown(false) {}
  LauncherInputFiles(const LauncherInputFiles&) = delete;
  LauncherInputFiles& operator=(const LauncherInputFiles&) = delete;

  // Reads the launcher file, that is the running executable
  // (launcherFile), once; later calls return at once. A file whose last
  // four bytes are not CA 82 CA 82 carries no archive: nothing is loaded
  // and that is no error, as long as the file is the bare executable image
  // (executable_image.h); otherwise it is a launcher cut short. With a
  // trailer: reads the digest block, if any, and checks the index digest
  // (payload_digest.h), then reads the index (a count below 0 is a damaged
  // file), which must end where the digest block begins when there is one
  // (without one, bytes after the index are ignored), and gives each
  // entry its digest (an entry's bytes are checked when they are used:
  // FileIndexEntry::loadTagFile, extract, check, digestCheck); logs one
  // LOG_INFO listing per entry ("file type: ", "  file id: ", "  length: ",
  // "  offset: ", "  file name: ", one per line) and, when parseTagFiles is
  // true, loadTagFiles. Throws DamagedLauncherException for a file that is
  // not whole, and
  // LauncherException "Cannot open launcher file.", "Invalid launcher
  // format." (shorter than 8 bytes), "Unable to read file index offset.",
  // "Unable to read launcher identification value." and the errors of
  // loadFileIndex and loadTagFiles; the set then counts as not loaded, and
  // the entries read before the error stay.
  void load(const SString& launcherFile, bool parseTagFiles);

  // Reads the index at indexOffset: the file count, then as many entries
  // (none for a count of 0 or below), appended to the index; returns the
  // count. Throws "Invalid file index offset." when the seek fails,
  // "Unable to read the file count." and the errors of
  // FileIndexEntry::load.
  long loadFileIndex(FILE* file, long indexOffset);

  // Parses the embedded tag files (the entries of types 0, 1 and 2) in
  // index order from the open launcher file; each entry keeps its tag file.
  // A syntax error propagates.
  void loadTagFiles(FILE* file);

  // Checks every entry's bytes that have a digest (DamagedLauncherException
  // before anything is written), then extracts every entry, in index
  // order, into the current directory, then
  // writes "input.tag" there: ACTION = RUN_INSTRUCTIONS, INSTRUCTIONS and
  // LAUNCHSCRIPT = the names of the first entries of types 0 and 2 (the
  // ones a run uses), JVM = the names of the type-1 entries in order.
  // Stops at the first failing entry (the errors of FileIndexEntry::extract)
  // and then writes no input.tag. An input.tag that cannot be created fails
  // like an extraction target: MSG_FILE_WRITE_ERROR text, errno,
  // MSG_TEMP_SPACE_HINT text.
  void extractAll() const;

  // The entry at position, or null when position is negative or not below
  // the entry count. The entry stays owned by the set.
  FileIndexEntry* getFileAt(long position) const;
  // The first entry in index order with this file id, or null.
  FileIndexEntry* getFile(long fileId) const;
  long getEmbeddedFileCount() const { return m_fileIndex.size(); }

  // The folder that holds the classpath archives marked for the cache
  // (flag byte 2): their entry "jars-<digest>" in the user's cache folder
  // (archive/cached_entries.h), unpacked on the first call of a run when it
  // is missing. It is the same path on every run of the same jars, which is
  // what class-data sharing and the like can key on. "" when no archive is
  // marked or no cache folder can be used; %CP% then extracts them into the
  // run's temporary folder like the others. Throws the errors of
  // FileIndexEntry::extract and of the cache (a write error).
  const SString& getCachedClasspathFolder() const;

  // The folder into which the application folder entry (the first
  // FILE_APPLICATION_FOLDER) is unpacked: its entry "app-<digest>" in the
  // user's cache folder (archive/cached_entries.h), unpacked on the first
  // call of a run when it is missing, else a new folder of the run's
  // temporary folder. "" when the payload carries none. Throws the errors
  // of the unpacking (archive/runtime_archive.h) and of the cache.
  const SString& getApplicationFolder() const;

  bool areInternalFilesLoaded() const { return m_internalFilesLoaded; }
  // Whether load found the trailer: the launcher file carries a payload.
  bool hasPayload() const { return m_payloadFound; }

  // Reads the trailer of an open launcher file. Returns false when the file
  // carries no archive (its last four bytes are not CA 82 CA 82); otherwise
  // sets indexOffset and returns true. Throws the trailer errors of load.
  static bool readTrailer(FILE* file, long& indexOffset);

  // After loadFileIndex: throws DamagedLauncherException unless the index
  // ended at expectedEnd, where the digest block begins.
  static void checkIndexEnd(FILE* file, long expectedEnd);

 private:
  // Writes the listing of one entry to the launcher log.
  static void logEntry(const FileIndexEntry& entry);
  // The size of the open file.
  static long fileSize(FILE* file);
  // Gives every entry its digest; the counts must agree.
  void assignDigests(const PayloadDigests& digests);
  // For a file without a trailer: throws DamagedLauncherException unless it
  // is the bare executable image (or not one that executableImageEnd knows).
  static void checkNoPayload(FILE* file);

  FileIndexEntryPtrDeque m_fileIndex;
  SString m_launcherFile;
  bool m_internalFilesLoaded;
  bool m_payloadFound;
  // Worked out on the first call of a run (getCachedClasspathFolder).
  mutable SString m_cachedClasspathFolder;
  mutable bool m_cachedClasspathKnown;
  // Worked out on the first call of a run (getApplicationFolder).
  mutable SString m_applicationFolder;
  mutable bool m_applicationFolderKnown = false;
};

#endif  // BV_ARCHIVE_LAUNCHER_INPUT_FILES_H_
