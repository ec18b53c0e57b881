#include "archive/extraction_error.h"

#include "platform/write_error.h"

LauncherException fileWriteError(int errorNumber) { return LauncherException(writeErrorText(errorNumber)); }
