// The message catalog: 45 messages in 27 languages. Each locale table holds
// the message texts as bytes in its language's traditional character set
// (msg_locale_charset names it), and a second table holds them in UTF-8;
// both are generated at build time from the UTF-8 sources in
// platform/messages/. The language is chosen from LANG each time a message
// is fetched.
#ifndef BV_PLATFORM_MESSAGES_H_
#define BV_PLATFORM_MESSAGES_H_

#include "foundation/sstring.h"

// Number of messages in each table and number of tables.
const int kMessageCount = 45;
const int kLocaleCount = 27;
// Size of the buffer that get_msg returns, terminator included.
const int kMessageBufferSize = 1024;

// Ids of the messages that the console shows itself.
const int MSGID_INITIALIZING = 1;       // "Initializing %s..."
const int MSGID_VERIFYING = 3;          // "Verifying %s"
const int MSGID_NO_JVM_FOUND = 4;       // "No Java(tm) Virtual Machine was found."
const int MSGID_COULD_NOT_LAUNCH = 5;   // "%s could not be launched."
const int MSGID_DOWNLOAD_FROM = 6;      // "A compatible JVM can be downloaded from %s"
const int MSGID_RUNNING = 7;            // "Running %s..."
const int MSGID_PREPARING_JVM = 8;      // "Preparing Java(tm) Virtual Machine..."
const int MSGID_SEARCHING_JVM = 9;      // "Searching for Java(tm) Virtual Machine..."
const int MSGID_SEARCHING_FOR = 10;     // "Searching for %s"
const int MSGID_SCANNING = 16;          // "Scanning disk(s) for a Java(tm) ..."
const int MSGID_DESTINATION_PROMPT = 17;
const int MSGID_PROGRESS_DOT = 18;      // "."
const int MSGID_TEMP_DIR_MISSING = 39;  // "Cannot use %s as the temp directory ..."
const int MSGID_PROGRAM_NEEDS = 40;     // "The program needs %s."
const int MSGID_OPEN_DOWNLOAD = 41;     // "Open the download page" (a button)
const int MSGID_CLOSE = 42;             // "Close" (a button)
const int MSGID_LAUNCHER_DAMAGED = 43;  // "The launcher file is damaged or incomplete. ..."
// "Cannot use %s as the temp directory because it does not exist.": the
// first sentence of message 39, for a folder that was given (-bv:tempdir,
// TMPDIR), where the advice to give one does not fit.
const int MSGID_GIVEN_TEMP_DIR_MISSING = 44;

// The 27 locale tables in the order en, bg, cs, da, de, el, es, fi, fr, hr,
// hu, it, ja, ko, nl, no, pl, pt, pt_BR, ro, ru, sk, sl, sv, tr, zh, zh_TW
// (the position is the locale index), then a null pointer. Each table holds
// 45 NUL-terminated texts, then a null pointer; text 0 is the locale code.
extern const char* const* const msg_locale_table[kLocaleCount + 1];
// The same tables in UTF-8, in the same order (the ASCII tables of en and
// nl stand for themselves).
extern const char* const* const msg_locale_table_utf8[kLocaleCount + 1];
// The iconv name of each table's character set, in the same order.
extern const char* const msg_locale_charset[kLocaleCount + 1];

// The value of the first of LC_ALL, category (e.g. "LC_MESSAGES") and LANG
// that is set and not empty, or null when none is.
const char* getLocaleVariable(const char* category);

// The locale index (0 to 26) chosen from the locale of messages
// (getLocaleVariable("LC_MESSAGES"), called LANG below): none, "C" or no
// match give 0 (English). First pass: the first table whose code equals
// LANG in the first five characters; second pass: the first whose code is a
// prefix of LANG. So pt_BR.ISO8859-1 gives pt_BR, pt_PT gives pt, nb_NO
// English.
int get_locale();

// A new zero-filled buffer of kMessageBufferSize bytes holding message id
// of the current locale formatted with arg (a NUL-terminated text for the
// one %s, or null when the message has none); an id beyond 43 gives
// "Error displaying message: id(<id>)". The text is in the console's
// codeset (getConsoleCodeset): the table's bytes when it names none or the
// table's own set, the UTF-8 table for UTF-8, else the UTF-8 text converted
// when iconv may and can convert it (conversion_modules.h), else again the
// table's bytes. A longer result is cut at the buffer's end. The caller
// releases it with delete[].
char* get_msg(int id, void* arg);

// The codeset named in the locale of the console's characters
// (getLocaleVariable("LC_CTYPE"), between "." and "@" or the end), or ""
// when there is none or it names none. "UTF-8" instead of a known codeset
// that does not write ASCII as ASCII (UTF-16, UTF-32, UCS-2, UCS-4).
SString getConsoleCodeset();

// Converts bytes from one character set to another with iconv. Returns
// false (out unchanged) when either name is unknown, a byte sequence does
// not convert, or iconv may not load the modules that the pair needs
// (iconvUsable).
bool convertCharset(const char* text, unsigned long length, const char* from,
                    const char* to, SString& out);

#endif  // BV_PLATFORM_MESSAGES_H_
