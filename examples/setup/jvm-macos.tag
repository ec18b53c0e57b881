DESC: Java 8 or later on macOS
JVM_EXE: bin/java
PLATFORM_HINT:
  JAVA_HOME
/:
PATH_HINT:
  /Library/Java/JavaVirtualMachines/*/Contents/Home
  ~/Library/Java/JavaVirtualMachines/*/Contents/Home
  /opt/homebrew/opt/openjdk*/libexec/openjdk.jdk/Contents/Home
  /usr/local/opt/openjdk*/libexec/openjdk.jdk/Contents/Home
  ~/.sdkman/candidates/java/*
  ~/.jdks/*
/:
JVM_PROPERTIES:
  "os.name=Mac OS X"
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
