// bvpack: builds a launcher from the launcher program and the files it is
// to carry, or lists the index of one (see bvpack --help).
#include <errno.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "jvm/carried_aot_cache.h"
#include "jvm/property_condition.h"
#include "platform/platform_impl.h"
#include "tools/one_line.h"
#include "tools/pack_list.h"
#include "tools/pack_options.h"
#include "tools/pack_progress.h"
#include "tools/process_run.h"
#include "tools/pack_writer.h"
#include "tools/runtime_pack.h"
#include "tools/training_run.h"

namespace {

// The stub in the directory of the running bvpack: bvlauncher-stripped
// (the build's stripped copy, what every launcher carries), or bvlauncher
// where there is none.
std::string defaultStub(const char* programName) {
  std::string self;
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n > 0) self.assign(buffer, static_cast<size_t>(n));
  else self = programName;
  size_t slash = self.find_last_of('/');
  std::string dir = slash == std::string::npos ? std::string() : self.substr(0, slash + 1);
  std::string stripped = dir + "bvlauncher-stripped";
  return access(stripped.c_str(), F_OK) == 0 ? stripped : dir + "bvlauncher";
}

// A private scratch directory for the generated tag files, removed with
// them when the pack ends, whatever way it ends.
class ScratchDir {
 public:
  ScratchDir() {
    const char* base = getenv("TMPDIR");
    m_path = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/bvpackXXXXXX";
    if (mkdtemp(&m_path[0]) == nullptr) {
      throw PackError("cannot create a temporary directory: " + std::string(strerror(errno)));
    }
  }
  ~ScratchDir() { removeTree(m_path); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

// The runtime dir must be Java javaVersion or later.
void checkOneLineRuntime(const std::string& dir, const std::string& javaVersion) {
  std::string version = runtimeJavaVersion(dir);
  if (!propertySatisfies(SString(specificationVersionOf(version).c_str()), PROPERTY_AT_LEAST,
                         SString(javaVersion.c_str()))) {
    std::string needed = javaVersion == "1.8" ? "8" : javaVersion;
    throw PackError("the Java runtime " + dir + " is Java " + version +
                    " (JAVA_VERSION in its release file), but the application needs Java " + needed + " or later");
  }
}

// The training run of job's application with the Java at home.
TrainingRun trainingOf(const PackJob& job, const std::string& home, const std::string& scratch) {
  TrainingRun run;
  run.javaHome = home;
  run.jars = job.jars;
  run.javaOptions = job.javaOptions;
  run.mainClass = job.mainClass;
  run.args = job.trainArgs;
  run.timeoutSeconds = job.trainSeconds;
  run.scratch = scratch;
  return run;
}

// The training run's part of the module list: the JDK modules whose
// classes a run of the application on jdk loaded (tools/training_run.h).
std::vector<std::string> trainingModules(const PackJob& job, const std::string& jdk, const std::string& scratch) {
  std::set<std::string> loaded = runTraining(trainingOf(job, jdk, scratch)).modules;
  return std::vector<std::string>(loaded.begin(), loaded.end());
}

// "" when runtimeDir and every folder of file below it is a folder of its
// own, else the first that is a link or no folder: the JVM would write the
// file wherever that link leads (a --runtime DIR is copied with its links,
// and a link there may lead back into DIR or anywhere else).
std::string linkOnTheWay(const std::string& runtimeDir, const std::string& file) {
  size_t end = runtimeDir.size();
  while (end != std::string::npos) {
    std::string folder = file.substr(0, end);
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return folder;
    end = file.find('/', end + 1);
  }
  return std::string();
}

// --train with a runtime of Java 24 or newer: the ahead-of-time cache of a
// training run on the runtime itself, left inside it
// (jvm/carried_aot_cache.h).
void trainRuntimeCache(const PackJob& job, const std::string& runtimeDir, const std::string& scratch) {
  TrainingRun run = trainingOf(job, runtimeDir, scratch);
  // The launch passes the cache through %CDS_OPTIONS%(), which --no-cds
  // leaves out: no cache then, only the runtime's own archive.
  if (job.classDataSharing) run.aotCache = runtimeDir + "/" + carriedAOTCachePath;
  run.runtimeArchive = runtimeDir + "/lib/server/classes.jsa";
  // Nothing is written outside the runtime's own folders.
  for (std::string* file : {&run.aotCache, &run.runtimeArchive}) {
    std::string link = file->empty() ? std::string() : linkOnTheWay(runtimeDir, *file);
    if (link.empty()) continue;
    fprintf(stderr, "bvpack: note: %s is a link or no folder, so the training run writes nothing into it (%s)\n",
            link.c_str(), file->c_str());
    file->clear();
  }
  if (run.aotCache.empty() && run.runtimeArchive.empty()) return;
  if (run.aotCache.empty() && releaseFeatureVersion(runtimeDir) >= firstAOTCacheJava) return;  // nothing to make
  TrainingResult result = runTraining(run);
  if (result.archiveMade) {
    fprintf(stderr, "bvpack: the runtime's class-data archive now holds the JDK classes of the training run\n");
  } else if (result.cacheMade) {
    struct stat st;
    stat(run.aotCache.c_str(), &st);
    fprintf(stderr, "bvpack: the runtime carries the ahead-of-time cache of the training run (%lld bytes)\n",
            static_cast<long long>(st.st_size));
  } else if (!run.aotCache.empty()) {
    fprintf(stderr, "bvpack: no ahead-of-time cache: %s\n", result.note.c_str());
  }
}

// A fresh folder for one training run's files inside scratch.
std::string trainingFolder(const std::string& scratch, const char* name) {
  std::string folder = scratch + "/" + name;
  if (mkdir(folder.c_str(), 0700) != 0) throw PackError("cannot create " + folder + ": " + strerror(errno));
  return folder;
}

// --jlink: a runtime for the jars in dir, which becomes the --runtime.
// Prints the modules, those added beyond what jdeps found with why, and
// those that the jars name but the runtime lacks. Returns the modules.
std::string makeRuntime(PackJob& job, const std::string& dir, const std::string& javaVersion,
                        const std::string& scratch) {
  struct stat st;
  if (lstat(dir.c_str(), &st) == 0) throw PackError(dir + " is there already; jlink makes it anew");
  PackProgress progress(stderr, job.showProgress);
  JlinkRequest request;
  request.jars = job.jars;
  // The jars that the application folder holds count as well: the
  // application may load them itself (Ant's lib/).
  if (!job.appDir.empty()) {
    for (const std::string& jar : jarsInFolder(job.appDir)) {
      if (std::find(request.jars.begin(), request.jars.end(), jar) == request.jars.end()) request.jars.push_back(jar);
    }
  }
  request.addModules = job.addModules;
  if (job.train) {
    for (const std::string& module : trainingModules(job, findJdk(), trainingFolder(scratch, "train-jdk"))) {
      request.extra.push_back(ModuleReason{module, "loaded in the training run"});
    }
  }
  request.allModules = job.allModules;
  request.outDir = dir;
  request.stage = [&progress](const std::string& stage) {
    if (stage == "jdeps") progress.stage("jdeps: finding the modules that the jars need");
    if (stage == "modules") progress.stage("reading the JDK's modules");
    if (stage == "jlink") progress.stage("jlink: making the runtime (a minute or more)");
  };
  request.tick = [&progress]() { progress.tick(); };
  JlinkOutcome outcome;
  try {
    outcome = jlinkRuntime(request);
  } catch (const PackError&) {
    // A jlink that failed or was stopped midway leaves nothing half-made.
    removeTree(dir);
    throw;
  }
  progress.clear();
  fprintf(stderr, "bvpack: jlink of %s made the runtime with the modules %s\n", outcome.jdk.c_str(),
          outcome.list.text().c_str());
  for (const ModuleReason& added : outcome.list.additions) {
    fprintf(stderr, "bvpack: added %s: %s\n", added.module.c_str(), added.reason.c_str());
  }
  for (const std::string& note : outcome.notes) fprintf(stderr, "bvpack: note: %s\n", note.c_str());
  if (!outcome.unlisted.empty()) {
    std::string names;
    for (const ModuleReason& module : outcome.unlisted) {
      fprintf(stderr, "bvpack: note: the jars name %s, of the module %s, which the runtime lacks\n",
              module.reason.c_str(), module.module.c_str());
      names += (names.empty() ? "" : ",") + module.module;
    }
    fprintf(stderr, "bvpack: note: if the application loads them, add --add-modules %s\n", names.c_str());
  }
  job.runtimeDir = dir;
  checkOneLineRuntime(dir, javaVersion);
  if (job.train) trainRuntimeCache(job, dir, trainingFolder(scratch, "train-runtime"));
  return outcome.list.text();
}

// What was made: the launcher's size, the runtime's modules, the time.
void printSummary(const PackJob& job, const std::string& modules, double seconds) {
  struct stat st;
  if (job.output.empty() || stat(job.output.c_str(), &st) != 0) return;
  std::string runtime = job.runtimeDir.empty() ? "no Java runtime"
                        : modules.empty()      ? "the Java runtime " + job.runtimeDir
                                               : "a Java runtime of " + modules;
  fprintf(stderr, "bvpack: made %s: %.1f MB, %s, in %.0f s\n", job.output.c_str(), st.st_size / 1e6,
          runtime.c_str(), seconds);
}

double monotonicSeconds() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// --train with --runtime DIR: a copy of DIR at copy (which must not exist)
// carries the cache; DIR itself is the user's and stays as it is.
void trainGivenRuntime(PackJob& job, const std::string& copy, const std::string& scratch) {
  struct stat st;
  if (lstat(copy.c_str(), &st) == 0) throw PackError(copy + " is there already; the training copies the runtime there");
  copyTree(job.runtimeDir, copy);
  job.runtimeDir = copy;
  trainRuntimeCache(job, copy, trainingFolder(scratch, "train-runtime"));
}

// The one-line mode: generate the tag files, then pack them (-o) and/or
// leave them in the --emit directory.
void generateLauncher(PackJob job, const std::string& stub) {
  double start = monotonicSeconds();
  std::string modules;
  checkGenerateOptions(job);
  std::string notes;
  std::string javaVersion = requiredJavaVersion(job, &notes);
  fputs(notes.c_str(), stderr);
  if (!job.runtimeDir.empty()) checkOneLineRuntime(job.runtimeDir, javaVersion);
  if (!job.emitDir.empty()) {
    if (mkdir(job.emitDir.c_str(), 0755) != 0 && errno != EEXIST) {
      throw PackError("cannot create " + job.emitDir + ": " + strerror(errno));
    }
    // The tag files are packed later, from this folder: whoever else may
    // change it (another user's folder, one writable by others or below
    // such a folder) could swap the launch template for their own.
    SString why;
    if (!PlatformImpl::isTrustedFile(SString(job.emitDir.c_str()), why)) {
      throw PackError("the --emit folder " + job.emitDir + " is not safe for the tag files: " + why.c_str());
    }
    // A runtime made with jlink stays beside the tag files, and so does
    // the copy of a --runtime that a training run fills.
    ScratchDir training;
    std::string runtime = job.emitDir + "/runtime";
    struct stat st;
    if ((job.jlink || job.train) && lstat(runtime.c_str(), &st) == 0) {
      throw PackError(runtime + " is there already; " +
                      (job.jlink ? "jlink makes it anew" : "the training copies the runtime there"));
    }
    // A pack that fails or is interrupted leaves no half-made runtime
    // there (which would also stop the next try).
    try {
      if (job.jlink) modules = makeRuntime(job, runtime, javaVersion, training.path());
      if (job.train && !job.jlink) trainGivenRuntime(job, runtime, training.path());
    } catch (...) {
      removeTree(runtime);
      throw;
    }
    job.entries = writeGeneratedFiles(job, javaVersion, job.emitDir);
    if (!job.output.empty()) {
      writeLauncher(job, stub);
      printSummary(job, modules, monotonicSeconds() - start);
    }
    printf("Wrote the tag files into %s; to pack them:\n%s", job.emitDir.c_str(),
           packCommandFor(job, job.emitDir).c_str());
    return;
  }
  ScratchDir scratch;
  if (job.jlink) modules = makeRuntime(job, scratch.path() + "/runtime", javaVersion, scratch.path());
  if (job.train && !job.jlink) trainGivenRuntime(job, scratch.path() + "/runtime", scratch.path());
  job.entries = writeGeneratedFiles(job, javaVersion, scratch.path());
  writeLauncher(job, stub);
  printSummary(job, modules, monotonicSeconds() - start);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    PackJob job = parsePackArguments(args);
    job.showProgress = PackProgress::onTerminal();
    stopChildrenOnSignals();
    if (job.mode == PackJob::HELP) {
      fputs(packHelpText().c_str(), stdout);
    } else if (job.mode == PackJob::LIST) {
      fputs(listLauncher(job.output).c_str(), stdout);
    } else if (job.mode == PackJob::GENERATE) {
      generateLauncher(job, job.stub.empty() ? defaultStub(argv[0]) : job.stub);
    } else {
      writeLauncher(job, job.stub.empty() ? defaultStub(argv[0]) : job.stub);
    }
  } catch (const PackUsageError& e) {
    fprintf(stderr, "bvpack: %s\n", e.what());
    return 2;
  } catch (const PackError& e) {
    // Stopped by a signal: what it made is removed by now; the signal
    // ends bvpack as it would have.
    if (pendingSignal() == 0) fprintf(stderr, "bvpack: %s\n", e.what());
    endIfSignaled();
    return 1;
  }
  endIfSignaled();
  return fflush(stdout) == 0 ? 0 : 1;
}
