// MacroHandler: scans text for delimited macros and replaces each one.
//
// A macro is a name between two delimiters ("@JVM_HOME@", "%CP%", "#HOME#").
// resolve() finds each opening delimiter and the next delimiter at least two
// characters on, and hands the range to the derived class's processMacro,
// which rewrites the text in place (a function call may take in more text
// than the closing delimiter, its argument list). The scan then starts again
// at the macro's own position, so a replacement is scanned in turn and the
// macros that it contains are replaced as well. At the end every doubled
// delimiter that opened no macro is reduced to one ("a@@b" gives "a@b").
// A name never holds a NUL byte: that is a value's placeholder
// (launchscript/shell_quoting.h), which no pass looks into.
//
// A value that reproduces its own macro would be replaced forever; the
// rescanning is bounded (maxReplacements, maxGrowth) and ends in a
// LauncherException "Launch script error: ...".
//
// JVMFile ('@') and LaunchScript ('%', '#') derive from it. It has no data
// and no virtual destructor: objects are never deleted through it, so the
// destructor is protected.
#ifndef BV_LAUNCHSCRIPT_MACRO_HANDLER_H_
#define BV_LAUNCHSCRIPT_MACRO_HANDLER_H_

#include "foundation/sstring.h"

class MacroHandler {
 public:
  // At most this many macros are replaced in one resolve().
  static constexpr long maxReplacements = 10000;
  // The text may grow by at most this many characters in one resolve().
  static constexpr unsigned long maxGrowth = 1048576UL;

  // Replaces, in text, the macro whose opening delimiter is at start and
  // whose closing delimiter is at end. end is not changed by any
  // implementation, and resolve() does not read it back.
  virtual void processMacro(SString& text, char delimiter, unsigned long start,
                            unsigned long& end) const = 0;

  // A copy of text with every macro delimited by delimiter replaced through
  // processMacro, then doubled delimiters reduced. Throws LauncherException
  // when the rescanning exceeds its bounds, and whatever processMacro throws.
  SString resolve(const SString& text, char delimiter) const;

 protected:
  MacroHandler() {}
  MacroHandler(const MacroHandler&) = default;
  MacroHandler& operator=(const MacroHandler&) = default;
  ~MacroHandler() {}
};

#endif  // BV_LAUNCHSCRIPT_MACRO_HANDLER_H_
