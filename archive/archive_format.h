// Layout of the launcher archive: the bytes that bvpack appends to the
// executable image and that LauncherInputFiles reads back.
//
//   executable image   from byte 0
//   embedded files     raw bytes, each at the absolute offset its entry gives
//   file index         at the offset the trailer gives: a 4-byte file count,
//                      then the entries back to back, in index order
//   trailer            the last 9 bytes: purpose byte, 4-byte index offset,
//                      the identification bytes CA 82 CA 82
//
// Every integer is big-endian two's complement, whatever the host's byte
// order. Offsets and lengths are signed 32-bit, so a payload ends before
// byte 2^31. An index entry:
//
//   offset  size  field
//   0       1     file type (FileType, 0 to 8)
//   1       4     file id, chosen by whoever built the archive
//   5       4     file length
//   9       4     offset to the file's first byte
//   13      2     name length n (signed 16-bit)
//   15      n     file name, no terminator; no line feed, NUL or "/"
//   15 + n  1     compressed flag: 1 is compressed, any other value is not;
//                 2 also marks a classpath archive for the user's cache
//                 (archive/cached_entries.h)
//   16 + n  4     decompressed file count   } only when the flag is 1
//   20 + n  4     decompressed size (bytes) }
//
// The reader never looks at bytes that no entry or trailer field points to.
//
// Digest block. bvpack puts one between the index and the trailer, so that
// the launcher can tell a whole file from a damaged or cut-short one. A
// reader that knows no digest block reads the index as before and never
// looks at it; a file without one is read as before.
//
//   offset    size  field
//   0         4     block mark "BVDG"
//   4         1     digest algorithm: 1 is SHA-256 (32-byte digests)
//   5         4     stub length S: the executable image is bytes 0 to S - 1
//   9         32    digest of the executable image
//   41        32n   digest of each embedded file's bytes, in index order
//                   (n is the index's file count)
//   41 + 32n  32    index digest: of every byte from the index offset to
//                   the end of the file (index, this block, trailer), these
//                   32 bytes left out
//   73 + 32n  4     block size, 81 + 32n
//   77 + 32n  4     block mark "BVDG", right before the trailer
//
// The launcher finds the block from the end: when the 4 bytes before the
// trailer are the mark, the 4 before them give the size. It checks the
// index digest before it reads the index, and each embedded file before it
// uses it: a tag file before it parses it, any other file as it copies it
// out (extraction, unpacking), so that the bytes checked are the bytes
// used. The executable image has run before anything could check it; its
// digest is for tools (bvpack --list). Without the mark, the index must
// end right before the trailer.
#ifndef BV_ARCHIVE_ARCHIVE_FORMAT_H_
#define BV_ARCHIVE_ARCHIVE_FORMAT_H_

// The kind of an embedded file: the type byte of its index entry.
enum FileType {
  FILE_INSTRUCTIONS = 0,         // instruction script (tag file)
  FILE_JVM = 1,                  // JVM description file (tag file)
  FILE_LAUNCH_SCRIPT = 2,        // launch script (tag file)
  FILE_CLASSPATH_JAR = 3,        // archive for the application classpath
  FILE_JVM_INSTALLER = 4,        // JVM installer program (made executable)
  FILE_VERIFY_JAR = 5,           // archive holding the JVM verification class
  FILE_APPLICATION_ARCHIVE = 6,  // the application archive
  FILE_EMBEDDED_LAUNCHER = 7,    // another launcher program (made executable)
  FILE_JAVA_RUNTIME = 8,         // a Java runtime image (archive/runtime_archive.h)
  FILE_APPLICATION_FOLDER = 9    // a folder of the application, in the runtime entry's layout
};
const int fileTypeCount = 10;

// Trailer, counted back from the end of the file.
const long trailerSize = 9;
const long trailerPurposeFromEnd = 9;         // 1 byte, unsigned
const long trailerIndexOffsetFromEnd = 8;     // 4 bytes, signed
const long trailerIdentificationFromEnd = 4;  // 4 bytes
const unsigned char launcherIdentificationBytes[4] = {0xCA, 0x82, 0xCA, 0x82};
// The identification bytes read as a signed 32-bit value.
const long launcherIdentificationValue = -897398142L;

// File index.
const long indexFileCountSize = 4;

// Index entry field sizes.
const long entryTypeSize = 1;
const long entryIdSize = 4;
const long entryLengthSize = 4;
const long entryOffsetSize = 4;
const long entryNameLengthSize = 2;
const long entryCompressedFlagSize = 1;
const long entryDecompressedCountSize = 4;
const long entryDecompressedSizeSize = 4;
// An entry takes entryFixedSize + n bytes, plus entryCompressedExtraSize
// when its flag is compressedFlagValue.
const long entryFixedSize = 16;
const long entryCompressedExtraSize = 8;
const int compressedFlagValue = 1;
// The flag byte of a classpath archive that the launcher unpacks once into
// the user's cache instead of into the run's temporary folder.
const int cacheFlagValue = 2;

// Digest block.
const unsigned char digestBlockMark[4] = {'B', 'V', 'D', 'G'};
const int digestAlgorithmSha256 = 1;
const long digestSize = 32;
// The block's size without the entry digests: marks, algorithm, stub
// length, stub and index digests, block size.
const long digestBlockFixedSize = 81;
const long digestBlockStubDigestOffset = 9;
const long digestBlockEntryDigestsOffset = 41;
// Counted back from the start of the trailer.
const long digestBlockSizeFromTrailer = 8;
const long digestBlockIndexDigestFromTrailer = 40;

// Largest offset, length, id or count that the 32-bit fields hold.
const long maxArchiveValue = 2147483647L;
// Longest file name that the 16-bit name length holds.
const long maxEntryNameLength = 32767;

// The block of extraction's progress display (hexadecimal EFFF): one step
// per block copied (the copy itself moves larger pieces, block_copy.h).
const long extractionBlockSize = 61439;

#endif  // BV_ARCHIVE_ARCHIVE_FORMAT_H_
