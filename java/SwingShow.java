import java.awt.event.WindowAdapter;
import java.awt.event.WindowEvent;
import javax.swing.JFrame;
import javax.swing.JLabel;
import javax.swing.SwingUtilities;

/**
 * A window program for the benchmarks: shows a small window and prints
 * "shown" once the window is open; with --exit as its first argument it then
 * exits, so that the time of a whole run is the time to the first window.
 */
public class SwingShow {
  public static void main(String[] args) {
    final boolean exit = args.length > 0 && args[0].equals("--exit");
    SwingUtilities.invokeLater(new Runnable() {
      @Override
      public void run() {
        JFrame frame = new JFrame("SwingShow");
        frame.add(new JLabel("A window"));
        frame.addWindowListener(new WindowAdapter() {
          @Override
          public void windowOpened(WindowEvent e) {
            System.out.println("shown");
            System.out.flush();
            if (exit) System.exit(0);
          }
        });
        frame.pack();
        frame.setVisible(true);
      }
    });
  }
}
