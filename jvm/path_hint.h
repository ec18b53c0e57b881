// The candidate homes of one PATH_HINT value.
//
// A hint is absolute ("/usr/lib/jvm/default-java"), in the user's home
// folder ("~/.jdks/temurin-17": $HOME followed by the rest), or relative to
// the launcher's directory ("jre"). Any of its components may be a shell
// pattern ("/usr/lib/jvm/*", "~/.sdkman/candidates/java/*"): every
// directory that matches is a candidate, newest first, that is ordered by
// the numbers in their paths, descending ("17.0.15" before "17.0.9",
// "jdk-21" before "jdk-17"), ties by name; at most kMaxPathHintMatches of
// them. A hint without pattern characters gives its one candidate whether
// or not it exists, as it always did.
#ifndef BV_JVM_PATH_HINT_H_
#define BV_JVM_PATH_HINT_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

// The most candidates that one pattern gives.
extern const long kMaxPathHintMatches;

// Appends the candidates of hint to candidates, in the order to try them.
// Absolute hints are taken under each of partitions (with "/" appended),
// relative ones under launcherDir (with "/" appended unless it is empty);
// relative is set for the latter, whose matches are temporary JVMs. A "~/"
// hint gives nothing when HOME is unset or empty, and a pattern that
// matches no directory gives nothing; both are logged.
void expandPathHint(const SString& hint, const StringDeque& partitions, const SString& launcherDir,
                    StringDeque& candidates, bool& relative);

#endif  // BV_JVM_PATH_HINT_H_
