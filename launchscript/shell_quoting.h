// Values from outside in a shell command built from a template.
//
// The launch command is shell text written by the packager (the COMMAND
// template, function arguments, the JVM file's own tags) into which the
// launcher fills values it finds at run time: paths on disk, the temporary
// directory, environment variables, lines of the files next to the
// launcher, -cp:p/-cp:a values, the arguments handed on to the program.
// Those values are data: each must reach the program as exactly its bytes
// and must never be read again as template text or run as shell code.
//
// While a command is resolved, such a value is not pasted as text but as a
// placeholder: a NUL byte, the value's index in a table in decimal, a NUL
// byte. The template passes (%, @, #) never look into a placeholder, since it
// holds no delimiter. When the command is complete, quote() walks it with
// the model of the shell's quoting (platform/shell_reader.h) and replaces
// each placeholder by its value escaped for the place where it stands:
//   outside quotes   one single-quoted word: '...', a ' written as '\''
//   inside "..."     a backslash before \ $ ` and "
//   inside '...'     a ' written as '\'' (the quote is closed and reopened)
//   in a comment     nothing (the shell ignores it anyway)
// An empty value adds no bytes, and the text around it is read as one. A
// value right after a backslash of the template (which would quote the
// value's first byte) is preceded by a line break, so the backslash and the
// line break vanish as a line continuation; a value right after a bare "$"
// gets a backslash before that "$", so that the two never form an
// expansion. A value inside back quotes, ${...} or $((...)), or anywhere
// after a construct that the model does not follow ($'...', $"...",
// $[...], a here-document, ...: see shell_reader.h) is an error.
//
// Escaping makes a value one word for the shell that reads the command; a
// template that hands it on to an evaluator of its own (eval, sh -c, bash
// arithmetic) makes it code again, as it would any text.
//
// flatten() gives the raw text instead, for the places where the text is
// not shell syntax (an environment variable, a log line).
//
// The table is process-wide but lives no longer than one command: values
// are collected only while a ShellValueScope lives, and the outermost scope
// empties the table when it ends. Every template pass (the %, @ and #
// macros of MacroHandler) fills it, which is why it is not handed down.
// Single-threaded, like the whole launcher.
#ifndef BV_LAUNCHSCRIPT_SHELL_QUOTING_H_
#define BV_LAUNCHSCRIPT_SHELL_QUOTING_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

class ShellValues {
 public:
  // Keeps raw (without any NUL byte it holds, which no command can carry)
  // and returns its placeholder. The same value gets the same placeholder
  // within one scope.
  static SString insert(const SString& raw);
  // True while a ShellValueScope lives: values found at run time are to be
  // inserted as placeholders.
  static bool isCollecting();
  // text with every placeholder replaced by its raw value and every other
  // NUL byte dropped.
  static SString flatten(const SString& text);
  // The shell command: text with every placeholder replaced by its value
  // escaped for the quoting state of text at that point, other NUL bytes
  // dropped, everything else unchanged. Throws LauncherException "Launch
  // script error: A value cannot be inserted <where> (near character <n>)."
  // when a placeholder stands where it cannot be escaped (see above).
  static SString quote(const SString& text);
  // The check of a template before it is packed, with the model that quote()
  // uses: every placeholder in text stands for a value. Throws
  // LauncherException "Launch script error: ..." when a value stands where
  // quote() would refuse it, when a quote, $(, ${, $(( or back quote is
  // left open at the end, or when the arguments handed on (appended as
  // LaunchScript::execute does) could not be inserted; *position is then the
  // place in text of the construct that is at fault (text.length() for the
  // end).
  static void check(const SString& text, unsigned long* position);
  // True when pos lies strictly inside a placeholder of text (on its digits
  // or its closing NUL), so that a cut there would split it.
  static bool isInsidePlaceholder(const SString& text, unsigned long pos);
  // Removes every NUL byte from text (template text never holds one).
  static void stripNul(SString& text);

 private:
  friend class ShellValueScope;
  static StringDeque& table();
  static long& depth();
};

// Values are collected while an object of this class lives; the outermost
// one empties the table at its end.
class ShellValueScope {
 public:
  ShellValueScope();
  ~ShellValueScope();
  ShellValueScope(const ShellValueScope&) = delete;
  ShellValueScope& operator=(const ShellValueScope&) = delete;
};

// True for the JVM file tags that the launcher sets itself (JVM_HOME,
// JVM_FILE, JVM_TEMP, and JVM_VERSION, JVM_IDENTITY of a check that
// passed): they hold what it found on disk or what the JVM printed, so in a
// command they are values, not template text.
bool isFoundJVMTag(const SString& name);

// value as one single-quoted shell word ('' for the empty value).
SString shellQuoteWord(const SString& value);

// Splits line into words as the shell would, without any expansion or
// command execution: blanks and tabs separate words; '...' keeps everything
// up to the next '; "..." keeps everything up to the next unescaped ", a
// backslash in it quoting only \ $ ` and " (before anything else it stays);
// outside quotes a backslash quotes the next byte. $, back quotes, * and the
// like are ordinary bytes. "" and '' make an empty word. Appends the words
// to words and returns true; returns false (words unchanged) when a quote
// is not closed.
bool splitShellWords(const SString& line, StringDeque& words);

#endif  // BV_LAUNCHSCRIPT_SHELL_QUOTING_H_
