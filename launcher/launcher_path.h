// The launcher's own path: the name it goes by (LAUNCHER_FILE, and the
// directory of its side files) and the file its payload is read from.
//
// The payload always comes from the running executable, which the system
// names (PlatformImpl::getExecutablePath). The name shown to the launch
// script follows argv[0] as the shell used it, so that a launcher started
// through a symbolic link keeps the link's directory; but a name that does
// not lead to the running executable (another file of the same name in the
// current directory, a made-up argv[0]) is never used.
#ifndef BV_LAUNCHER_LAUNCHER_PATH_H_
#define BV_LAUNCHER_LAUNCHER_PATH_H_

#include "foundation/sstring.h"

// The file that programName leads to, as the shell found it: a name that
// begins with "/" unchanged; a name with a "/" elsewhere after the current
// directory and a "/" (no normalising); a bare name through the directories
// of PATH (pathList; an empty piece or "." is the current directory, a
// relative one is taken from the current directory), the first regular
// file there that may be executed. "" for an empty name or a bare name that
// no PATH directory holds.
SString resolveProgramName(const char* programName, const SString& pathList);

// The launcher path: the file programName leads to (PATH from the
// environment, "/bin:/usr/bin" when unset) when it is the same file as
// executablePath (same device and inode), otherwise executablePath. When
// executablePath is empty (the system does not tell) the file programName
// leads to, or, for a bare name found nowhere, the current directory, a "/"
// and the name.
SString makeLauncherPath(const char* programName, const SString& executablePath);

#endif  // BV_LAUNCHER_LAUNCHER_PATH_H_
