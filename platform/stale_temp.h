// Temporary folders that a launcher left behind when it was ended without
// its clean-up (SIGKILL, a crash, a power cut): a later run of any launcher
// of the same user removes them.
//
// Each "bvj..." folder that a run makes (PlatformImpl::createTempSubDirectory)
// carries an owner marker, the file ".bvowner" (mode 0600), that names the
// process that made it:
//   bvlauncher temporary folder
//   machine ID HOST     the machine (/etc/machine-id, the host name)
//   boot BOOT-ID        the system's boot (/proc/sys/kernel/random/boot_id)
//   pidns INODE         the process ID namespace (/proc/self/ns/pid)
//   pid PID
//   start TICKS         the process's start time (/proc/PID/stat, field 22)
// The owner is gone when the marker names this machine and another boot,
// or the same boot and namespace and no process PID with that start time
// running. A marker of another machine (a temporary folder on a file
// system that machines share, such as a TMPDIR in an NFS home: their
// launchers run), of another namespace, one that cannot be read, a folder
// without a marker (being made, or made by other means) and anything that
// is not the user's own plain folder are left alone. A folder is removed
// without following any link (PlatformImpl::deleteFile).
//
// Elsewhere than on Linux the marker holds "machine" and "pid PID" alone
// (the machine ID there is empty) and a folder of this machine is removed
// only when no process PID exists.
#ifndef BV_PLATFORM_STALE_TEMP_H_
#define BV_PLATFORM_STALE_TEMP_H_

#include "foundation/sstring.h"

// The name of the marker inside a temporary folder.
extern const char* const kOwnerMarkerName;  // ".bvowner"

// The marker text that describes this process.
SString ownerMarkerText();

// Writes the marker into dir, a folder that this run has just made; never
// through a link. False when it could not be written (the folder then
// stays when this launcher is killed).
bool writeOwnerMarker(const SString& dir);

// Whether the process that markerText names has gone (as above).
bool isOwnerGone(const SString& markerText);

// Removes every folder "bvj..." directly in tempDir that belongs to the
// user, is a folder (not a link) and whose marker names a process that has
// gone. Never throws. Returns how many were removed.
long removeStaleTempFolders(const SString& tempDir);

#endif  // BV_PLATFORM_STALE_TEMP_H_
