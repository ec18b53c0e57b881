#include "jvm/candidate_report.h"

#include <cstdio>

#include "foundation/log.h"
#include "jvm/jvm_file.h"
#include "jvm/jvm_files.h"
#include "jvm/tag_names.h"
#include "platform/run_console.h"
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
}

void CandidateReport::beginCandidate(const SString& exePath) {
  m_currentPath = exePath;
  m_currentReason.erase();
}

void CandidateReport::reject(const SString& reason) {
  if (m_currentPath.empty() || !m_currentReason.empty()) return;
  m_currentReason = reason;
  ++m_rejectedCount;
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

void CandidateReport::lines(const JVMFiles& files, StringDeque& out) const {
  out.clear();
  // The variables that name Java homes, each once, in file order.
  StringDeque variables;
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
    const StringDeque* hints = tagFile->getValue(platformHintTagName);
    for (long h = 0; hints != nullptr && h < hints->size(); ++h) {
      const SString& name = hints->at(h);
      bool known = name.empty();
      for (long v = 0; v < variables.size() && !known; ++v) known = variables.at(v).compare(name) == 0;
      if (!known) variables.push_back(name);
    }
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
  if (!variables.empty()) {
    SString line("A suitable Java can also be named with ");
    for (long v = 0; v < variables.size(); ++v) {
      if (v > 0) line.append(v + 1 == variables.size() ? " or " : ", ");
      line.append(variables.at(v));
    }
    out.push_back(line.append("."));
  }
}

void CandidateReport::reportNotFound(const JVMFiles& files, const Console& console) {
  StringDeque report;
  lines(files, report);
  for (long i = 0; i < report.size(); ++i) {
    logMessage(report.at(i), LOG_INFO);
    console.diagnostic(report.at(i));
  }
}

void CandidateReport::reportUserHome(const SString& home, const Console& console) {
  SString reason = m_currentReason.empty() ? SString("it is not a JVM home") : m_currentReason;
  SString line("The Java home given with -bv:javahome, ");
  line.append(home).append(", cannot be used: ").append(reason);
  console.warning(line);
}
