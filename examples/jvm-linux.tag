DESC: Java 8 or later on Linux
JVM_EXE: bin/java
PATH_HINT:
  /usr/lib/jvm/default-java
  /usr/lib/jvm/jre
/:
JVM_PROPERTIES:
  "os.name=Linux"
  "java.vm.specification.name=Java Virtual Machine..."
/:
CLASSPATH: "-cp "
CLASSPATH_SEPARATOR: :
SYSTEM:  -D
SYSTEM_SEPARATOR: =

SEARCH_ALL: 0
INIT_JAVA_HEAP: -Xms
MAX_JAVA_HEAP: -Xmx
JAVA_STACK_SIZE: -Xss
VERBOSE: -verbose
VERBOSE_GC: -verbose:gc
BOOT_CLASSPATH: -Xbootclasspath/a:
REDUCE_OS_SIGNALS: -Xrs
DEBUG: -Xdebug
ENABLE_ASSERTIONS: -ea
DISABLE_ASSERTIONS: -da
SERVER: -server
INTERPRETED_MODE: -Xint
MIXED_MODE: -Xmixed
NO_CLASS_GC: -Xnoclassgc
