// Names of the JVM description file tags that several parts of the launcher
// read (the JVM check, the JVM search, the launcher operations).
#ifndef BV_JVM_TAG_NAMES_H_
#define BV_JVM_TAG_NAMES_H_

// "JVM_PROPERTIES": the system properties a JVM must report, "name=value"
// each; a value ending in "..." is a prefix; "name>=version" and the other
// comparisons of property_condition.h compare versions.
extern const char* jvmPropertiesTagName;
// "JVM_EXE": the Java executable relative to a JVM home, e.g. "bin/java".
extern const char* jvmExeTagName;
// "PATH_HINT": candidate homes, absolute or relative to the launcher's
// directory.
extern const char* pathHintTagName;
// "PLATFORM_HINT": environment variables whose values list candidate homes.
extern const char* platformHintTagName;
// "PLATFORM": the systems (uname's name: "Linux", "Darwin") that the file is
// for; a file with the tag is searched only on those.
extern const char* platformTagName;
// "SEARCH_ORDER": the order of the hint searches, a block of
// "PLATFORM_HINT", "PATH_HINT" and "PATH".
extern const char* searchOrderTagName;
// "PLATFORM_HINT_WARNING": flag; a home of a PLATFORM_HINT variable that is
// turned down gets a warning on standard error.
extern const char* platformHintWarningTagName;
// "RELEASE_FILE_ANSWERS": flag; a home whose release file
// (jvm/release_file.h) states every property that the check asks answers
// from that file, and no JVM is started to verify it.
extern const char* releaseFileAnswersTagName;

// "JVM_VERSION": set by a check that passed and whose JVM file asked for
// java.specification.version, the value that the JVM printed ("17",
// "1.8"); the check asks exactly the JVM file's properties, so without
// that condition it is not set (class-data sharing then reads the home's
// release file).
extern const char* jvmVersionTagName;
// "JVM_IDENTITY": set by a check that passed, the digest of the JVM's
// identity (jvm_identity.h) when it was checked: a later use can tell that
// the JVM is still the one that answered.
extern const char* jvmIdentityTagName;
// The property whose value JVM_VERSION holds.
extern const char* specificationVersionProperty;

#endif  // BV_JVM_TAG_NAMES_H_
