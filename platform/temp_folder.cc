#include "platform/temp_folder.h"

#include <ctype.h>

#include "platform/platform_impl.h"

namespace {

// The setting last resolved and what it was resolved to.
SString g_resolvedSetting;
SString g_resolvedPath;

bool endsWithSlash(const SString& text) { return !text.empty() && text[text.length() - 1] == '/'; }

}  // namespace

SString tempFolderToExamine(const SString& dir) {
  if (!g_resolvedPath.empty() && g_resolvedSetting.compare(dir) == 0) return g_resolvedPath;
  return dir;
}

bool resolveTempFolder(const SString& dir, SString& path, SString& reason) {
  if (!g_resolvedPath.empty() && g_resolvedSetting.compare(dir) == 0) {
    path = g_resolvedPath;
    return true;
  }
  SString resolved;
  SString why;
  if (!PlatformImpl::isTrustedFolder(dir, resolved, why)) {
    // One sentence of its own, continued after a colon.
    if (!why.empty()) why[0] = static_cast<char>(tolower(static_cast<unsigned char>(why[0])));
    reason = why;
    return false;
  }
  if (endsWithSlash(dir) && !endsWithSlash(resolved)) resolved.append(1, '/');
  g_resolvedSetting = dir;
  g_resolvedPath = resolved;
  path = resolved;
  return true;
}

void forgetTempFolderResolution() {
  g_resolvedSetting.erase();
  g_resolvedPath.erase();
}
