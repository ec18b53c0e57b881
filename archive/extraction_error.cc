#include "archive/extraction_error.h"

#include "platform/write_error.h"

WriteErrorException fileWriteError(int errorNumber) { return WriteErrorException(errorNumber); }
