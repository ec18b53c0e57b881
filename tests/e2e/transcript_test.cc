// Transcripts of launchers packed from tag files, as a setup program that
// drives them sees them: standard output byte for byte, the exit status,
// the log lines that it reads, the arguments that the verification class
// gets and the JVM files that the searches write. The launchers are built
// by hand from the archive layout (stub, embedded files, index, trailer, no
// digest block), so that nothing of a packing tool's own choosing (order,
// names, extra blocks) stands between the format and the run.
//
// The scenarios whose conventions an author chooses run twice
// (TranscriptModeTest): on a launcher with the default conventions of a
// tag-file launcher (the results and every message on standard output, the
// status and sub-status lines of the searches, exit 0 for an input-file
// action that printed its result), and on the same launcher whose
// instruction script says UNIX_COMMAND: 1 (errors and messages on standard
// error in their own words, exit 255 for a failed input-file action, one
// "Searching for" line per JVM file, "Verifying" only for a candidate that
// is run). The others (TranscriptTest) hold for every launcher: the
// verification call, the written JVM files, the log lines, the layout, the
// home that is launched.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/archive/archive_test_util.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/java/java_installs.h"

namespace bvtest {
namespace {

// One embedded file of a launcher built by hand.
struct Embedded {
  int type;  // 0 instructions, 1 JVM file, 2 launch script, 5 verification archive, ...
  long id;
  std::string name;
  std::string bytes;
};

// A launcher file made of the stub, the embedded files, the index and the
// trailer, laid out as the archive format defines it and with no digest
// block. With gaps, bytes that no entry points to lie before every
// embedded file and between the index and the trailer: a reader ignores
// them.
std::string buildLauncherBytes(const std::vector<Embedded>& files, int purpose, bool gaps) {
  std::string bytes = readFile(binaryPath("bvlauncher"));
  std::string index = bigEndian(static_cast<long>(files.size()), 4);
  for (const Embedded& f : files) {
    if (gaps) bytes += "-- bytes between embedded files --";
    index += indexEntryBytes(f.type, f.id, static_cast<long>(f.bytes.size()),
                             static_cast<long>(bytes.size()), f.name);
    bytes += f.bytes;
  }
  long indexOffset = static_cast<long>(bytes.size());
  bytes += index;
  if (gaps) bytes += "-- bytes between the index and the trailer --";
  bytes += static_cast<char>(purpose);
  bytes += bigEndian(indexOffset, 4);
  bytes += "\xCA\x82\xCA\x82";
  return bytes;
}

// A JVM home whose bin/java stands for a JVM. Run on a verification class
// (Verify or AuthorCheck, followed by the property names) it writes its own
// path, the class and the property names, one per line, to HOME/verify-args, and answers in one
// write (so that reading its output takes one chunk, one progress dot):
// the marker, then per name os.name's value given here, what real JVMs say
// for java.vm.specification.name, or "null". Run as the application it
// prints "java=" its path, "JAVA_HOME=" and one "arg=" line per argument,
// writes the text of an argument --stderr=TEXT to standard error and exits
// with the status of an argument --exit=N.
void writeAnsweringJvm(const std::string& home, const std::string& osName,
                       const std::string& marker = "1739021872") {
  runShell("mkdir -p " + shellQuote(home + "/bin"));
  writeFile(home + "/bin/java",
            "#!/bin/sh\n"
            "verify=no\n"
            "for a in \"$@\"; do case \"$a\" in Verify|AuthorCheck) verify=yes ;; esac; done\n"
            "if [ $verify = yes ]; then\n"
            "  while [ \"$1\" != Verify ] && [ \"$1\" != AuthorCheck ]; do shift; done\n"
            "  printf '%s\\n' \"$0\" \"$@\" > \"${0%/bin/java}/verify-args\"\n"
            "  shift\n"
            "  out='" +
                marker +
                "\n'\n"
                "  for a in \"$@\"; do\n"
                "    case \"$a\" in\n"
                "      os.name) v='" +
                osName +
                "' ;;\n"
                "      java.vm.specification.name) v='Java Virtual Machine Specification' ;;\n"
                "      *) v=null ;;\n"
                "    esac\n"
                "    out=\"$out$v\n\"\n"
                "  done\n"
                "  printf '%s' \"$out\"\n"
                "  exit 0\n"
                "fi\n"
                "status=0\n"
                "printf 'java=%s\\nJAVA_HOME=%s\\n' \"$0\" \"$JAVA_HOME\"\n"
                "for a in \"$@\"; do\n"
                "  printf 'arg=%s\\n' \"$a\"\n"
                "  case \"$a\" in\n"
                "    --exit=*) status=${a#--exit=} ;;\n"
                "    --stderr=*) printf '%s\\n' \"${a#--stderr=}\" >&2 ;;\n"
                "  esac\n"
                "done\n"
                "exit $status\n",
            0755);
}

// The launch script: the JVM file's java with the argument App; the
// console is shown (output not captured) when displayConsole is set.
std::string appLaunchScript(bool displayConsole) {
  return std::string("DESC: Test Setup\nDISPLAY_CONSOLE: ") + (displayConsole ? "1" : "0") +
         "\nCOMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" App\"\n";
}

// The typical instruction script, with the command-line setting when unix.
std::string typicalScript(bool unix) {
  return std::string(unix ? "UNIX_COMMAND: 1\n" : "") +
         setupScriptText({"INITIALIZE_UI", "FIND_JVM 1 1", "JMP0 @N1@ DO_FIND_ELSE",
                          "LAUNCH @S2@ 5", "GOTO DO_FIND_DONE", ":DO_FIND_ELSE", ":DO_FIND_DONE"});
}

// What the console shows (English texts).
const std::string kTitle = "Test Setup\n";
const std::string kInitializing = "\nInitializing Test Setup...\n";
const std::string kSearching = "\nSearching for Java(tm) Virtual Machine...\n";
const std::string kSearchingFor = "\nSearching for Test JVM\n";
const std::string kVerifying = "\nVerifying Test JVM\n";
const std::string kRunning = "\nRunning Test Setup...\n";
const std::string kNoSuitableJvm =
    "A suitable JVM could not be found. Please run the program again using the option "
    "-bv:javahome <JAVA HOME DIR>\n";
// Progress dots: one per block of an extracted file (the verification
// archive: one), one per chunk of captured output and six after a
// verification run (a run of the answering JVM: seven), two for a
// candidate without the executable.
const std::string kExtracted = ".";
const std::string kRun = ".......";
const std::string kMissing = "..";
// With UNIX_COMMAND: 1, the no-JVM message on standard error, naming the
// variable first, followed by what the program needs and where the
// launcher looked.
const std::string kUnixNoJvm =
    "No suitable Java was found. Set JAVA_HOME to the folder of a Java installation, or run again "
    "with -bv:javahome DIR.\n"
    "The program needs Test JVM.\nLooked for:\n  Test JVM (bin/java) with os.name=Linux, "
    "java.vm.specification.name=Java Virtual Machine Specification\nNo candidate JVM was found.\n";

std::string tempDirMissing(const std::string& path) {
  return "Cannot use " + path +
         " as the temp directory because it does not exist. Please run the program again using "
         "the option -bv:tempdir <temp dir> to specify a different directory to use.";
}

// With BV_TRANSCRIPT_DUMP set, what a run printed, as C++ text (for
// writing down expectations).
void dump(const char* what, const ProcessResult& r) {
  if (getenv("BV_TRANSCRIPT_DUMP") == nullptr) return;
  auto quoted = [](const std::string& text) {
    std::string q;
    for (char ch : text)
      q += ch == '\n' ? std::string("\\n") : ch == '"' ? std::string("\\\"") : std::string(1, ch);
    return q;
  };
  fprintf(stderr, "DUMP %s: status %d\n  out \"%s\"\n  err \"%s\"\n", what, r.status,
          quoted(r.out).c_str(), quoted(r.err).c_str());
}

class TranscriptTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    home = dir.file("jdk");
    writeAnsweringJvm(home, "Linux");
    other = dir.file("other");
    writeAnsweringJvm(other, "Windows 11");
    jvmFile = write("test.jvm", jvmFileText());
  }

