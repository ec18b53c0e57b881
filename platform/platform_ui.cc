// The console user interface of PlatformImpl: title, status and sub-status
// lines, progress dots, messages and the destination prompt. All texts the
// user sees come from the message catalog (messages.h) in the user's
// language; the output primitives are in console.h. What the console shows
// also goes to the window installed for the run (ui_window.h), unless the
// run is silent.
#include "platform/platform_impl.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/console.h"
#include "platform/messages.h"
#include "platform/platform_signals.h"
#include "platform/run_console.h"
#include "tagfile/text_utils.h"

Console* PlatformImpl::m_console = nullptr;
UISubStatus PlatformImpl::m_subStatus = UI_SUBSTATUS_NONE;
SString PlatformImpl::m_subStatusData;
volatile sig_atomic_t PlatformImpl::m_canceled = 0;

namespace {

// Catalog message id as an SString, formatted with arg (may be null).
SString catalogText(int id, const char* arg = nullptr) {
  char* text = get_msg(id, const_cast<char*>(arg));
  SString result(text);
  delete[] text;
  return result;
}

// One decoded character of the title in the given character set; '?' when
// the set has no such character.
void appendWideChar(SString& out, wchar_t wc, const char* codeset) {
  if (wc > 0 && wc < 0x80) {
    out += static_cast<char>(wc);
    return;
  }
  SString converted;
  if (convertCharset(reinterpret_cast<const char*>(&wc), sizeof(wc), "WCHAR_T", codeset,
                     converted)) {
    out += converted;
  } else {
    out += '?';
  }
}

// The title as the console shows it. Each \uXXXX escape (as convertToUnicode
// decodes it) becomes the character in the console's codeset (LANG's, or
// else the current table's character set), or '?' when that set lacks it;
// every other byte is kept, since raw bytes are already the console's text.
// A decoded NUL ends the title, as it ends the wide string.
SString titleForConsole(const SString& title) {
  SString codeset = getConsoleCodeset();
  if (codeset.empty()) codeset = msg_locale_charset[get_locale()];
  const char* bytes = title.c_str();
  unsigned long length = title.length();
  SString result;
  unsigned long i = 0;
  while (i < length) {
    if (bytes[i] == '\\' && i + 5 < length) {
      // Decoding the six characters alone tells whether they are an
      // escape: then they give at most one wide character.
      wchar_t* decoded = convertToUnicode(title.substr(i, 6));
      bool isEscape = wcslen(decoded) <= 1;
      wchar_t wc = decoded[0];
      delete[] decoded;
      if (isEscape) {
        if (wc == 0) break;
        appendWideChar(result, wc, codeset.c_str());
        i += 6;
        continue;
      }
    }
    result += bytes[i];
    ++i;
  }
  return result;
}

// A status line, for the window: also while the console's output is off,
// since quiet output on a console nobody sees is no reason to hide the
// progress of long work from the desktop.
void statusToWindow(const SString& text, bool beginsWork) {
  if (UIWindow* window = PlatformImpl::getUIWindow()) window->statusLine(text, beginsWork);
}

// Ends the row of progress dots when the counter has passed a multiple of
// the row length beyond the highest one reached so far.
void endProgressRow() {
  if (g_enableOutput == 0) return;
  long block = ui_progress / kProgressRowLength;
  if (block > ui_progressBlock) {
    writeLine("");
    ui_progressBlock = block;
  }
}

}  // namespace

void PlatformImpl::setConsole(Console* console) { m_console = console; }

Console& PlatformImpl::console() {
  static Console defaults;
  return m_console != nullptr ? *m_console : defaults;
}

void PlatformImpl::setSilent(bool silent) { console().setSilent(silent); }

bool PlatformImpl::isSilent() { return console().isSilent(); }

void PlatformImpl::setUIWindow(UIWindow* window) { console().setWindow(window); }

UIWindow* PlatformImpl::getUIWindow() { return console().window(); }

void PlatformImpl::showUI() {
  if (isSilent()) {
    hideUI(0);
  } else {
    g_enableOutput = console().isQuiet() ? 0 : 1;
  }
}

void PlatformImpl::hideUI(short /*how*/) {
  g_enableOutput = 0;
  if (UIWindow* window = getUIWindow()) window->consoleHidden();
}

int PlatformImpl::isUIVisible() { return g_enableOutput; }

void PlatformImpl::setUITitle(const SString& title) {
  g_title = titleForConsole(title);
  if (!isSilent() && !console().isQuiet()) writeLine(g_title);
}

void PlatformImpl::setUIStatus(UIStatus status) {
  if (isSilent()) return;
  SString text;
  switch (status) {
    case UI_STATUS_INITIALIZING:
      text = catalogText(MSGID_INITIALIZING, g_title.c_str());
      break;
    case UI_STATUS_SEARCHING:
      text = catalogText(MSGID_SEARCHING_JVM);
      break;
    case UI_STATUS_JVM_NOT_FOUND:
      writeLine("");
      write(catalogText(MSGID_NO_JVM_FOUND).c_str());
      text = catalogText(MSGID_COULD_NOT_LAUNCH, g_title.c_str());
      writeLine(text);
      statusToWindow(SString(catalogText(MSGID_NO_JVM_FOUND)).append(" ").append(text), false);
      return;
    case UI_STATUS_RUNNING:
      text = catalogText(MSGID_RUNNING, g_title.c_str());
      break;
    case UI_STATUS_PREPARING_JVM:
      text = catalogText(MSGID_PREPARING_JVM);
      break;
    default:
      return;
  }
  writeLine("");
  writeLine(text);
  statusToWindow(text, status == UI_STATUS_PREPARING_JVM);
}

