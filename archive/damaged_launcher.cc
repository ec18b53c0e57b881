#include "archive/damaged_launcher.h"

#include "platform/platform_impl.h"

DamagedLauncherException::DamagedLauncherException(const SString& detail)
    : LauncherFileException(PlatformImpl::getMessageText(MSG_LAUNCHER_DAMAGED)), m_detail(detail) {}