  // A launcher built by hand in the test directory; returns its path.
  std::string launcher(const std::string& name, const std::vector<Embedded>& files, int purpose = 0,
                       bool gaps = false) {
    return write(name, buildLauncherBytes(files, purpose, gaps), 0755);
  }
  Embedded verifyJar() const { return {5, 1, "Verify.jar", readFile(javaBuildPath("Verify.jar"))}; }
  Embedded jvm(long id = 3) const { return {1, id, "test.jvm", jvmFileText()}; }

  // The launcher of the input-file actions: an instruction script of one
  // statement (with UNIX_COMMAND: 1 when unix), the verification archive
  // and the JVM file; no launch script, so no title line.
  std::string actionsLauncher(bool unix, const std::string& statement = ":DONE") {
    return launcher(unix ? "actions-unix" : "actions",
                    {{0, 0, "instructions.tag",
                      std::string(unix ? "UNIX_COMMAND: 1\n" : "") + setupScriptText({statement})},
                     verifyJar(),
                     jvm()});
  }

  // The typical setup launcher: instructions, verification archive, launch
  // script (title "Test Setup"), JVM file.
  std::string setupLauncher(const std::string& name, bool unix, int purpose = 0,
                            bool gaps = false) {
    return launcher(name,
                    {{0, 0, "instructions.tag", typicalScript(unix)},
                     verifyJar(),
                     {2, 2, "launch.tag", appLaunchScript(false)},
                     jvm()},
                    purpose, gaps);
  }