void PlatformImpl::setUISubStatus(UISubStatus subStatus, const SString& data) {
  if (isSilent()) return;
  int id;
  switch (subStatus) {
    case UI_SUBSTATUS_SEARCHING:
      id = MSGID_SEARCHING_FOR;
      break;
    case UI_SUBSTATUS_SCANNING:
      id = MSGID_SCANNING;
      break;
    case UI_SUBSTATUS_VERIFYING:
      id = MSGID_VERIFYING;
      break;
    default:
      m_subStatus = UI_SUBSTATUS_NONE;
      return;
  }
  SString text = catalogText(id, data.c_str());
  writeLine("");
  writeLine(text);
  statusToWindow(text, false);
  m_subStatus = subStatus;
  m_subStatusData = data;
}

void PlatformImpl::restoreUISubStatus(UISubStatus subStatus, const SString& data) {
  if (isSilent()) return;
  m_subStatus = subStatus;
  m_subStatusData = data;
}

UISubStatus PlatformImpl::getUISubStatus() { return m_subStatus; }

SString PlatformImpl::getUISubStatusData() { return m_subStatusData; }

void PlatformImpl::advanceUIProgress(long n) {
  if (isSilent()) return;
  if (g_enableOutput == 0 || n <= 0) {
    ui_progress += n;
    endProgressRow();
  } else {
    // The dots of all n steps in one write, each row ended after its 70th
    // dot however many steps one call covers.
    char* dot = get_msg(MSGID_PROGRESS_DOT, nullptr);
    SString text;
    for (long i = 0; i < n; ++i) {
      text.append(dot);
      ++ui_progress;
      long block = ui_progress / kProgressRowLength;
      if (block > ui_progressBlock) {
        text.append("\n");
        ui_progressBlock = block;
      }
    }
    delete[] dot;
    writeAtOnce(text.data(), text.length());
  }
  if (UIWindow* window = getUIWindow(); window != nullptr && n > 0) window->progress(n);
}

void PlatformImpl::endUIProgressRow() {
  if (!isSilent()) writeLine("");
}

void PlatformImpl::setUIProgress(long progress) {
  if (isSilent()) return;
  ui_progress = progress;
  endProgressRow();
}

void PlatformImpl::beginUIWork(long goalSteps) {
  if (UIWindow* window = getUIWindow()) window->beginWork(goalSteps);
}

void PlatformImpl::endUIWork() {
  if (UIWindow* window = getUIWindow()) window->endWork();
}

void PlatformImpl::pollUIWindow() {
  if (UIWindow* window = getUIWindow()) window->poll();
}

SString PlatformImpl::getMessageText(MessageIdentifier id) {
  // Identifiers 0 to 14 are catalog messages 19 to 33, 15 to 18 are 36 to
  // 39, 19 is 43.
  int value = static_cast<int>(id);
  if (value >= MSG_INPUT_FILE_LOAD_ERROR && value <= MSG_INPUT_FILE_OPEN_ERROR) {
    return catalogText(19 + value);
  }
  // A launcher that is a Unix command names the signal that stopped it.
  if (value == MSG_CANCELED && !stoppedBySignalText().empty()) return stoppedBySignalText();
  if (value >= MSG_FILE_WRITE_ERROR && value <= MSG_TEMP_DIR_MISSING) {
    return catalogText(36 + value - MSG_FILE_WRITE_ERROR);
  }
  if (value == MSG_LAUNCHER_DAMAGED) return catalogText(MSGID_LAUNCHER_DAMAGED);
  return SString();
}

SString PlatformImpl::promptJVMDestinationDirectory() {
  if (isSilent() || console().isQuiet()) return SString();
  writeLine(catalogText(MSGID_DESTINATION_PROMPT));
  return getLine();
}

bool PlatformImpl::isCanceled() { return m_canceled != 0; }

void PlatformImpl::setCanceled(bool canceled) { m_canceled = canceled ? 1 : 0; }

SubStatusWrapper::SubStatusWrapper()
    : m_savedData(PlatformImpl::getUISubStatusData()),
      m_savedSubStatus(PlatformImpl::getUISubStatus()) {}

// A setup program's console shows the line of the enclosing phase again;
// a Unix command's keeps the line it already shows.
SubStatusWrapper::~SubStatusWrapper() {
  if (PlatformImpl::console().isUnixCommand()) {
    PlatformImpl::restoreUISubStatus(m_savedSubStatus, m_savedData);
  } else {
    PlatformImpl::setUISubStatus(m_savedSubStatus, m_savedData);
  }
}
