// The user's cache folder of the launcher, checked: the one place that
// decides where a per-user cache may be read and written (the verification
// cache, jvm/verify_cache.h; the unpacked runtimes and jars,
// platform/cache_store.h).
//
// The folder is $XDG_CACHE_HOME/bvlauncher when XDG_CACHE_HOME is an
// absolute path, else $HOME/.cache/bvlauncher (HOME when absolute, else the
// home folder of the effective user's password entry). It is used only when
// nobody but the effective user can change it or anything on the way to it:
//   - the base folder (HOME, or XDG_CACHE_HOME; when XDG_CACHE_HOME does not
//     exist yet, the deepest folder above it that exists) belongs to the
//     effective user, is not writable by group or others, and passes the
//     ownership check of every folder above it (PlatformImpl::isTrustedFile);
//     so root running with another user's HOME (sudo -E, su without -) has
//     no cache there and makes nothing in it;
//   - every folder below the base (.cache, the missing part of
//     XDG_CACHE_HOME, bvlauncher) belongs to the effective user and is not
//     writable by group or others; bvlauncher itself is not a symbolic link,
//     a folder on the way may be a link that the user owns (a ~/.cache kept
//     elsewhere) to such a folder.
// Each folder is checked before the next one is made; missing ones are made
// 0700 only when create is set. No file is touched.
#ifndef BV_PLATFORM_USER_CACHE_H_
#define BV_PLATFORM_USER_CACHE_H_

#include <string>

// The checked folder, without a trailing "/", or "" when there is no usable
// one (or, with create unset, when it does not exist yet); reason then says
// why in one English sentence (when not null).
std::string userCacheFolder(bool create, std::string* reason = nullptr);

#endif  // BV_PLATFORM_USER_CACHE_H_