  // The environment: PATH (a directory that does not exist when empty),
  // JAVA_HOME when given, English texts, no verification cache (each
  // verification runs its JVM, as a first run does).
  std::vector<std::string> envWith(const std::string& path = "", const std::string& java = "") {
    std::vector<std::string> vars = env(path, java);
    vars.push_back("BV_VERIFY_CACHE=0");
    return vars;
  }

  // The output with the path of every file written into the temporary
  // directory shown as <FILE>.
  std::string masked(const std::string& out) const {
    std::string result = out;
    std::string prefix = temp + "/";
    size_t pos = 0;
    while ((pos = result.find(prefix, pos)) != std::string::npos) {
      size_t end = result.find('\n', pos);
      if (end == std::string::npos) end = result.size();
      result.replace(pos, end - pos, "<FILE>");
      pos += 6;
    }
    return result;
  }

  std::string home, other, jvmFile;
};

// The scenarios that run on both kinds of launcher: false for the default
// conventions, true for UNIX_COMMAND: 1.
class TranscriptModeTest : public TranscriptTest, public ::testing::WithParamInterface<bool> {};

INSTANTIATE_TEST_SUITE_P(Launchers, TranscriptModeTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "UnixCommand" : "Default";
                         });

// The input-file actions, with and without SHOW_FAIL_MSG and SHOW_PROGRESS:
// what each prints, in which order, and the exit status.
TEST_P(TranscriptModeTest, InputFileActions) {
  std::string missing = dir.file("missing");
  std::string inputPath = dir.file("input.tag");
  std::string installer = write("installer.sh", installerText(home + "/bin/java"), 0755);
  const std::string invalid = "The JVM is not valid.\n";
  const std::string searchAllError =
      "Unable to search for all JVMs. " + tempDirMissing(missing) + "\n";
  const std::string invalidAction = "Invalid action in input file: FLY\n";
  const std::string noJvmFile = "Unable to load input file: " + dir.file("none.jvm") + "\n";
  // With the command-line setting: the errors on standard error, in their
  // own words.
  const std::string unixTempMissing =
      "Cannot use " + missing + " as the temp directory because it does not exist.\n";
  auto needsBoth = [&](const char* action, const char* first, const char* second) {
    return std::string("The action ") + action + " of the input file " + inputPath +
           " needs both " + first + " and " + second + ".\n";
  };
  // The transcripts without a flag, with SHOW_FAIL_MSG, with SHOW_PROGRESS
  // and with both. @DEST@ stands for the run's INSTALL_JVM_DEST.
  struct Flagged {
    std::string out[4];
  };
  auto all = [](const std::string& text) { return Flagged{{text, text, text, text}}; };
  struct Case {
    const char* name;
    std::string tags;  // without the flags
    std::string javaHome;
    std::vector<std::string> args;  // before -bv:in
    int status;
    Flagged out;
    int unixStatus;
    Flagged unixOut, unixErr;
  };
  const std::string found = "1\n" + home + "\n<FILE>\n";
  const std::string search = kSearching + kExtracted + kSearchingFor;
  const std::string notFound = search + kVerifying + kMissing + kSearchingFor;
  const std::string verified = kExtracted + kVerifying + kRun;
  const std::vector<Case> cases = {
      // Found through JAVA_HOME: after the check the line of the JVM file's
      // search is shown again; with the UI on, the progress row is ended
      // after the results.
      {"SEARCH found",
       "ACTION: SEARCH\n",
       home,
       {},
       0,
       {{found, found, search + kVerifying + kRun + kSearchingFor + found + "\n",
         search + kVerifying + kRun + kSearchingFor + found + "\n"}},
       0,
       {{found, found, search + kVerifying + kRun + "\n" + found + "\n",
         search + kVerifying + kRun + "\n" + found + "\n"}},
       all("")},
      // No JAVA_HOME, one PATH directory without a java: that candidate
      // is announced too; the no-JVM message comes before the result.
      {"SEARCH not found",
       "ACTION: SEARCH\n",
       "",
       {},
       0,
       {{"0\n", kNoSuitableJvm + "0\n", notFound + "0\n\n", notFound + kNoSuitableJvm + "0\n\n"}},
       0,
       {{"0\n", "0\n", search + "0\n\n", search + "0\n\n"}},
       {{"", kUnixNoJvm, "", kUnixNoJvm}}},
      // The verification archive cannot be written: nothing printed.
      {"SEARCH failing",
       "ACTION: SEARCH\n",
       home,
       {"-bv:tempdir", missing},
       0,
       {{"", "", kSearching + "\n", kSearching + "\n"}},
       255,
       {{"", "", kSearching, kSearching}},
       all(unixTempMissing)},
      // The message (with SHOW_FAIL_MSG), then the count 0, exit 0.
      {"SEARCH_ALL failing",
       "ACTION: SEARCH_ALL\n",
       home,
       {"-bv:tempdir", missing},
       0,
       {{"0\n", searchAllError + "0\n", kSearching + "0\n\n",
         kSearching + searchAllError + "0\n\n"}},
       255,
       {{"0\n", "0\n", kSearching + "0\n", kSearching + "0\n"}},
       all("Unable to search for all JVMs. " + unixTempMissing)},
      {"VERIFY_JVM valid",
       "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + jvmFile + "\nVERIFY_JVM_HOME: " + home + "\n",
       "",
       {},
       0,
       // The dots of the check run on into the result line.
       {{"1\n", verified + "1\n\n", kVerifying + verified + kVerifying + "1\n\n",
         kVerifying + verified + kVerifying + "1\n\n"}},
       0,
       {{"1\n", verified + "\n1\n\n", kVerifying + verified + "\n1\n\n",
         kVerifying + verified + "\n1\n\n"}},
       all("")},
      // "Verifying" three times with SHOW_PROGRESS: the action's own line,
      // the check's, and the action's again when the check ends.
      {"VERIFY_JVM invalid",
       "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + jvmFile + "\nVERIFY_JVM_HOME: " + other + "\n",
       "",
       {},
       0,
       {{"0\n", verified + invalid + "0\n\n", kVerifying + verified + kVerifying + "0\n\n",
         kVerifying + verified + kVerifying + invalid + "0\n\n"}},
       0,
       {{"0\n", verified + "\n0\n\n", kVerifying + verified + "\n0\n\n",
         kVerifying + verified + "\n0\n\n"}},
       {{"", invalid, "", invalid}}},
      // Logged (below), nothing printed.
      {"VERIFY_JVM without a home",
       "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + jvmFile + "\n",
       "",
       {},
       255,
       all(""),
       255,
       all(""),
       all(needsBoth("VERIFY_JVM", "VERIFY_JVM_FILE", "VERIFY_JVM_HOME"))},
      {"VERIFY_JVM_FILE missing",
       "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + dir.file("none.jvm") +
           "\nVERIFY_JVM_HOME: " + home + "\n",
       "",
       {},
       255,
       all(noJvmFile),
       255,
       all(""),
       all("Cannot read the JVM file " + dir.file("none.jvm") +
           " that VERIFY_JVM_FILE names: No such file or directory.\n")},
      {"INSTALL_JVM",
       "ACTION: INSTALL_JVM\nINSTALL_JVM_EXE: " + installer + "\nINSTALL_JVM_DEST: @DEST@\n",
       "",
       {},
       0,
       {{"@DEST@/jvm\n", "@DEST@/jvm\n\n", "@DEST@/jvm\n\n", "@DEST@/jvm\n\n"}},
       0,
       {{"@DEST@/jvm\n", "@DEST@/jvm\n\n", "@DEST@/jvm\n\n", "@DEST@/jvm\n\n"}},
       all("")},
      // Nothing done; the progress row is still ended when the UI is on.
      {"INSTALL_JVM without INSTALL_JVM_EXE",
       "ACTION: INSTALL_JVM\nINSTALL_JVM_DEST: @DEST@\n",
       "",
       {},
       0,
       {{"", "\n", "\n", "\n"}},
       255,
       all(""),
       all(needsBoth("INSTALL_JVM", "INSTALL_JVM_EXE", "INSTALL_JVM_DEST"))},
      // The script FIND_JVM 1 1: its status line is printed only when the
      // input file has shown the UI.
      {"RUN_INSTRUCTIONS finding no JVM",
       "ACTION: RUN_INSTRUCTIONS\n",
       "",
       {},
       0,
       {{kExtracted + kSearchingFor + kVerifying + kMissing + kSearchingFor + kNoSuitableJvm + "\n",
         notFound + kNoSuitableJvm + "\n", notFound + kNoSuitableJvm + "\n",
         notFound + kNoSuitableJvm + "\n"}},
       1,
       {{kExtracted + kSearchingFor + "\n", search + "\n", search + "\n", search + "\n"}},
       all(kUnixNoJvm)},
      // Shown, then shown again by the end of the run.
      {"an invalid action",
       "ACTION: FLY\n",
       "",
       {},
       255,
       all(invalidAction + invalidAction),
       255,
       all(""),
       all(invalidAction)},
  };
  const bool unix = GetParam();
  std::string actions = actionsLauncher(unix, "FIND_JVM 1 1");
  for (const Case& c : cases) {
    for (int f = 0; f < 4; ++f) {
      std::string trace = std::string(c.name) + (f & 1 ? " SHOW_FAIL_MSG" : "") +
                          (f & 2 ? " SHOW_PROGRESS" : "") + (unix ? " UNIX_COMMAND" : "");
      SCOPED_TRACE(trace);
      std::string log = dir.file("actions.log");
      removeTree(log);
      std::string dest = dir.file("dest-" + std::to_string(unix) + std::to_string(f));
      mkdir(dest.c_str(), 0755);
      auto withDest = [&dest](std::string text) {
        for (size_t p; (p = text.find("@DEST@")) != std::string::npos;) text.replace(p, 6, dest);
        return text;
      };
      std::string tags = withDest(c.tags) + "LOGFILE: " + log + "\n" +
                         (f & 1 ? "SHOW_FAIL_MSG: 1\n" : "") + (f & 2 ? "SHOW_PROGRESS: 1\n" : "");
      std::vector<std::string> args = c.args;
      args.push_back("-bv:in");
      args.push_back(write("input.tag", tags));
      ProcessResult r = run(actions, args, envWith("", c.javaHome));
      dump(trace.c_str(), r);
      if (!unix) {
        EXPECT_EQ(c.status, r.status);
        EXPECT_EQ(withDest(c.out.out[f]), masked(r.out)) << r.err;
      } else {
        EXPECT_EQ(c.unixStatus, r.status);
        EXPECT_EQ(withDest(c.unixOut.out[f]), masked(r.out));
        EXPECT_EQ(withDest(c.unixErr.out[f]), r.err);
      }
      std::string logged = readFile(log);
      if (std::string(c.name) == "VERIFY_JVM without a home" && !unix) {
        EXPECT_NE(
            std::string::npos,
            logged.find(
                "ERROR: TO execute the VERIFY_JVM action, you must also provide values in the "
                "input file for VERIFY_JVM_FILE and VERIFY_JVM_HOME.\n"))
            << logged;
      }
      if (std::string(c.name) == "VERIFY_JVM invalid") {
        EXPECT_NE(std::string::npos, logged.find("\nIn VERIFY, the jvm is invalid.\n")) << logged;
      }
      if (std::string(c.name) == "SEARCH_ALL failing" && !unix) {
        EXPECT_NE(std::string::npos, logged.find("ERROR: " + searchAllError)) << logged;
      }
      if (std::string(c.name) == "INSTALL_JVM") {
        EXPECT_EQ(dest, tagValue(dest + "/jvm", "JVM_HOME"));
        EXPECT_EQ("0", tagValue(dest + "/jvm", "JVM_TEMP"));
      }
    }
  }
}

