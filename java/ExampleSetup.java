import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/**
 * The application of the example launcher: it shows what the launcher handed
 * it (the Java VM, the system properties the launch script sets, the
 * arguments) and exits with status 0, or with the status given as
 * --exit=N.
 */
public class ExampleSetup {
  public static void main(String[] args) {
    int status = 0;
    System.out.println("Example setup application started.");
    System.out.println("  Java VM:   " + System.getProperty("java.vm.name") + " "
        + System.getProperty("java.version"));
    System.out.println("  java.home: " + System.getProperty("java.home"));
    List<String> names = new ArrayList<String>();
    for (Object key : System.getProperties().keySet()) {
      String name = key.toString();
      if (name.startsWith("bv.") || name.equals("temp.dir")) {
        names.add(name);
      }
    }
    Collections.sort(names);
    for (String name : names) {
      System.out.println("  " + name + " = " + System.getProperty(name));
    }
    System.out.println("  arguments: " + args.length);
    for (int i = 0; i < args.length; i++) {
      System.out.println("    [" + i + "] " + args[i]);
      if (args[i].startsWith("--exit=")) {
        status = Integer.parseInt(args[i].substring("--exit=".length()));
      }
    }
    System.out.println("Example setup application done.");
    System.exit(status);
  }
}
