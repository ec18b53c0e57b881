#include "platform/write_error.h"

#include <errno.h>
#include <string.h>

#include <cstdio>

#include "platform/platform_impl.h"

SString writeErrorText(int error, const SString& path) {
  SString text = PlatformImpl::getMessageText(MSG_FILE_WRITE_ERROR);
  if (error == 0) {
    if (!path.empty()) text.append(path).append(":");
    return text.append(PlatformImpl::getMessageText(MSG_TEMP_SPACE_HINT));
  }
  char number[16];
  snprintf(number, sizeof number, "%d", error);
  text.append(number).append(" (").append(strerror(error)).append(")");
  if (!path.empty()) text.append(": ").append(path);
  if (isNoRoomError(error)) text.append(PlatformImpl::getMessageText(MSG_TEMP_SPACE_HINT));
  return text;
}

bool isNoRoomError(int error) {
#ifdef EDQUOT
  if (error == EDQUOT) return true;
#endif
  return error == ENOSPC || error == 0;
}

// Thrown also when the process has no descriptor left (the unpacking keeps
// fewer files open then): the sanitizers' type check of the new object
// needs a descriptor of its own to look at its memory and reports a sound
// object as broken, so it is left out here.
#if defined(__GNUC__)
__attribute__((no_sanitize("vptr")))
#endif
WriteErrorException::WriteErrorException(int error, const SString& path)
    : LauncherException(writeErrorText(error, path)), m_error(error) {}

WriteErrorException::~WriteErrorException() {}
