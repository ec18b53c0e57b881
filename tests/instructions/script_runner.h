// Test fixture for the instruction interpreter: scripts written to a tag
// file in a temporary directory, loaded with TagFile and executed by an
// Instructions whose launcher operations (a RecordingOperations) are
// recorded instead of run.
#ifndef BV_TESTS_INSTRUCTIONS_SCRIPT_RUNNER_H_
#define BV_TESTS_INSTRUCTIONS_SCRIPT_RUNNER_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/launcher_exception.h"
#include "instructions/instructions.h"
#include "instructions/instructions_exception.h"
#include "instructions/script_operations.h"
#include "tagfile/tag_file.h"
#include "tests/test_util.h"

namespace bvtest {

// Records every launcher operation as one line, e.g. "findJVM 1 0" or
// "launch [/a b/x.jvm] 5". findJVM leaves N1 = foundJVM and, when found,
// S1 and S2 as a search would; launch and ilaunch return launchResult.
class RecordingOperations : public ScriptOperations {
 public:
  std::vector<std::string> calls;
  long foundJVM = 0;
  long launchResult = 0;
  ScriptVariables vars;

  ScriptVariables& variables() override { return vars; }
  void initializeUI() override { calls.push_back("initializeUI"); }
  void findJVM(bool showUI, bool showFailMsg) override {
    calls.push_back("findJVM " + flag(showUI) + " " + flag(showFailMsg));
    vars.setLongVariable(1, foundJVM);
    vars.setStringVariable(1, foundJVM ? "/jvm/home" : "");
    vars.setStringVariable(2, foundJVM ? "/tmp/found jvm.jvm" : "");
  }
  void verifyJVM(bool showUI, bool showFailMsg, long fileId) override {
    calls.push_back("verifyJVM " + flag(showUI) + " " + flag(showFailMsg) + " " + std::to_string(fileId));
  }
  long launch(const SString& jvmFilePath, short seconds) override {
    calls.push_back("launch [" + std::string(jvmFilePath.c_str()) + "] " + std::to_string(seconds));
    return launchResult;
  }
  long ilaunch(long fileId, short seconds) override {
    calls.push_back("ilaunch " + std::to_string(fileId) + " " + std::to_string(seconds));
    return launchResult;
  }
  void installJVM(InstallJVMOption option) override {
    calls.push_back("installJVM " + std::to_string(static_cast<int>(option)));
  }
  void executeEmbeddedLauncher(long position) override {
    calls.push_back("executeEmbeddedLauncher " + std::to_string(position));
  }

 private:
  static std::string flag(bool b) { return b ? "1" : "0"; }
};

class ScriptTest : public ::testing::Test {
 protected:
  // Writes the statements as the INSTRUCTIONS block of a tag file (one line
  // each, exactly as given) and loads it into a fresh script.
  const Instructions& load(const std::vector<std::string>& statements) {
    std::string text = "DESC: test script\nINSTRUCTIONS:\n";
    for (const std::string& s : statements) text += s + "\n";
    text += "/:\n";
    return loadText(text);
  }
  const Instructions& loadText(const std::string& text) {
    std::string path = m_dir.file("instructions" + std::to_string(m_files++) + ".txt");
    writeFile(path, text);
    m_script.reset();
    ops.calls.clear();
    ops.foundJVM = 0;
    ops.launchResult = 0;
    m_tagFile.reset(new TagFile(SString(path.c_str())));
    m_script.reset(new Instructions(*m_tagFile, ops));
    return *m_script;
  }

  // Executes the loaded script and describes how it ended: "result <n>",
  // "line <n>: <message>" for an instruction error, "launcher: <message>"
  // for a LauncherException.
  std::string outcome() {
    try {
      return "result " + std::to_string(m_script->execute());
    } catch (const InstructionsException& e) {
      return "line " + std::to_string(e.getLineNumber()) + ": " + e.getMessage().c_str();
    } catch (const LauncherException& e) {
      return std::string("launcher: ") + e.getMessage().c_str();
    }
  }
  std::string run(const std::vector<std::string>& statements) {
    load(statements);
    return outcome();
  }
  const std::vector<std::string>& calls() const { return ops.calls; }
  // The tag file of the loaded script.
  const TagFile& tagFile() const { return *m_tagFile; }

  // Empties the variables, as at the start of a run.
  void resetVariables() { ops.vars = ScriptVariables(); }

  std::string S(long n) { return ops.vars.getStringVariable(n).c_str(); }
  long N(long n) { return ops.vars.getLongVariable(n); }

  // The operations that the scripts call, and their variables.
  RecordingOperations ops;

 private:
  TempDir m_dir;
  int m_files = 0;
  std::unique_ptr<TagFile> m_tagFile;
  std::unique_ptr<Instructions> m_script;
};

}  // namespace bvtest

#endif  // BV_TESTS_INSTRUCTIONS_SCRIPT_RUNNER_H_
