#include "platform/desktop_ui.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "platform/console.h"
#include "platform/desktop_session.h"
#include "platform/detached_process.h"
#include "platform/dialog_process.h"
#include "platform/messages.h"
#include "platform/platform_impl.h"
#include "platform/platform_signals.h"
#include "platform/web_url.h"

namespace {

// A message window shows at most this many lines and bytes of a message
// (an application's error output can be long); "..." marks the cut.
const long kWindowLines = 40;
const unsigned long kWindowBytes = 8000;

long nowMillis() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Catalog text id formatted with arg, as the console would print it.
SString catalogText(int id, const SString& arg = SString()) {
  char* text = get_msg(id, arg.empty() ? nullptr : const_cast<char*>(arg.c_str()));
  SString result(text);
  delete[] text;
  return result;
}

// The first kWindowLines lines and kWindowBytes bytes of a UTF-8 text,
// without line ends at its end; "..." where it was cut.
SString limitForWindow(const SString& text) {
  SString result;
  long lines = 0;
  bool cut = false;
  unsigned long i = 0;
  while (i < text.length()) {
    unsigned long end = text.find('\n', i);
    if (end == SString::npos) end = text.length();
    if (lines == kWindowLines) {
      cut = true;
      break;
    }
    if (lines > 0) result += '\n';
    result.append(text.substr(i, end - i));
    ++lines;
    i = end + 1;
  }
  if (result.length() > kWindowBytes) {
    unsigned long length = kWindowBytes;
    // Not inside a UTF-8 sequence.
    while (length > 0 && (static_cast<unsigned char>(result[length]) & 0xc0) == 0x80) --length;
    result = result.substr(0, length);
    cut = true;
  }
  while (!result.empty() && result[result.length() - 1] == '\n') result.erase(result.length() - 1);
  if (cut) result.append("\n...");
  return result;
}

SString trimmed(const SString& text) {
  unsigned long start = 0;
  unsigned long end = text.length();
  while (start < end && (text[start] == ' ' || text[start] == '\n')) ++start;
  while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\n')) --end;
  return text.substr(start, end - start);
}

long delayFromEnvironment() {
  const char* value = getenv("BV_PROGRESS_WINDOW_DELAY_MS");
  if (value == nullptr || value[0] == '\0') return kProgressWindowDelayMillis;
  char* end = nullptr;
  long millis = strtol(value, &end, 10);
  if (*end != '\0' || millis < 0 || millis > 60000) return kProgressWindowDelayMillis;
  return millis;
}

SString statusText(int status) {
  char text[48];
  if (WIFSIGNALED(status)) {
    snprintf(text, sizeof text, "signal %d", WTERMSIG(status));
  } else {
    snprintf(text, sizeof text, "status %d", WIFEXITED(status) ? WEXITSTATUS(status) : status);
  }
  return SString(text);
}

}  // namespace

DesktopUI::DesktopUI(LogLine log)
    : m_log(log),
      m_programState(0),
      m_kind(DIALOG_ZENITY),
      m_qdbusState(0),
      m_delayMillis(delayFromEnvironment()),
      m_workDepth(0),
      m_statusWork(false),
      m_working(false),
      m_windowFailed(false),
      m_goal(0),
      m_done(0),
      m_workStart(0) {}

DesktopUI::~DesktopUI() { m_window.finish(); }

void DesktopUI::log(const SString& text, bool warning) const {
  if (m_log != nullptr) m_log(text, warning);
}

bool DesktopUI::findDialogProgram() {
  if (m_programState != 0) return m_programState > 0;
  m_programState = -1;
  SString names;
  for (int i = 0; i < kDialogProgramCount && m_programState < 0; ++i) {
    std::vector<SString> refused;
    SString path = findTrustedProgram(kDialogPrograms[i].name, refused);
    for (const SString& line : refused) log(line, true);
    if (!path.empty()) {
      m_programState = 1;
      m_kind = kDialogPrograms[i].kind;
      m_program = path;
    }
    if (i > 0) names.append(", ");
    names.append(kDialogPrograms[i].name);
  }
  if (m_programState < 0) {
    log(SString("Started from a desktop (").append(m_startReason).append("), but no dialog program (")
            .append(names)
            .append(") that passes the ownership check was found in PATH: messages go to the console only."),
        true);
    return false;
  }
  windowProgramEnvironment(m_env);
  log(SString("Started from a desktop (").append(m_startReason).append("): windows are shown with ").append(m_program),
      false);
  return true;
}

