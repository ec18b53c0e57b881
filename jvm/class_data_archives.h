// ClassDataArchives: class-data sharing for the launch, with one archive
// per application and Java kept in the user's cache folder.
//
// The JVM can map the classes of an application from an archive that a
// previous run made, instead of reading, parsing and checking them on every
// start. A
// run whose Java (JVM_VERSION of the JVM file, or else the version that
// the release file of its home states; 13 or newer) and command allow it
// gets, in place of %CDS_OPTIONS%():
//   - when the Java is 24 or newer and its home carries the ahead-of-time
//     cache of a training run (jvm/carried_aot_cache.h): -XX:AOTCache=CACHE
//     and the options that keep the JVM quiet about it, from the first run;
//   - when the archive exists: -Xshare:auto -XX:SharedArchiveFile=ARCHIVE
//     (the archive's time is set to now: it was used);
//   - else, when no other run is making it: -XX:DumpLoadedClassList=LIST,
//     which only writes the names of the classes as they load; after the
//     application has ended, a detached process of the lowest priority
//     (platform/detached_process.h) makes the archive from that list with
//     `java -Xshare:dump` (which loads the classes but runs none of the
//     application's code), publishes it and removes old archives. So the
//     run itself costs no more than a run without the archive;
//   - and -Xlog:cds*=off (and -Xlog:aot*=off on Java 25 and newer), so that
//     no warning of the JVM about an archive reaches the user.
// Otherwise it gets nothing, and the log says why.
//
// The archive's key is a digest of the Java's identity (jvm_identity.h:
// its executable and files; it must equal JVM_IDENTITY, so the Java is
// still the one that was checked), its version, the Java options other
// than system properties (-D, whose values often change from run to run
// and do not change what an archive may hold), the main class, each class
// path entry's absolute path, size, modification time and XXH3 digest of
// its bytes, the folder the command runs in when an entry is relative, and
// JAVA_TOOL_OPTIONS, _JAVA_OPTIONS and JDK_JAVA_OPTIONS. So what the JVM
// checks before it maps an archive (the Java, the class path's jars, the
// heap options) gives a new key when it changes, never an archive that the
// JVM turns down; another Java or class path gets another archive.
//
// Nothing is asked of a class path that is not stable: every entry must be
// a regular file (a jar) that this run will not remove, so a jar that the
// run extracted into its temporary folder means no archive
// (PlatformImpl::isRunTemporaryPath): this is the one place that tells.
// The same holds for the Java itself (a bundled runtime unpacked into the
// temporary folder): the archive would be made after the run removed it.
//
// Where: the folder cds in the user's cache folder (platform/user_cache.h),
// made 0700; KEY.jsa the archive (0600), KEY.lock held (flock) by the run
// that records the classes and then by the process that makes the archive,
// KEY.classes-XXXXXX the list and KEY.jsa-XXXXXX the archive being made
// (both removed when it is done), KEY.failed when the JVM could not make
// one (no more tries for that key for classDataFailureLifetime; the mark is
// not refreshed by the runs it stops, so a failure of a moment expires). An archive is published by rename only
// when it is whole and begins as an archive does; one that does not is
// removed and made anew. At most maxClassDataArchives keys are kept, and
// archives of at most classDataArchiveBudget() bytes together (the most
// recently used one always stays); the least recently used go first, and a
// key unused for 30 days goes. The process that makes an archive is named
// "bvlauncher-cds". A cache
// that is read-only, another user's or reached through a link gives no
// archive, silently (an existing archive of the user's own is still used).
// BV_CDS=0 in the environment turns it all off.
#ifndef BV_JVM_CLASS_DATA_ARCHIVES_H_
#define BV_JVM_CLASS_DATA_ARCHIVES_H_

#include <ctime>
#include <string>
#include <vector>

#include "launchscript/class_data_sharing.h"

class TagFile;

const size_t maxClassDataArchives = 8;
// The bytes that the archives may take together, unless BV_CDS_BUDGET_MB
// in the environment gives another number of mebibytes (a number of 0 to
// 1048576; anything else is ignored).
const unsigned long long defaultClassDataArchiveBudget = 128ULL << 20;
unsigned long long classDataArchiveBudget();
// Seconds after which an unused key is removed.
const time_t classDataArchiveLifetime = 30L * 24 * 60 * 60;
// Seconds for which a key whose archive the Java could not make is not
// tried again.
const time_t classDataFailureLifetime = 24L * 60 * 60;
// Seconds that the making of an archive may take.
const unsigned classDataArchiveTimeout = 600;
// The Java version from which on archives are used.
const int firstClassDataSharingJava = 13;

class ClassDataArchives final : public ClassDataSharing {
 public:
  // jvmFile: the JVM file of the launch (JVM_HOME, JVM_EXE, JVM_VERSION,
  // JVM_IDENTITY are read now; without JVM_VERSION, the release file of
  // JVM_HOME).
  explicit ClassDataArchives(const TagFile& jvmFile);
  // A recording that commandEnded did not take over is dropped.
  ~ClassDataArchives() override;
  ClassDataArchives(const ClassDataArchives&) = delete;
  ClassDataArchives& operator=(const ClassDataArchives&) = delete;

  std::vector<std::string> optionsFor(const std::vector<std::string>& words,
                                      const std::string& workingDirectory) override;
  // After a recording run that ended normally (not canceled, no signal)
  // with a class list, starts the detached process that makes the archive.
  void commandEnded(long exitCode) override;

  // The folder of the archives (made when create), or "" when there is no
  // usable one.
  static std::string archiveFolder(bool create);
  // The feature version of a java.specification.version ("1.8" is 8, "17"
  // is 17), or 0 when it is not a version.
  static int featureVersion(const std::string& specificationVersion);
  // Removes the keys beyond the maxClassDataArchives most recently used,
  // those whose archive would pass budget bytes counted from the most
  // recently used (which always stays), those unused since now -
  // classDataArchiveLifetime, and the leftovers
  // (lists, unfinished archives, locks) of keys that no process works on.
  // Keys whose lock is held stay, except ownKey (or ""), whose lock the
  // caller holds: its lists and unfinished archives are leftovers of runs
  // that were ended.
  static void prune(const std::string& folder, time_t now, const std::string& ownKey = std::string(),
                    unsigned long long budget = classDataArchiveBudget());

 private:
  void dropRecording();

  std::string m_home;
  std::string m_jvmExe;
  std::string m_version;
  std::string m_identity;

  // The recording of this run, while there is one.
  int m_lockFd;
  std::string m_folder;
  std::string m_key;
  std::string m_classList;
  std::string m_javaExe;
  std::vector<std::string> m_dumpOptions;
  std::string m_classPath;
  std::string m_workingDirectory;
};

#endif  // BV_JVM_CLASS_DATA_ARCHIVES_H_
