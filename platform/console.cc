// Console output and input: standard output for the interface, standard
// input for the destination question. Errors of standard output are ignored.
#include "platform/console.h"

#include <errno.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

int g_enableOutput = 1;
SString g_title;
long ui_progress = 0;
long ui_progressBlock = 0;

namespace {
bool g_consoleGone = false;
}  // namespace

bool isConsoleGone() { return g_consoleGone; }

void flushConsole() {
  if (fflush(stdout) != 0 && errno == EPIPE) {
    g_consoleGone = true;
  }
}

void writeLine(const SString& text) {
  if (g_enableOutput == 0 || g_consoleGone) return;
  fwrite(text.data(), 1, text.length(), stdout);
  fputc('\n', stdout);
  // Flushed at once so that the lines keep their order with the output of
  // child processes, which share the console.
  flushConsole();
}

void writeLine(const char* text) {
  if (g_enableOutput == 0 || g_consoleGone) return;
  if (text != nullptr) fputs(text, stdout);
  fputc('\n', stdout);
  flushConsole();
}

void write(const char* text) {
  if (g_enableOutput == 0 || g_consoleGone) return;
  if (text != nullptr) fputs(text, stdout);
  flushConsole();
}

void writeAtOnce(const char* text, unsigned long length) {
  if (g_enableOutput == 0 || g_consoleGone) return;
  flushConsole();
  int fd = fileno(stdout);
  while (length > 0 && !g_consoleGone && fd >= 0) {
    ssize_t n = ::write(fd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0 && errno == EPIPE) g_consoleGone = true;
      return;
    }
    text += n;
    length -= static_cast<unsigned long>(n);
  }
}

SString getLine() {
  int c;
  do {
    c = fgetc(stdin);
  } while (c != EOF && isspace(c));
  char buffer[kLineBufferSize];
  unsigned long length = 0;
  bool tooLong = false;
  while (c != EOF && !isspace(c)) {
    if (length < sizeof(buffer) - 1) {
      buffer[length++] = static_cast<char>(c);
    } else {
      tooLong = true;  // read on to the end of the word, keeping nothing
    }
    c = fgetc(stdin);
  }
  if (c != EOF) ungetc(c, stdin);
  if (tooLong) return SString();
  return SString(buffer, length);
}
