// The temporary folder resolved once: the folder that a setting names
// (-bv:tempdir, TMPDIR, /var/tmp) is checked like a cache base the first
// time it is asked for, and from then on the run uses the path that its
// links led to at that moment, for creating, using and removing its files.
//
// Why: a link on the way that another user owns, or a folder above that
// others may write to, lets them point the name elsewhere while the run
// goes on: at a folder of theirs holding a bvj... folder with their own
// classes, which the run's java would then load. A path without links,
// whose folders only root and the user can change, cannot be turned away.
#ifndef BV_PLATFORM_TEMP_FOLDER_H_
#define BV_PLATFORM_TEMP_FOLDER_H_

#include "foundation/sstring.h"

// The folder to examine for the setting dir: the path that dir was
// resolved to by the last successful resolveTempFolder(dir, ...), with a
// trailing "/" when dir has one, else dir itself.
SString tempFolderToExamine(const SString& dir);

// Checks the folder that dir names (it exists and is a folder): every
// folder from the root down, along dir as given and along the path its
// links lead to, belongs to root or the user and is not writable by
// others unless sticky, and no link on the way belongs to another user
// (PlatformImpl::isTrustedFolder). On success path gets the resolved path
// (a trailing "/" kept when dir has one), which later calls for the same
// dir return without resolving again; on failure reason gets the end of a
// sentence ("the symbolic link /x belongs to another user (uid 7).").
bool resolveTempFolder(const SString& dir, SString& path, SString& reason);

// Forgets the resolution (for tests that set the same folder again).
void forgetTempFolderResolution();

#endif  // BV_PLATFORM_TEMP_FOLDER_H_
