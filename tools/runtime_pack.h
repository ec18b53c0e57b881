// bvpack's side of the bundled Java runtime: packing a runtime image into
// the entry that archive/runtime_archive.h describes, checking its Java
// version against the payload's JVM files, and making a runtime with jlink.
#ifndef BV_TOOLS_RUNTIME_PACK_H_
#define BV_TOOLS_RUNTIME_PACK_H_

#include <string>
#include <vector>

#include "archive/runtime_archive.h"
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
// a name longer than the format holds, read and write errors.
PackedRuntime packRuntimeImage(const std::string& dir, int use, int level, const std::string& out,
                               const std::vector<RuntimeAnswer>& answers = std::vector<RuntimeAnswer>());

// Refuses (PackError) a payload whose java-runtime entry no JVM file can
// accept by its java.specification.version conditions, or that has no JVM
// file at all. runtimeDir names the runtime in the message.
void checkRuntimeFloor(const PackJob& job, const std::string& runtimeDir, const std::string& javaVersion);

// The JDK home whose bin/jlink and bin/jdeps --jlink runs: JAVA_HOME when
// it has bin/jlink, else the one of the jlink on PATH. Throws PackError
// when there is none.
std::string findJdk();

// Makes a runtime image for the jars with the jdeps and jlink of the JDK in
// JAVA_HOME (when it has bin/jlink), else the one on PATH, into outDir
// (which must not exist): the modules that jdeps --print-module-deps
// finds, plus addModules, with --strip-debug --no-man-pages
// --no-header-files, and --generate-cds-archive when that jlink has it
// (Java 17 and later). Returns the modules, comma-separated. Throws PackError
// with the tool's output when one fails or no JDK is found.
std::string jlinkRuntime(const std::vector<std::string>& jars, const std::vector<std::string>& addModules,
                         const std::string& outDir, std::string* jdkHome = nullptr);

// Removes the tree at path (links removed as links). Never throws.
void removeTree(const std::string& path);

#endif  // BV_TOOLS_RUNTIME_PACK_H_
