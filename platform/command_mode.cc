#include "platform/command_mode.h"

namespace {
bool g_unixCommand = false;
}  // namespace

void setUnixCommand(bool unixCommand) { g_unixCommand = unixCommand; }

bool isUnixCommand() { return g_unixCommand; }
