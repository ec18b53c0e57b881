// The settings for the run as a whole that a launcher's own instruction
// script gives, read before the command line: whether the console shows
// the status display, which arguments are the launcher's options, and
// whether TMPDIR chooses the temporary folder.
//
// They are tags of the first instruction script embedded in the launcher
// file (an input file's INSTRUCTIONS does not change them):
//   CONSOLE_UI: 0        a quiet console, as with -bv:silent; the windows of
//                        a desktop run stay (default 1)
//   BV_OPTIONS_ONLY: 1   only -bv: arguments are options, and "--" ends
//                        them (default 0: -silent, -console, -cp:p and
//                        -cp:a are options too, and "--" is an argument)
//   USE_TMPDIR: 1        TMPDIR chooses the temporary folder when
//                        -bv:tempdir is not given (default 0: /var/tmp)
//   UNIX_COMMAND: 1      the launcher follows the conventions of a Unix
//                        command (platform/run_console.h): its messages go
//                        to standard error, a failed input-file action ends
//                        with 255 and says why once, a search shows each
//                        JVM file's "Searching for" line once and a
//                        "Verifying" line only for a Java that it runs, a
//                        run stopped by a signal from outside says
//                        "Stopped by signal TERM." (default 0: every message
//                        is a line of standard output, as a setup program
//                        reads it)
//   SHARED_RUNTIME_DIR: DIR
//                        an absolute path: a folder that an administrator
//                        filled with unpacked runtimes, read-only for the
//                        users (platform/shared_cache.h); the bundled
//                        runtime is taken from there when it holds it
//                        (default: none; anything but an absolute path of
//                        one line is ignored)
// bvpack's one-line mode writes the first four, and the fifth with
// --shared-runtime-dir.
#ifndef BV_ARCHIVE_LAUNCHER_SETTINGS_H_
#define BV_ARCHIVE_LAUNCHER_SETTINGS_H_

#include "foundation/sstring.h"

struct LauncherSettings {
  bool consoleUI = true;
  bool bvOptionsOnly = false;
  bool useTmpdir = false;
  bool unixCommand = false;
  SString sharedRuntimeDir;  // "" when none
};

// The tag names.
extern const char* consoleUITagName;      // "CONSOLE_UI"
extern const char* bvOptionsOnlyTagName;  // "BV_OPTIONS_ONLY"
extern const char* useTmpdirTagName;      // "USE_TMPDIR"
extern const char* unixCommandTagName;    // "UNIX_COMMAND"
extern const char* sharedRuntimeDirTagName;  // "SHARED_RUNTIME_DIR"

// The settings of the launcher file at path: those of its first embedded
// instruction script. The defaults when the file carries no payload or no
// instruction script, or when it cannot be read: the run reports such a
// file when it loads it.
LauncherSettings readLauncherSettings(const SString& path);

#endif  // BV_ARCHIVE_LAUNCHER_SETTINGS_H_
