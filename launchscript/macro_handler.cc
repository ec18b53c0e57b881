#include "launchscript/macro_handler.h"

#include <cstdio>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "launchscript/shell_quoting.h"

namespace {

// The longest stretch of the command that the log shows when the rescanning
// is stopped.
const unsigned long kLoggedCommandLength = 4096;

[[noreturn]] void throwRescanError(const SString& text, unsigned long start, unsigned long end,
                                   long replacements) {
  logMessage("Launch command:", LOG_INFO);
  SString logged(ShellValues::flatten(text), 0, kLoggedCommandLength);
  if (text.length() > kLoggedCommandLength) logged += "...";
  logMessage(logged, LOG_INFO);

  SString macro(text, start, end - start + 1);
  char count[32];
  snprintf(count, sizeof count, "%ld", replacements);
  SString message("Launch script error: Macro replacement does not end near ");
  message += macro;
  message += " (stopped after ";
  message += count;
  message += " replacements; a value may contain its own macro).";
  throw LauncherException(message);
}

}  // namespace

SString MacroHandler::resolve(const SString& text, char delimiter) const {
  SString copy(text);
  const unsigned long lengthLimit =
      text.length() > SString::npos - 1 - maxGrowth ? SString::npos - 1 : text.length() + maxGrowth;
  long replacements = 0;

  unsigned long pos = copy.find(delimiter, 0);
  while (pos != SString::npos) {
    // A name needs at least one character and a closing delimiter.
    if (copy.length() - pos <= 2) break;
    unsigned long end = copy.find(delimiter, pos + 2);
    if (end == SString::npos) break;
    // A value's placeholder (a NUL byte and digits) is never part of a name:
    // this delimiter opens no macro.
    if (copy.find('\0', pos + 1) < end) {
      pos = copy.find(delimiter, pos + 1);
      continue;
    }
    if (replacements >= maxReplacements || copy.length() > lengthLimit) {
      throwRescanError(copy, pos, end, replacements);
    }
    processMacro(copy, delimiter, pos, end);
    ++replacements;
    // The replacement is scanned again from the macro's own position.
    pos = copy.find(delimiter, pos);
  }

  // A doubled delimiter that opened no macro stands for one.
  const char doubled[2] = {delimiter, delimiter};
  unsigned long q = copy.find(doubled, 0, 2);
  while (q != SString::npos) {
    copy.erase(q, 1);
    q = copy.find(doubled, q + 1, 2);
  }
  return copy;
}
