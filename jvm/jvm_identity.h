// The identity of a Java installation: what must stay the same for a
// stored answer about it to hold (the verification cache, the class-data
// archives).
#ifndef BV_JVM_JVM_IDENTITY_H_
#define BV_JVM_JVM_IDENTITY_H_

#include <string>

// The resolved executable (realpath of exePath) and the home that it lies
// in: the resolved executable less one folder per component of jvmExe
// ("bin/java" takes two). False when the executable cannot be resolved or
// has fewer folders than that.
bool resolveJVMExecutable(const std::string& exePath, const std::string& jvmExe, std::string& exe,
                          std::string& home);

// The identity of the JVM of the resolved executable exe in home, as text:
// device, inode, size and modification and change times (nanoseconds) of
// exe and of home's release file, and the same of every entry of the
// folders that hold what the JVM needs to start (bin/, lib/ and, for the
// older layout, jre/bin/ and jre/lib/, four levels deep: lib/libjli.so,
// lib/server/libjvm.so, lib/modules, rt.jar, ...; a link with what it leads
// to), as a digest per folder. A file that appears, goes or changes there
// changes it. False when those folders hold more than 20000 entries (such a
// JVM has no identity that is cheap to check).
bool jvmIdentity(const std::string& exe, const std::string& home, std::string& identity);

// The identity as 16 lower-case hex digits (64-bit FNV-1a), or "" when
// there is none.
std::string jvmIdentityDigest(const std::string& identity);

#endif  // BV_JVM_JVM_IDENTITY_H_
