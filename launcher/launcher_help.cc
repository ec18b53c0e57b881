#include "launcher/launcher_help.h"

namespace {

// The options that take the next argument as their value; the short forms
// count only where they are options.
const char* const kValueOptions[] = {"-bv:log",  "-bv:orig", "-bv:tempdir", "-bv:javahome",
                                     "-bv:in",   "-bv:cp:p", "-bv:cp:a"};
const char* const kShortValueOptions[] = {"-cp:p", "-cp:a"};

}  // namespace

bool optionTakesValue(const SString& arg, bool bvOptionsOnly) {
  for (const char* option : kValueOptions) {
    if (arg.compare(option) == 0) return true;
  }
  if (bvOptionsOnly) return false;
  for (const char* option : kShortValueOptions) {
    if (arg.compare(option) == 0) return true;
  }
  return false;
}

bool isOptionGiven(const StringDeque& args, const char* option, bool bvOptionsOnly) {
  for (long i = 0; i < args.size(); ++i) {
    const SString& arg = args.at(i);
    if (bvOptionsOnly && arg.compare("--") == 0) return false;
    if (arg.compare(option) == 0) return true;
    if (optionTakesValue(arg, bvOptionsOnly)) ++i;
  }
  return false;
}

bool isHelpRequested(const StringDeque& args, bool bvOptionsOnly) {
  return isOptionGiven(args, "-bv:help", bvOptionsOnly);
}

SString launcherHelpText(bool bvOptionsOnly, bool useTmpdir) {
  SString text(bvOptionsOnly
                   ? "Options of the launcher (every other argument goes to the application, and\n"
                     "so does every argument after --):\n"
                   : "Options of the launcher (every other argument goes to the application):\n");
  text.append(
      "  -bv:help             print this text and run nothing\n"
      "  -bv:javahome DIR     try the Java home DIR first\n"
      "  -bv:log FILE         append a log of the run to FILE\n");
  text.append(useTmpdir
                  ? "  -bv:tempdir DIR      make temporary files under DIR (default $TMPDIR, else /var/tmp)\n"
                  : "  -bv:tempdir DIR      make temporary files under DIR (default /var/tmp)\n");
  text.append("  -bv:silent           print no status lines (errors still go to standard error)\n");
  if (!bvOptionsOnly) {
    text.append("  -silent              as -bv:silent, and passed on to the application\n");
  }
  text.append("  -bv:javaconsole      leave the application's output on the console\n");
  text.append("  -bv:nowindows        show no window, even when started from a desktop (as BV_WINDOWS=0)\n");
  if (!bvOptionsOnly) {
    text.append("  -console             as -bv:javaconsole, and passed on to the application\n");
  }
  text.append(
      "  -bv:cp:p PATH        put PATH (or the lines of the file @FILE) first on the class path\n"
      "  -bv:cp:a PATH        put PATH (or the lines of the file @FILE) last on the class path\n");
  if (!bvOptionsOnly) {
    text.append(
        "  -cp:p PATH           as -bv:cp:p\n"
        "  -cp:a PATH           as -bv:cp:a\n");
  }
  text.append(
      "  -bv:extract          write the embedded files and input.tag into the current folder\n"
      "  -bv:in FILE          perform the action of the input file FILE\n"
      "  -bv:version          print the launcher version\n"
      "  -bv:orig FILE        (used by the launcher itself) FILE is the original launcher\n");
  if (bvOptionsOnly) {
    text.append("  --                   end of the launcher's options; what follows goes to the\n"
                "                       application unchanged\n");
  }
  text.append(
      "Exit status: the application's own; 0 when nothing was launched; 1 when no\n"
      "suitable Java was found; 255 when the launcher failed; 128+n when the run\n"
      "was ended by signal n.\n");
  return text;
}
