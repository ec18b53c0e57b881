// The one-line mode of bvpack: the tag files of a complete launcher, made
// from the main class, the jars and a few options.
//
// The launcher runs the typical script (find a JVM with UI and failure
// message, launch the application with it), finds Java through the
// discovery list of the example JVM files for Linux and macOS with the
// condition java.specification.version>=N, and runs the main class with
// every jar on the class path, the Java options and the user's arguments,
// in the user's working folder, with the application's output shown; the
// template asks for class-data sharing (%CDS_OPTIONS%()) unless --no-cds.
#ifndef BV_TOOLS_ONE_LINE_H_
#define BV_TOOLS_ONE_LINE_H_

#include <string>
#include <vector>

#include "tools/pack_options.h"

// The java.specification.version that the launcher requires: --min-java
// when given, else what the jars' class files need. Throws PackError when
// neither can be had, or when no jar holds the main class. Writes notes
// (a --min-java lower than the classes need) to *notes.
std::string requiredJavaVersion(const PackJob& job, std::string* notes);

// Checks the options of the one-line mode (class name, Java options, title,
// jars with the same file name); throws PackError.
void checkGenerateOptions(const PackJob& job);

// Writes instructions.tag, launch.tag, jvm-linux.tag and jvm-macos.tag into
// dir and returns the entries of the whole payload (the tag files, then one
// classpath-jar per --jar). Throws PackError when a file cannot be written.
std::vector<PackEntry> writeGeneratedFiles(const PackJob& job, const std::string& javaVersion,
                                           const std::string& dir);

// The path of jar inside job.appDir ("lib/ant.jar"), by the text of both
// paths made absolute (links are not followed), or "" when it lies outside
// or there is no --app-dir.
std::string pathInsideAppDir(const PackJob& job, const std::string& jar);

// The bvpack command that packs the files that --emit wrote into dir.
std::string packCommandFor(const PackJob& job, const std::string& dir);

#endif  // BV_TOOLS_ONE_LINE_H_
