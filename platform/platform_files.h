// Helpers of the disk checks shared with their tests.
#ifndef BV_PLATFORM_PLATFORM_FILES_H_
#define BV_PLATFORM_PLATFORM_FILES_H_

// The bytes that size bytes in fileCount files take on a file system with
// the given block size: whole blocks, plus one partial block for a single
// file whose size is not a multiple of the block size, or one partial block
// per file when there are several. REQUIRES: blockSize > 0.
double neededDiskSpace(long size, long fileCount, unsigned long blockSize);

#endif  // BV_PLATFORM_PLATFORM_FILES_H_
