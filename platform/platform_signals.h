// The platform's side of cancel signals, shared by the files of platform/:
// the record of the running child (to pass signals on to it) and a copy of
// the clean-up lists that a signal handler can use.
//
// The handlers (PlatformImpl::installCancelHandlers, platform_signals.cc)
// may run between any two instructions of the launcher, so what they read is
// kept in a form they can read safely: plain C strings in an array that is
// only ever replaced whole, and counters of type sig_atomic_t. The clean-up
// lists themselves (StringDeque) are never touched by a handler.
#ifndef BV_PLATFORM_PLATFORM_SIGNALS_H_
#define BV_PLATFORM_PLATFORM_SIGNALS_H_

#include <signal.h>
#include <sys/types.h>

#include "foundation/sstring.h"

// Records a temporary path that must go even when a second signal ends the
// launcher at once. Each call adds one record.
void registerTempPathForSignals(const SString& path);
// Takes the first record equal to path away; nothing when there is none.
void unregisterTempPathForSignals(const SString& path);

// Holds the cancel signals back for its lifetime (they are delivered when
// it ends), so that a handler never sees a half-made record.
class CancelSignalBlocker {
 public:
  CancelSignalBlocker();
  ~CancelSignalBlocker() { release(); }
  CancelSignalBlocker(const CancelSignalBlocker&) = delete;
  CancelSignalBlocker& operator=(const CancelSignalBlocker&) = delete;

  // Ends the block early.
  void release();
  // The mask that was in force before, for a forked child to put back.
  const sigset_t& previousMask() const { return m_previous; }

 private:
  sigset_t m_previous;
  bool m_blocked;
};

// In a child just forked with the cancel signals blocked, before it runs
// the command: the default action for the cancel signals, the SIGPIPE
// action from before the launcher ignored it, and the mask of before the
// block. Async-signal-safe.
void resetCancelSignalsInChild(const sigset_t& mask);

// Marks a child as running while the object lives: a second cancel signal
// then no longer ends the launcher at once, since the loop that waits for
// the child passes it on and ends the child first.
class RunningChildRecord {
 public:
  RunningChildRecord();
  ~RunningChildRecord();
  RunningChildRecord(const RunningChildRecord&) = delete;
  RunningChildRecord& operator=(const RunningChildRecord&) = delete;
};

// Cancels the run as the cancel signal sig would when it arrived now (the
// cancel flag, the signal that the loop waiting for a child passes on to
// it, the exit status 128 + sig), without any signal being sent: for a
// cancel that the user asked for in a window. Unlike a second signal, a
// cancel of this kind never ends the launcher at once.
void cancelLikeSignal(int sig);

// For a launcher that follows the conventions of Unix commands
// (UNIX_COMMAND, run_console.h): a run stopped by a signal from outside says "Stopped by
// signal NAME." (NAME without "SIG": TERM, INT, HUP, QUIT, USR1, USR2,
// ALRM) instead of the catalogued "Canceled by the user.", which stays for
// a cancel asked for in a window (cancelLikeSignal) and for every other
// launcher. The text that replaces it now, or "" when it stays.
SString stoppedBySignalText();

// How many cancel signals have arrived in the run, and the last of them
// (0 before the first). A waiting loop compares the count with the one it
// saw before to learn of a new signal.
long cancelSignalCount();
int lastCancelSignal();

#endif  // BV_PLATFORM_PLATFORM_SIGNALS_H_
