#include "foundation/log.h"

#include <cstdio>

namespace {

// The log's state: the one mutable static that every folder shares.
struct LogState {
  SString fileName;
  bool separatorWritten = false;
};

LogState& logState() {
  static LogState state;
  return state;
}

}  // namespace

void logMessage(const char* text, LogMessageType type) {
  LogState& state = logState();
  if (state.fileName.empty()) return;
  FILE* file = fopen(state.fileName.c_str(), "a");
  if (file == nullptr) return;
  if (!state.separatorWritten) {
    fputs("------------------\n", file);
    state.separatorWritten = true;
  }
  const char* prefix = type == LOG_WARNING ? "WARNING: " : (type == LOG_ERROR ? "ERROR: " : "");
  fprintf(file, "%s%s\n", prefix, text);
  fflush(file);
  fclose(file);
}

void logMessage(const SString& text, LogMessageType type) { logMessage(text.c_str(), type); }

void setLogFileName(const SString& name) { logState().fileName = name; }

const SString& getLogFileName() { return logState().fileName; }

void resetLog() {
  logState().fileName = SString();
  logState().separatorWritten = false;
}
