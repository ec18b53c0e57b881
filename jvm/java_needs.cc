#include "jvm/java_needs.h"

#include <sys/utsname.h>

#include "jvm/jvm_file.h"
#include "jvm/jvm_files.h"
#include "jvm/tag_names.h"
#include "platform/web_url.h"
#include "tagfile/tag_file.h"

const char* downloadUrlTagName = "DOWNLOAD_URL";

namespace {

const char kOsNamePrefix[] = "os.name=";
const unsigned long kOsNamePrefixLength = sizeof kOsNamePrefix - 1;

// Whether one of the file's conditions names another os.name.
bool isForAnotherSystem(const TagFile& tagFile, const SString& osName) {
  long count = tagFile.getTagValueCount(jvmPropertiesTagName);
  for (long i = 0; i < count; ++i) {
    SString condition = tagFile.getTagValue(jvmPropertiesTagName, static_cast<unsigned long>(i));
    if (condition.find(kOsNamePrefix) != 0) continue;
    SString wanted = condition.substr(kOsNamePrefixLength);
    unsigned long length = wanted.length();
    if (length >= 3 && wanted.substr(length - 3).compare("...") == 0) {
      SString prefix = wanted.substr(0, length - 3);
      if (osName.find(prefix) != 0) return true;
    } else if (wanted.compare(osName) != 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

SString thisSystemOsName() {
#if defined(__APPLE__)
  return SString("Mac OS X");
#elif defined(__linux__)
  return SString("Linux");
#else
  struct utsname name;
  return uname(&name) == 0 ? SString(name.sysname) : SString();
#endif
}

JavaNeeds javaNeedsOf(const JVMFiles& files) {
  JavaNeeds needs;
  SString osName = thisSystemOsName();
  std::vector<SString> descriptions;
  SString otherSystemsUrl;
  bool anyForThisSystem = false;
  for (long i = 0; i < files.getJVMFileCount(); ++i) {
    const JVMFile& file = *files.getJVMFile(i);
    if (file.isForThisSystem() && !isForAnotherSystem(*file.getTagFile(), osName)) anyForThisSystem = true;
  }
  for (long i = 0; i < files.getJVMFileCount(); ++i) {
    const JVMFile& file = *files.getJVMFile(i);
    const TagFile& tagFile = *file.getTagFile();
    // A file for another system by its PLATFORM or its os.name condition.
    bool forThisSystem =
        !anyForThisSystem || (file.isForThisSystem() && !isForAnotherSystem(tagFile, osName));
    SString url = tagFile.getTagValue(downloadUrlTagName, 0);
    if (!url.empty()) {
      if (!isWebPageUrl(url)) {
        needs.warnings.push_back(SString("Ignoring DOWNLOAD_URL ")
                                     .append(url)
                                     .append(" of JVM file ")
                                     .append(tagFile.getName())
                                     .append(": it is not an http or https address."));
      } else if (forThisSystem && needs.downloadUrl.empty()) {
        needs.downloadUrl = url;
      } else if (otherSystemsUrl.empty()) {
        otherSystemsUrl = url;
      }
    }
    if (!forThisSystem) continue;
    SString desc = tagFile.getTagValue("DESC", 0);
    if (desc.empty()) continue;
    bool seen = false;
    for (const SString& seenDesc : descriptions) seen = seen || seenDesc.compare(desc) == 0;
    if (seen) continue;
    descriptions.push_back(desc);
    if (!needs.description.empty()) needs.description.append(", ");
    needs.description.append(desc);
  }
  if (needs.downloadUrl.empty()) needs.downloadUrl = otherSystemsUrl;
  return needs;
}
