// Program entry of the launcher stub that payloads are appended to.
#include "launcher/launcher_entry.h"

int main(int argc, char** argv) { return launcherMain(argc, argv); }
