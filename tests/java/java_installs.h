// The Java installations of the test machine, for tests that run real JVMs.
#ifndef BV_TESTS_JAVA_JAVA_INSTALLS_H_
#define BV_TESTS_JAVA_JAVA_INSTALLS_H_

#include <string>
#include <vector>

namespace bvtest {

// Java executables, each JVM once (compared by real path), in this order:
// `java` found on PATH, $JAVA_HOME/bin/java, then <dir>/bin/java for every
// directory under /usr/lib/jvm in name order. The paths are returned as found
// (not resolved), ready to be put in double quotes on a shell command line.
// Empty when the machine has no Java.
std::vector<std::string> findJavaExecutables();

// The first of findJavaExecutables() (normally the one on PATH), or "".
std::string findJava();

// The JVM home of a Java executable: its real path without "/bin/java".
std::string javaHomeOf(const std::string& javaExecutable);

// Paths of the jars that the build writes into BV_BINARY_DIR/java.
std::string javaBuildPath(const std::string& name);

}  // namespace bvtest

#endif  // BV_TESTS_JAVA_JAVA_INSTALLS_H_