SString DesktopUI::windowTitle() const {
  SString title = trimmed(textForWindow(g_title));
  if (!title.empty()) return title;
  SString path = PlatformImpl::getExecutablePath();
  unsigned long slash = path.rfind('/');
  title = textForWindow(slash == SString::npos ? path : path.substr(slash + 1));
  return title.empty() ? SString("bvlauncher") : title;
}

namespace {

// Starts the program argv[0] (an absolute path) with envp; its process ID,
// or -1.
pid_t spawnProgram(char* const* argv, char* const* envp) {
  pid_t pid = fork();
  if (pid == 0) {
    execve(argv[0], argv, envp);
    _exit(127);
  }
  return pid;
}

}  // namespace

bool DesktopUI::leaveWindow(const std::vector<SString>& argv, const SString& opener, const SString& url,
                            int openStatus) {
  // Every text is ready before the fork: the detached process only runs.
  std::vector<char*> args;
  for (const SString& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (const SString& entry : m_env) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  std::vector<char*> openArgs;
  if (!opener.empty()) {
    openArgs.push_back(const_cast<char*>(opener.c_str()));
    openArgs.push_back(const_cast<char*>(url.c_str()));
    openArgs.push_back(nullptr);
  }
  bool started = startDetached(
      [&] {
        pid_t window = spawnProgram(args.data(), envp.data());
        if (window < 0 || openArgs.empty()) return;
        int status = 0;
        while (waitpid(window, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == openStatus) spawnProgram(openArgs.data(), envp.data());
      },
      -1, "bvlauncher-win", false);
  if (!started) log(SString("Cannot start a process for the window of ").append(m_program), true);
  return started;
}

SString DesktopUI::findPageOpener() {
#ifdef __APPLE__
  const char* name = "open";
#else
  const char* name = "xdg-open";
#endif
  std::vector<SString> refused;
  SString opener = findTrustedProgram(name, refused);
  for (const SString& line : refused) log(line, true);
  if (opener.empty()) {
    log(SString("No ")
            .append(name)
            .append(" that passes the ownership check was found in PATH: the download page is not offered"),
        true);
  }
  return opener;
}

void DesktopUI::showMessage(const SString& text, UIMessageKind kind) {
  // A warning never opens a window: the run goes on, and standard error
  // and the log have it.
  if (kind == UI_MESSAGE_WARNING) return;
  if (PlatformImpl::isCanceled()) return;
  m_window.finish();
  m_windowFailed = true;
  if (!findDialogProgram()) return;
  SString windowText = limitForWindow(trimmed(textForWindow(text)));
  if (windowText.empty()) return;
  std::vector<SString> argv = messageDialogCommand(m_kind, m_program, windowTitle(), windowText,
                                                   kind == UI_MESSAGE_ERROR, textForWindow(catalogText(MSGID_CLOSE)));
  if (leaveWindow(argv, SString(), SString(), 0)) {
    log("The message is shown in a window that the run does not wait for", false);
  }
}

void DesktopUI::showJavaNeeded(const SString& needs, const SString& downloadUrl) {
  if (PlatformImpl::isCanceled()) return;
  m_window.finish();
  m_windowFailed = true;
  if (!findDialogProgram()) return;
  SString opener;
  if (isWebPageUrl(downloadUrl)) opener = findPageOpener();
  bool offerPage = !opener.empty();
  SString text;
  if (!trimmed(g_title).empty()) text.append(catalogText(MSGID_COULD_NOT_LAUNCH, g_title)).append("\n");
  text.append(catalogText(MSGID_NO_JVM_FOUND));
  if (!needs.empty()) text.append("\n").append(catalogText(MSGID_PROGRAM_NEEDS, needs));
  if (isWebPageUrl(downloadUrl)) text.append("\n\n").append(catalogText(MSGID_DOWNLOAD_FROM, downloadUrl));
  SString windowText = limitForWindow(textForWindow(text));
  SString closeLabel = textForWindow(catalogText(MSGID_CLOSE));
  if (!offerPage) {
    if (leaveWindow(messageDialogCommand(m_kind, m_program, windowTitle(), windowText, true, closeLabel), SString(),
                    SString(), 0)) {
      log("The no-JVM message is shown in a window that the run does not wait for", false);
    }
    return;
  }
  std::vector<SString> argv = questionDialogCommand(m_kind, m_program, windowTitle(), windowText,
                                                    textForWindow(catalogText(MSGID_OPEN_DOWNLOAD)), closeLabel);
  if (leaveWindow(argv, opener, downloadUrl, questionOpenStatus(m_kind))) {
    log(SString("The no-JVM message is shown in a window that the run does not wait for; ")
            .append(opener)
            .append(" opens ")
            .append(downloadUrl)
            .append(" when the user asks for it"),
        false);
  }
}

void DesktopUI::statusLine(const SString& text, bool beginsWork) {
  m_statusText = trimmed(textForWindow(text));
  if (m_window.isOpen() && !m_statusText.empty()) m_window.setText(m_statusText);
  if (beginsWork) {
    if (!m_statusWork) {
      m_statusWork = true;
      if (m_workDepth == 0) startWork(0);
    }
  } else if (m_statusWork) {
    m_statusWork = false;
    if (m_workDepth == 0) finishWork();
  }
}

void DesktopUI::beginWork(long goalSteps) {
  if (m_workDepth++ == 0 && !m_statusWork) startWork(goalSteps);
}

void DesktopUI::endWork() {
  if (m_workDepth == 0) return;
  if (--m_workDepth == 0 && !m_statusWork) finishWork();
}

void DesktopUI::consoleHidden() {
  if (!m_statusWork) return;
  m_statusWork = false;
  if (m_workDepth == 0) finishWork();
}

void DesktopUI::progress(long steps) {
  if (!m_working) return;
  m_done += steps;
  updateWork();
}

void DesktopUI::poll() {
  if (m_working) updateWork();
}

void DesktopUI::startWork(long goalSteps) {
  m_working = true;
  m_windowFailed = false;
  m_goal = goalSteps > 0 ? goalSteps : 0;
  m_done = 0;
  m_workStart = nowMillis();
}

void DesktopUI::finishWork() {
  m_working = false;
  // A cancel asked for just before the end still counts.
  if (m_window.isOpen()) checkProgressWindow(true);
  m_window.finish();
}

void DesktopUI::updateWork() {
  if (m_window.isOpen()) {
    if (m_goal > 0) m_window.setPercent(static_cast<int>(m_done * 100 / m_goal));
    checkProgressWindow();
    return;
  }
  if (m_windowFailed || PlatformImpl::isCanceled()) return;
  if (nowMillis() - m_workStart < m_delayMillis) return;
  // Work that is nearly done gets no window that would only flash.
  if (m_goal > 0 && m_done * 10 >= m_goal * 9) return;
  openProgressWindow();
}

void DesktopUI::openProgressWindow() {
  m_windowFailed = true;  // one try per work
  if (!findDialogProgram() || !hasProgressWindow(m_kind)) return;
  if (m_kind == DIALOG_KDIALOG && m_qdbusState == 0) {
    m_qdbusState = -1;
    for (const char* name : {"qdbus", "qdbus-qt5", "qdbus6"}) {
      std::vector<SString> refused;
      m_qdbus = findTrustedProgram(name, refused);
      for (const SString& line : refused) log(line, true);
      if (!m_qdbus.empty()) {
        m_qdbusState = 1;
        break;
      }
    }
  }
  SString text = m_statusText.empty() ? windowTitle() : m_statusText;
  SString error;
  if (!m_window.show(m_kind, m_program, m_qdbus, windowTitle(), text, m_goal == 0, m_env, error)) {
    log(SString("No progress window: ").append(error), true);
    return;
  }
  m_windowFailed = false;
  log("The progress is shown in a window", false);
  if (m_goal > 0) m_window.setPercent(static_cast<int>(m_done * 100 / m_goal));
}

void DesktopUI::checkProgressWindow(bool immediately) {
  ProgressWindow::State state = m_window.check(immediately);
  if (state == ProgressWindow::kShown) return;
  m_windowFailed = true;
  if (state == ProgressWindow::kNotShown) {
    log(SString("No progress window: ")
            .append(m_program)
            .append(" ended at once (")
            .append(statusText(m_window.endStatus()))
            .append(")"),
        true);
    return;
  }
  log("The progress window was closed: the run is canceled as by SIGTERM", true);
  cancelLikeSignal(SIGTERM);
}
