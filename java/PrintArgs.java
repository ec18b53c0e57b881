import java.io.File;
import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.util.ArrayList;
import java.util.Iterator;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Properties;
import java.util.Set;
import java.util.TreeSet;

/**
 * A test application for the launcher: prints on standard output what it was
 * started with, so that a test can check the Java command line that the
 * launcher built, then exits with a chosen status.
 *
 * <p>Output, one item per line, in this order:
 *
 * <pre>
 * printargs.begin
 * argc=N
 * arg[0]=&lt;first argument&gt;            one line per argument
 * prop[java.class.path]=&lt;value&gt;      the properties listed below;
 * prop[bv.jvm.temp] unset               "unset" when a property is not set
 * env[JAVA_HOME]=&lt;value&gt;             JAVA_HOME, CLASSPATH, then printargs.env
 * env[CLASSPATH] unset
 * jvmarg[0]=&lt;-Dtemp.dir=/var/tmp/&gt;  the options the JVM itself received
 * cwd=&lt;working directory&gt;
 * maxmemory=N                           Runtime.maxMemory() in bytes
 * printargs.end
 * </pre>
 *
 * <p>Properties printed: java.class.path, temp.dir, bv.jvm.home, bv.jvm.temp,
 * bv.media.home, bv.launcher.file, bv.jvm.file, bv.external.home (the ones
 * the launch script passes), then every other property whose name starts
 * with "bv." in name order, then the names listed in printargs.show.
 *
 * <p>Values appear between '&lt;' and '&gt;' exactly as received, except that
 * characters outside printable ASCII are written as \n, \r, \t or \\uXXXX, so
 * that every item stays on one line whatever the output encoding.
 *
 * <p>Controls, as system properties or as arguments (an argument wins; the
 * arguments are printed all the same):
 *
 * <ul>
 *   <li>printargs.exit=N or --exit=N: the exit status (default 0);
 *   <li>printargs.stderr=TEXT or --stderr=TEXT: a line written to standard
 *       error after the output;
 *   <li>printargs.show=A,B: more system properties to print;
 *   <li>printargs.env=A,B: more environment variables to print;
 *   <li>--load=CLASS: loads the class by name (as an application loads a
 *       provider) and prints load[CLASS]=&lt;loaded&gt; or &lt;missing&gt;
 *       after the argument.
 * </ul>
 *
 * An exit status that is not a number is reported on standard error and gives
 * status 2.
 *
 * <p>With --cat as its first argument it prints nothing of the above: it
 * copies standard input to standard output byte for byte and exits with 0.
 */
public class PrintArgs {
  private static final String[] LAUNCH_PROPERTIES = {
    "java.class.path",
    "temp.dir",
    "bv.jvm.home",
    "bv.jvm.temp",
    "bv.media.home",
    "bv.launcher.file",
    "bv.jvm.file",
    "bv.external.home",
  };
  private static final String[] ENVIRONMENT = {"JAVA_HOME", "CLASSPATH"};

  public static void main(String[] args) throws IOException {
    if (args.length > 0 && args[0].equals("--cat")) {
      byte[] buffer = new byte[8192];
      for (int n; (n = System.in.read(buffer)) > 0; ) System.out.write(buffer, 0, n);
      System.out.flush();
      return;
    }
    String exit = System.getProperty("printargs.exit");
    String stderr = System.getProperty("printargs.stderr");

    StringBuilder out = new StringBuilder();
    out.append("printargs.begin\n");
    out.append("argc=").append(args.length).append('\n');
    for (int i = 0; i < args.length; i++) {
      item(out, "arg[" + i + "]", args[i]);
      if (args[i].startsWith("--exit=")) exit = args[i].substring("--exit=".length());
      if (args[i].startsWith("--stderr=")) stderr = args[i].substring("--stderr=".length());
      if (args[i].startsWith("--load=")) {
        String name = args[i].substring("--load=".length());
        String found;
        try {
          Class.forName(name);
          found = "loaded";
        } catch (ClassNotFoundException e) {
          found = "missing";
        }
        item(out, "load[" + name + "]", found);
      }
    }

    for (String name : propertyNames()) item(out, "prop[" + name + "]", System.getProperty(name));
    Set<String> variables = new LinkedHashSet<String>();
    for (String name : ENVIRONMENT) variables.add(name);
    variables.addAll(splitList(System.getProperty("printargs.env")));
    for (String name : variables) item(out, "env[" + name + "]", System.getenv(name));

    List<String> jvmArgs = jvmArguments();
    for (int i = 0; i < jvmArgs.size(); i++) item(out, "jvmarg[" + i + "]", jvmArgs.get(i));
    item(out, "cwd", new File("").getAbsolutePath());
    out.append("maxmemory=").append(Runtime.getRuntime().maxMemory()).append('\n');
    out.append("printargs.end\n");
    System.out.print(out);
    System.out.flush();

    if (stderr != null) {
      System.err.println(stderr);
      System.err.flush();
    }
    int status = 0;
    if (exit != null) {
      try {
        status = Integer.parseInt(exit.trim());
      } catch (NumberFormatException e) {
        System.err.println("PrintArgs: exit status is not a number: " + exit);
        status = 2;
      }
    }
    System.exit(status);
  }

  // The launch properties, the other "bv." ones sorted, then printargs.show.
  private static Set<String> propertyNames() {
    Set<String> names = new LinkedHashSet<String>();
    for (String name : LAUNCH_PROPERTIES) names.add(name);
    Properties properties = System.getProperties();
    Set<String> others = new TreeSet<String>();
    for (Iterator<?> it = properties.keySet().iterator(); it.hasNext(); ) {
      Object key = it.next();
      if (key instanceof String && ((String) key).startsWith("bv.")) others.add((String) key);
    }
    names.addAll(others);
    names.addAll(splitList(System.getProperty("printargs.show")));
    return names;
  }

  // The options given to the JVM, when the runtime can tell them.
  private static List<String> jvmArguments() {
    try {
      return ManagementFactory.getRuntimeMXBean().getInputArguments();
    } catch (Throwable e) {
      return new ArrayList<String>();
    }
  }

  private static List<String> splitList(String list) {
    List<String> names = new ArrayList<String>();
    if (list == null) return names;
    for (String name : list.split(",")) {
      name = name.trim();
      if (name.length() > 0) names.add(name);
    }
    return names;
  }

  // "label=<value>", or "label unset" for null.
  private static void item(StringBuilder out, String label, String value) {
    out.append(label);
    if (value == null) {
      out.append(" unset\n");
      return;
    }
    out.append("=<");
    for (int i = 0; i < value.length(); i++) {
      char c = value.charAt(i);
      if (c == '\n') {
        out.append("\\n");
      } else if (c == '\r') {
        out.append("\\r");
      } else if (c == '\t') {
        out.append("\\t");
      } else if (c < 0x20 || c > 0x7E) {
        out.append(String.format("\\u%04x", (int) c));
      } else {
        out.append(c);
      }
    }
    out.append(">\n");
  }
}
