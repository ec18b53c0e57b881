package antlike.util;

/** The utility jar of the Ant-like application: words joined by "|". */
public final class Words {
    private Words() {}

    public static String join(String[] words) {
        StringBuilder text = new StringBuilder();
        for (int i = 0; i < words.length; i++) {
            if (i > 0) text.append('|');
            text.append(words[i]);
        }
        return text.toString();
    }
}
