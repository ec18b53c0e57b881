// Whether the launcher follows the conventions of Unix commands: the
// instruction script's UNIX_COMMAND: 1 (archive/launcher_settings.h), which
// bvpack's one-line mode writes. Such a launcher names the signal that
// stopped it ("Stopped by signal TERM."), says that Java was found but did
// not start when no JVM started, and its no-Java text names JAVA_HOME
// first. Every other launcher keeps the catalogued texts.
#ifndef BV_PLATFORM_COMMAND_MODE_H_
#define BV_PLATFORM_COMMAND_MODE_H_

void setUnixCommand(bool unixCommand);
bool isUnixCommand();

#endif  // BV_PLATFORM_COMMAND_MODE_H_
