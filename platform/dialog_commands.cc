#include "platform/dialog_commands.h"

#include <cstdio>
#include <initializer_list>

#ifdef __APPLE__
const DialogProgramName kDialogPrograms[] = {{"osascript", DIALOG_OSASCRIPT}};
#else
const DialogProgramName kDialogPrograms[] = {
    {"zenity", DIALOG_ZENITY}, {"kdialog", DIALOG_KDIALOG}, {"xmessage", DIALOG_XMESSAGE}};
#endif
const int kDialogProgramCount = sizeof kDialogPrograms / sizeof kDialogPrograms[0];

namespace {

// The width of zenity's windows, in pixels: wide enough for a path or an
// address on one line.
const char kZenityWidth[] = "--width=480";
// xmessage's exit status for the first answer of a question.
const int kXmessageOpenStatus = 70;

std::vector<SString> argv(const SString& program, std::initializer_list<SString> args) {
  std::vector<SString> result;
  result.push_back(program);
  for (const SString& arg : args) result.push_back(arg);
  return result;
}

SString option(const char* name, const SString& value) { return SString(name).append(value); }

// & < > and quotes as entities, for markup and rich text.
SString escapeEntities(const SString& text) {
  SString result;
  for (unsigned long i = 0; i < text.length(); ++i) {
    switch (text[i]) {
      case '&':
        result += "&amp;";
        break;
      case '<':
        result += "&lt;";
        break;
      case '>':
        result += "&gt;";
        break;
      case '"':
        result += "&quot;";
        break;
      default:
        result += text[i];
    }
  }
  return result;
}

SString kdialogLabel(const SString& label) {
  SString result;
  for (unsigned long i = 0; i < label.length(); ++i) {
    if (label[i] == '&') result += '&';  // "&&" is a plain ampersand
    result += label[i];
  }
  return result;
}

#ifdef __APPLE__
// The AppleScript of the windows: constant text; the texts come as the
// arguments of its run handler, so no text is ever read as script.
const char kAppleScriptStart[] = "on run argv";
const char kAppleScriptEnd[] = "end run";
#endif

}  // namespace

SString zenityMarkupText(const SString& text) {
  // zenity reads backslash escapes of the progress text (\n), then its
  // markup.
  SString escaped = escapeEntities(text);
  SString result;
  for (unsigned long i = 0; i < escaped.length(); ++i) {
    if (escaped[i] == '\\') result += '\\';
    result += escaped[i];
  }
  return result;
}

SString kdialogText(const SString& text) {
  // Qt takes a text that looks like markup for rich text; such a text is
  // given as rich text with its characters escaped, so it shows as written.
  if (text.find('<') == SString::npos && text.find('&') == SString::npos) return text;
  SString result("<qt>");
  SString escaped = escapeEntities(text);
  for (unsigned long i = 0; i < escaped.length(); ++i) {
    if (escaped[i] == '\n') {
      result += "<br>";
    } else {
      result += escaped[i];
    }
  }
  result += "</qt>";
  return result;
}

SString xmessageText(const SString& text) {
  // The X toolkit takes an argument that begins with - or + for an option.
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) return SString(" ").append(text);
  return text;
}

SString xmessageButtonLabel(const SString& label) {
  SString result;
  for (unsigned long i = 0; i < label.length(); ++i) {
    result += label[i] == ',' || label[i] == ':' ? ' ' : label[i];
  }
  return result.empty() ? SString("OK") : result;
}

std::vector<SString> messageDialogCommand(DialogProgramKind kind, const SString& program, const SString& title,
                                          const SString& text, bool error, const SString& closeLabel) {
  switch (kind) {
    case DIALOG_ZENITY:
      return argv(program, {error ? "--error" : "--info", "--no-markup", kZenityWidth, option("--title=", title),
                            option("--text=", text), option("--ok-label=", closeLabel)});
    case DIALOG_KDIALOG:
      // kdialog labels the button itself, in the desktop's language.
      return argv(program, {"--title", title, error ? "--error" : "--msgbox", kdialogText(text)});
    case DIALOG_XMESSAGE:
      return argv(program, {"-title", title, "-center", "-buttons", xmessageButtonLabel(closeLabel).append(":0"),
                            "-default", xmessageButtonLabel(closeLabel), xmessageText(text)});
    case DIALOG_OSASCRIPT:
      break;
  }
#ifdef __APPLE__
  return argv(program, {"-e", kAppleScriptStart, "-e",
                        SString("display dialog (item 1 of argv) with title (item 2 of argv) "
                                "buttons {item 3 of argv} default button 1 with icon ")
                            .append(error ? "stop" : "note"),
                        "-e", kAppleScriptEnd, "--", text, title, closeLabel});
#else
  return std::vector<SString>();
#endif
}

