// Stand-in until the console UI lands: the three UI operations that the
// platform services call, as weak definitions that the real ones replace.
#include "platform/messages.h"
#include "platform/platform_impl.h"

#include <cstdio>

__attribute__((weak)) void PlatformImpl::advanceUIProgress(long) {}

__attribute__((weak)) bool PlatformImpl::isCanceled() { return false; }

__attribute__((weak)) char* get_msg(int, void* arg) {
  char* text = new char[kMessageBufferSize]();
  snprintf(text, kMessageBufferSize,
           "Cannot use %s as the temp directory because it does not exist. Please run the "
           "program again using the option -bv:tempdir <temp dir> to specify a different "
           "directory to use.",
           static_cast<const char*>(arg));
  return text;
}
