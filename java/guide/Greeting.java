package guide.lib;

/** The library jar of the guide's example: one greeting. */
public final class Greeting {
    private Greeting() {}

    public static String text() {
        return "Hello from the library jar";
    }
}
