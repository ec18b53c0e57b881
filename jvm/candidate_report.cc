#include "jvm/candidate_report.h"

#include <cstdio>
#include <cstdlib>

#include "foundation/log.h"
#include "jvm/jvm_file.h"
#include "jvm/jvm_files.h"
#include "jvm/tag_names.h"
#include "platform/run_console.h"
#include "jvm/verify_cache.h"
#include "platform/real_path.h"
#include "tagfile/tag_file.h"

namespace {

SString decimal(long n) {
  char buffer[32];
  snprintf(buffer, sizeof buffer, "%ld", n);
  return SString(buffer);
}

}  // namespace

void CandidateReport::clear() {
  m_lines.clear();
  m_rejectedCount = 0;
  m_currentPath.erase();
  m_currentReason.erase();
  m_startFailures = 0;
  m_answers = 0;
  m_firstStartError.erase();
}

void CandidateReport::beginCandidate(const SString& exePath) {
  // Named as a message names a path: "/opt/app/./jre" as "/opt/app/jre".
  m_currentPath = normalisedPath(exePath);
  m_currentReason.erase();
}

void CandidateReport::reject(const SString& reason) {
  if (m_currentPath.empty() || !m_currentReason.empty()) return;
  m_currentReason = reason;
  ++m_rejectedCount;
  // The JVM ran and answered (or was ended for taking too long).
  if (reason.find("property ") == 0 || reason.find("did not answer") == 0) ++m_answers;
  if (m_lines.size() < kReportedCandidates) {
    m_lines.push_back(SString(m_currentPath).append(": ").append(reason));
  }
}

bool CandidateReport::rejectProperty(const SString& name, const SString& actual, const SString& wanted,
                                     const char* comparison) {
  SString reason("property ");
  reason.append(name).append(" is \"").append(actual).append("\", not ");
  if (comparison != nullptr) {
    reason.append(comparison).append(wanted);
  } else {
    reason.append("\"").append(wanted).append("\"");
  }
  reject(reason);
  return false;
}

void CandidateReport::rejectTimeout(long millis) {
  SString time = millis % 1000 == 0 ? decimal(millis / 1000).append(" s") : decimal(millis).append(" ms");
  reject(SString("did not answer within ").append(time));
  logMessage(SString("The verification of ").append(m_currentPath).append(" did not finish within ")
                           .append(time).append("; it was ended."),
                       LOG_WARNING);
}

SString CandidateReport::lastReason() const { return m_currentReason; }

void CandidateReport::rejectStart(const SString& errorLine) {
  if (m_currentPath.empty() || !m_currentReason.empty()) return;
  ++m_startFailures;
  if (m_firstStartError.empty()) m_firstStartError = errorLine;
  reject(SString("did not start: ").append(errorLine));
}

SString CandidateReport::startFailureMessage() const {
  SString text("Java was found, but it did not start: ");
  text.append(m_firstStartError);
  StringDeque set;
  for (const char* name : jvmOptionVariables) {
    const char* value = getenv(name);
    if (value != nullptr && value[0] != '\0') set.push_back(SString(name));
  }
  for (long i = 0; i < set.size(); ++i) {
    text.append(i == 0 ? " (" : (i + 1 == set.size() ? " and " : ", "));
    text.append(set.at(i));
  }
  if (set.size() == 1) text.append(" is set: the JVM takes options from it)");
  if (set.size() > 1) text.append(" are set: the JVM takes options from them)");
  return text;
}

SString jvmStartError(long exitCode, const SString& errorOutput) {
  if (exitCode == 0) return SString();
  // A heading that says nothing of the cause gets the line after it.
  static const char kHeading[] = "Error occurred during initialization of VM";
  SString found;
  unsigned long pos = 0;
  while (pos < errorOutput.length()) {
    unsigned long end = errorOutput.find('\n', pos);
    if (end == SString::npos) end = errorOutput.length();
    SString line = errorOutput.substr(pos, end - pos);
    pos = end + 1;
    unsigned long first = 0;
    unsigned long last = line.length();
    while (first < last && (line[first] == ' ' || line[first] == '\t' || line[first] == '\r')) ++first;
    while (last > first && (line[last - 1] == ' ' || line[last - 1] == '\t' || line[last - 1] == '\r')) --last;
    line = line.substr(first, last - first);
    if (line.empty() || line.find("Picked up ") == 0 || line.find("NOTE: Picked up ") == 0) continue;
    if (!found.empty()) {
      found.append(": ").append(line);
      break;
    }
    found = line;
    if (line.compare(kHeading) != 0) break;
  }
  if (found.length() > 200) found = found.substr(0, 200).append("...");
  return found;
}

