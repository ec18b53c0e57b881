// Fd: the owner of one file descriptor, which it closes when it goes.
#ifndef BV_PLATFORM_UNIQUE_FD_H_
#define BV_PLATFORM_UNIQUE_FD_H_

#include <unistd.h>

class Fd {
 public:
  explicit Fd(int fd = -1) : m_fd(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  // The descriptor, or -1.
  int get() const { return m_fd; }
  // Where a call that opens a descriptor may store it (the old one must be
  // closed first).
  int* address() { return &m_fd; }
  // Gives the descriptor up without closing it.
  int release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
  }
  // Closes the descriptor, if any.
  void reset() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd;
};

#endif  // BV_PLATFORM_UNIQUE_FD_H_
