#include "platform/progress_window.h"

#include <time.h>

#include <cstdio>

namespace {

// How often kdialog's window is updated and asked whether it was canceled
// (each is a qdbus run), and how often zenity is looked at.
const long kKdialogUpdateMillis = 200;
const long kKdialogCheckMillis = 500;
const long kZenityCheckMillis = 50;
// The most that one qdbus run, or kdialog's start, may take.
const long kHelperMillis = 3000;
// How long zenity may take to close itself at the end of its input.
const long kZenityCloseMillis = 2000;
// A window program that ends within this time after its start showed no
// window (it found no display, or failed otherwise): nobody closed it.
const long kStartupMillis = 500;

long nowMillis() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

SString decimalLine(int n) {
  char text[16];
  snprintf(text, sizeof text, "%d\n", n);
  return SString(text);
}

}  // namespace

ProgressWindow::ProgressWindow()
    : m_open(false), m_kind(DIALOG_ZENITY), m_shownPercent(-1), m_lastUpdate(0), m_lastCheck(0), m_openedAt(0) {}

ProgressWindow::~ProgressWindow() { finish(); }

bool ProgressWindow::runQdbus(const std::vector<SString>& argv, SString* output) {
  DialogProcess qdbus;
  SString error;
  if (!qdbus.start(argv, m_env, false, output != nullptr, false, error)) return false;
  if (!qdbus.wait(kHelperMillis, false)) {
    qdbus.stop();
    return false;
  }
  if (output != nullptr) *output = qdbus.output();
  return qdbus.exitedWith(0);
}

bool ProgressWindow::show(DialogProgramKind kind, const SString& program, const SString& qdbus, const SString& title,
                          const SString& text, bool pulsate, const std::vector<SString>& env, SString& error) {
  finish();
  m_kind = kind;
  m_env = env;
  m_shownPercent = -1;
  m_lastUpdate = m_lastCheck = m_openedAt = nowMillis();
  std::vector<SString> argv = progressDialogCommand(kind, program, title, text, pulsate);
  if (argv.size() == 0) {
    error = "this dialog program shows no progress window";
    return false;
  }
  if (kind == DIALOG_ZENITY) {
    if (!m_zenity.start(argv, env, true, false, false, error)) return false;
    m_open = true;
    return true;
  }
  // kdialog starts the window as a program of its own and prints where it
  // listens.
  if (qdbus.empty()) {
    error = "kdialog's progress window needs qdbus, which is not in PATH";
    return false;
  }
  m_qdbus = qdbus;
  DialogProcess starter;
  if (!starter.start(argv, env, false, true, false, error)) return false;
  if (!starter.wait(kHelperMillis, false) || !starter.exitedWith(0)) {
    error = "kdialog --progressbar did not start its window";
    return false;
  }
  if (!kdialogProgressAddress(starter.output(), m_service, m_path)) {
    error = "kdialog --progressbar did not say where its window listens";
    return false;
  }
  m_open = true;
  runQdbus(qdbusProgressCall(m_qdbus, m_service, m_path, "showCancelButton", "true"), nullptr);
  return true;
}

void ProgressWindow::setPercent(int percent) {
  if (!m_open) return;
  if (percent < 0) percent = 0;
  if (percent > 99) percent = 99;
  if (percent == m_shownPercent) return;
  if (m_kind == DIALOG_ZENITY) {
    if (m_zenity.writeInput(decimalLine(percent)) == DialogProcess::kWritten) m_shownPercent = percent;
    return;
  }
  long now = nowMillis();
  if (now - m_lastUpdate < kKdialogUpdateMillis) return;
  m_lastUpdate = now;
  if (runQdbus(qdbusProgressValueCommand(m_qdbus, m_service, m_path, percent), nullptr)) m_shownPercent = percent;
}

void ProgressWindow::setText(const SString& text) {
  if (!m_open) return;
  if (m_kind == DIALOG_ZENITY) {
    m_zenity.writeInput(zenityProgressTextLine(text));
  } else {
    runQdbus(qdbusProgressTextCommand(m_qdbus, m_service, m_path, text), nullptr);
  }
}

ProgressWindow::State ProgressWindow::check(bool immediately) {
  if (!m_open) return kShown;
  long now = nowMillis();
  if (m_kind == DIALOG_ZENITY) {
    if (!immediately && now - m_lastCheck < kZenityCheckMillis) return kShown;
    m_lastCheck = now;
    // Until the launcher closes it, zenity ends only when the user cancels
    // (a write into its input then fails too), or when it cannot show a
    // window at all, which it does at once.
    if (!m_zenity.hasEnded()) return kShown;
    m_open = false;
    return now - m_openedAt < kStartupMillis ? kNotShown : kClosedByUser;
  }
  if (!immediately && now - m_lastCheck < kKdialogCheckMillis) return kShown;
  m_lastCheck = now;
  SString answer;
  bool asked = runQdbus(qdbusProgressCall(m_qdbus, m_service, m_path, "wasCancelled"), &answer);
  // A window that no longer answers was closed.
  if (asked && answer.find("true") != 0) return kShown;
  m_open = false;
  if (asked) runQdbus(qdbusProgressCall(m_qdbus, m_service, m_path, "close"), nullptr);
  return kClosedByUser;
}

void ProgressWindow::finish() {
  if (!m_open) return;
  m_open = false;
  if (m_kind == DIALOG_ZENITY) {
    // The full bar, then the end of the input: zenity closes itself.
    m_zenity.writeInput(SString("100\n"));
    m_zenity.closeInput();
    if (!m_zenity.wait(kZenityCloseMillis, false)) m_zenity.stop();
    return;
  }
  runQdbus(qdbusProgressCall(m_qdbus, m_service, m_path, "close"), nullptr);
}
