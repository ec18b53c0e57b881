// The user's private cache folder of the launcher, for what later runs may
// reuse (the verification cache, the class-data archives).
//
// The folder is $XDG_CACHE_HOME/bvlauncher when XDG_CACHE_HOME is an
// absolute path, else $HOME/.cache/bvlauncher (HOME, else the user
// database's home folder). It is used only when nobody else can change it:
//   - the base (XDG_CACHE_HOME, or the home folder) must belong to the
//     effective user (a missing XDG_CACHE_HOME is made 0700 when its parent
//     folder does); under a base of another user (root with another user's
//     HOME, from sudo -E or su without "-") nothing is made, read or
//     written, so the user never finds folders of root's in their home;
//   - every folder from the base down (.cache, bvlauncher) that exists must
//     be a real folder (not a symbolic link), belong to the effective user
//     and not be writable by group or others. Missing ones are made 0700,
//     one at a time, each checked before the next is made in it.
// Nothing here is ever written through a link.
#ifndef BV_PLATFORM_USER_CACHE_H_
#define BV_PLATFORM_USER_CACHE_H_

#include <string>
#include <sys/stat.h>

// The launcher's cache folder, or "" when there is none that passes the
// checks above (no home, a base of another user, a folder on the way that
// is a link, another user's or writable by others). With create, missing
// folders below the base are made; without, a missing folder gives "".
std::string userCacheFolder(bool create);

// The folder sub inside parent (itself a checked folder): made 0700 when
// missing and create is set; "" unless it is then a real folder of the
// effective user that group and others cannot write.
std::string privateSubFolder(const std::string& parent, const char* sub, bool create);

// The file's status says it belongs to the effective user and group and
// others cannot write it.
bool isPrivateStatus(const struct stat& st);

#endif  // BV_PLATFORM_USER_CACHE_H_
