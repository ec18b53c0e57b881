DESC: Java SE 8 or later on Linux
JVM_EXE: bin/java
PLATFORM_HINT:
  JAVA_HOME
  JDK_HOME
/:
PATH_HINT:
  /usr/lib/jvm/default-java
  /usr/lib/jvm/java-21-openjdk-amd64
  /usr/lib/jvm/java-17-openjdk-amd64
  /usr/lib/jvm/java-25-openjdk-amd64
  /usr/lib/jvm/java-11-openjdk-amd64
  /usr/lib/jvm/java-21-openjdk-arm64
  /usr/lib/jvm/java-17-openjdk-arm64
  /usr/lib/jvm/java
  /usr/lib/jvm/jre
  /usr/lib/jvm/java-21-openjdk
  /usr/lib/jvm/java-17-openjdk
  /usr/lib/jvm/temurin-21-jdk-amd64
  /usr/lib/jvm/temurin-17-jdk-amd64
  /usr/lib/jvm/temurin-25-jdk-amd64
  /opt/java/openjdk
  /opt/jdk
  jre
/:
JVM_PROPERTIES:
  "os.name=Linux"
  "java.vm.specification.name=Java Virtual Machine Specification"
/:
CLASSPATH: "-cp "
CLASSPATH_SEPARATOR: :
SYSTEM: -D
SYSTEM_SEPARATOR: =
SEARCH_ALL: 0
INIT_JAVA_HEAP: -Xms
MAX_JAVA_HEAP: -Xmx
JAVA_STACK_SIZE: -Xss
VERBOSE: -verbose
VERBOSE_GC: -verbose:gc
REDUCE_OS_SIGNALS: -Xrs
ENABLE_ASSERTIONS: -ea
DISABLE_ASSERTIONS: -da