// Silent (-bv:silent): the result lines alone, whatever the flags; no
// message, no status line. (With UNIX_COMMAND: 1 the errors still go to
// standard error.)
TEST_P(TranscriptModeTest, SilentInputFileActionsPrintOnlyTheirResults) {
  std::string missing = dir.file("missing");
  const std::string flags = "SHOW_FAIL_MSG: 1\nSHOW_PROGRESS: 1\n";
  struct Case {
    const char* name;
    std::string tags, javaHome;
    std::vector<std::string> args;
    int status;
    std::string out;
    int unixStatus;
    std::string unixErr;
  } cases[] = {
      {"SEARCH found", "ACTION: SEARCH\n", home, {}, 0, "1\n" + home + "\n<FILE>\n", 0, ""},
      {"SEARCH not found", "ACTION: SEARCH\n", "", {}, 0, "0\n", 0, kUnixNoJvm},
      {"SEARCH_ALL failing",
       "ACTION: SEARCH_ALL\n",
       home,
       {"-bv:tempdir", missing},
       0,
       "0\n",
       255,
       "Unable to search for all JVMs. Cannot use " + missing +
           " as the temp directory because it does not exist.\n"},
      {"VERIFY_JVM invalid",
       "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + jvmFile + "\nVERIFY_JVM_HOME: " + other + "\n",
       "",
       {},
       0,
       "0\n",
       0,
       "The JVM is not valid.\n"},
      {"an invalid action",
       "ACTION: FLY\n",
       "",
       {},
       255,
       "",
       255,
       "Invalid action in input file: FLY\n"},
  };
  const bool unix = GetParam();
  std::string actions = actionsLauncher(unix);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (unix ? " UNIX_COMMAND" : ""));
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "-bv:silent");
    args.push_back("-bv:in");
    args.push_back(write("input.tag", c.tags + flags));
    ProcessResult r = run(actions, args, envWith("", c.javaHome));
    dump(c.name, r);
    EXPECT_EQ(c.out, masked(r.out)) << r.err;
    if (!unix) {
      EXPECT_EQ(c.status, r.status);
    } else {
      EXPECT_EQ(c.unixStatus, r.status);
      EXPECT_EQ(c.unixErr, r.err);
    }
  }
}

