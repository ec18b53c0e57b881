package mid;

import java.io.ByteArrayOutputStream;
import java.net.URI;
import java.net.http.HttpClient;
import java.net.http.HttpRequest;
import java.time.Duration;
import java.time.LocalDate;
import java.time.ZoneId;
import java.time.ZonedDateTime;
import java.time.format.DateTimeFormatter;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.logging.Formatter;
import java.util.logging.Level;
import java.util.logging.LogRecord;
import java.util.logging.Logger;
import java.util.logging.StreamHandler;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import java.util.stream.IntStream;

/**
 * A mid-size application for the benchmarks: what a small desktop or
 * command-line tool does while it starts. It sets up java.util.logging,
 * reads dates with java.time, matches text with regular expressions, groups
 * data with streams, builds an HTTP client and a request (nothing is sent),
 * and runs every generated part (mid.parts). Prints one line and exits 0.
 */
public final class Main {
  private Main() {}

  /** A one-line log format, so that logging loads its formatting classes. */
  static final class LineFormatter extends Formatter {
    @Override
    public String format(LogRecord record) {
      return record.getLevel() + " " + record.getLoggerName() + ": " + formatMessage(record) + "\n";
    }
  }

  public static void main(String[] args) throws Exception {
    ByteArrayOutputStream logBytes = new ByteArrayOutputStream();
    StreamHandler handler = new StreamHandler(logBytes, new LineFormatter());
    Logger logger = Logger.getLogger("mid");
    logger.setUseParentHandlers(false);
    logger.addHandler(handler);
    logger.setLevel(Level.FINE);
    logger.info("starting");

    DateTimeFormatter format = DateTimeFormatter.ofPattern("yyyy-MM-dd");
    List<LocalDate> dates = IntStream.range(0, 60)
        .mapToObj(i -> LocalDate.parse("2024-01-01", format).plusDays(i * 7L))
        .collect(Collectors.toList());
    ZonedDateTime meeting = ZonedDateTime.of(2024, 3, 31, 1, 30, 0, 0, ZoneId.of("Europe/Berlin"));
    Duration untilMeeting = Duration.between(dates.get(0).atStartOfDay(ZoneId.of("UTC")), meeting);
    logger.fine(() -> "meeting in " + untilMeeting.toHours() + " hours");

    Pattern version = Pattern.compile("(?<major>\\d+)(?:\\.(?<minor>\\d+))?(?:\\.(?<patch>\\d+))?(?<tag>-[a-z]+)?");
    Map<String, Long> byMajor = Arrays.stream("17.0.9 21 25-ea 1.8.0 11.0.21 21.0.1 8 17".split(" "))
        .map(version::matcher)
        .filter(Matcher::matches)
        .collect(Collectors.groupingBy(m -> m.group("major"), TreeMap::new, Collectors.counting()));

    HttpClient client = HttpClient.newBuilder()
        .connectTimeout(Duration.ofSeconds(5))
        .followRedirects(HttpClient.Redirect.NORMAL)
        .build();
    HttpRequest request = HttpRequest.newBuilder(URI.create("https://example.invalid/api/status"))
        .header("Accept", "application/json")
        .timeout(Duration.ofSeconds(10))
        .GET()
        .build();

    Part[] parts = mid.parts.Parts.all();
    long checksum = 0;
    for (Part part : parts) checksum += part.compute(checksum ^ part.name().hashCode());
    String weekdays = dates.stream()
        .collect(Collectors.groupingBy(LocalDate::getDayOfWeek, Collectors.counting()))
        .toString();

    logger.info("done");
    handler.flush();
    System.out.println("mid: " + parts.length + " parts, checksum " + Long.toHexString(checksum) + ", versions "
        + byMajor + ", " + weekdays + ", " + request.method() + " " + request.uri().getHost()
        + (client.connectTimeout().isPresent() ? "" : "?") + ", log " + logBytes.size() + " bytes");
  }
}
