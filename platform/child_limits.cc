#include "platform/child_limits.h"

#include <cstdlib>

namespace {
ChildLimits* g_current = nullptr;
}  // namespace

ChildLimits::ChildLimits(long timeoutMillis, unsigned long outputLimit)
    : m_timeoutMillis(timeoutMillis),
      m_outputLimit(outputLimit),
      m_timedOut(false),
      m_outputCut(false),
      m_outer(g_current) {
  g_current = this;
}

ChildLimits::~ChildLimits() { g_current = m_outer; }

ChildLimits* ChildLimits::current() { return g_current; }

long ChildLimits::verifyTimeoutMillis() {
  const char* text = getenv("BV_VERIFY_TIMEOUT_MS");
  if (text != nullptr && *text != '\0') {
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (*end == '\0' && value > 0) return value;
  }
  return kVerifyTimeoutMillis;
}
