// LaunchScript::checkTemplate: a COMMAND template checked before it is
// packed, with the scanner and argument parser that resolve() uses.
#include "foundation/launcher_exception.h"
#include "launchscript/launch_script.h"

namespace {

// Calls inside arguments are checked to this depth; real templates nest one
// or two levels.
const int kMaxDepth = 32;

// The shell quoting of text: single quotes, double quotes and backslash
// escapes as /bin/sh reads them. Throws when a quote is left open.
void checkShellQuotes(const SString& text, const std::vector<unsigned long>& places,
                      unsigned long* position) {
  char open = 0;
  unsigned long openedAt = 0;
  for (unsigned long i = 0; i < text.length(); ++i) {
    char c = text[i];
    if (open == '\'') {
      if (c == '\'') open = 0;
    } else if (c == '\\') {
      ++i;
    } else if (open == '"') {
      if (c == '"') open = 0;
    } else if (c == '"' || c == '\'') {
      open = c;
      openedAt = i;
    }
  }
  if (open == 0) return;
  *position = places[openedAt];
  throw LauncherException(open == '"'
                              ? "Launch script error: This double quote is never closed in the shell command."
                              : "Launch script error: This single quote is never closed in the shell command.");
}

}  // namespace

void LaunchScript::checkTemplate(const SString& command, unsigned long* position) {
  LaunchScript script(command);
  std::vector<unsigned long> origin(command.length());
  for (unsigned long i = 0; i < command.length(); ++i) origin[i] = i;
  SString shell;
  std::vector<unsigned long> places;
  unsigned long ignored = 0;
  if (position == nullptr) position = &ignored;
  script.checkCalls(command, origin.data(), 0, &shell, &places, position);
  checkShellQuotes(shell, places, position);
}

void LaunchScript::checkCalls(const SString& text, const unsigned long* origin, int depth, SString* shell,
                              std::vector<unsigned long>* places, unsigned long* position) const {
  unsigned long copied = 0;
  auto copyTo = [&](unsigned long end) {
    for (; copied < end && copied < text.length(); ++copied) {
      *shell += text[copied];
      places->push_back(origin[copied]);
    }
  };
  unsigned long pos = text.find('%', 0);
  while (pos != SString::npos) {
    // As MacroHandler::resolve: a name needs one character and a closing '%'.
    if (text.length() - pos <= 2) break;
    unsigned long end = text.find('%', pos + 2);
    if (end == SString::npos) break;
    copyTo(pos);
    *position = origin[pos];
    unsigned long after;
    StringDeque arguments;
    SString name(parseCall(text, pos, end, after, arguments).name);
    long count = arguments.size();
    // The arguments that the value takes in as command text; their calls
    // are resolved in turn when the value is scanned again.
    SString inserted;
    if (name.compare("SYSTEMPROP") == 0) {
      inserted.append(arguments[0]).append("=").append(arguments[1]);
    } else if (name.compare("IF_EXISTS") == 0) {
      inserted = arguments[1];
    } else if (name.compare("REPLACE") == 0) {
      inserted = arguments[2];
    } else if (name.compare("CP") == 0) {
      for (long i = 0; i < count; ++i) inserted.append(i == 0 ? "" : ":").append(arguments[i]);
    }
    if (!inserted.empty()) {
      if (depth >= kMaxDepth) throwException(text, "Function calls are nested too deeply.");
      std::vector<unsigned long> callOrigin(inserted.length(), origin[pos]);
      checkCalls(inserted, callOrigin.data(), depth + 1, shell, places, position);
    }
    copied = after == SString::npos ? text.length() : after;
    pos = copied >= text.length() ? SString::npos : text.find('%', copied);
  }
  copyTo(text.length());
}
