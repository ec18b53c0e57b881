// The command lines of the programs that show the launcher's windows:
// zenity, kdialog and xmessage on Linux and other X11 or Wayland desktops,
// osascript on macOS. Each text is one argument of its own, escaped for how
// that program reads it (markup, rich text, options), never shell text.
// Texts and labels are UTF-8.
#ifndef BV_PLATFORM_DIALOG_COMMANDS_H_
#define BV_PLATFORM_DIALOG_COMMANDS_H_

#include <vector>

#include "foundation/sstring.h"

enum DialogProgramKind { DIALOG_ZENITY, DIALOG_KDIALOG, DIALOG_XMESSAGE, DIALOG_OSASCRIPT };

struct DialogProgramName {
  const char* name;
  DialogProgramKind kind;
};

// The dialog programs in the order they are looked for in PATH: zenity,
// kdialog, xmessage; on macOS osascript.
extern const DialogProgramName kDialogPrograms[];
extern const int kDialogProgramCount;

// A message window with one button: an error, or plain information. The
// program ends when the user closes it.
std::vector<SString> messageDialogCommand(DialogProgramKind kind, const SString& program, const SString& title,
                                          const SString& text, bool error, const SString& closeLabel);

// A window that explains a problem and offers two answers: openLabel
// (what the user may do about it) and closeLabel. The program ends with
// the exit status questionOpenStatus(kind) when the user chose openLabel.
std::vector<SString> questionDialogCommand(DialogProgramKind kind, const SString& program, const SString& title,
                                           const SString& text, const SString& openLabel, const SString& closeLabel);
int questionOpenStatus(DialogProgramKind kind);

// Whether the program can show a progress window: zenity (fed on its
// standard input) and kdialog (driven through qdbus).
bool hasProgressWindow(DialogProgramKind kind);
// The progress window: with pulsate, a bar that moves without a
// percentage (work of unknown size). zenity reads percentages and text
// lines (zenityProgressLine) on its standard input, closes itself when the
// input ends and ends with a status other than 0 when the user cancels;
// kdialog prints the D-Bus address of its window (kdialogProgressAddress).
std::vector<SString> progressDialogCommand(DialogProgramKind kind, const SString& program, const SString& title,
                                           const SString& text, bool pulsate);
// The line that sets zenity's progress text: "# TEXT\n", line breaks
// turned into blanks, backslashes doubled (zenity reads escapes there).
SString zenityProgressTextLine(const SString& text);

// The D-Bus service and object path that kdialog --progressbar printed
// ("SERVICE PATH"); false when the output is not that.
bool kdialogProgressAddress(const SString& output, SString& service, SString& path);
// qdbus command lines for kdialog's progress window at service and path.
std::vector<SString> qdbusProgressValueCommand(const SString& qdbus, const SString& service, const SString& path,
                                               int percent);
std::vector<SString> qdbusProgressTextCommand(const SString& qdbus, const SString& service, const SString& path,
                                              const SString& text);
std::vector<SString> qdbusProgressCall(const SString& qdbus, const SString& service, const SString& path,
                                       const char* method, const char* argument = nullptr);

// The escapes (exposed for tests): Pango markup for zenity's progress
// text; Qt rich text for kdialog when the text would otherwise be taken
// for it; xmessage's options and button syntax.
SString zenityMarkupText(const SString& text);
SString kdialogText(const SString& text);
SString xmessageText(const SString& text);
SString xmessageButtonLabel(const SString& label);

#endif  // BV_PLATFORM_DIALOG_COMMANDS_H_
