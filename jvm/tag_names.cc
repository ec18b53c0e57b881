#include "jvm/tag_names.h"

const char* jvmPropertiesTagName = "JVM_PROPERTIES";
const char* jvmExeTagName = "JVM_EXE";
const char* pathHintTagName = "PATH_HINT";
const char* platformHintTagName = "PLATFORM_HINT";
const char* jvmVersionTagName = "JVM_VERSION";
const char* jvmIdentityTagName = "JVM_IDENTITY";
const char* specificationVersionProperty = "java.specification.version";
const char* platformTagName = "PLATFORM";
const char* searchOrderTagName = "SEARCH_ORDER";
const char* platformHintWarningTagName = "PLATFORM_HINT_WARNING";
const char* releaseFileAnswersTagName = "RELEASE_FILE_ANSWERS";
