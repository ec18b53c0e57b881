// The module list of a jlinked runtime (tools/jlink_modules.h) and the scan
// of class files for the names of JDK classes (tools/class_version.h), on
// small hand-made inputs.
#include "tools/jlink_modules.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/class_version.h"
#include "tools/pack_options.h"
#include "tests/test_util.h"

namespace bvtest {
namespace {

// A class file's start and constant pool: count entries (slots) of bytes.
std::string classWithPool(unsigned count, const std::string& entries) {
  std::string bytes = "\xCA\xFE\xBA\xBE";
  bytes += std::string("\0\0\0\x34", 4);  // minor 0, major 52
  bytes += static_cast<char>(count >> 8);
  bytes += static_cast<char>(count & 0xFF);
  return bytes + entries;
}

std::string utf8(const std::string& text) {
  return std::string(1, '\x01') + static_cast<char>(text.size() >> 8) + static_cast<char>(text.size() & 0xFF) +
         text;
}

TEST(JlinkModulesTest, TheConstantPoolsClassNamesGiveTheirPackages) {
  std::string pool = utf8("com/sun/tools/javac/Main") +               // a class entry's name
                     std::string("\x05\0\0\0\0\0\0\0\x01", 9) +          // a Long: two slots
                     utf8("(Lcom/sun/net/httpserver/HttpServer;)V") +  // a descriptor
                     utf8("javax.script.ScriptEngineManager") +        // a string for Class.forName
                     utf8("[Ljdk/jfr/Event;") +                        // an array type
                     utf8("Hello, world. Not a name") + utf8("plain");
  std::map<std::string, std::string> packages;
  scanConstantPool(classWithPool(8, pool), packages);
  EXPECT_EQ("com.sun.tools.javac.Main", packages["com.sun.tools.javac"]);
  EXPECT_EQ("com.sun.net.httpserver.HttpServer", packages["com.sun.net.httpserver"]);
  EXPECT_EQ("javax.script.ScriptEngineManager", packages["javax.script"]);
  EXPECT_EQ("jdk.jfr.Event", packages["jdk.jfr"]);
  EXPECT_EQ(0u, packages.count("plain"));

  // The two slots of a Long are counted: an entry after the pool's end is
  // not read. A pool cut short, or an unknown tag, ends the scan quietly.
  std::map<std::string, std::string> shortPool;
  scanConstantPool(classWithPool(3, utf8("a/b/C") + std::string("\x05\0\0\0\0\0\0\0\x01", 9) + utf8("d/e/F")),
                   shortPool);
  EXPECT_EQ(1u, shortPool.size());
  for (const std::string& damaged : {classWithPool(3, std::string("\x01\x00\x40" "abc", 6)),
                                     classWithPool(3, std::string("\x63\x00\x01", 3) + utf8("a/b/C")),
                                     std::string("\xCA\xFE\xBA\xBE\0\0", 6), std::string("not a class")}) {
    std::map<std::string, std::string> none;
    scanConstantPool(damaged, none);
    EXPECT_TRUE(none.empty());
  }
}

// A zip archive of stored entries (name, bytes).
std::string storedZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  auto le = [](unsigned long value, int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
  };
  std::string body, directory;
  for (const auto& e : entries) {
    unsigned long offset = body.size();
    std::string common = le(20, 2) + le(0, 2) + le(0, 2) + le(0, 4) + le(0, 4) + le(e.second.size(), 4) +
                         le(e.second.size(), 4) + le(e.first.size(), 2) + le(0, 2);
    body += "PK\x03\x04" + common + e.first + e.second;
    directory += "PK\x01\x02" + le(20, 2) + common + le(0, 2) + le(0, 2) + le(0, 2) + le(0, 4) + le(offset, 4) +
                 e.first;
  }
  return body + directory + "PK\x05\x06" + le(0, 4) + le(entries.size(), 2) + le(entries.size(), 2) +
         le(directory.size(), 4) + le(body.size(), 4) + le(0, 2);
}

// The scan of a jar reads its classes up to its budget, in the jar's
// order: a jar of many classes that claim large sizes costs no more.
TEST(JlinkModulesTest, TheScanOfAJarStopsAtItsBudget) {
  std::string a = classWithPool(2, utf8("a/one/A")), b = classWithPool(2, utf8("b/two/B")),
              c = classWithPool(2, utf8("c/three/C"));
  ASSERT_EQ(a.size(), b.size());
  bvtest::TempDir dir;
  std::string jar = dir.file("app.jar");
  bvtest::writeFile(jar, storedZip({{"A.class", a}, {"B.class", b}, {"C.class", c}}));
  struct Case {
    unsigned long budget;
    size_t scanned;
  } cases[] = {{a.size() + b.size() + c.size(), 3}, {a.size() + b.size(), 2}, {a.size() + b.size() - 1, 1}, {0, 0}};
  for (const Case& k : cases) {
    JarClasses classes = readJarClasses(jar, true, k.budget);
    EXPECT_EQ(3u, classes.names.size());
    EXPECT_EQ(k.scanned, classes.referencedPackages.size()) << k.budget;
  }
  EXPECT_TRUE(readJarClasses(jar).referencedPackages.empty());  // no scan unless asked
}

const char* kJimage =
    "jimage: /jdk/lib/modules\n"
    "\n"
    "Module: java.base\n"
    "    META-INF/services/java.nio.file.spi.FileSystemProvider\n"
    "    java/lang/Object.class\n"
    "    java/lang/invoke/MethodHandle.class\n"
    "\n"
    "Module: jdk.compiler\n"
    "    com/sun/tools/javac/Main.class\n"
    "    com/sun/tools/javac/api/JavacTool.class\n"
    "\n"
    "Module: jdk.zipfs\n"
    "    jdk/nio/zipfs/ZipFileSystem.class\n"
    "Module: jdk.charsets\n"
    "    sun/nio/cs/ext/SJIS.class\n";

TEST(JlinkModulesTest, TheListNamesEachAdditionWithItsReason) {
  JdkModules jdk = parseJimageList(kJimage);
  EXPECT_EQ((std::set<std::string>{"java.base", "jdk.charsets", "jdk.compiler", "jdk.zipfs"}), jdk.names);
  EXPECT_EQ("jdk.compiler", jdk.packageModule["com.sun.tools.javac.api"]);
  EXPECT_EQ("java.base", jdk.packageModule["java.lang.invoke"]);
  EXPECT_EQ(0u, jdk.packageModule.count("META-INF.services"));

  // The defaults that this JDK has (not jdk.crypto.ec, jdk.net, ...), after
  // what jdeps found; the author's modules first.
  ModuleSources sources;
  sources.jdeps = {"java.base"};
  sources.requested = {"jdk.compiler"};
  sources.extra = {{"jdk.zipfs", "loaded in the training run"}};
  ModuleList list = chooseJlinkModules(sources, jdk);
  EXPECT_EQ("java.base,jdk.charsets,jdk.compiler,jdk.zipfs", list.text());
  ASSERT_EQ(3u, list.additions.size());
  EXPECT_EQ("jdk.compiler", list.additions[0].module);
  EXPECT_EQ("--add-modules", list.additions[0].reason);
  EXPECT_EQ("loaded in the training run", list.additions[1].reason);  // the first reason wins
  EXPECT_EQ("jdk.charsets", list.additions[2].module);

  sources.byName = false;
  EXPECT_EQ("java.base,jdk.compiler,jdk.zipfs", chooseJlinkModules(sources, jdk).text());
  sources.everyModule = true;
  EXPECT_EQ("java.base,jdk.charsets,jdk.compiler,jdk.zipfs", chooseJlinkModules(sources, jdk).text());

  // A module that the JDK lacks, asked for, is refused by name.
  sources.requested = {"jdk.nothing"};
  try {
    chooseJlinkModules(sources, jdk);
    ADD_FAILURE() << "no refusal";
  } catch (const PackError& e) {
    EXPECT_EQ(std::string("the JDK has no module jdk.nothing (--add-modules)"), e.what());
  }
  // A JDK whose modules are unknown: nothing is checked, no defaults.
  ModuleSources plain;
  plain.jdeps = {"java.base"};
  plain.requested = {"jdk.anything"};
  EXPECT_EQ("java.base,jdk.anything", chooseJlinkModules(plain, JdkModules()).text());
}

TEST(JlinkModulesTest, ModulesThatTheJarsNameButTheRuntimeLacksAreNamed) {
  JdkModules jdk = parseJimageList(kJimage);
  std::map<std::string, std::string> referenced = {
      {"com.sun.tools.javac", "com.sun.tools.javac.Main in ant.jar"},
      {"com.sun.tools.javac.api", "com.sun.tools.javac.api.JavacTool in ant.jar"},
      {"java.lang", "java.lang.Object in ant.jar"},
      {"jdk.nio.zipfs", "jdk.nio.zipfs.ZipFileSystem in ant.jar"},
      {"org.apache.tools.ant", "org.apache.tools.ant.Main in ant.jar"}};
  std::vector<ModuleReason> unlisted = unlistedModules(referenced, jdk, {"java.base", "jdk.zipfs"});
  ASSERT_EQ(1u, unlisted.size());
  EXPECT_EQ("jdk.compiler", unlisted[0].module);
  EXPECT_EQ("com.sun.tools.javac.Main in ant.jar", unlisted[0].reason);
  EXPECT_TRUE(unlistedModules(referenced, jdk, {"java.base", "jdk.zipfs", "jdk.compiler"}).empty());
}

}  // namespace
}  // namespace bvtest
