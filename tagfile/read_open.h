// Opening a file for reading without waiting.
//
// An ordinary open of a FIFO for reading waits until some process opens it
// for writing, and the launcher's signal handlers only note a cancel, so a
// FIFO planted under a name the launcher reads would hold it for good. The
// file is opened with O_NONBLOCK and then switched back to ordinary reads: a
// FIFO without a writer reads as empty, a pipe with one (a process
// substitution) is read as usual.
#ifndef BV_TAGFILE_READ_OPEN_H_
#define BV_TAGFILE_READ_OPEN_H_

#include <cstdio>

#include "foundation/sstring.h"

// The file opened for reading ("r", close-on-exec), or null with errno set
// when it cannot be opened. When regular is given, it is set to whether the
// file is a regular file.
FILE* openForReading(const SString& fileName, bool* regular = nullptr);

#endif  // BV_TAGFILE_READ_OPEN_H_
