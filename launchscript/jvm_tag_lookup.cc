#include "launchscript/jvm_tag_lookup.h"

#include "launchscript/shell_quoting.h"
#include "tagfile/tag_file.h"

namespace {

const char kJVMHomeTag[] = "JVM_HOME";

// The tags that the launcher sets itself (setDynamicJVMTags) hold what it
// found on disk: in a command they are values, not template text.
bool isDynamicTag(const SString& name) {
  return name.compare(kJVMHomeTag) == 0 || name.compare("JVM_FILE") == 0 ||
         name.compare("JVM_TEMP") == 0;
}

}  // namespace

SString JVMTagLookup::resolve(const SString& text) const { return MacroHandler::resolve(text, '@'); }

void JVMTagLookup::processMacro(SString& text, char, unsigned long start, unsigned long& end) const {
  SString name(text, start + 1, end - start - 1);
  SString value = m_tagFile->getTagValue(name.c_str(), 0);
  if (name.compare(kJVMHomeTag) == 0 && !value.empty() && value[value.length() - 1] == '\\') {
    value.erase(value.length() - 1, 1);
  }
  if (ShellValues::isCollecting()) {
    if (isDynamicTag(name)) {
      value = ShellValues::insert(value);
    } else {
      ShellValues::stripNul(value);
    }
  }
  text.replace(start, end - start + 1, value);
}
