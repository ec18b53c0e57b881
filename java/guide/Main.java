package guide;

import guide.lib.Greeting;

/**
 * The application of the authors' guide, packed from two jars: it prints a
 * line from the library jar, each argument between angle brackets, the
 * working folder, and exits with the status given as "exit=N" (0 otherwise).
 */
public final class Main {
    private Main() {}

    public static void main(String[] args) {
        System.out.println(Greeting.text());
        int status = 0;
        for (int i = 0; i < args.length; i++) {
            System.out.println("arg[" + i + "]=<" + args[i] + ">");
            if (args[i].startsWith("exit=")) {
                status = Integer.parseInt(args[i].substring(5));
            }
        }
        System.out.println("cwd=<" + System.getProperty("user.dir") + ">");
        System.out.flush();
        System.exit(status);
    }
}
