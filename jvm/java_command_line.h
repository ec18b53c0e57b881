// What a `java` command line asks of the JVM, as far as class-data sharing
// needs to know: the Java options, the class path and the main class.
//
// The words are those the program receives (words[0] the program). The
// options are the words up to the main class (or up to and including
// -jar FILE); an option that takes the next word as its value (-cp PATH,
// --add-opens X, ...) takes it along. What follows the main class belongs to
// the application.
#ifndef BV_JVM_JAVA_COMMAND_LINE_H_
#define BV_JVM_JAVA_COMMAND_LINE_H_

#include <string>
#include <vector>

struct JavaCommandLine {
  // False, with the reason, for a command that class-data sharing leaves
  // alone: no main class, a module (-m, --module, a module path), a source
  // file, an argument file (@file) or options file (-XX:Flags=,
  // -XX:VMOptionsFile=), an agent, options that already set up
  // class-data sharing or ahead-of-time caches (-Xshare, -XX:SharedArchiveFile,
  // -XX:ArchiveClassesAtExit, -XX:+AutoCreateSharedArchive,
  // -XX:DumpLoadedClassList, -XX:AOT...), or one that only prints
  // (-version, --help, --dry-run, ...).
  bool usable = false;
  std::string reason;
  std::vector<std::string> options;  // every word between the program and the main class
  std::string classPath;             // as the JVM takes it: the last -cp, -classpath or
                                     // --class-path value, the -jar file, or classPathVariable
  std::string mainClass;             // the main class, or the -jar file
  bool jarMode = false;              // -jar FILE
};

// Reads words as the java launcher does. classPathVariable is the value of
// CLASSPATH (empty when unset), the class path when no option gives one
// ("." when both are missing).
JavaCommandLine parseJavaCommandLine(const std::vector<std::string>& words,
                                     const std::string& classPathVariable);

// The options of the JVM's heap and collector, which an archive must be made
// with to be mapped at run time (the heap size decides compressed object
// pointers): -Xmx, -XX:MaxHeapSize, -XX:±UseCompressedOops and
// ...ClassPointers, -XX:ObjectAlignmentInBytes, -XX:±Use...GC and the
// -XX:+Unlock...VMOptions that they may need, --enable-preview. The other
// options stay out of the run that makes the archive (it runs no code of
// the application).
std::vector<std::string> archiveRelevantOptions(const std::vector<std::string>& options);

#endif  // BV_JVM_JAVA_COMMAND_LINE_H_
