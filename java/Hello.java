/** The smallest application: prints one line and exits with status 0. */
public class Hello {
  public static void main(String[] args) {
    System.out.println("Hello, world!");
  }
}
