#include "tools/training_run.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "jvm/class_data_archives.h"
#include "jvm/carried_aot_cache.h"
#include "jvm/release_file.h"
#include "tools/pack_options.h"
#include "tools/process_run.h"

extern char** environ;

namespace {

// Seconds that a run asked to stop (SIGTERM) has to write what it recorded.
const int kStopGraceSeconds = 30;

// The file name of a path.
std::string baseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// bvpack's environment without the variables that give the JVM options.
std::vector<std::string> trainingEnvironment() {
  std::vector<std::string> env;
  for (char** var = environ; *var != nullptr; ++var) {
    std::string text = *var;
    std::string name = text.substr(0, text.find('='));
    if (name == "JAVA_TOOL_OPTIONS" || name == "JDK_JAVA_OPTIONS" || name == "_JAVA_OPTIONS" ||
        name == "CLASSPATH") {
      continue;
    }
    env.push_back(text);
  }
  return env;
}

// Runs argv in its own process group, standard output and error to
// outputFile (or bvpack's own when ""), for at most timeoutSeconds, then asks
// it to stop and, kStopGraceSeconds later, stops it. The exit status (128 +
// signal for a signal), with timedOut set when the limit was reached.
int runLimited(const std::vector<std::string>& argv, int timeoutSeconds, const std::string& outputFile,
               bool& timedOut) {
  timedOut = false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!outputFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env = trainingEnvironment();
  std::vector<char*> envp;
  for (const std::string& var : env) envp.push_back(const_cast<char*>(var.c_str()));
  envp.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) throw PackError("cannot start " + argv[0] + ": " + strerror(rc));
  time_t start = time(nullptr);
  bool asked = false;
  int status = 0;
  for (;;) {
    pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended < 0 && errno == EINTR) continue;
    if (ended == pid) break;
    if (ended < 0) throw PackError("cannot wait for " + argv[0] + ": " + strerror(errno));
    // bvpack was interrupted (tools/process_run.h): the run and its group
    // go at once, and the error travels up.
    if (pendingSignal() != 0) {
      kill(-pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      throwIfInterrupted();
    }
    time_t now = time(nullptr);
    if (!asked && now - start >= timeoutSeconds) {
      timedOut = asked = true;
      kill(-pid, SIGTERM);
    } else if (asked && now - start >= timeoutSeconds + kStopGraceSeconds) {
      kill(-pid, SIGKILL);
    }
    usleep(20 * 1000);
  }
  // What the application started and left behind in its group goes too.
  kill(-pid, SIGKILL);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Copies from to a new private file to.
void copyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in) throw PackError("cannot read " + from + " for the training run");
  int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw PackError("cannot write " + to + ": " + strerror(errno));
  char buffer[65536];
  bool ok = true;
  while (ok && in.read(buffer, sizeof buffer).gcount() > 0) {
    const char* p = buffer;
    size_t left = static_cast<size_t>(in.gcount());
    while (ok && left > 0) {
      ssize_t n = write(fd, p, left);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) {
        p += n;
        left -= static_cast<size_t>(n);
      }
    }
  }
  if (close(fd) != 0 || !ok || in.bad()) throw PackError("cannot write " + to + ": " + strerror(errno));
}

// A path that the JVM's -Xlog and -XX options take as one value.
bool isPlainOptionPath(const std::string& path) { return path.find_first_of(",:=\" \t\n") == std::string::npos; }

}  // namespace

void copyTree(const std::string& from, const std::string& to) {
  bool timedOut = false;
  if (runLimited({"/bin/cp", "-R", "-H", "--", from, to}, 600, "/dev/null", timedOut) != 0) {
    throw PackError("cannot copy " + from + " to " + to);
  }
}

int releaseFeatureVersion(const std::string& home) {
  ReleaseFields fields;
  if (!readReleaseFile(home, fields)) return 0;
  auto properties = releaseProperties(fields);
  auto version = properties.find("java.specification.version");
  return version == properties.end() ? 0 : ClassDataArchives::featureVersion(version->second);
}

std::set<std::string> modulesOfClassLoadLog(const std::string& log) {
  std::set<std::string> modules;
  const std::string source = "source: jrt:/";
  size_t pos = 0;
  while ((pos = log.find(source, pos)) != std::string::npos) {
    pos += source.size();
    size_t end = pos;
    while (end < log.size() && (isalnum(static_cast<unsigned char>(log[end])) || log[end] == '.' || log[end] == '_')) {
      ++end;
    }
    if (end > pos) modules.insert(log.substr(pos, end - pos));
    pos = end;
  }
  return modules;
}

std::vector<std::string> jdkClassesOfClassLoadLog(const std::string& log) {
  std::vector<std::string> classes;
  const std::string source = " source: jrt:/";
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    start = end + 1;
    size_t at = line.find(source);
    size_t name = line.rfind("] ", at);
    if (at == std::string::npos || name == std::string::npos) continue;
    std::string className = line.substr(name + 2, at - name - 2);
    if (className.empty() || className.find_first_of(" /") != std::string::npos) continue;
    for (char& c : className) {
      if (c == '.') c = '/';
    }
    classes.push_back(className);
  }
  return classes;
}