// An input file that cannot be named, opened or parsed: "Could not load
// the input file." joined to the reason, then the reason alone; a file
// that it names and that cannot be loaded: the reason, twice.
TEST_P(TranscriptModeTest, InputFileThatCannotBeLoaded) {
  std::string broken = write("broken.tag", "ACTION: SEARCH\nno colon here\n");
  // A JVM file that the input file names and that is not there: shown when
  // the input file is applied, then again at the end of the run.
  std::string namesMissing =
      write("names-missing.tag", "ACTION: SEARCH\nJVM: " + dir.file("none.jvm") + "\n");
  const std::string noJvmFile = "Unable to load input file: " + dir.file("none.jvm");
  const std::string cannotOpen =
      "Unable to open input file specified on the command line after the -bv:in option.";
  const std::string syntax =
      "Syntax error in " + broken + " at line 2 ==> Missing colon at the end of the tag name.";
  struct Case {
    std::vector<std::string> args;
    std::string out, unixErr;
  } cases[] = {
      {{"-bv:in", dir.file("missing.tag")},
       "Could not load the input file. " + cannotOpen + "\n" + cannotOpen + "\n",
       "Could not load the input file. " + cannotOpen + " (" + dir.file("missing.tag") +
           ": No such file or directory)\n"},
      {{"-bv:in", ""},
       "Could not load the input file. " + cannotOpen + "\n" + cannotOpen + "\n",
       "Could not load the input file. " + cannotOpen + "\n"},
      {{"-bv:in", broken},
       "Could not load the input file. " + syntax + "\n" + syntax + "\n",
       "Could not load the input file. " + syntax + "\n"},
      {{"-bv:in", namesMissing}, noJvmFile + "\n" + noJvmFile + "\n", noJvmFile + "\n"},
      {{"-bv:in"},
       "An input file name must follow the '-bv:in' command line option.\n",
       "An input file name must follow the '-bv:in' command line option.\n"},
  };
  const bool unix = GetParam();
  std::string actions = actionsLauncher(unix);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back() + (unix ? " UNIX_COMMAND" : ""));
    ProcessResult r = run(actions, c.args, envWith());
    dump(c.args.back().c_str(), r);
    EXPECT_EQ(255, r.status);
    if (!unix) {
      EXPECT_EQ(c.out, r.out) << r.err;
    } else {
      EXPECT_EQ("", r.out);
      EXPECT_EQ(c.unixErr, r.err);
    }
  }
}

