// LauncherException: the exception for every operational failure.
//
// It holds one English message composed at the throw site, often a
// catalogued prefix followed by an inner exception's message with no
// separator. It is caught and wrapped at a few boundaries and finally in
// Launcher::process, which shows and logs it and makes the exit code -1.
#ifndef BV_FOUNDATION_LAUNCHER_EXCEPTION_H_
#define BV_FOUNDATION_LAUNCHER_EXCEPTION_H_

#include "foundation/sstring.h"

class LauncherException {
 public:
  explicit LauncherException(const SString& message) : m_message(message) {}
  explicit LauncherException(const char* message) : m_message(message) {}
  virtual ~LauncherException() {}

  const SString& getMessage() const { return m_message; }

 private:
  SString m_message;
};

#endif  // BV_FOUNDATION_LAUNCHER_EXCEPTION_H_
