package antlike.core;

import antlike.util.Words;

/**
 * The main class of the Ant-like application (antlike-core.jar), loaded by
 * antlike.launch.Launcher from the home's jars: prints "core=&lt;...&gt;", its
 * arguments joined by the utility jar, and the jar it was loaded from.
 */
public final class Main {
    private Main() {}

    public static void main(String[] args) {
        System.out.println("core=<" + Words.join(args) + ">");
        System.out.println("from=<" + Main.class.getProtectionDomain().getCodeSource().getLocation().getPath() + ">");
    }
}
