// Stand-in until the launcher operations land: the operations that the
// instruction script calls, each failing with a clear message.
#include "launcher/launcher.h"
#include "launcher/launcher_exception.h"

namespace {

[[noreturn]] void notAvailable(const char* name) {
  throw LauncherException(SString(name).append(" is not available yet."));
}

}  // namespace

// Stand-in until the launcher operations land
void Launcher::initializeUI() { notAvailable("initializeUI"); }
// Stand-in until the launcher operations land
void Launcher::findJVM(bool, bool) { notAvailable("findJVM"); }
// Stand-in until the launcher operations land
void Launcher::verifyJVM(bool, bool, long) { notAvailable("verifyJVM"); }
// Stand-in until the launcher operations land
long Launcher::launch(const SString&, short) { notAvailable("launch"); }
// Stand-in until the launcher operations land
long Launcher::ilaunch(long, short) { notAvailable("ilaunch"); }
// Stand-in until the launcher operations land
void Launcher::installJVM(InstallJVMOption) { notAvailable("installJVM"); }
// Stand-in until the launcher operations land
void Launcher::executeEmbeddedLauncher(long) { notAvailable("executeEmbeddedLauncher"); }
// Stand-in until the launcher operations land: no archive is extracted or
// copied; the cached path (empty) is returned.
SString& Launcher::getApplicationArchive() { return m_applicationArchive; }
// Stand-in until the launcher operations land
SString& Launcher::getApplicationArchive(const SString&) { return m_applicationArchive; }
