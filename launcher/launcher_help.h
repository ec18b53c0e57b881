// -bv:help: the launcher's own options and exit statuses, in English, and
// the scan of the arguments for an option before any option acts.
//
// The help option is looked for before any other option acts, so that a
// launcher asked for help prints it and runs nothing: no input-file action,
// no extraction, no search. --help and every other argument stay arguments
// of the application.
//
// bvOptionsOnly selects the rule of launchers whose instruction script sets
// BV_OPTIONS_ONLY (archive/launcher_settings.h): only -bv: arguments are
// options and "--" ends them; otherwise -silent, -console, -cp:p and -cp:a
// are options too and "--" is an argument like any other.
#ifndef BV_LAUNCHER_LAUNCHER_HELP_H_
#define BV_LAUNCHER_LAUNCHER_HELP_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

// Whether the option arg takes the next argument as its value.
bool optionTakesValue(const SString& arg, bool bvOptionsOnly);

// True when args hold option as an option, that is not as the value of an
// option that takes one (-bv:log -bv:help names a log file) and, with
// bvOptionsOnly, not after "--".
bool isOptionGiven(const StringDeque& args, const char* option, bool bvOptionsOnly);

// isOptionGiven(args, "-bv:help", bvOptionsOnly).
bool isHelpRequested(const StringDeque& args, bool bvOptionsOnly = false);

// One line per option of the launcher and the exit statuses; useTmpdir: the
// default temporary folder comes from TMPDIR (USE_TMPDIR).
SString launcherHelpText(bool bvOptionsOnly = false, bool useTmpdir = false);

#endif  // BV_LAUNCHER_LAUNCHER_HELP_H_
