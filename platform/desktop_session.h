// The desktop around a launcher started from one (desktop_start.h): the
// programs that show windows there, and the texts and the environment
// those programs get.
#ifndef BV_PLATFORM_DESKTOP_SESSION_H_
#define BV_PLATFORM_DESKTOP_SESSION_H_

#include <vector>

#include "foundation/sstring.h"

// The first regular, executable file named name in an absolute folder of
// PATH (relative and empty entries are skipped) that passes the ownership
// check (PlatformImpl::isTrustedFile); "" when there is none. Each file of
// that name that fails the check adds "Not running PATH: REASON" to refused.
SString findTrustedProgram(const char* name, std::vector<SString>& refused);

// The environment for a program that shows a window: the launcher's own,
// so that it speaks the user's language, except where it would not read
// the UTF-8 texts it is given. When the system lacks the user's locale (the
// program would fall back to plain ASCII), it gets LC_ALL for UTF-8 (C.UTF-8,
// else en_US.UTF-8, when the system has one). Otherwise, when the
// launcher's texts are not UTF-8 (the console's codeset, else the catalog
// table's, is another), it gets LC_CTYPE for UTF-8, and LC_ALL moves to
// LC_MESSAGES.
void windowProgramEnvironment(std::vector<SString>& env);

// A text as the console prints it (in the console's codeset, else the
// catalog table's) as UTF-8 for a window: converted when that codeset is
// another; bytes that are not UTF-8 then become '?', line feeds stay, tabs
// become blanks and every other control character goes.
SString textForWindow(const SString& consoleText);

// Whether the launcher's texts are in UTF-8 already.
bool consoleTextsAreUtf8();

#endif  // BV_PLATFORM_DESKTOP_SESSION_H_
