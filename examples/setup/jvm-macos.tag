DESC: Java SE 8 or later on macOS
JVM_EXE: bin/java
PLATFORM_HINT:
  JAVA_HOME
/:
PATH_HINT:
  /Library/Java/JavaVirtualMachines/temurin-21.jdk/Contents/Home
  /Library/Java/JavaVirtualMachines/temurin-17.jdk/Contents/Home
  /Library/Java/JavaVirtualMachines/jdk-21.jdk/Contents/Home
  /Library/Java/JavaVirtualMachines/jdk-17.jdk/Contents/Home
  /Library/Java/JavaVirtualMachines/zulu-21.jdk/Contents/Home
  /Library/Java/JavaVirtualMachines/openjdk.jdk/Contents/Home
  /opt/homebrew/opt/openjdk/libexec/openjdk.jdk/Contents/Home
  /usr/local/opt/openjdk/libexec/openjdk.jdk/Contents/Home
  /Library/Internet Plug-Ins/JavaAppletPlugin.plugin/Contents/Home
/:
JVM_PROPERTIES:
  "os.name=Mac OS X"
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
