// bvpack asks a Java runtime, once, what the launcher would ask it on every
// machine: the values of the system properties that depend only on the
// runtime's own bytes. They are recorded in the runtime's entry
// (archive/runtime_archive.h), so that a launcher that unpacks it starts no
// JVM to verify it (jvm/jvm_file.h, JVMFile::performVerify).
#ifndef BV_TOOLS_RUNTIME_ANSWERS_H_
#define BV_TOOLS_RUNTIME_ANSWERS_H_

#include <string>
#include <vector>

#include "archive/runtime_archive.h"

// The properties asked: fixed by the runtime's build (its version, vendor,
// VM, class-file version, processor and word size, the system it was built
// for, the separators). Never one that depends on the machine, the user,
// the folder the runtime lies in, the options or the time: java.home,
// user.*, os.version, java.io.tmpdir, java.vm.info (it tells whether the
// class-data archive was used) and the like.
const std::vector<std::string>& recordedRuntimeProperties();

// Runs DIR/bin/java with the built-in verification class over
// recordedRuntimeProperties() (through runFor of tools/process_run.h: an
// environment of its own without JAVA_TOOL_OPTIONS and the like, a private
// temporary copy of the class, at most timeoutSeconds, at most a mebibyte
// of output) and returns what it printed, in that
// order, values holding a line break left out. Empty, with why set to the
// reason, when it cannot run or does not answer.
std::vector<RuntimeAnswer> askRuntime(const std::string& dir, std::string& why, int timeoutSeconds = 60);

#endif  // BV_TOOLS_RUNTIME_ANSWERS_H_
