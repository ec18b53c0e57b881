// The user's cache folder of the launcher, checked: where the verification
// cache (jvm/verify_cache.h) and the unpacked runtimes and jars
// (platform/cache_store.h) live.
//
// The folder is $XDG_CACHE_HOME/bvlauncher when XDG_CACHE_HOME is an
// absolute path, else $HOME/.cache/bvlauncher (HOME from the environment,
// else the user's entry in the password database). It is used only when:
//   - the base folder (XDG_CACHE_HOME, or HOME) exists and belongs to the
//     effective user: a cache is never made or used under another user's
//     folder (a program run with sudo that kept the caller's HOME);
//   - every folder from the base down to bvlauncher belongs to the user and
//     is not writable by group or others (~/.cache may be a link to such a
//     folder), and bvlauncher itself is a folder, not a symbolic link.
// Missing folders are made 0700 when asked to; a missing base only under a
// folder of the user's own.
#ifndef BV_PLATFORM_USER_CACHE_H_
#define BV_PLATFORM_USER_CACHE_H_

#include <string>

// The checked folder, without a trailing "/", or "" when there is no
// usable one; reason then says why in one English sentence (when not null).
// create makes the missing folders below the base first.
std::string userCacheFolder(bool create, std::string* reason = nullptr);

#endif  // BV_PLATFORM_USER_CACHE_H_
