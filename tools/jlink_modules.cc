#include "tools/jlink_modules.h"

#include <algorithm>

#include "tools/pack_options.h"

namespace {

std::string trimmedLine(const std::string& line) {
  size_t begin = line.find_first_not_of(" \t\r");
  size_t end = line.find_last_not_of(" \t\r");
  return begin == std::string::npos ? std::string() : line.substr(begin, end - begin + 1);
}

}  // namespace

JdkModules parseJimageList(const std::string& text) {
  JdkModules jdk;
  std::string module;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = trimmedLine(text.substr(start, end - start));
    start = end + 1;
    if (line.compare(0, 8, "Module: ") == 0) {
      module = trimmedLine(line.substr(8));
      if (!module.empty()) jdk.names.insert(module);
      continue;
    }
    const std::string suffix = ".class";
    if (module.empty() || line.size() <= suffix.size() ||
        line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0 ||
        line.compare(0, 9, "META-INF/") == 0) {
      continue;
    }
    size_t slash = line.find_last_of('/');
    if (slash == std::string::npos || slash == 0) continue;
    std::string package = line.substr(0, slash);
    std::replace(package.begin(), package.end(), '/', '.');
    jdk.packageModule.emplace(package, module);
  }
  return jdk;
}

const std::vector<ModuleReason>& byNameModules() {
  // Chosen by what they cost (a runtime of java.base alone is 46 MB with
  // JDK 17) against how often an application needs them unseen by jdeps.
  // Left out: jdk.localedata (22.5 MB: the formats of locales other than
  // English), jdk.naming.dns (1.1 MB with java.naming), jdk.crypto.cryptoki
  // (0.85 MB, hardware tokens).
  static const std::vector<ModuleReason> modules = {
      {"jdk.crypto.ec", "elliptic-curve cryptography for TLS (0.2 MB; part of java.base from JDK 22 on)"},
      {"jdk.charsets", "the extended character sets, such as Shift_JIS and Big5 (2.0 MB)"},
      {"jdk.zipfs", "the zip file system provider (0.16 MB)"},
      {"jdk.unsupported", "sun.misc.Unsafe and sun.reflect, used by many libraries (0.03 MB)"},
      {"jdk.net", "the extended socket options (0.05 MB)"},
  };
  return modules;
}

std::string ModuleList::text() const {
  std::string joined;
  for (const std::string& module : modules) joined += (joined.empty() ? "" : ",") + module;
  return joined;
}

ModuleList chooseJlinkModules(const ModuleSources& sources, const JdkModules& jdk) {
  std::set<std::string> chosen(sources.jdeps.begin(), sources.jdeps.end());
  ModuleList list;
  auto add = [&](const std::string& module, const std::string& reason, bool required) {
    if (!jdk.names.empty() && jdk.names.count(module) == 0) {
      if (required) throw PackError("the JDK has no module " + module + " (" + reason + ")");
      return;
    }
    if (chosen.insert(module).second) list.additions.push_back(ModuleReason{module, reason});
  };
  for (const std::string& module : sources.requested) add(module, "--add-modules", true);
  for (const ModuleReason& extra : sources.extra) add(extra.module, extra.reason, true);
  if (sources.byName && !jdk.names.empty()) {
    for (const ModuleReason& module : byNameModules()) add(module.module, module.reason, false);
  }
  if (sources.everyModule) {
    for (const std::string& module : jdk.names) add(module, "--all-modules", true);
  }
  list.modules.assign(chosen.begin(), chosen.end());
  return list;
}

std::vector<ModuleReason> unlistedModules(const std::map<std::string, std::string>& referencedPackages,
                                          const JdkModules& jdk, const std::set<std::string>& runtimeModules) {
  std::map<std::string, std::string> found;
  for (const auto& reference : referencedPackages) {
    auto module = jdk.packageModule.find(reference.first);
    if (module == jdk.packageModule.end() || runtimeModules.count(module->second) != 0) continue;
    found.emplace(module->second, reference.second);
  }
  std::vector<ModuleReason> result;
  for (const auto& item : found) result.push_back(ModuleReason{item.first, item.second});
  return result;
}
