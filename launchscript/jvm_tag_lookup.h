// JVMTagLookup: the JVM file's tags as the launch script reads them: value 0
// of a tag, and text with its @NAME@ macros replaced by those values. The
// JVM description file (jvm/jvm_file.h) builds on it; a launch script only
// ever sees this part of it.
#ifndef BV_LAUNCHSCRIPT_JVM_TAG_LOOKUP_H_
#define BV_LAUNCHSCRIPT_JVM_TAG_LOOKUP_H_

#include "foundation/sstring.h"
#include "launchscript/macro_handler.h"

class TagFile;

class JVMTagLookup : public MacroHandler {
 public:
  // tagFile must outlive this object; it is not owned.
  explicit JVMTagLookup(TagFile& tagFile) : m_tagFile(&tagFile) {}
  JVMTagLookup(const JVMTagLookup&) = delete;
  JVMTagLookup& operator=(const JVMTagLookup&) = delete;
  // Not virtual: objects are never deleted through this class.
  ~JVMTagLookup() {}

  TagFile* getTagFile() const { return m_tagFile; }

  // text with its @NAME@ macros replaced (MacroHandler::resolve with '@').
  SString resolve(const SString& text) const;
  // Replaces @NAME@ (delimiters at start and end) by value 0 of the tag
  // NAME, empty when there is none, every byte kept (a trailing backslash
  // too). While a command collects values (ShellValueScope), the tags that
  // the launcher sets itself (isFoundJVMTag: what it found on disk) go in
  // as values; the others are template text.
  // delimiter is not looked at; end is not changed.
  void processMacro(SString& text, char delimiter, unsigned long start,
                    unsigned long& end) const override;

 protected:
  TagFile* m_tagFile;
};

#endif  // BV_LAUNCHSCRIPT_JVM_TAG_LOOKUP_H_
