#!/bin/sh
# Writes the generated part of the mid-size benchmark application:
# COUNT classes mid/parts/PartN.java (each with a nested record, an enum and
# a lambda, so that an application's usual mix of classes is loaded) and
# mid/parts/Parts.java, which makes one object of each.
#
# usage: generate_parts.sh OUTPUT_DIR [COUNT]   (default 300)
set -eu
out=$1
count=${2:-300}
dir=$out/mid/parts
mkdir -p "$dir"
i=0
while [ "$i" -lt "$count" ]; do
  cat > "$dir/Part$i.java" <<END
package mid.parts;

import java.util.ArrayList;
import java.util.List;
import java.util.function.LongUnaryOperator;

/** Generated part $i of the mid-size benchmark application. */
public final class Part$i implements mid.Part {
  /** One measurement of this part. */
  record Sample(String label, long value) {
    Sample {
      if (label == null) throw new IllegalArgumentException("label");
    }
  }

  /** How a sample is combined. */
  enum Mode {
    ADD, XOR, ROTATE;

    long apply(long a, long b) {
      switch (this) {
        case ADD: return a + b;
        case XOR: return a ^ b;
        default: return Long.rotateLeft(a, (int) (b & 63)) + $i;
      }
    }
  }

  private final List<Sample> samples = new ArrayList<>();
  private final LongUnaryOperator step = x -> x * 6364136223846793005L + $((i * 2 + 1));

  @Override
  public String name() {
    return "part-$i";
  }

  @Override
  public long compute(long seed) {
    long value = seed;
    Mode[] modes = Mode.values();
    for (int k = 0; k < 8; k++) {
      value = step.applyAsLong(value);
      samples.add(new Sample(name() + "#" + k, value));
      value = modes[(int) ((value >>> 33) % modes.length)].apply(value, $i + k);
    }
    long sum = 0;
    for (Sample sample : samples) sum += sample.value() ^ sample.label().length();
    return sum;
  }
}
END
  i=$((i + 1))
done
{
  echo "package mid.parts;"
  echo
  echo "/** Generated: one object of each of the $count parts. */"
  echo "public final class Parts {"
  echo "  private Parts() {}"
  echo
  echo "  public static mid.Part[] all() {"
  echo "    return new mid.Part[] {"
  i=0
  while [ "$i" -lt "$count" ]; do
    echo "      new Part$i(),"
    i=$((i + 1))
  done
  echo "    };"
  echo "  }"
  echo "}"
} > "$dir/Parts.java"
