// The module list of a runtime that bvpack makes with jlink, and why each
// module is in it.
//
// jdeps finds the modules that the jars' classes refer to in their code. It
// cannot see what an application loads by name: a service provider
// (ServiceLoader, a security provider, a charset, a file system) or a class
// named in a string (Class.forName("com.sun.tools.javac.Main")). So the
// list is made of several sources, each addition with its reason:
//   - what jdeps found ("jdeps");
//   - the providers that applications commonly load by name
//     (byNameModules()), where the JDK has them;
//   - the modules the author asked for (--add-modules), or every module of
//     the JDK (--all-modules);
//   - any other source a caller adds (ModuleSources::extra), such as the
//     modules that a training run loaded.
// After jlink, the packages of the class names in the jars' constant pools
// (tools/class_version.h) are matched with the JDK's packages: a JDK module
// that the jars name but the runtime lacks is reported, not added (a name
// in a string may be a fallback that the application never takes).
#ifndef BV_TOOLS_JLINK_MODULES_H_
#define BV_TOOLS_JLINK_MODULES_H_

#include <map>
#include <set>
#include <string>
#include <vector>

struct ModuleReason {
  std::string module;
  std::string reason;
};

// The modules of a JDK and the packages of each.
struct JdkModules {
  std::set<std::string> names;
  std::map<std::string, std::string> packageModule;  // "com.sun.tools.javac" -> "jdk.compiler"
};

// The JDK's modules from the output of `jimage list` of its lib/modules
// ("Module: NAME" lines, then the resources indented, "pkg/Name.class").
JdkModules parseJimageList(const std::string& text);

// The providers that bvpack adds by default, each with what it provides.
// Their size in a runtime, measured with jlink of JDK 17 and 25, is in the
// guide (docs/guide.md, "The modules of a jlinked runtime").
const std::vector<ModuleReason>& byNameModules();

struct ModuleSources {
  std::vector<std::string> jdeps;      // what jdeps --print-module-deps found
  std::vector<std::string> requested;  // --add-modules, one name each
  bool everyModule = false;            // --all-modules
  bool byName = true;                  // the byNameModules() the JDK has
  std::vector<ModuleReason> extra;     // other sources, with their reasons
};

struct ModuleList {
  std::vector<std::string> modules;     // in name order, each once
  std::vector<ModuleReason> additions;  // those not from jdeps, with the first reason
  // The modules, comma-separated, as jlink --add-modules takes them.
  std::string text() const;
};

// The list from sources for a JDK with the modules jdk. A requested or
// extra module that jdk lacks throws PackError naming it (jlink would
// refuse it less clearly); a by-name default that it lacks is left out.
// jdk.names empty: nothing is checked (the JDK's modules are unknown) and
// the by-name defaults are left out.
ModuleList chooseJlinkModules(const ModuleSources& sources, const JdkModules& jdk);

// The JDK modules that the referenced packages (JarClasses'
// referencedPackages, merged over the jars, with the jar named in the
// value) belong to and that runtimeModules (the runtime's own list, its
// release file's MODULES) lacks, each with one class name as the reason.
std::vector<ModuleReason> unlistedModules(const std::map<std::string, std::string>& referencedPackages,
                                          const JdkModules& jdk, const std::set<std::string>& runtimeModules);

#endif  // BV_TOOLS_JLINK_MODULES_H_
