#include "launchscript/jvm_tag_lookup.h"

#include "launchscript/shell_quoting.h"
#include "tagfile/tag_file.h"

SString JVMTagLookup::resolve(const SString& text) const { return MacroHandler::resolve(text, '@'); }

void JVMTagLookup::processMacro(SString& text, char, unsigned long start, unsigned long& end) const {
  SString name(text, start + 1, end - start - 1);
  // Every byte of the value counts: a home ending in a backslash is run
  // and checked as that folder, never as its namesake without it.
  SString value = m_tagFile->getTagValue(name.c_str(), 0);
  if (ShellValues::isCollecting()) {
    if (isFoundJVMTag(name)) {
      value = ShellValues::insert(value);
    } else {
      ShellValues::stripNul(value);
    }
  }
  text.replace(start, end - start + 1, value);
}
