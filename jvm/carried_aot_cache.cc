#include "jvm/carried_aot_cache.h"

#include <sys/stat.h>

#include "platform/platform_impl.h"

const char* const carriedAOTCachePath = "lib/bvlauncher-app.aot";

std::vector<std::string> carriedAOTCacheOptions(const std::string& home, int feature) {
  if (feature < firstAOTCacheJava || home.empty()) return {};
  std::string cache = home + (home.back() == '/' ? "" : "/") + carriedAOTCachePath;
  if (cache.find_first_of(",: \t\n") != std::string::npos) return {};
  struct stat st;
  if (stat(cache.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  // The JVM takes the classes of the cache as they are: a cache that
  // someone else could have put or changed is never given to it.
  SString distrust;
  if (!PlatformImpl::isTrustedFile(SString(cache.c_str()), distrust)) return {};
  std::vector<std::string> options = {"-XX:AOTCache=" + cache, "-Xlog:cds*=off"};
  if (feature >= 25) options.push_back("-Xlog:aot*=off");
  return options;
}
