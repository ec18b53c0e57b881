// The Java version that the classes of a jar need, read from the jar: a
// zip central-directory reader that looks at the first 8 bytes of every
// .class entry (stored, or deflated and decoded with zlib) and keeps the
// highest class-file major version. Hostile jars are read within fixed
// bounds and refused with a reason.
#ifndef BV_TOOLS_CLASS_VERSION_H_
#define BV_TOOLS_CLASS_VERSION_H_

#include <map>
#include <string>
#include <vector>

struct JarClasses {
  int highestMajor = 0;        // 0 when the jar holds no class
  std::string highestEntry;    // an entry of that version
  std::vector<std::string> names;  // every .class entry name read
  // With scanConstantPools: the packages of the class names that the
  // classes' constant pools hold, dotted ("com.sun.tools.javac"), each
  // with one such name ("com.sun.tools.javac.Main"). Names in strings
  // count (Class.forName("...")), in the internal form too
  // ("com/sun/tools/javac/Main", "Lcom/sun/tools/javac/Main;"). A class
  // larger than maxScannedClassSize is left out of the scan, and so are
  // the classes after maxScannedJarSize bytes of a jar's classes.
  std::map<std::string, std::string> referencedPackages;
};

const unsigned long maxScannedClassSize = 16UL << 20;
const unsigned long maxScannedJarSize = 512UL << 20;

// Reads the class files of the jar at path. module-info.class and the
// classes under META-INF/versions/ (loaded only by newer JVMs) are not
// counted. Throws PackError naming the jar and the reason when it is not a
// zip archive that can be read (ZIP64, encrypted or unknown compression
// included) or an entry named .class is not a class file.
// scanBudget: the bytes of classes that the scan reads at most (their
// sizes as the jar's directory gives them).
JarClasses readJarClasses(const std::string& path, bool scanConstantPools = false,
                          unsigned long scanBudget = maxScannedJarSize);

// Adds to packages the packages of the class names in the constant pool of
// the class file bytes (as JarClasses::referencedPackages). A damaged pool
// ends the scan of that class quietly: the scan only names modules.
void scanConstantPool(const std::string& bytes, std::map<std::string, std::string>& packages);

// The value of java.specification.version for a class-file major version:
// "1.8" for 52 and below, otherwise major - 44 ("17" for 61).
std::string javaVersionForMajor(int major);

// A --min-java value as java.specification.version spells it: "8" and
// "1.8" give "1.8", "17" gives "17". Empty when text is no version.
std::string normalizeJavaVersion(const std::string& text);

#endif  // BV_TOOLS_CLASS_VERSION_H_
