// Pack-time checks of the scripts in a payload, with the launcher's own
// parsers: the instruction script (Instructions::check) and the launch
// script's COMMAND template (LaunchScript::checkTemplate). A mistake that
// the launcher would report only at run time, after the whole JVM search,
// is refused when the launcher is packed, with the file and the place.
#ifndef BV_TOOLS_PACK_CHECK_H_
#define BV_TOOLS_PACK_CHECK_H_

#include <string>

class TagFile;

// Where the value of a tag stands in the text of a tag file: the line (from
// 1) and the column (from 1) of the character at valuePosition of the value
// as the reader returns it (doubled quotes of a quoted value count once).
// The last occurrence of the tag counts, as in the reader. line is 0 when
// the value is not found.
struct TextPlace {
  long line = 0;
  long column = 0;
};
TextPlace findValuePlace(const std::string& text, const char* tag, long valueIndex,
                         unsigned long valuePosition);

// Checks an instruction script (type 0), a launch script (type 2) or a JVM
// file (type 1: its DOWNLOAD_URL must be a web page address) that was
// loaded from path into tags; text is the file's content. Throws PackError
// "<path>: line L: <message>" (with ", character C" for a template) for the
// first mistake; other types pass.
void checkScript(int type, const std::string& path, const std::string& text, const TagFile& tags);

#endif  // BV_TOOLS_PACK_CHECK_H_
