// Why a launcher file carries no payload.
//
// A launcher file whose last bytes are not the trailer holds nothing to run.
// That is either the launcher program alone (never packed) or a launcher
// whose end is missing or damaged, most often a download or copy that was
// cut short. The two are told apart by the program's own size, which an ELF
// header gives: the section header table is the last part of the program
// image that the linker writes, stripped or not.
#ifndef BV_ARCHIVE_MISSING_PAYLOAD_H_
#define BV_ARCHIVE_MISSING_PAYLOAD_H_

#include "foundation/sstring.h"

// The size of the program image at the start of the file, from its ELF
// header (32 or 64 bits, either byte order): the end of its section header
// table. -1 when the file is no ELF file or the header cannot be read.
long programImageSize(const SString& path);

// The error for a launcher file without a trailer, in English, naming path:
// "... is the launcher program alone ..." when the file is exactly the
// program image, otherwise that the file is cut short or damaged and should
// be got again.
SString missingPayloadMessage(const SString& path);

#endif  // BV_ARCHIVE_MISSING_PAYLOAD_H_