// The written JVM file of a search is the JVM file as it was read, with
// JVM_HOME, JVM_FILE and JVM_TEMP, and nothing else.
TEST_F(TranscriptTest, SearchWritesTheJvmFileWithTheThreeTags) {
  std::string actions = actionsLauncher(false);
  ProcessResult r =
      run(actions, {"-bv:in", write("input.tag", "ACTION: SEARCH\n")}, envWith("", home));
  std::vector<std::string> lines = splitLines(r.out);
  ASSERT_EQ(3u, lines.size()) << r.out << r.err;
  const std::string asRead =
      "DESC:  Test JVM\n"
      "JVM_EXE:  bin/java\n"
      "PLATFORM_HINT:  JAVA_HOME\n"
      "JVM_PROPERTIES:\n"
      "  os.name=Linux\n"
      "  java.vm.specification.name=Java Virtual Machine Specification\n"
      "/:\n"
      "CLASSPATH:  \"-cp \"\n"
      "CLASSPATH_SEPARATOR:  :\n"
      "SYSTEM:  -D\n"
      "SYSTEM_SEPARATOR:  =\n";
  EXPECT_EQ(asRead + "JVM_HOME:  " + home + "\nJVM_FILE:  " + lines[2] + "\nJVM_TEMP:  0\n",
            readFile(lines[2]));
}

