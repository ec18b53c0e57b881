// The ahead-of-time cache that a bundled runtime carries.
//
// bvpack --train records, at pack time, what a run of the application
// loads and links, with the very runtime it bundles, and leaves the JVM's
// ahead-of-time cache (Java 24 and newer) inside that runtime's folder
// before the runtime is packed. The cache travels in the runtime's archive
// and is unpacked with it, so it is as good as the runtime's own bytes (the
// launcher file's digest covers them), and the launch passes it from the
// very first run: no recording, no archive to make on the user's machine.
//
// The JVM takes such a cache with the jars at another path than at pack
// time (the per-user jar folder) and the runtime at another place, as long
// as the class path names the same jars in the same order; measured on
// Java 25. A cache that it turns down (another class path, other heap or
// collector options) costs only the attempt to map it, and the options that
// come with it keep the JVM's warnings about it off the console.
#ifndef BV_JVM_CARRIED_AOT_CACHE_H_
#define BV_JVM_CARRIED_AOT_CACHE_H_

#include <string>
#include <vector>

// Where the cache lies inside a runtime's folder.
extern const char* const carriedAOTCachePath;
// The first Java that reads an ahead-of-time cache (-XX:AOTCache).
const int firstAOTCacheJava = 24;

// The options that pass home's carried cache to its JVM, of feature
// version feature: -XX:AOTCache=FILE and the options that keep the JVM
// quiet about it (-Xlog:cds*=off, and -Xlog:aot*=off from Java 25 on).
// Empty when the Java is older than firstAOTCacheJava, the home carries no
// cache (a regular file), the cache fails the ownership check
// (PlatformImpl::isTrustedFile: the JVM would run the classes in it), or its
// path holds a character that the JVM's option parser would split at (','
// ':' or a blank).
std::vector<std::string> carriedAOTCacheOptions(const std::string& home, int feature);

#endif  // BV_JVM_CARRIED_AOT_CACHE_H_
