#include "archive/extraction_error.h"

#include <cstdio>

#include "platform/platform_impl.h"

LauncherException fileWriteError(int errorNumber) {
  SString text = PlatformImpl::getMessageText(MSG_FILE_WRITE_ERROR);
  if (errorNumber != 0) {
    char number[16];
    snprintf(number, sizeof number, "%d", errorNumber);
    text.append(number);
  }
  text.append(PlatformImpl::getMessageText(MSG_TEMP_SPACE_HINT));
  return LauncherException(text);
}
