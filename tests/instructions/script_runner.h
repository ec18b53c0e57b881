// Test fixture for the instruction interpreter: scripts written to a tag
// file in a temporary directory, loaded with TagFile and executed by an
// Instructions whose launcher operations are recorded instead of run.
#ifndef BV_TESTS_INSTRUCTIONS_SCRIPT_RUNNER_H_
#define BV_TESTS_INSTRUCTIONS_SCRIPT_RUNNER_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "instructions/instructions.h"
#include "instructions/instructions_exception.h"
#include "launcher/launcher.h"
#include "foundation/launcher_exception.h"
#include "tagfile/tag_file.h"
#include "tests/test_util.h"

namespace bvtest {

// Records every launcher operation as one line, e.g. "findJVM 1 0" or
// "launch [/a b/x.jvm] 5". findJVM leaves N1 = foundJVM and, when found,
// S1 and S2 as a search would; launch and ilaunch return launchResult.
class RecordingInstructions : public Instructions {
 public:
  explicit RecordingInstructions(const TagFile& tagFile) : Instructions(tagFile) {}

  mutable std::vector<std::string> calls;
  long foundJVM = 0;
  long launchResult = 0;

 protected:
  void initializeUI() const override { calls.push_back("initializeUI"); }
  void findJVM(bool showUI, bool showFailMsg) const override {
    calls.push_back("findJVM " + flag(showUI) + " " + flag(showFailMsg));
    Launcher::setLongVariable(1, foundJVM);
    Launcher::setStringVariable(1, foundJVM ? "/jvm/home" : "");
    Launcher::setStringVariable(2, foundJVM ? "/tmp/found jvm.jvm" : "");
  }
  void verifyJVM(bool showUI, bool showFailMsg, long fileId) const override {
    calls.push_back("verifyJVM " + flag(showUI) + " " + flag(showFailMsg) + " " + std::to_string(fileId));
  }
  long launch(const SString& jvmFilePath, short seconds) const override {
    calls.push_back("launch [" + std::string(jvmFilePath.c_str()) + "] " + std::to_string(seconds));
    return launchResult;
  }
  long ilaunch(long fileId, short seconds) const override {
    calls.push_back("ilaunch " + std::to_string(fileId) + " " + std::to_string(seconds));
    return launchResult;
  }
  void installJVM(InstallJVMOption option) const override {
    calls.push_back("installJVM " + std::to_string(static_cast<int>(option)));
  }
  void executeEmbeddedLauncher(long position) const override {
    calls.push_back("executeEmbeddedLauncher " + std::to_string(position));
  }

 private:
  static std::string flag(bool b) { return b ? "1" : "0"; }
};

class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { Launcher::resetRunState(); }
  void TearDown() override { Launcher::resetRunState(); }

  // Writes the statements as the INSTRUCTIONS block of a tag file (one line
  // each, exactly as given) and loads it into a fresh script.
  RecordingInstructions& load(const std::vector<std::string>& statements) {
    std::string text = "DESC: test script\nINSTRUCTIONS:\n";
    for (const std::string& s : statements) text += s + "\n";
    text += "/:\n";
    return loadText(text);
  }
  RecordingInstructions& loadText(const std::string& text) {
    std::string path = m_dir.file("instructions" + std::to_string(m_files++) + ".txt");
    writeFile(path, text);
    m_script.reset();
    m_tagFile.reset(new TagFile(SString(path.c_str())));
    m_script.reset(new RecordingInstructions(*m_tagFile));
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
  const std::vector<std::string>& calls() const { return m_script->calls; }

  static std::string S(long n) { return Launcher::getStringVariable(n).c_str(); }
  static long N(long n) { return Launcher::getLongVariable(n); }

 private:
  TempDir m_dir;
  int m_files = 0;
  std::unique_ptr<TagFile> m_tagFile;
  std::unique_ptr<RecordingInstructions> m_script;
};

}  // namespace bvtest

#endif  // BV_TESTS_INSTRUCTIONS_SCRIPT_RUNNER_H_
