#include "platform/run_console.h"

#include <cstdio>

#include "foundation/log.h"
#include "platform/console.h"
#include "platform/messages.h"

namespace {

SString catalogText(int id, const SString& arg) {
  char* text = get_msg(id, const_cast<char*>(arg.c_str()));
  SString result(text);
  delete[] text;
  return result;
}

// Prints text and a line end on standard output, whether or not the status
// display is on, and flushes it.
void printOut(const SString& text) {
  if (isConsoleGone()) return;
  fwrite(text.data(), 1, text.length(), stdout);
  fputc('\n', stdout);
  flushConsole();
}

// Prints text and a line end on standard error, and flushes it.
void printErr(const SString& text) {
  fwrite(text.data(), 1, text.length(), stderr);
  fputc('\n', stderr);
  fflush(stderr);
}

}  // namespace

void Console::configure(bool unixCommand, bool quiet) {
  m_unixCommand = unixCommand;
  m_quiet = quiet;
  if (quiet) g_enableOutput = 0;
}

void Console::printMessage(const SString& text) const {
  if (m_unixCommand || m_silent || m_quiet) {
    printErr(text);
  } else {
    printOut(text);
  }
}

void Console::message(const SString& text, UIMessageKind kind) const {
  printMessage(text);
  if (UIWindow* shown = window()) shown->showMessage(text, kind);
}

void Console::answer(const SString& text) const {
  if (m_silent && !m_unixCommand) return;
  printOut(text);
  if (UIWindow* shown = window()) shown->showMessage(text, UI_MESSAGE_INFO);
}

void Console::result(const SString& line) const { printOut(line); }

void Console::warning(const SString& text) const {
  logMessage(text, LOG_WARNING);
  printErr(text);
}

void Console::diagnostic(const SString& text) const { printErr(text); }

void Console::jvmNotFound(const SString& text, const SString& needs, const SString& downloadUrl) const {
  printMessage(text);
  if (!needs.empty()) diagnostic(catalogText(MSGID_PROGRAM_NEEDS, needs));
  if (!downloadUrl.empty()) diagnostic(catalogText(MSGID_DOWNLOAD_FROM, downloadUrl));
  if (UIWindow* shown = window()) shown->showJavaNeeded(needs, downloadUrl);
}

void Console::launcherFileMessage(const SString& text) const {
  printErr(text);
  if (UIWindow* shown = window()) shown->showMessage(text, UI_MESSAGE_ERROR);
}

void Console::applicationErrorOutput(const SString& text) const { message(text); }
