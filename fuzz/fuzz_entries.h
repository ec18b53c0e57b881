// The entry points of the fuzz targets, one per reader of outside input.
//
// Each takes one input as bytes and drives a parser the way the launcher
// does, catching the errors that bad input is meant to produce
// (LauncherException, InstructionsException). Anything else that escapes -
// a crash, a sanitizer report, a RangeException of the string class, a hang -
// is a finding. The libFuzzer targets (fuzz/*_fuzzer.cc) call these, and so
// does the regression test that replays the kept findings
// (tests/fuzz_regressions/<name>/*), so both see exactly the same code.
//
// Inputs that need files are written to a scratch directory made once per
// process and removed at its exit. The console is made silent.
#ifndef BV_FUZZ_FUZZ_ENTRIES_H_
#define BV_FUZZ_FUZZ_ENTRIES_H_

#include <cstddef>
#include <cstdint>

// A crafted launcher file: trailer, digest block, file index and embedded
// tag files are loaded (LauncherInputFiles::load), then the first entries
// are extracted.
int fuzzArchiveIndex(const uint8_t* data, size_t size);
// A tag file read whole and as an embedded stretch; a file that loads is
// written out and must read back with the same tags and values.
int fuzzTagFile(const uint8_t* data, size_t size);
// Instruction script statements, one per line, executed with the launcher
// operations replaced by no-ops. A script that loops is ended by the cancel
// flag after a short budget of CPU time.
int fuzzInstructions(const uint8_t* data, size_t size);
// The first byte picks an evaluator (evalExpr, evalLongExpr, evalShortExpr,
// evalBoolExpr, evalStringExpr on text or on a statement); the rest is its
// text. The script variables hold fixed values, some holding references.
int fuzzExpressions(const uint8_t* data, size_t size);
// A command line split by CmdLine, whole and from a position the first byte
// picks.
int fuzzCmdLine(const uint8_t* data, size_t size);
// parseStringArgument and getTokenFromString, with the mode and start
// position taken from the first byte, then the whole text tokenized; also
// the other text utilities (trim, quotes, numbers, lines, escapes).
int fuzzTextArguments(const uint8_t* data, size_t size);
// A launch script's COMMAND template resolved (functions, @ macros of a
// fixed JVM file, # environment macros) without running it.
int fuzzLaunchScript(const uint8_t* data, size_t size);
// A cache file of JVM verifications read with parseVerifyCache; what reads
// must be written back byte for byte.
int fuzzVerifyCache(const uint8_t* data, size_t size);
// A Java runtime entry unpacked into a scratch folder: with an even first
// byte the rest is a member list, packed as bvpack packs it; with an odd
// one the rest is the entry's bytes as they are. Nothing may land outside
// the folder, whatever the members say.
int fuzzRuntimeArchive(const uint8_t* data, size_t size);

// A jar read by bvpack's class-file version reader (readJarClasses): its
// zip directory, local headers and the deflated starts of .class entries.
// A refusal (PackError) is the expected outcome of a bad jar.
int fuzzClassVersion(const uint8_t* data, size_t size);

// The targets by name, for the regression test: the name is also the
// folder of its kept inputs under tests/fuzz_regressions/.
struct FuzzEntry {
  const char* name;
  int (*run)(const uint8_t* data, size_t size);
};
extern const FuzzEntry fuzzEntries[];
extern const size_t fuzzEntryCount;

#endif  // BV_FUZZ_FUZZ_ENTRIES_H_
