// bvpack's side of the bundled Java runtime: packing a runtime image into
// the entry that archive/runtime_archive.h describes, checking its Java
// version against the payload's JVM files, and making a runtime with jlink.
#ifndef BV_TOOLS_RUNTIME_PACK_H_
#define BV_TOOLS_RUNTIME_PACK_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/runtime_archive.h"
#include "tools/jlink_modules.h"
#include "tools/pack_options.h"

// What a packed runtime expands to.
struct PackedRuntime {
  long files = 0;  // members: folders, files and links
  long bytes = 0;  // bytes of the files
};

// The JAVA_VERSION of the runtime image dir ("17.0.15"), from its release
// file. Throws PackError when dir holds no bin/java or no readable
// JAVA_VERSION.
std::string runtimeJavaVersion(const std::string& dir);

// java.specification.version of a JAVA_VERSION: "1.8" for "1.8.0_392",
// "17" for "17.0.15", "21" for "21-ea".
std::string specificationVersionOf(const std::string& javaVersion);

// Writes the runtime entry of the image dir into the file out (which must
// exist; it is truncated): the
// members in name order (identical bytes for identical images), links that
// stay inside dir kept as links, links that lead out of it replaced by what
// they lead to; the files' pieces compressed with zstd at level (1 to 19)
// on every processor; answers recorded in the table. Throws PackError:
// a member that is not a file, folder or link, a link that leads nowhere,
// a name longer than the format holds, read and write errors. progress
// (when set) is told the bytes compressed so far and the total, from the
// calling thread.
PackedRuntime packRuntimeImage(const std::string& dir, int use, int level, const std::string& out,
                               const std::vector<RuntimeAnswer>& answers = std::vector<RuntimeAnswer>(),
                               const std::function<void(uint64_t, uint64_t)>& progress =
                                   std::function<void(uint64_t, uint64_t)>());

// Refuses (PackError) a payload whose java-runtime entry no JVM file can
// accept by its java.specification.version conditions, or that has no JVM
// file at all. runtimeDir names the runtime in the message.
void checkRuntimeFloor(const PackJob& job, const std::string& runtimeDir, const std::string& javaVersion);

// The JDK home whose bin/jlink and bin/jdeps --jlink runs: JAVA_HOME when
// it has bin/jlink, else the one of the jlink on PATH. Throws PackError
// when there is none.
std::string findJdk();

// What jlinkRuntime is to make.
struct JlinkRequest {
  std::vector<std::string> jars;
  std::vector<std::string> addModules;  // --add-modules values (comma lists)
  bool allModules = false;              // --all-modules
  bool byNameModules = true;            // the providers of byNameModules()
  std::vector<ModuleReason> extra;      // modules of other sources, with why
  std::string outDir;                   // must not exist
  // Told each stage as it begins ("jdeps", "modules", "jlink") and ticked
  // while a tool runs (progress on a terminal); both may be empty.
  std::function<void(const std::string&)> stage;
  std::function<void()> tick;
};

struct JlinkOutcome {
  std::string jdk;                      // the JDK home whose tools ran
  ModuleList list;                      // the modules given to jlink
  std::vector<ModuleReason> unlisted;   // JDK modules the jars name, not in the runtime
  std::vector<std::string> notes;       // what could not be checked
};

// Makes a runtime image for the jars with the jdeps, jimage and jlink of
// the JDK in JAVA_HOME (when it has bin/jlink), else the one on PATH, into
// outDir: the module list of tools/jlink_modules.h (what jdeps
// --print-module-deps finds, the by-name providers, the requested and
// extra modules), with --strip-debug --no-man-pages --no-header-files, and
// --generate-cds-archive when that jlink has it (Java 17 and later); then
// scans the jars' constant pools for JDK modules that the runtime lacks.
// Each tool runs through runFor (tools/process_run.h) with a deadline
// (jlink: an hour). Throws PackError with the tool's output when one
// fails, or when no JDK is found.
JlinkOutcome jlinkRuntime(const JlinkRequest& request);

// The jars (files named *.jar, or links to such files) in folder and the
// folders below it (not through links to folders), in name order; at most
// 10000, at most 32 folders deep (depth: how deep folder is). Unreadable
// folders are passed over.
std::vector<std::string> jarsInFolder(const std::string& folder, int depth = 0);

// Removes the tree at path (links removed as links). Never throws.
void removeTree(const std::string& path);

#endif  // BV_TOOLS_RUNTIME_PACK_H_
