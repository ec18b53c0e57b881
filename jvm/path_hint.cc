#include "jvm/path_hint.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "foundation/log.h"
#include "jvm/version_compare.h"
#include "platform/path_pattern.h"
#include "tagfile/text_utils.h"

const long kMaxPathHintMatches = 256;

namespace {

// How many paths one level of a pattern may list before the rest are left
// out; the candidates are the newest kMaxPathHintMatches of them.
const long kMaxListedPaths = 4096;

void logInfo(const SString& a, const SString& b, const SString& c = SString()) {
  SString line(a);
  line += b;
  line += c;
  logMessage(line, LOG_INFO);
}

// Newest first: the higher numbers first, ties by name.
bool newerThan(const SString& a, const SString& b) {
  int order = compareNamesByNumbers(a, b);
  if (order != 0) return order > 0;
  return a.compare(b) < 0;
}

// The candidates of base followed by rest: the plain path, or the newest
// matches of a pattern.
void addCandidates(const SString& hint, const SString& base, const SString& rest,
                   StringDeque& candidates) {
  if (!hasPathPatternChars(rest)) {
    SString candidate(base);
    candidate += rest;
    if (!candidate.empty()) candidates.push_back(candidate);
    return;
  }
  StringDeque found;
  bool complete = expandPathPattern(base, rest, kMaxListedPaths, found);
  std::vector<SString> sorted;
  for (long i = 0; i < found.size(); ++i) sorted.push_back(found.at(i));
  if (sorted.empty()) {
    logInfo("Path hint ", hint, " matches no directory");
    return;
  }
  std::sort(sorted.begin(), sorted.end(), newerThan);
  if (!complete || static_cast<long>(sorted.size()) > kMaxPathHintMatches) {
    logInfo("Path hint ", hint, " matches too many directories; only some are tried");
  }
  long count = std::min(static_cast<long>(sorted.size()), kMaxPathHintMatches);
  for (long i = 0; i < count; ++i) candidates.push_back(sorted[i]);
}

}  // namespace

void expandPathHint(const SString& hint, const StringDeque& partitions, const SString& launcherDir,
                    StringDeque& candidates, bool& relative) {
  relative = false;
  if (!hint.empty() && hint[0] == '/') {
    SString rest(hint, 1, SString::npos);
    for (long i = 0; i < partitions.size(); ++i) {
      SString base(partitions.at(i));
      appendPathSeparator(base);
      addCandidates(hint, base, rest, candidates);
    }
    return;
  }
  if (hint.compare(0, 2, "~/") == 0) {
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
      logInfo("Skipping path hint ", hint, " because HOME is not set");
      return;
    }
    SString base(home);
    appendPathSeparator(base);
    addCandidates(hint, base, SString(hint, 2, SString::npos), candidates);
    return;
  }
  // Relative to the launcher's directory, e.g. a JVM on the install medium.
  relative = true;
  SString base(launcherDir);
  appendPathSeparator(base);
  addCandidates(hint, base, hint, candidates);
}