namespace {

// Makes the runtime's default class-data archive anew from the JDK classes
// of the log; false, with why, when the JVM cannot.
bool remakeRuntimeArchive(const TrainingRun& run, const std::string& log, std::string& why) {
  std::vector<std::string> classes = jdkClassesOfClassLoadLog(log);
  std::string list = run.scratch + "/train-jdk.classlist";
  {
    std::ofstream out(list, std::ios::binary);
    for (const std::string& name : classes) out << name << "\n";
    if (!out) {
      why = "cannot write " + list;
      return false;
    }
  }
  std::string made = run.runtimeArchive + ".new";
  std::vector<std::string> dump = {run.javaHome + "/bin/java", "-Xshare:dump", "-XX:SharedClassListFile=" + list,
                                   "-XX:SharedArchiveFile=" + made};
  dump.insert(dump.end(), run.javaOptions.begin(), run.javaOptions.end());
  std::string dumpLog = run.scratch + "/train-dump.log";
  bool timedOut = false;
  int status = runLimited(dump, 600, dumpLog, timedOut);
  struct stat st;
  if (status != 0 || stat(made.c_str(), &st) != 0 || st.st_size == 0 ||
      rename(made.c_str(), run.runtimeArchive.c_str()) != 0) {
    unlink(made.c_str());
    why = "the JVM could not make the runtime's class-data archive (status " + std::to_string(status) + "):\n" +
          readWhole(dumpLog);
    return false;
  }
  chmod(run.runtimeArchive.c_str(), 0644);
  return true;
}

}  // namespace

TrainingResult runTraining(const TrainingRun& run) {
  TrainingResult result;
  if (!isPlainOptionPath(run.scratch)) {
    throw PackError("the training run needs a temporary folder whose path holds none of , : = \" or blanks, not " +
                    run.scratch + " (set TMPDIR)");
  }
  // The class path is split at ':': "a:b.jar" would run "b.jar" of the
  // working folder, whoever put it there.
  for (const std::string& jar : run.jars) {
    if (baseName(jar).find(':') != std::string::npos) {
      throw PackError("the training run cannot put " + jar + " on a class path: its name holds a ':'");
    }
  }
  int feature = releaseFeatureVersion(run.javaHome);
  std::string jarDir = run.scratch + "/train-jars";
  if (mkdir(jarDir.c_str(), 0700) != 0) throw PackError("cannot create " + jarDir + ": " + strerror(errno));
  std::string classPath;
  for (const std::string& jar : run.jars) {
    std::string copy = jarDir + "/" + baseName(jar);
    copyFile(jar, copy);
    classPath += (classPath.empty() ? "" : ":") + copy;
  }
  std::string java = run.javaHome + "/bin/java";
  std::string loadLog = run.scratch + "/train-classes.log";
  std::string configuration = run.scratch + "/train.aotconf";
  bool record = !run.aotCache.empty() && feature >= firstAOTCacheJava;
  if (!run.aotCache.empty() && !record && (run.runtimeArchive.empty() || feature < firstClassDataSharingJava)) {
    result.note = "the runtime is Java " + std::to_string(feature) + "; an ahead-of-time cache takes Java " +
                  std::to_string(firstAOTCacheJava) + " or newer, a class-data archive Java " +
                  std::to_string(firstClassDataSharingJava);
  }
  std::vector<std::string> argv = {java};
  // A recording JVM loads every class from its files, so the log names the
  // module of each; without one, sharing is off for the same reason.
  if (record) {
    argv.push_back("-XX:AOTMode=record");
    argv.push_back("-XX:AOTConfiguration=" + configuration);
  } else {
    argv.push_back("-Xshare:off");
  }
  argv.push_back("-Xlog:class+load=info:file=" + loadLog);
  argv.insert(argv.end(), run.javaOptions.begin(), run.javaOptions.end());
  argv.push_back("-cp");
  argv.push_back(classPath);
  argv.push_back(run.mainClass);
  argv.insert(argv.end(), run.args.begin(), run.args.end());

  fprintf(stderr, "bvpack: training run of %s with %s (at most %d s):\n", run.mainClass.c_str(), java.c_str(),
          run.timeoutSeconds);
  fflush(stderr);
  bool timedOut = false;
  int status = runLimited(argv, run.timeoutSeconds, "", timedOut);
  if (timedOut) {
    fprintf(stderr, "bvpack: the training run was stopped at its time limit of %d s\n", run.timeoutSeconds);
  } else if (status != 0) {
    fprintf(stderr, "bvpack: the training run ended with status %d\n", status);
  }
  std::string log = readWhole(loadLog);
  if (log.empty()) throw PackError("the training run with " + java + " recorded no classes (status " +
                                   std::to_string(status) + ")");
  result.modules = modulesOfClassLoadLog(log);
  if (!record) {
    if (!run.runtimeArchive.empty() && feature >= firstClassDataSharingJava && feature < firstAOTCacheJava) {
      std::string why;
      result.archiveMade = remakeRuntimeArchive(run, log, why);
      if (!result.archiveMade) result.note = why;
    }
    return result;
  }

  struct stat st;
  if (stat(configuration.c_str(), &st) != 0 || st.st_size == 0) {
    result.note = "the training run recorded no ahead-of-time configuration";
    return result;
  }
  // Makes the cache from the configuration: loads and links the recorded
  // classes, runs none of the application's code.
  std::vector<std::string> create = {java, "-XX:AOTMode=create", "-XX:AOTConfiguration=" + configuration,
                                     "-XX:AOTCache=" + run.aotCache};
  create.insert(create.end(), run.javaOptions.begin(), run.javaOptions.end());
  create.push_back("-cp");
  create.push_back(classPath);
  std::string createLog = run.scratch + "/train-create.log";
  status = runLimited(create, 600, createLog, timedOut);
  if (status != 0 || stat(run.aotCache.c_str(), &st) != 0 || st.st_size == 0) {
    unlink(run.aotCache.c_str());
    result.note = "the JVM could not make the ahead-of-time cache (status " + std::to_string(status) +
                  "):\n" + readWhole(createLog);
    return result;
  }
  chmod(run.aotCache.c_str(), 0644);
  result.cacheMade = true;
  return result;
}
