import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.URI;
import java.nio.charset.Charset;
import java.nio.file.FileSystem;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Collections;

/**
 * An application that needs what jdeps cannot see.
 *
 * <p>"ByName modules" loads by name what the modules jdk.zipfs (a file
 * system provider), jdk.charsets (a character set) and jdk.compiler (a
 * class named in a string) provide, and prints one line for each:
 * "zipfs: yes", "Shift_JIS: yes", "javac: no". "ByName read PROPERTY FILE"
 * prints the file FILE of the folder that the system property PROPERTY
 * names (an application reading its data through its home property).
 */
public class ByName {
  public static void main(String[] args) throws Exception {
    if (args.length == 3 && args[0].equals("read")) {
      String home = System.getProperty(args[1]);
      if (home == null) {
        System.out.println("no property " + args[1]);
        System.exit(3);
      }
      InputStream in = new FileInputStream(new File(home, args[2]));
      byte[] buffer = new byte[4096];
      int n;
      while ((n = in.read(buffer)) > 0) System.out.write(buffer, 0, n);
      in.close();
      System.out.flush();
      return;
    }
    System.out.println("zipfs: " + (hasZipFileSystem() ? "yes" : "no"));
    System.out.println("Shift_JIS: " + (Charset.isSupported("Shift_JIS") ? "yes" : "no"));
    String javac = "com.sun.tools.javac.Main";
    boolean found;
    try {
      Class.forName(javac);
      found = true;
    } catch (ClassNotFoundException e) {
      found = false;
    }
    System.out.println("javac: " + (found ? "yes" : "no"));
  }

  private static boolean hasZipFileSystem() throws IOException {
    Path zip = Files.createTempFile("byname", ".zip");
    Files.delete(zip);
    try {
      URI uri = URI.create("jar:" + zip.toUri());
      FileSystem fs = FileSystems.newFileSystem(uri, Collections.singletonMap("create", "true"));
      fs.close();
      return true;
    } catch (Exception e) {
      return false;
    } finally {
      Files.deleteIfExists(zip);
    }
  }
}
