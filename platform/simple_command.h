// Commands that need no shell.
//
// Most launch commands are one program with its arguments, written with
// quotes only: "/usr/lib/jvm/jdk/bin/java" -cp '/tmp/bvjX/app.jar' Main.
// For such a command the shell would do nothing but split the words and
// remove the quotes, so the launcher does that itself and starts the
// program directly, which spares a process start per command. Anything the
// shell would give a meaning to (expansions, globs, redirections, pipes,
// lists, comments, assignments, keywords, a line break outside quotes)
// makes the command not simple, and it runs through /bin/sh as always.
#ifndef BV_PLATFORM_SIMPLE_COMMAND_H_
#define BV_PLATFORM_SIMPLE_COMMAND_H_

#include <string>
#include <vector>

#include "foundation/deque.h"
#include "foundation/sstring.h"

// True when command is simple: its first word holds a "/" (a program path,
// so no builtin, function or PATH search is involved), outside quotes it
// holds only letters, digits, blanks, tabs and the characters _ - . , / :
// + @ % = and backslashes that quote the next byte (not a line break),
// there is no "=" in the first word, inside '...' anything, and inside "..."
// anything but $ and back quotes, a backslash only before \ $ ` or ".
// words then holds the words with their quotes removed,
// as the shell would pass them (a quoted empty string is an empty word).
// False (words unspecified) for any other command.
bool splitSimpleCommand(const SString& command, StringDeque& words);

// The environment that /bin/sh (dash) gives a program that it starts, for
// the program started without it: the entries of this process's
// environment whose name is a shell name (letters, digits and "_", not
// beginning with a digit), the last one of each name, and PWD as the shell
// sets it: kept when it is absolute and names the current directory, else
// the current directory's path. Each entry "NAME=value".
std::vector<std::string> shellEnvironment();

#endif  // BV_PLATFORM_SIMPLE_COMMAND_H_
