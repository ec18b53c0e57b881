// What a run that found no suitable JVM tells its user: what the program
// needs, and where the author says a JVM can be had.
#ifndef BV_JVM_JAVA_NEEDS_H_
#define BV_JVM_JAVA_NEEDS_H_

#include <vector>

#include "foundation/sstring.h"

class JVMFiles;

// "DOWNLOAD_URL": the page where a JVM that the file accepts can be had
// (an http or https address).
extern const char* downloadUrlTagName;

struct JavaNeeds {
  // The DESC of each JVM file meant for this system, each text once, in
  // file order, separated by ", "; empty when none has one.
  SString description;
  // The first DOWNLOAD_URL (value 0) of those files, then of the others,
  // that is a web page address (isWebPageUrl); empty when none is.
  SString downloadUrl;
  // One line for each DOWNLOAD_URL that was passed over: not such an
  // address.
  std::vector<SString> warnings;
};

// A file is meant for another system when its PLATFORM names other
// systems (JVMFile::isForThisSystem), or when one of its JVM_PROPERTIES is an
// exact or prefix condition on os.name ("os.name=Mac OS X", "os.name=Win...")
// that the os.name of this system ("Linux", "Mac OS X", else the system's
// name) does not meet. When every file is meant for another system, all
// count.
JavaNeeds javaNeedsOf(const JVMFiles& files);

// The os.name that a JVM reports on this system.
SString thisSystemOsName();

#endif  // BV_JVM_JAVA_NEEDS_H_
