// Moving one block of bytes from one open file to another.
//
// Extraction copies in pieces of whole MiBs so that it can report progress
// and honour a cancel request between them; the pieces are large and their
// ends aligned in the target, which lets the kernel copy at the speed of cp.
// The progress display still counts blocks of extractionBlockSize bytes. Where the system offers it, the kernel moves
// the bytes of a block from file to file (copy_file_range on Linux), which
// saves the round trip through a user buffer; elsewhere, or when the kernel
// declines for these two files, a read into the caller's buffer and a write
// do the same.
#ifndef BV_ARCHIVE_BLOCK_COPY_H_
#define BV_ARCHIVE_BLOCK_COPY_H_

#include "archive/payload_digest.h"

enum BlockCopyStatus {
  BLOCK_COPIED = 0,        // all count bytes were written
  BLOCK_READ_FAILED = 1,   // the input ended early (errno 0) or failed (errno)
  BLOCK_WRITE_FAILED = 2   // the output failed; errno tells why
};

// Copies count bytes of the file in, starting at inOffset, to the file out
// at its current offset (which advances). buffer must hold count bytes; it
// is used only when the kernel cannot move the bytes itself. Neither file's
// other state changes: in is read at explicit offsets. EINTR is retried.
// On failure, bytes moved before it stay written.
BlockCopyStatus copyBlock(int in, long inOffset, int out, char* buffer, long count);

// The same through the buffer always, each piece read given to check
// before it is written: the bytes checked are the bytes written.
BlockCopyStatus copyBlockChecked(int in, long inOffset, int out, char* buffer, long count,
                                 DigestCheck& check);

// The bytes that extraction moves per piece: whole MiBs.
const long extractionPieceSize = 2L << 20;

// The progress steps that a copy of length bytes has made once copied bytes
// are done: one per whole block of extractionBlockSize bytes, and at the
// end one for a last partial block. So a copy in pieces moves the display
// as far as one in blocks, ceil(length / extractionBlockSize) steps in all.
// REQUIRES: 0 <= copied <= length.
long extractionSteps(long copied, long length);

#endif  // BV_ARCHIVE_BLOCK_COPY_H_