namespace {

// Replaces variables with those that name Java homes (PLATFORM_HINT), each
// once, in file order; files for another system are left out.
void hintVariables(const JVMFiles& files, StringDeque& variables) {
  variables.clear();
  for (long i = 0; i < files.getJVMFileCount(); ++i) {
    if (!files.getJVMFile(i)->isForThisSystem()) continue;
    const StringDeque* hints = files.getJVMFile(i)->getTagFile()->getValue(platformHintTagName);
    for (long h = 0; hints != nullptr && h < hints->size(); ++h) {
      const SString& name = hints->at(h);
      bool known = name.empty();
      for (long v = 0; v < variables.size() && !known; ++v) known = variables.at(v).compare(name) == 0;
      if (!known) variables.push_back(name);
    }
  }
}

}  // namespace

void CandidateReport::lines(const JVMFiles& files, StringDeque& out, bool unixCommand) const {
  out.clear();
  out.push_back(SString("Looked for:"));
  for (long i = 0; i < files.getJVMFileCount(); ++i) {
    if (!files.getJVMFile(i)->isForThisSystem()) continue;  // not searched
    const TagFile* tagFile = files.getJVMFile(i)->getTagFile();
    SString line("  ");
    SString desc = tagFile->getTagValue("DESC", 0);
    line.append(desc.empty() ? tagFile->getName() : desc);
    line.append(" (").append(tagFile->getTagValue(jvmExeTagName, 0)).append(")");
    const StringDeque* properties = tagFile->getValue(jvmPropertiesTagName);
    long count = properties == nullptr ? 0 : properties->size();
    for (long p = 0; p < count; ++p) line.append(p == 0 ? " with " : ", ").append(properties->at(p));
    out.push_back(line);
  }
  if (m_rejectedCount == 0) {
    out.push_back(SString("No candidate JVM was found."));
  } else {
    out.push_back(SString("Candidates examined:"));
    for (long i = 0; i < m_lines.size(); ++i) out.push_back(SString("  ").append(m_lines.at(i)));
    if (m_rejectedCount > m_lines.size()) {
      out.push_back(SString("  ... and ").append(decimal(m_rejectedCount - m_lines.size())).append(" more"));
    }
  }
  StringDeque variables;
  hintVariables(files, variables);
  if (!variables.empty() && !unixCommand) {
    SString line("A suitable Java can also be named with ");
    for (long v = 0; v < variables.size(); ++v) {
      if (v > 0) line.append(v + 1 == variables.size() ? " or " : ", ");
      line.append(variables.at(v));
    }
    out.push_back(line.append("."));
  }
}

SString CandidateReport::noJavaText(const JVMFiles& files) {
  StringDeque variables;
  hintVariables(files, variables);
  SString text("No suitable Java was found. Set ");
  text.append(variables.empty() ? SString("JAVA_HOME") : variables.at(0));
  for (long v = 1; v < variables.size(); ++v) {
    text.append(v == 1 ? " (or " : (v + 1 == variables.size() ? " or " : ", ")).append(variables.at(v));
    if (v + 1 == variables.size()) text.append(")");
  }
  return text.append(" to the folder of a Java installation, or run again with -bv:javahome DIR.");
}

void CandidateReport::reportNotFound(const JVMFiles& files, const Console& console) {
  StringDeque report;
  lines(files, report, console.isUnixCommand());
  for (long i = 0; i < report.size(); ++i) {
    logMessage(report.at(i), LOG_INFO);
    console.diagnostic(report.at(i));
  }
}

void CandidateReport::reportUserHome(const SString& home, const Console& console) {
  SString reason = m_currentReason.empty() ? SString("it is not a JVM home") : m_currentReason;
  SString line("The Java home given with -bv:javahome, ");
  line.append(normalisedPath(home)).append(", cannot be used: ").append(reason);
  console.warning(line);
}
