#include "launcher/launcher_help.h"

namespace {

// The options that take the next argument as their value.
const char* const kValueOptions[] = {"-bv:log",     "-bv:orig", "-bv:tempdir", "-bv:javahome",
                                     "-bv:in",      "-cp:p",    "-cp:a"};

bool takesValue(const SString& arg) {
  for (const char* option : kValueOptions) {
    if (arg.compare(option) == 0) return true;
  }
  return false;
}

}  // namespace

bool isHelpRequested(const StringDeque& args) {
  for (long i = 0; i < args.size(); ++i) {
    const SString& arg = args.at(i);
    if (arg.compare("-bv:help") == 0) return true;
    if (takesValue(arg)) ++i;
  }
  return false;
}

SString launcherHelpText() {
  return SString(
      "Options of the launcher (every other argument goes to the application):\n"
      "  -bv:help             print this text and run nothing\n"
      "  -bv:javahome DIR     try the Java home DIR first\n"
      "  -bv:log FILE         append a log of the run to FILE\n"
      "  -bv:tempdir DIR      make temporary files under DIR (default /var/tmp)\n"
      "  -bv:silent           print no status lines or messages\n"
      "  -silent              as -bv:silent, and passed on to the application\n"
      "  -bv:javaconsole      leave the application's output on the console\n"
      "  -console             as -bv:javaconsole, and passed on to the application\n"
      "  -cp:p PATH           put PATH (or the lines of the file @FILE) first on the class path\n"
      "  -cp:a PATH           put PATH (or the lines of the file @FILE) last on the class path\n"
      "  -bv:extract          write the embedded files and input.tag into the current folder\n"
      "  -bv:in FILE          perform the action of the input file FILE\n"
      "  -bv:version          print the launcher version\n"
      "  -bv:orig FILE        (used by the launcher itself) FILE is the original launcher\n"
      "Exit status: the application's own; 0 when nothing was launched; 1 when no\n"
      "suitable Java was found; 255 when the launcher failed; 128+n when the run\n"
      "was ended by signal n.\n");
}