// The verification class gets exactly the property names of the JVM file,
// whether it is the payload's own archive or the input file's class.
TEST_F(TranscriptTest, VerificationClassGetsExactlyTheJvmFileProperties) {
  std::string actions = actionsLauncher(false);
  std::string verify =
      "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + jvmFile + "\nVERIFY_JVM_HOME: " + home + "\n";
  struct Case {
    const char* name;
    std::string extra, className;
  } cases[] = {
      {"the payload's archive", "", "Verify"},
      {"the input file's class",
       // A class path in double quotes, as the classpath function takes it.
       "VERIFY_CLASSPATH: \"\"\"" + write("author.jar", "not really a jar") +
           "\"\"\"\nVERIFY_CLASS_NAME: AuthorCheck\n",
       "AuthorCheck"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    removeTree(home + "/verify-args");
    ProcessResult r = run(actions, {"-bv:in", write("input.tag", verify + c.extra)}, envWith());
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("1\n", r.out) << r.err;
    EXPECT_EQ(home + "/bin/java\n" + c.className + "\nos.name\njava.vm.specification.name\n",
              readFile(home + "/verify-args"));
  }
}

// A JVM that answers without the marker: the log names the last line that
// it printed. (A JVM file without JVM_PROPERTIES asks for no property.)
TEST_F(TranscriptTest, WrongMarkerIsLoggedWithWhatTheJvmPrinted) {
  std::string wrong = dir.file("wrong");
  writeAnsweringJvm(wrong, "Linux", "1739021873");
  std::string bare = write("bare.jvm", "DESC: Bare JVM\nJVM_EXE: bin/java\n");
  std::string actions = actionsLauncher(false);
  std::string log = dir.file("wrong.log");
  for (const std::string& h : {wrong, home}) {
    ProcessResult r = run(
        actions,
        {"-bv:in", write("input.tag", "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: " + bare +
                                          "\nVERIFY_JVM_HOME: " + h + "\nLOGFILE: " + log + "\n")},
        envWith());
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(h == wrong ? "0\n" : "1\n", r.out) << r.err;
  }
  std::string logged = readFile(log);
  EXPECT_NE(std::string::npos, logged.find("\nERROR: Invalid magic value: 1739021873\n\n"))
      << logged;
  EXPECT_NE(std::string::npos, logged.find("\nIn VERIFY, the jvm is invalid.\n")) << logged;
  EXPECT_NE(std::string::npos, logged.find("\nAfter VERIFY, the jvm home is " + home + "\n"))
      << logged;
}

// FIND_JVM with its message flag and no JVM; a search that verifies two
// candidates (the JAVA_HOME of another system, then a PATH directory); a
// failed application whose error output is shown at the end; a temporary
// folder that cannot be used.
TEST_P(TranscriptModeTest, TypicalRuns) {
  std::string missing = dir.file("missing");
  std::string aFile = write("a-file", "");
  const std::string start = kTitle + kInitializing + kSearching + kExtracted + kSearchingFor;
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string path, javaHome;
    int status;
    std::string out;
    int unixStatus;
    std::string unixOut, unixErr;
  } cases[] = {
      {"no JVM",
       {},
       "",
       "",
       0,
       start + kVerifying + kMissing + kSearchingFor + kNoSuitableJvm + "\n",
       1,
       start + "\n",
       kUnixNoJvm},
      // The JAVA_HOME of another system, then a PATH directory: two checks,
      // each followed by the line of the JVM file's search.
      {"two candidates verified",
       {},
       home + "/bin",
       other,
       0,
       start + kVerifying + kRun + kSearchingFor + kVerifying + kRun + kSearchingFor + kRunning,
       0,
       start + kVerifying + kRun + "\n" + kVerifying + kRun + "\n" + kRunning,
       ""},
      // The application's error output, shown at the end as one more line.
      {"failed application",
       {"--stderr=it failed", "--exit=3"},
       "",
       home,
       3,
       start + kVerifying + kRun + kSearchingFor + kRunning + "it failed\n\n",
       3,
       start + kVerifying + kRun + "\n" + kRunning,
       "it failed\n\n"},
      {"temporary folder missing",
       {"-bv:tempdir", missing},
       "",
       home,
       255,
       kTitle + kInitializing + kSearching + tempDirMissing(missing) + "\n",
       255,
       kTitle + kInitializing + kSearching,
       "Cannot use " + missing + " as the temp directory because it does not exist.\n"},
      {"temporary folder a file",
       {"-bv:tempdir", aFile},
       "",
       home,
       255,
       kTitle + kInitializing + kSearching + tempDirMissing(aFile) + "\n",
       255,
       kTitle + kInitializing + kSearching,
       aFile + " cannot be the temporary directory: it is not a directory.\n"},
  };
  const bool unix = GetParam();
  std::string setup = setupLauncher(unix ? "setup-unix" : "setup", unix);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (unix ? " UNIX_COMMAND" : ""));
    std::string log = dir.file("typical.log");
    removeTree(log);
    std::vector<std::string> args = {"-bv:log", log};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ProcessResult r = run(setup, args, envWith(c.path, c.javaHome));
    dump(c.name, r);
    if (!unix) {
      EXPECT_EQ(c.status, r.status);
      EXPECT_EQ(c.out, r.out) << r.err;
    } else {
      EXPECT_EQ(c.unixStatus, r.status);
      EXPECT_EQ(c.unixOut, r.out);
      EXPECT_EQ(c.unixErr, r.err);
    }
    if (std::string(c.name) == "two candidates verified" && !unix) {
      // The home as the PATH directory gave it.
      EXPECT_NE(std::string::npos, readFile(log).find("\nMatching JVM home is " + home + "/\n"))
          << readFile(log);
    }
  }
}

