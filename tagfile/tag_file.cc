#include "tagfile/tag_file.h"

#include <cstring>

#include "foundation/launcher_exception.h"
#include "foundation/log.h"
#include "tagfile/read_open.h"
#include "tagfile/text_utils.h"

namespace {

const char kBlockTerminator[] = "/:";

bool needsQuotes(const SString& value) {
  return value.empty() || isWhitespace(value[0]) || isWhitespace(value[value.length() - 1]) ||
         value.find('"') != SString::npos;
}

// Appends "  value\n", or the value between double quotes with each double
// quote doubled when it would not read back bare.
void appendValue(SString& text, const SString& value) {
  text.append("  ");
  if (!needsQuotes(value)) {
    text.append(value);
  } else {
    SString quoted(value);
    for (unsigned long pos = quoted.find('"'); pos != SString::npos;
         pos = quoted.find('"', pos + 2)) {
      quoted.insert(pos, 1, '"');
    }
    text.append(1, '"').append(quoted).append(1, '"');
  }
  text.append(1, '\n');
}

}  // namespace

TagFileEntry::TagFileEntry(SString key, StringDeque* values) : m_key(key), m_values(values) {}

TagFileEntry::~TagFileEntry() { delete m_values; }

TagFile::TagFile() : m_loaded(false), m_lineNumber(0) {}

TagFile::TagFile(const SString& fileName) : TagFile() {
  FILE* file = openForReading(fileName);
  if (file == nullptr) {
    SString message("Unable to load input file: ");
    message += fileName;
    throw LauncherException(message);
  }
  FileCloser closer(file);
  load(file, fileName, 0, -1);
}

TagFile::~TagFile() {}

void TagFile::load(FILE* file, const SString& name, long offset, long length) {
  m_name = name;
  m_lineNumber = 0;
  if (offset < 0 || fseek(file, offset, SEEK_SET) != 0) {
    throw LauncherException("Unable to read tag file.");
  }
  SString line;
  for (;;) {
    if (feof(file)) break;
    if (ferror(file)) throw LauncherException("Unable to read tag file.");
    if (length >= 0) {
      long position = ftell(file);
      if (position < 0) throw LauncherException("Unable to read tag file.");
      if (position - offset >= length) break;
    }
    line.erase();
    readLine(file, line);
    if (line.empty()) continue;

    unsigned long colon = line.find(':');
    if (colon == SString::npos) {
      logSyntaxError("Missing colon at the end of the tag name.", m_name, m_lineNumber);
    }
    SString tag(line, 0, colon);
    trim(tag, whitespaceChars);

    if (colon + 1 < line.length()) {
      unsigned long start = line.find_first_not_of(whitespaceChars, colon + 1);
      // A tag read again loses its old values even when its new line is
      // bad.
      if (start == SString::npos) {
        removeValue(tag.c_str());
        logSyntaxError("Invalid tag format.", m_name, m_lineNumber);
      }
      SString value;
      if (line[start] == '"') {
        unsigned long pos = start + 1;
        try {
          value = parseStringArgument(line, pos, true);
        } catch (const LauncherException&) {
          removeValue(tag.c_str());
          throw;
        }
      } else {
        value.assign(line, start, SString::npos);
      }
      StringDeque* values = new StringDeque();
      values->push_back(value);
      replaceEntry(tag.c_str(), values);
    } else {
      removeValue(tag.c_str());
      readBlock(file, tag.c_str(), m_lineNumber);
    }
  }
  m_loaded = true;
}

void TagFile::readBlock(FILE* file, const char* tag, long tagLine) {
  SString line;
  while (!feof(file)) {
    if (ferror(file)) throw LauncherException("Unable to read tag file.");
    line.erase();
    readLine(file, line);
    if (!line.empty() && line[0] == '"') {
      unsigned long pos = 1;
      line = parseStringArgument(line, pos, true);
    }
    if (line.empty()) continue;
    if (line.compare(kBlockTerminator) == 0) return;
    appendTagValue(tag, line);
  }
  logSyntaxError("Missing /: tag completer.", m_name, tagLine);
}

SString TagFile::getTagValue(const char* tag, unsigned long index) const {
  const StringDeque* values = getValue(tag);
  if (values == nullptr || index >= static_cast<unsigned long>(values->size())) return SString();
  return values->at(static_cast<long>(index));
}

long TagFile::getTagValueCount(const char* tag) const {
  const StringDeque* values = getValue(tag);
  return values == nullptr ? 0 : values->size();
}

