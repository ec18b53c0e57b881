// The run's log: one file, named by -bv:log or the input file's LOGFILE,
// that every folder writes to through logMessage.
//
// A message is appended as one line, after "WARNING: " or "ERROR: " for
// those kinds, and the first message of a run is preceded by a line of 18
// hyphens. The file is opened and closed for every message, so the log is
// complete whenever the run ends; failure to open it is ignored, and
// without a file name nothing is written.
//
// The log is the one piece of process-wide state that every folder shares,
// so it lives here at the ground.
#ifndef BV_FOUNDATION_LOG_H_
#define BV_FOUNDATION_LOG_H_

#include "foundation/sstring.h"

enum LogMessageType { LOG_INFO = 0, LOG_WARNING = 1, LOG_ERROR = 2 };

void logMessage(const char* text, LogMessageType type);
void logMessage(const SString& text, LogMessageType type);

// The file messages go to; empty (the start) writes nothing.
void setLogFileName(const SString& name);
const SString& getLogFileName();

// Forgets the file name and that the separator was written, as at the
// start of a run (for tests that perform several runs in one process).
void resetLog();

#endif  // BV_FOUNDATION_LOG_H_