std::vector<SString> questionDialogCommand(DialogProgramKind kind, const SString& program, const SString& title,
                                           const SString& text, const SString& openLabel, const SString& closeLabel) {
  switch (kind) {
    case DIALOG_ZENITY:
      return argv(program,
                  {"--question", "--no-markup", "--icon-name=dialog-error", kZenityWidth, option("--title=", title),
                   option("--text=", text), option("--ok-label=", openLabel), option("--cancel-label=", closeLabel)});
    case DIALOG_KDIALOG:
      return argv(program, {"--title", title, "--yes-label", kdialogLabel(openLabel), "--no-label",
                            kdialogLabel(closeLabel), "--warningyesno", kdialogText(text)});
    case DIALOG_XMESSAGE: {
      char openValue[16];
      snprintf(openValue, sizeof openValue, ":%d", kXmessageOpenStatus);
      SString buttons = xmessageButtonLabel(openLabel).append(openValue);
      buttons.append(",").append(xmessageButtonLabel(closeLabel)).append(":1");
      return argv(program, {"-title", title, "-center", "-buttons", buttons, "-default", xmessageButtonLabel(openLabel),
                            xmessageText(text)});
    }
    case DIALOG_OSASCRIPT:
      break;
  }
#ifdef __APPLE__
  // The close button is the cancel button: choosing it ends osascript with
  // an error status.
  return argv(program, {"-e", kAppleScriptStart, "-e",
                        "display dialog (item 1 of argv) with title (item 2 of argv) "
                        "buttons {item 3 of argv, item 4 of argv} default button 2 cancel button 1 "
                        "with icon caution",
                        "-e", kAppleScriptEnd, "--", text, title, closeLabel, openLabel});
#else
  return std::vector<SString>();
#endif
}

int questionOpenStatus(DialogProgramKind kind) { return kind == DIALOG_XMESSAGE ? kXmessageOpenStatus : 0; }

bool hasProgressWindow(DialogProgramKind kind) { return kind == DIALOG_ZENITY || kind == DIALOG_KDIALOG; }

std::vector<SString> progressDialogCommand(DialogProgramKind kind, const SString& program, const SString& title,
                                           const SString& text, bool pulsate) {
  if (kind == DIALOG_ZENITY) {
    std::vector<SString> result = argv(program, {"--progress", "--auto-close", kZenityWidth, option("--title=", title),
                                                 option("--text=", zenityMarkupText(text))});
    if (pulsate) result.push_back(SString("--pulsate"));
    return result;
  }
  if (kind == DIALOG_KDIALOG) {
    // A maximum of 0 makes a bar that only shows that work goes on.
    return argv(program, {"--title", title, "--progressbar", kdialogText(text), pulsate ? "0" : "100"});
  }
  return std::vector<SString>();
}

SString zenityProgressTextLine(const SString& text) {
  // zenity shows such a line as plain text, after reading its backslash
  // escapes.
  SString line("# ");
  for (unsigned long i = 0; i < text.length(); ++i) {
    if (text[i] == '\\') line += '\\';
    line += text[i] == '\n' || text[i] == '\r' ? ' ' : text[i];
  }
  line += '\n';
  return line;
}

bool kdialogProgressAddress(const SString& output, SString& service, SString& path) {
  // "org.kde.kdialog-1234 /ProgressDialog", perhaps with a line end.
  SString text = output;
  while (!text.empty() && (text[text.length() - 1] == '\n' || text[text.length() - 1] == ' ')) {
    text.erase(text.length() - 1);
  }
  unsigned long blank = text.find(' ');
  if (blank == SString::npos || blank == 0) return false;
  SString first = text.substr(0, blank);
  SString second = text.substr(blank + 1);
  if (second.empty() || second[0] != '/') return false;
  for (unsigned long i = 0; i < first.length(); ++i) {
    char c = first[i];
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
              c == '-' || c == ':';
    if (!ok) return false;
  }
  for (unsigned long i = 0; i < second.length(); ++i) {
    char c = second[i];
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '/';
    if (!ok) return false;
  }
  service = first;
  path = second;
  return true;
}

std::vector<SString> qdbusProgressValueCommand(const SString& qdbus, const SString& service, const SString& path,
                                               int percent) {
  char value[16];
  snprintf(value, sizeof value, "%d", percent);
  return argv(qdbus, {service, path, "Set", "", "value", value});
}

std::vector<SString> qdbusProgressTextCommand(const SString& qdbus, const SString& service, const SString& path,
                                              const SString& text) {
  return argv(qdbus, {service, path, "setLabelText", kdialogText(text)});
}

std::vector<SString> qdbusProgressCall(const SString& qdbus, const SString& service, const SString& path,
                                       const char* method, const char* argument) {
  std::vector<SString> result = argv(qdbus, {service, path, method});
  if (argument != nullptr) result.push_back(SString(argument));
  return result;
}