bool TagFile::getBoolTagValue(const char* tag, bool defaultValue) const {
  SString value = getTagValue(tag, 0);
  short number;
  if (value.empty() || !convertToShort(value, number)) return defaultValue;
  return number != 0;
}

void TagFile::setTagValue(const char* tag, const SString& value) {
  StringDeque* values = getValue(tag);
  if (values == nullptr) {
    values = new StringDeque();
    values->push_back(value);
    TagFileEntry* entry = new TagFileEntry(SString(tag), values);
    m_index.findOrAdd(tag) = entry;
    m_entries.push_back(entry);
    return;
  }
  values->clear();
  values->push_back(value);
}

void TagFile::appendTagValue(const char* tag, const SString& value) {
  StringDeque* values = getValue(tag);
  if (values == nullptr) {
    setTagValue(tag, value);
  } else {
    values->push_back(value);
  }
}

void TagFile::setBoolTagValue(const char* tag, bool value) { setTagValue(tag, value ? "1" : "0"); }

void TagFile::setDynamicJVMTags(const SString& jvmHome, const SString& jvmFile, bool temporary) {
  // A line break in a value would start a new line of the written file, and
  // the text after it would be read back as tags of its own (JVM_EXE, say,
  // which is template text).
  for (const SString* value : {&jvmHome, &jvmFile}) {
    if (value->find_first_of("\r\n") != SString::npos) {
      throw LauncherException(SString("The JVM file ")
                                  .append(jvmFile)
                                  .append(" is not written: the path ")
                                  .append(*value)
                                  .append(" holds a line break, which a JVM file cannot hold."));
    }
  }
  setTagValue("JVM_HOME", jvmHome);
  setTagValue("JVM_FILE", jvmFile);
  setBoolTagValue("JVM_TEMP", temporary);
}

void TagFile::write(const SString& fileName) const {
  FILE* file = fopen(fileName.c_str(), "w");
  if (file == nullptr) return;
  FileCloser closer(file);
  SString text = getText();
  fwrite(text.data(), 1, text.length(), file);
}

SString TagFile::getText() const {
  SString text;
  for (long i = 0; i < m_entries.size(); ++i) {
    const TagFileEntry* entry = m_entries.at(i);
    const StringDeque* values = entry->getValue();
    if (values == nullptr || values->empty()) continue;
    text.append(entry->getKey()).append(1, ':');
    if (values->size() == 1) {
      appendValue(text, values->at(0));
      continue;
    }
    text.append(1, '\n');
    for (long v = 0; v < values->size(); ++v) appendValue(text, values->at(v));
    text.append(kBlockTerminator).append(1, '\n');
  }
  return text;
}

StringDeque* TagFile::getValue(const char* tag) const {
  const TagFileEntry* entry = findEntry(tag);
  return entry == nullptr ? nullptr : entry->getValue();
}

void TagFile::replaceEntry(const char* tag, StringDeque* values) {
  TagFileEntry* entry = new TagFileEntry(SString(tag), values);
  // One look-up by name whether the tag is new or read again.
  TagFileEntry*& slot = m_index.findOrAdd(tag);
  if (slot != nullptr) eraseEntry(slot);
  slot = entry;
  m_entries.push_back(entry);
}

void TagFile::eraseEntry(const TagFileEntry* entry) {
  for (long i = 0; i < m_entries.size(); ++i) {
    if (m_entries.at(i) == entry) {
      m_entries.erase(i);
      return;
    }
  }
}

void TagFile::removeValue(const char* tag) {
  TagFileEntry* found = m_index.find(tag);
  if (found == nullptr) return;
  m_index.remove(tag);
  eraseEntry(found);
}

void TagFile::readLine(FILE* file, SString& line) {
  bool whole = readLineFromStream(file, line, maxTagFileLineLength);
  ++m_lineNumber;
  if (!whole) logSyntaxError("Line too long.", m_name, m_lineNumber);
}

void TagFile::logSyntaxError(const SString& message, const SString& fileName,
                             long lineNumber) const {
  SString report("Syntax error in ");
  report += fileName;
  report += " at line ";
  report += convertToString(lineNumber);
  report += " ==> ";
  report += message;
  logMessage(report, LOG_ERROR);
  throw LauncherException(report);
}

TagFileEntry* TagFile::findEntry(const char* tag) const {
  return m_index.find(tag);
}
