// The console: standard output for the user interface, standard input for
// the one question. The output switch and the progress counters are plain
// globals shared with PlatformImpl's UI operations.
#ifndef BV_PLATFORM_CONSOLE_H_
#define BV_PLATFORM_CONSOLE_H_

#include "foundation/sstring.h"

// Output switch: writeLine and write print only while it is non-zero.
extern int g_enableOutput;
// The product title used in status lines, in the console's character set.
extern SString g_title;
// Progress counter, and the value of ui_progress / 70 at which a row of
// progress dots was last ended (never lowered).
extern long ui_progress;
extern long ui_progressBlock;

// Number of progress dots in one row.
const long kProgressRowLength = 70;
// Size of getLine's input buffer, terminator included.
const int kLineBufferSize = 1024;

// While output is enabled, print the text and a line end on standard
// output. Errors of standard output are ignored, except that a console that
// has gone away (EPIPE: the reader of a pipe ended) is written to no more.
void writeLine(const SString& text);
void writeLine(const char* text);
// While output is enabled, print the text with no line end and flush.
void write(const char* text);
// While output is enabled, print length bytes of text in one write: what
// standard output holds is flushed first, so the order stays, and the
// bytes then go out together (a terminal or pipe reader sees them at once,
// whatever the buffering of standard output).
void writeAtOnce(const char* text, unsigned long length);
// One whitespace-delimited word read from standard input; "" at the end of
// input. A word that does not fit in kLineBufferSize - 1 bytes is read to
// its end and dropped: the result is "" rather than a cut-off word.
SString getLine();

// Whether standard output has gone away; nothing is written to it then.
bool isConsoleGone();
// Flushes standard output and notes whether it has gone away.
void flushConsole();

#endif  // BV_PLATFORM_CONSOLE_H_
