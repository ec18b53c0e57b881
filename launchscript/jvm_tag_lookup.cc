#include "launchscript/jvm_tag_lookup.h"

#include "launchscript/shell_quoting.h"
#include "tagfile/tag_file.h"

SString JVMTagLookup::resolve(const SString& text) const { return MacroHandler::resolve(text, '@'); }

void JVMTagLookup::processMacro(SString& text, char, unsigned long start, unsigned long& end) const {
  SString name(text, start + 1, end - start - 1);
  // @JVM_HOME@ drops one trailing backslash of the home, as the JVM file
  // format defines; the check of a home examines and runs that same folder
  // (JVMFile::verify).
  SString value = m_tagFile->getTagValue(name.c_str(), 0);
  if (name.compare("JVM_HOME") == 0 && !value.empty() && value[value.length() - 1] == '\\') {
    value.erase(value.length() - 1);
  }
  if (ShellValues::isCollecting()) {
    if (isFoundJVMTag(name)) {
      value = ShellValues::insert(value);
    } else {
      ShellValues::stripNul(value);
    }
  }
  text.replace(start, end - start + 1, value);
}
