#include "tools/pack_check.h"

#include "archive/archive_format.h"
#include "foundation/launcher_exception.h"
#include "instructions/instructions.h"
#include "instructions/instructions_exception.h"
#include "launchscript/launch_script.h"
#include "platform/web_url.h"
#include "tagfile/tag_file.h"
#include "tools/pack_options.h"

namespace {

const char kWhitespace[] = " \t\n\r";

// The columns (from 1) of each character of a value that begins at
// column start of line: a quoted value counts a doubled quote once.
long columnOf(const std::string& line, size_t start, unsigned long valuePosition) {
  if (start >= line.size() || line[start] != '"') return static_cast<long>(start + valuePosition) + 1;
  size_t i = start + 1;
  for (unsigned long n = 0; n < valuePosition && i < line.size(); ++n) {
    i += line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"' ? 2 : 1;
  }
  return static_cast<long>(i) + 1;
}

}  // namespace

TextPlace findValuePlace(const std::string& text, const char* tag, long valueIndex,
                         unsigned long valuePosition) {
  // The lines as the reader sees them: carriage returns dropped.
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);

  TextPlace place;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& raw = lines[i];
    size_t first = raw.find_first_not_of(kWhitespace);
    if (first == std::string::npos) continue;
    size_t last = raw.find_last_not_of(kWhitespace);
    size_t colon = raw.find(':', first);
    if (colon == std::string::npos) continue;
    std::string name = raw.substr(first, colon - first);
    size_t nameEnd = name.find_last_not_of(kWhitespace);
    name = nameEnd == std::string::npos ? "" : name.substr(0, nameEnd + 1);
    bool mine = name == tag;
    if (colon != last) {
      if (mine) {
        place = TextPlace();
        if (valueIndex == 0) {
          size_t start = raw.find_first_not_of(kWhitespace, colon + 1);
          place.line = static_cast<long>(i) + 1;
          place.column = columnOf(raw, start, valuePosition);
        }
      }
      continue;
    }
    // A block: values up to "/:"; empty lines add nothing.
    if (mine) place = TextPlace();
    long index = 0;
    for (++i; i < lines.size(); ++i) {
      const std::string& value = lines[i];
      size_t start = value.find_first_not_of(kWhitespace);
      if (start == std::string::npos) continue;
      std::string trimmed = value.substr(start, value.find_last_not_of(kWhitespace) - start + 1);
      if (trimmed == "/:" || trimmed == "\"/:\"") break;
      if (trimmed == "\"\"") continue;
      if (mine && index == valueIndex) {
        place.line = static_cast<long>(i) + 1;
        place.column = columnOf(value, start, valuePosition);
      }
      ++index;
    }
  }
  return place;
}

void checkScript(int type, const std::string& path, const std::string& text, const TagFile& tags) {
  if (type == FILE_INSTRUCTIONS) {
    long statement = 0;
    std::string message;
    try {
      Instructions::check(tags, &statement);
      return;
    } catch (const InstructionsException& e) {
      statement = e.getLineNumber();
      message = e.getMessage().c_str();
    } catch (const LauncherException& e) {
      message = e.getMessage().c_str();
    }
    TextPlace place = findValuePlace(text, Instructions::g_instructionsTag, statement - 1, 0);
    throw PackError(path + ": line " + std::to_string(place.line) + " (statement " + std::to_string(statement) +
                    "): " + message);
  }
  if (type == FILE_JVM) {
    // The launcher would never print or open another address.
    SString url = tags.getTagValue("DOWNLOAD_URL", 0);
    if (url.empty() || isWebPageUrl(url)) return;
    TextPlace place = findValuePlace(text, "DOWNLOAD_URL", 0, 0);
    throw PackError(path + ": line " + std::to_string(place.line) + ": DOWNLOAD_URL \"" + url.c_str() +
                    "\" is not an http or https address (printable ASCII, no blanks, quotes, backslashes or "
                    "< > ^ ` { | } $)");
  }
  if (type == FILE_LAUNCH_SCRIPT) {
    SString command = tags.getTagValue("COMMAND", 0);
    if (command.empty()) return;
    unsigned long position = 0;
    try {
      LaunchScript::checkTemplate(command, &position);
    } catch (const LauncherException& e) {
      TextPlace place = findValuePlace(text, "COMMAND", 0, position);
      throw PackError(path + ": line " + std::to_string(place.line) + ", character " +
                      std::to_string(place.column) + ": " + e.getMessage().c_str());
    }
  }
}
