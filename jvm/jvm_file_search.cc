// Which searches a JVM file takes part in and in what order: the systems it
// is for (PLATFORM), the order of its hint searches (SEARCH_ORDER), and the
// warning for a home that a PLATFORM_HINT variable names and that does not
// do (PLATFORM_HINT_WARNING).
#include <sys/stat.h>

#include "jvm/candidate_report.h"
#include "jvm/jvm_file.h"
#include "jvm/tag_names.h"
#include "foundation/log.h"
#include "platform/platform_impl.h"
#include "tagfile/tag_file.h"

bool JVMFile::isForThisSystem() const {
  const StringDeque* systems = m_tagFile->getValue(platformTagName);
  if (systems == nullptr || systems->size() == 0) return true;
  SString name = PlatformImpl::getSystemName();
  for (long i = 0; i < systems->size(); ++i) {
    if (systems->at(i).compare(name) == 0) return true;
  }
  return false;
}

JVMMatch* JVMFile::verifyWithHints(const SString& verifyClasspath, const SString& verifyClassName) {
  static const char* const kDefaultOrder[] = {"PLATFORM_HINT", "PATH_HINT", "PATH"};
  const StringDeque* order = m_tagFile->getValue(searchOrderTagName);
  long count = order == nullptr || order->size() == 0 ? 3 : order->size();
  for (long i = 0; i < count; ++i) {
    SString search = order == nullptr || order->size() == 0 ? SString(kDefaultOrder[i]) : order->at(i);
    JVMMatch* match = nullptr;
    if (search.compare("PLATFORM_HINT") == 0) {
      match = verifyWithPlatformHints(verifyClasspath, verifyClassName);
    } else if (search.compare("PATH_HINT") == 0) {
      match = verifyWithPathHints(verifyClasspath, verifyClassName);
    } else if (search.compare("PATH") == 0) {
      match = verifyWithPlatformJVMPaths(verifyClasspath, verifyClassName);
    } else {
      logMessage(SString("Invalid ")
                               .append(searchOrderTagName)
                               .append(" value (")
                               .append(search)
                               .append(") in JVM File ")
                               .append(m_tagFile->getName()),
                           LOG_WARNING);
    }
    if (match != nullptr) return match;
  }
  return nullptr;
}

void JVMFile::noteUnusableHint(const SString& variable, const SString& value) {
  if (!m_tagFile->getBoolTagValue(platformHintWarningTagName, false)) return;
  SString reason = candidateReport().lastReason();
  if (reason.empty()) return;  // not run: checked already under another name
  struct stat st;
  if (reason.compare("no executable") == 0) {
    reason = stat(value.c_str(), &st) != 0 ? SString("it does not exist")
                                            : SString("it holds no ").append(getJVMExe());
  }
  UnusableHint hint;
  hint.variable = variable;
  hint.value = value;
  hint.home = m_lastCheckedHome.empty() ? value : m_lastCheckedHome;
  hint.line = SString("The Java home in ")
                  .append(variable)
                  .append(", ")
                  .append(value)
                  .append(", cannot be used: ")
                  .append(reason);
  m_unusableHints.push_back(hint);
}
