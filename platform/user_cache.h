// The user's cache folder, checked: the one place that decides where a
// per-user cache (the verification cache, and any other cache of the
// launcher) may be read and written.
//
// The folder is $XDG_CACHE_HOME/<name> when XDG_CACHE_HOME is an absolute
// path, else $HOME/.cache/<name> (HOME when absolute, else the home folder
// of the effective user's password entry). It is used only when nobody but
// the effective user can change it or anything on the way to it:
//   - the base folder (HOME, or XDG_CACHE_HOME; when XDG_CACHE_HOME does not
//     exist yet, the folder it would be made in) exists, belongs to the
//     effective user, is not writable by group or others, and passes the
//     ownership check of every folder above it (PlatformImpl::isTrustedFile);
//     so root running with another user's HOME (sudo -E, su without -) has
//     no cache there and makes nothing in it;
//   - every folder below the base (.cache, each component of name) belongs
//     to the effective user and is not writable by group or others; the
//     last one is not a symbolic link, a folder on the way may be one that
//     the user owns.
// Each folder is checked before the next one is made; missing ones are
// made 0700 only when create is set. No file is touched.
#ifndef BV_PLATFORM_USER_CACHE_H_
#define BV_PLATFORM_USER_CACHE_H_

#include <string>

// The checked folder for name (one or more components separated by "/",
// such as "bvlauncher"), or "" when there is none that may be used (or, with
// create unset, when it does not exist yet).
std::string userCacheFolder(const std::string& name, bool create);

#endif  // BV_PLATFORM_USER_CACHE_H_
