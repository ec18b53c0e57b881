// Work that goes on after the launcher has ended: a detached process of the
// lowest priority.
//
// The launcher forks twice and waits only for the first child, which ends
// at once; the second one leaves the launcher's session and process group
// (setsid), gets the lowest CPU priority unless asked otherwise (nice 19; on
// Linux also the idle scheduling class and idle I/O priority, so that it
// runs only on time that nothing else wants), default signal handling, standard input,
// output and error on /dev/null (so it never holds a terminal or a pipe
// that the launcher's caller reads to its end) and no other open file but
// the one named, then does its work and exits. It never returns into the
// launcher's own code.
#ifndef BV_PLATFORM_DETACHED_PROCESS_H_
#define BV_PLATFORM_DETACHED_PROCESS_H_

#include <functional>
#include <string>
#include <vector>

// Starts work in a detached process as above; keepFd (or -1) stays open in
// it. name becomes the process's name as ps -e, top and pgrep show it (at
// most 15 bytes) and, on Linux, its command line as ps aux shows it (when
// the launcher's arguments took at least as many bytes), so that nobody
// takes it for the application, which has ended. lowPriority false keeps
// the launcher's priority (a window that a person looks at). True when the
// process was started.
bool startDetached(const std::function<void()>& work, int keepFd, const char* name = "bvlauncher-work",
                   bool lowPriority = true);

// For the work of a detached process: runs the program argv[0] (a path;
// no PATH search) with argv, in workingDirectory (empty: the current one),
// its standard streams on /dev/null, and waits for it at most
// timeoutSeconds, after which it is killed. Returns its exit status, or -1
// when it could not be started, was killed or died from a signal.
int runProgramAndWait(const std::vector<std::string>& argv, const std::string& workingDirectory,
                      unsigned timeoutSeconds);

#endif  // BV_PLATFORM_DETACHED_PROCESS_H_