// The captured error output at the end of a failed run: shown for any
// failure, except 232 from a launcher of purpose 0 or 2.
TEST_F(TranscriptTest, CapturedErrorOutputByPurpose) {
  const std::string start = kTitle + kInitializing + kSearching + kExtracted + kSearchingFor +
                            kVerifying + kRun + kSearchingFor + kRunning;
  struct Case {
    int purpose, exit;
    bool shown;
  } cases[] = {{0, 232, false}, {2, 232, false}, {1, 232, true}, {2, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE("purpose " + std::to_string(c.purpose) + " exit " + std::to_string(c.exit));
    std::string setup = setupLauncher("setup" + std::to_string(c.purpose), false, c.purpose);
    ProcessResult r =
        run(setup, {"--stderr=it failed", "--exit=" + std::to_string(c.exit)}, envWith("", home));
    EXPECT_EQ(c.exit, r.status);
    EXPECT_EQ(start + (c.shown ? "it failed\n\n" : ""), r.out) << r.err;
  }
}

// A syntax error in a second instruction script: the title of the launch
// script before it was printed when it was read, then the error.
TEST_P(TranscriptModeTest, TitleLineBeforeAnIndexLoadingError) {
  const bool unix = GetParam();
  SCOPED_TRACE(unix ? "UNIX_COMMAND" : "");
  std::string path =
      launcher(unix ? "second-unix" : "second",
               {{0, 0, "instructions.tag", typicalScript(unix)},
                verifyJar(),
                {2, 2, "launch.tag", appLaunchScript(false)},
                {0, 4, "second.tag", "INSTRUCTIONS:\n  INITIALIZE_UI\n/:\nno colon\n"},
                jvm()});
  ProcessResult r = run(path, {}, envWith("", home));
  EXPECT_EQ(255, r.status);
  const std::string error =
      "Unable to load the launcher file index. Syntax error in second.tag at line 4 ==> Missing "
      "colon at the end of the tag name.\n";
  if (!unix) {
    EXPECT_EQ(kTitle + error, r.out) << r.err;
  } else {
    EXPECT_EQ("", r.out);
    EXPECT_EQ(error, r.err);
  }
}

// A launcher without the digest block whose index leaves gaps runs.
TEST_F(TranscriptTest, IndexWithGapsAndNoDigestBlockRuns) {
  std::string setup = setupLauncher("gaps", false, 0, true);
  ProcessResult r = run(setup, {"--exit=5"}, envWith("", home));
  EXPECT_EQ(5, r.status) << r.out << r.err;
  EXPECT_EQ(kTitle + kInitializing + kSearching + kExtracted + kSearchingFor + kVerifying + kRun +
                kSearchingFor + kRunning,
            r.out);
}

// A JVM file whose JVM_HOME ends in a backslash: @JVM_HOME@ drops that one
// backslash, and the home that is verified and checked is the one that is
// launched; JAVA_HOME is the tag's value.
TEST_F(TranscriptTest, HomeEndingInABackslash) {
  std::string jdk = dir.file("bs-jdk");
  writeAnsweringJvm(jdk, "Linux");
  std::string path = launcher(
      "backslash", {{0, 0, "instructions.tag",
                     setupScriptText({"VERIFY 0 0 3", "JMP0 @N1@ END", "ILAUNCH 3 0", ":END"})},
                    verifyJar(),
                    {2, 2, "launch.tag", appLaunchScript(true)},
                    {1, 3, "test.jvm", jvmFileText("bin/java", "JVM_HOME: " + jdk + "\\\n")}});
  ProcessResult r = run(path, {"--exit=7"}, envWith());
  EXPECT_EQ(7, r.status) << r.out << r.err;
  // The application's own output (the console is shown): the path it was
  // started as, and JAVA_HOME.
  EXPECT_EQ(kTitle + "java=" + jdk + "/bin/java\nJAVA_HOME=" + jdk + "\\\narg=App\narg=--exit=7\n",
            r.out);
  // The verification ran the same executable.
  EXPECT_EQ(0u, readFile(jdk + "/verify-args").find(jdk + "/bin/java\n"))
      << readFile(jdk + "/verify-args");
}

}  // namespace
}  // namespace bvtest
