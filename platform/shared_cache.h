// A shared, read-only folder of unpacked runtimes that an administrator
// fills once (under /opt or /var/cache, say) and every user's launcher
// takes its bundled runtime from, instead of unpacking it per user.
//
// The folder holds entries as the user's cache does (platform/cache_store.h):
// "runtime-<digest>", each with its marker ".bvlauncher-complete" holding
// the entry's name. An entry is used only when nobody but root (or the
// user running the launcher) could have changed it: the entry, every
// folder above it (the ownership check of files found by searching,
// PlatformImpl::isTrustedFile) and its marker belong to root or to that
// user and are not writable by group or others, the entry is a folder
// reached without a symbolic link at its own name, the marker is a
// regular file that holds the entry's name, and every file, folder and
// link inside belongs to root or that user, none but a link writable by
// group or others (a library of another user's would run in every user's
// Java). What the files hold is not read: the administrator vouches for
// it. A folder of the right name
// whose marker names another digest, or any other mismatch, is ignored
// with the reason. Nothing there is written, locked for writing or
// touched: the users may not write it.
#ifndef BV_PLATFORM_SHARED_CACHE_H_
#define BV_PLATFORM_SHARED_CACHE_H_

#include <string>

// The path of entry name in the shared folder, or "" with why set (when
// not null) when it is missing or may not be used.
std::string findSharedCacheEntry(const std::string& folder, const std::string& name, std::string* why = nullptr);

#endif  // BV_PLATFORM_SHARED_CACHE_H_
