// LaunchScript::checkTemplate: a COMMAND template checked before it is
// packed, with the scanner and argument parser that resolve() uses.
#include "foundation/launcher_exception.h"
#include "launchscript/launch_script.h"
#include "launchscript/shell_quoting.h"

namespace {

// Calls inside arguments are checked to this depth; real templates nest one
// or two levels.
const int kMaxDepth = 32;

// A value found at run time, for the check: any value will do.
SString aValue() { return ShellValues::insert(SString("x")); }

// The @ or # pass of resolve() over the shell text of the check, keeping
// the place of each byte: a # name (an environment variable) and the @
// names that the launcher fills in itself give a value; another @ name
// stands for the JVM file's text, a word. A doubled delimiter that opened
// nothing becomes one, as in MacroHandler::resolve.
void resolveMacros(SString& text, std::vector<unsigned long>& places, char delimiter) {
  unsigned long pos = text.find(delimiter, 0);
  while (pos != SString::npos && text.length() - pos > 2) {
    unsigned long end = text.find(delimiter, pos + 2);
    if (end == SString::npos) break;
    if (text.find('\0', pos + 1) < end) {
      pos = text.find(delimiter, pos + 1);
      continue;
    }
    SString name(text, pos + 1, end - pos - 1);
    SString value = delimiter == '#' || isFoundJVMTag(name) ? aValue() : SString("x");
    unsigned long place = places[pos];
    text.replace(pos, end - pos + 1, value);
    places.erase(places.begin() + pos, places.begin() + end + 1);
    places.insert(places.begin() + pos, value.length(), place);
    // The value holds no delimiter: the scan goes on after it.
    pos = text.find(delimiter, pos + value.length());
  }
  const char doubled[2] = {delimiter, delimiter};
  unsigned long q = text.find(doubled, 0, 2);
  while (q != SString::npos) {
    text.erase(q, 1);
    places.erase(places.begin() + q);
    q = text.find(doubled, q + 1, 2);
  }
}

}  // namespace

void LaunchScript::checkTemplate(const SString& command, unsigned long* position) {
  unsigned long ignored = 0;
  if (position == nullptr) position = &ignored;
  ShellValueScope values;
  LaunchScript script(command);
  std::vector<unsigned long> origin(command.length());
  for (unsigned long i = 0; i < command.length(); ++i) origin[i] = i;
  SString shell;
  std::vector<unsigned long> places;
  script.checkCalls(command, origin.data(), 0, &shell, &places, position);
  resolveMacros(shell, places, '@');
  resolveMacros(shell, places, '#');
  // The shell's reading of the command, by the model that quotes values.
  unsigned long at = 0;
  try {
    ShellValues::check(shell, &at);
  } catch (const LauncherException&) {
    *position = at < places.size() ? places[at] : command.length();
    throw;
  }
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
    // What the call puts in: the arguments that its value takes in as
    // command text (their calls are resolved in turn when the value is
    // scanned again) and the values that it finds at run time (paths, side
    // file lines, -cp:p and -cp:a), each where it stands.
    SString inserted;
    if (name.compare("SYSTEMPROP") == 0) {
      inserted.append(arguments[0]).append("=").append(arguments[1]);
    } else if (name.compare("IF_EXISTS") == 0) {
      inserted = arguments[1];
    } else if (name.compare("REPLACE") == 0) {
      inserted = arguments[2];
    } else if (name.compare("CP") == 0) {
      // CLASSPATH, -cp:p, .cp1, JVM_CLASSPATH, .cp, the arguments, ARCHIVE,
      // the extracted archives, .cp2, -cp:a.
      inserted.append("x \"").append(aValue()).append("\":").append(aValue());
      for (long i = 0; i < count; ++i) inserted.append(":").append(arguments[i]);
      inserted.append(":\"").append(aValue()).append("\":").append(aValue());
    } else if (name.compare("RUNTIME_SYSTEMPROP") == 0) {
      inserted.append(aValue()).append("=").append(aValue());
    } else if (name.compare("RUNTIME_JAVAARGS") == 0) {
      inserted.append(aValue()).append(" ").append(aValue());
    } else {
      // LAUNCHER_FILE, LAUNCHER_DIR, APPLICATION_ARCHIVE, TEMP_DIR.
      inserted = aValue();
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
