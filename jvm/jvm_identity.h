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

// Lines "name dev ino size mtime ctime" (times to the nanosecond; "name -"
// for a file that cannot be stat'ed) for the resolved executable and for
// the files that make the JVM below home (lib/modules, lib/server/libjvm.so,
// lib/rt.jar, ...: present or absent, for the JDK layouts in use).
std::string jvmIdentity(const std::string& exe, const std::string& home);

// jvmIdentity as 16 lower-case hex digits (64-bit FNV-1a).
std::string jvmIdentityDigest(const std::string& exe, const std::string& home);

// One such line for the file at path, under name.
std::string fileIdentityLine(const std::string& name, const std::string& path);

#endif  // BV_JVM_JVM_IDENTITY_H_
