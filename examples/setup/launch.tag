DESC: Example Setup
DISPLAY_CONSOLE: 1
AUTO_SET_WORKING_DIR: 0
COMMAND: """@JVM_HOME@/@JVM_EXE@"" %CP%() %SYSTEMPROP%(""temp.dir"", """"""%TEMP_DIR%()"""""") %SYSTEMPROP%(""bv.jvm.home"", """"""@JVM_HOME@"""""") %SYSTEMPROP%(""bv.jvm.temp"", """"""@JVM_TEMP@"""""") %SYSTEMPROP%(""bv.media.home"", """"""%APPLICATION_ARCHIVE%()"""""") %SYSTEMPROP%(""bv.launcher.file"", """"""%LAUNCHER_FILE%()"""""") %SYSTEMPROP%(""bv.jvm.file"", """"""@JVM_FILE@"""""") %SYSTEMPROP%(""bv.external.home"", """"""%LAUNCHER_DIR%()"""""") %RUNTIME_SYSTEMPROP%() %RUNTIME_JAVAARGS%() ExampleSetup"
