// FileFindListener: the callback through which the disk scan reports the
// files it finds (FindFiles, platform/file_navigator.h). JVMFiles implements
// it to check every Java executable found.
#ifndef BV_PLATFORM_FILE_FIND_LISTENER_H_
#define BV_PLATFORM_FILE_FIND_LISTENER_H_

#include "foundation/sstring.h"

class FileFindListener {
 public:
  // Called synchronously from the walk for every matching path. Returning
  // true stops the whole scan.
  virtual bool foundFile(const SString& path) = 0;

 protected:
  // Listeners are never deleted through this interface.
  ~FileFindListener() {}
};

#endif  // BV_PLATFORM_FILE_FIND_LISTENER_H_
