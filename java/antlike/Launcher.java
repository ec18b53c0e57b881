package antlike.launch;

import java.io.File;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * The launcher jar of a small application built the way Apache Ant is: the
 * launcher class finds the application's home in a system property
 * (antlike.home), loads the jars it finds there with a class loader of its
 * own and calls the real main class, antlike.core.Main, through it.
 *
 * <p>Output: "home=&lt;folder&gt;", "jars=&lt;name,name,...&gt;" (the jars in
 * the home, sorted), "opt=&lt;value&gt;" (the property antlike.opt, which users
 * set through their own variable), then what antlike.core.Main prints.
 * Without the property, or with a home that holds no core jar, it says so on
 * standard error and exits with 2.
 */
public final class Launcher {
    private Launcher() {}

    public static void main(String[] args) throws Exception {
        String home = System.getProperty("antlike.home");
        if (home == null) {
            System.err.println("antlike: antlike.home is not set");
            System.exit(2);
        }
        File[] files = new File(home).listFiles();
        List<String> jars = new ArrayList<String>();
        List<URL> urls = new ArrayList<URL>();
        if (files != null) {
            Arrays.sort(files);
            for (File file : files) {
                if (file.getName().endsWith(".jar")) {
                    jars.add(file.getName());
                    urls.add(file.toURI().toURL());
                }
            }
        }
        System.out.println("home=<" + home + ">");
        System.out.println("jars=<" + join(jars) + ">");
        System.out.println("opt=<" + System.getProperty("antlike.opt") + ">");
        // Only the jars of the home: the class path is not asked.
        ClassLoader parent = ClassLoader.getSystemClassLoader().getParent();
        URLClassLoader loader = new URLClassLoader(urls.toArray(new URL[0]), parent);
        Class<?> main;
        try {
            main = Class.forName("antlike.core.Main", true, loader);
        } catch (ClassNotFoundException e) {
            System.err.println("antlike: no antlike.core.Main in " + home);
            System.exit(2);
            return;
        }
        Method run = main.getMethod("main", String[].class);
        run.invoke(null, (Object) args);
        System.out.flush();
    }

    private static String join(List<String> items) {
        StringBuilder text = new StringBuilder();
        for (String item : items) {
            if (text.length() > 0) text.append(',');
            text.append(item);
        }
        return text.toString();
    }
}
