// The release file of a Java home: what the home states about itself
// without starting a JVM.
//
// A JDK or JRE (9 and later, and most builds of 8) carries a text file
// named "release" in its home, one KEY="value" per line:
//   JAVA_VERSION="25.0.3"
//   JAVA_RUNTIME_VERSION="25.0.3+9-LTS"
//   OS_NAME="Linux"
//   OS_ARCH="x86_64"
// Reading it costs a few microseconds where a JVM start costs tens of
// milliseconds, so a launcher that asks only what the file states can take
// its word instead of running the verification class. The file is only as
// good as the home: it is read only from a home that has passed the
// ownership check, and it is itself checked (root's or the user's, not
// writable by group or others) on the descriptor that is read.
#ifndef BV_JVM_RELEASE_FILE_H_
#define BV_JVM_RELEASE_FILE_H_

#include <map>
#include <string>

// The fields of a release file, by key, values without their quotes.
typedef std::map<std::string, std::string> ReleaseFields;

// The largest release file that is read (real ones hold 1 to 3 KiB).
const size_t kMostReleaseFileBytes = 64 * 1024;

// Reads home/release into fields. False, with fields empty and problem
// (when given) one English sentence, when the file is missing, cannot be
// read, is not a regular file, fails the ownership check, is larger than
// kMostReleaseFileBytes, or is not made of lines KEY=VALUE (KEY of
// letters, digits and "_"; VALUE in double quotes or bare; empty lines and
// lines beginning with "#" skipped) with each key once. A line break
// "\r\n" counts as "\n". A link named release is followed (packagers link
// it), and the file it leads to is the one checked.
bool readReleaseFile(const std::string& home, ReleaseFields& fields, std::string* problem = nullptr);

// The system properties that the fields state for certain, as a JVM of
// that home would print them:
//   java.version: JAVA_VERSION with the pre-release part of
//     JAVA_RUNTIME_VERSION ("26-ea" for "26" and "26-ea+5"), or JAVA_VERSION
//     as it is for 8 and earlier ("1.8.0_402"); not stated without
//     JAVA_RUNTIME_VERSION (a jlink image has JAVA_VERSION only);
//   java.specification.version: the feature number ("25"), "1.x" for 8 and
//     earlier, from JAVA_VERSION alone;
//   os.name: "Linux" for OS_NAME "Linux", "Mac OS X" for "Darwin";
//   os.arch: OS_ARCH as the JVM of that system spells it ("amd64" for
//     Linux "x86_64", "aarch64", ...).
// A property whose field is missing, malformed, inconsistent (a
// JAVA_RUNTIME_VERSION that does not begin with JAVA_VERSION) or not known
// to map one to one (Windows' os.name names the release of Windows) is
// left out: the caller then asks the JVM.
std::map<std::string, std::string> releaseProperties(const ReleaseFields& fields);

#endif  // BV_JVM_RELEASE_FILE_H_
