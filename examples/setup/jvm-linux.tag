DESC: Java 8 or later on Linux
JVM_EXE: bin/java
PLATFORM_HINT:
  JAVA_HOME
  JDK_HOME
/:
PATH_HINT:
  /usr/lib/jvm/*
  /usr/java/*
  /opt/java/*
  /opt/jdk*
  ~/.sdkman/candidates/java/*
  ~/.jdks/*
  ~/.gradle/jdks/*
  ~/.gradle/jdks/*/*
  ~/.asdf/installs/java/*
  ~/.local/share/mise/installs/java/*
  jre
/:
JVM_PROPERTIES:
  "os.name=Linux"
  "java.specification.version>=1.8"
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
