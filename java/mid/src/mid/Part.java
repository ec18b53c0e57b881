package mid;

/** One of the generated parts of the application (mid.parts.PartN). */
public interface Part {
  String name();

  long compute(long seed);
}
