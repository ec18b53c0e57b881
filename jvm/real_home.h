// The real JVM home of a candidate: the folder that its Java executable
// really lies in, every symbolic link resolved.
//
// A home found through a link (/usr/bin/java -> /etc/alternatives/java ->
// /usr/lib/jvm/java-17-openjdk-amd64/bin/java gives the candidate "/usr/",
// ~/bin/java -> a JDK's bin/java gives "/home/u/") would otherwise become
// JAVA_HOME and JVM_HOME although it holds no JVM.
#ifndef BV_JVM_REAL_HOME_H_
#define BV_JVM_REAL_HOME_H_

#include "foundation/sstring.h"

// The real path of home + "/" + jvmExe with jvmExe's components cut off its
// end ("/usr/lib/jvm/java-17-openjdk-amd64" for the example above; "/" when
// nothing is left). home as it is when the executable cannot be resolved,
// when jvmExe holds "..", or when the resolved path does not end with
// jvmExe's components.
SString realJVMHome(const SString& home, const SString& jvmExe);

#endif  // BV_JVM_REAL_HOME_H_
