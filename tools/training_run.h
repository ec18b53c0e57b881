// The training run of bvpack --train: the application runs once at pack
// time, with the Java it is packed for, and what it used is recorded.
//
// What a run loads and links cannot be found by reading the jars: a module
// loaded by name (a compiler, a crypto provider, a charset), the classes of
// the paths the application really takes. So bvpack runs it, with a time
// limit and its output shown, and reads the JVM's own record:
//   - the modules of the JDK whose classes it loaded (the class-load log:
//     "source: jrt:/MODULE"), which --jlink adds to the runtime;
//   - on Java 13 to 23, the JDK classes it loaded, from which the JVM
//     makes the runtime's default class-data archive anew (-Xshare:dump
//     with no class path: the application's jars, which such an archive
//     would have to find at the same path with the same time, stay out;
//     every start of the runtime maps it without an option);
//   - on Java 24 and newer, the JVM's ahead-of-time configuration
//     (-XX:AOTMode=record), from which a second JVM that runs none of the
//     application's code makes the cache (-XX:AOTMode=create) that the
//     runtime then carries (jvm/carried_aot_cache.h).
// The jars run from copies laid out as the launcher lays them out (one
// folder, each under its own file name, in class path order), so that the
// class path that the cache records has the shape of the one on the user's
// machine. The run gets bvpack's environment without the variables that
// give the JVM options, and bvpack's working folder.
#ifndef BV_TOOLS_TRAINING_RUN_H_
#define BV_TOOLS_TRAINING_RUN_H_

#include <set>
#include <string>
#include <vector>

struct TrainingRun {
  std::string javaHome;                  // the Java that runs (home/bin/java)
  std::vector<std::string> jars;         // the class path, in order
  std::vector<std::string> javaOptions;  // before the class path
  std::string mainClass;
  std::vector<std::string> args;         // the application's arguments
  int timeoutSeconds = 60;               // then SIGTERM to its process group,
                                         // 30 s later SIGKILL
  std::string scratch;                   // a private folder that bvpack removes
  std::string aotCache;                  // where to write the cache; "" for none
  // Where the runtime's default class-data archive lies (made anew from
  // the JDK classes that the run loaded, on Java 13 to 23); "" for none.
  std::string runtimeArchive;
};

struct TrainingResult {
  std::set<std::string> modules;  // the JDK modules whose classes were loaded
  bool cacheMade = false;         // the cache is at TrainingRun::aotCache
  bool archiveMade = false;       // the archive is at TrainingRun::runtimeArchive
  std::string note;               // why there is no cache, or ""
};

// Runs the training. Throws PackError when a jar's file name holds a ':'
// (the class path's separator), when the Java cannot be started or
// the class-load log cannot be had (the run's exit status does not count:
// an application that ends with an error has still loaded what it loaded);
// a cache that cannot be made is a note, not an error.
TrainingResult runTraining(const TrainingRun& run);

// The modules named by the class-load log text ("source: jrt:/MODULE"),
// sorted. Lines that name no module are skipped.
std::set<std::string> modulesOfClassLoadLog(const std::string& log);

// Copies the tree from to to, which must not exist: from itself may be a
// link (followed, so that to is a folder of its own and what is written
// into it stays there), the links inside it are kept as links. Throws
// PackError when cp fails.
void copyTree(const std::string& from, const std::string& to);

// The JDK classes that the class-load log text names (those loaded from
// "jrt:/"), as a class list names them ("java/lang/Object"), in load order.
std::vector<std::string> jdkClassesOfClassLoadLog(const std::string& log);

// The feature version of the Java at home from its release file (25 for
// "25.0.3", 8 for "1.8.0_402"), or 0 when it does not say.
int releaseFeatureVersion(const std::string& home);

#endif  // BV_TOOLS_TRAINING_RUN_H_
