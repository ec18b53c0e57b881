// -bv:help: the launcher's own options and exit statuses, in English.
//
// The help option is looked for before any other option acts, so that a
// launcher asked for help prints it and runs nothing: no input-file action,
// no extraction, no search. --help and every other argument stay arguments
// of the application.
#ifndef BV_LAUNCHER_LAUNCHER_HELP_H_
#define BV_LAUNCHER_LAUNCHER_HELP_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

// True when args hold "-bv:help" as an option, that is not as the value of
// an option that takes one (-bv:log -bv:help names a log file).
bool isHelpRequested(const StringDeque& args);

// One line per option of the launcher and the exit statuses.
SString launcherHelpText();

#endif  // BV_LAUNCHER_LAUNCHER_HELP_H_
