// PayloadScripts: the typed objects of one run made from its tag files: the
// instruction script, the launch script and the JVM description files.
//
// An input file is applied first and names files in place of the embedded
// ones; the archive then only fills what is still empty, so the input file
// ranks first.
#ifndef BV_LAUNCHER_PAYLOAD_SCRIPTS_H_
#define BV_LAUNCHER_PAYLOAD_SCRIPTS_H_

#include "foundation/sstring.h"
#include "jvm/jvm_files.h"
#include "launchscript/launch_context.h"
#include "tagfile/tag_file.h"

class LaunchScript;
class LauncherInputFiles;

class PayloadScripts {
 public:
  // Nothing loaded; context must outlive the object.
  explicit PayloadScripts(const LaunchContext& context);
  ~PayloadScripts();
  PayloadScripts(const PayloadScripts&) = delete;
  PayloadScripts& operator=(const PayloadScripts&) = delete;

  // Applies an input file (before the archive is read): INSTRUCTIONS,
  // LAUNCHSCRIPT, VERIFY_CLASSPATH with VERIFY_CLASS_NAME, UI_TITLE and the
  // JVM list, in this order. Files are opened as named, relative to the
  // current directory. The first error stops it; what was set stays.
  void load(const TagFile& inputFile);

  // Takes the parsed tag files of the archive in index order: the first
  // instruction script and the first launch script (unless an input file
  // named one before), and every JVM description file (unless an input
  // file set the list). The launch script's description becomes the
  // console title.
  void addFromArchive(const LauncherInputFiles& files);
  // After files failed to load: shows the title of the first embedded
  // launch script that was read before the failure, as loading it would
  // have, unless an input file gave the launch script.
  void showTitleOfLoadedLaunchScript(const LauncherInputFiles& files);

  // Loads the named tag file, keeps it for the run and returns it. Throws
  // "Unable to load input file: <name>" or the file's syntax error report.
  TagFile* loadTagFile(const SString& fileName);

  // The tag file of the instruction script and the launch script, possibly
  // null; owned by the set or by the archive.
  const TagFile* getInstructions() const { return m_instructions; }
  LaunchScript* getLaunchScript() const { return m_launchScript; }
  JVMFiles* getJVMFiles() { return &m_jvmFiles; }

 private:
  const LaunchContext& m_context;
  TagFilePtrDeque m_tagFiles;
  const TagFile* m_instructions;
  LaunchScript* m_launchScript;
  JVMFiles m_jvmFiles;
  bool m_jvmFilesLoaded;
};

#endif  // BV_LAUNCHER_PAYLOAD_SCRIPTS_H_
