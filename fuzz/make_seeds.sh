#!/usr/bin/env bash
# Writes the seed inputs of the fuzz targets into $1/<target>/, made from
# the example files in examples/setup/ and the worked example in
# tests/fixtures/worked_example/ (CR LF line ends).
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
out="$1"
examples="$src/examples"
worked="$src/tests/fixtures/worked_example"
rm -rf "$out"
for t in archive_index tag_file instructions expressions cmd_line text_arguments launch_script verify_cache \
  runtime_archive class_version; do
  mkdir -p "$out/$t"
done

# Tag files as they are.
cp "$worked"/*.tag "$out/tag_file/"
[ -d "$examples/setup" ] && for f in "$examples"/setup/*.tag; do cp "$f" "$out/tag_file/setup-$(basename "$f")"; done

# Scripts: the example's statements, and a few that set and jump.
sed -n '/^INSTRUCTIONS:/,/^\/:/p' "$worked/instructions.tag" | sed '1d;$d' \
  >"$out/instructions/example"
printf 'SET S1 = "a ""b"""\nSET N2 = 7\nJMP0 @N2@ L@N2@\nGOTO L7\n:L0\nLAUNCH @S1@ 5\n:L7\nILAUNCH 1 2\n' \
  >"$out/instructions/jumps"
printf 'FIND_JVM 1 1\nJMP0 @N1@ ELSE\nLAUNCH "@S2@" 5\n:ELSE\nVERIFY 0 0 3\nINSTALL_JVM 1\n// done\n' \
  >"$out/instructions/operations"

# Expressions: the first byte picks the evaluator.
i=0
for e in '@N1@' 'x@S2@y@@z' '"a ""quoted"" @S1@" 5' '12 apples' '1' '  word rest'; do
  printf "\\x$(printf %02x $i)%s" "$e" >"$out/expressions/seed$i"
  i=$((i + 1))
done

# Command lines: the example launch template's command, and a split one.
sed -n 's/^COMMAND: //p' "$worked/launch.tag" >"$out/cmd_line/template"
printf '/opt/jvm/bin/java -cp "/tmp/a b.jar" -Dx=\\"y\\" ab"c d"ef Main arg\\' >"$out/cmd_line/quotes"

# Launch templates: the example's COMMAND as its tag file gives it (outer
# quotes gone, doubled quotes single), and one that calls every function.
sed -n 's/^COMMAND: "\(.*\)"\r\{0,1\}$/\1/p' "$worked/launch.tag" | sed 's/""/"/g' \
  >"$out/launch_script/example"
printf '%s' '%REPLACE%("@JVM_HOME@", "java home", "jh") %RUNTIME_SYSTEMPROP%() %RUNTIME_JAVAARGS%() %SYSTEMPROP%("a", "b c") %CP%("x.jar") %IF_EXISTS%("INIT_JAVA_HEAP", "@INIT_JAVA_HEAP@20m") %LAUNCHER_FILE%() %LAUNCHER_DIR%() %APPLICATION_ARCHIVE%() %TEMP_DIR%() #HOME# ##x %%y @@z @SELF@' \
  >"$out/launch_script/functions"

# Text arguments: each example line, unquoted and quoted from its start.
n=0
while IFS= read -r line; do
  printf '\x00%s' "$line" >"$out/text_arguments/line$n"
  printf '\x01%s' "$line" >"$out/text_arguments/quoted$n"
  n=$((n + 1))
done < <(cat "$worked"/*.tag | sort -u | head -40)

# A launcher file: a stub image, the three example tag files and a small
# archive, then the file index and the 9-byte trailer (all integers
# big-endian, layout in archive/archive_format.h).
be32() {
  local v=$(( $1 & 0xFFFFFFFF ))
  printf "\\x$(printf %02x $(( (v >> 24) & 255 )))\\x$(printf %02x $(( (v >> 16) & 255 )))"
  printf "\\x$(printf %02x $(( (v >> 8) & 255 )))\\x$(printf %02x $(( v & 255 )))"
}
be16() { printf "\\x$(printf %02x $(( ($1 >> 8) & 255 )))\\x$(printf %02x $(( $1 & 255 )))"; }
write_launcher() {
  local file="$1" compressed="$2"
  local stub="#!/bin/sh
exit 0
"
  printf '%s' "$stub" >"$file"
  local offset=${#stub}
  local index
  index="$(mktemp)"
  local types=(0 1 2 5) names=(instructions.txt jvm-linux.jvm launch.txt Verify.jar)
  local sources=("$worked/instructions.tag" "$worked/jvm-linux.tag" "$worked/launch.tag" "")
  be32 4 >"$index"
  for k in 0 1 2 3; do
    local body="${sources[$k]}"
    local length
    if [ -n "$body" ]; then
      cat "$body" >>"$file"
      length=$(stat -c %s "$body")
    else
      printf 'PK\x03\x04 not really an archive\n' >>"$file"
      length=27
    fi
    {
      printf "\\x$(printf %02x "${types[$k]}")"
      be32 $((k + 1)); be32 "$length"; be32 "$offset"
      be16 ${#names[$k]}; printf '%s' "${names[$k]}"
      if [ "$compressed" = 1 ] && [ "$k" = 3 ]; then printf '\x01'; be32 2; be32 4096; else printf '\x00'; fi
    } >>"$index"
    offset=$((offset + length))
  done
  cat "$index" >>"$file"
  rm -f "$index"
  { printf '\x01'; be32 "$offset"; printf '\xCA\x82\xCA\x82'; } >>"$file"
}
write_launcher "$out/archive_index/example" 0
write_launcher "$out/archive_index/compressed" 1

# The example with the digest block between its index and trailer, as
# bvpack writes it: the SHA-256 of the stub, of each entry and of
# everything from the index on (the index digest left out).
hexbytes() { printf "$(sed 's/../\\x&/g')"; }
sha() { sha256sum | cut -c1-64 | hexbytes; }
seal_launcher() {
  local plain="$1" sealed="$2"
  local size index_offset count
  size=$(stat -c %s "$plain")
  index_offset=$(tail -c 8 "$plain" | head -c 4 | od -An -tu1 | awk '{print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4}')
  count=$(tail -c +"$((index_offset + 1))" "$plain" | head -c 4 | od -An -tu1 | awk '{print $4}')
  local stub_length
  stub_length=$(tail -c +"$((index_offset + 1 + 4 + 9))" "$plain" | head -c 4 | od -An -tu1 | awk '{print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4}')
  local head="$sealed.head" tail_part="$sealed.tail"
  { printf 'BVDG\x01'; be32 "$stub_length"; head -c "$stub_length" "$plain" | sha
    # The entries lie back to back from the stub's end to the index.
    local pos=$((index_offset + 4)) k offset length name_length flag
    for ((k = 0; k < count; k++)); do
      read -r length offset name_length < <(tail -c +"$((pos + 1 + 5))" "$plain" | head -c 10 | od -An -tu1 |
        awk '{print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8, $9 * 256 + $10}')
      tail -c +"$((offset + 1))" "$plain" | head -c "$length" | sha
      flag=$(tail -c +"$((pos + 16 + name_length))" "$plain" | head -c 1 | od -An -tu1 | tr -d ' ')
      pos=$((pos + 16 + name_length + (flag == 1 ? 8 : 0)))
    done
  } >"$head"
  { be32 $(($(stat -c %s "$head") + 32 + 8)); printf 'BVDG'; tail -c 9 "$plain"; } >"$tail_part"
  local digest
  digest=$({ head -c "$((size - 9))" "$plain" | tail -c +"$((index_offset + 1))"; cat "$head" "$tail_part"; } | sha256sum | cut -c1-64)
  { head -c "$((size - 9))" "$plain"; cat "$head"; printf '%s' "$digest" | hexbytes; cat "$tail_part"; } >"$sealed"
  rm -f "$head" "$tail_part"
}
seal_launcher "$out/archive_index/example" "$out/archive_index/sealed"
seal_launcher "$out/archive_index/compressed" "$out/archive_index/sealed-compressed"

# Verification cache files: the kept ones (a file needs its checksum).
cp "$src"/tests/fuzz_regressions/verify_cache/* "$out/verify_cache/"

# Jars for the class-file version reader: one stored and one deflated class
# entry (raw deflate data: gzip's output without its 10-byte header and
# 8-byte trailer), a directory entry and a module-info.class. The reader
# does not check CRCs, so they are left 0.
le16() { printf "\\x$(printf %02x $(( $1 & 255 )))\\x$(printf %02x $(( ($1 >> 8) & 255 )))"; }
le32() { le16 $(( $1 & 0xFFFF )); le16 $(( ($1 >> 16) & 0xFFFF )); }
write_jar() {
  local file="$1" body directory
  shift
  body="$(mktemp)"; directory="$(mktemp)"
  local count=0
  while [ $# -gt 0 ]; do
    local name="$1" method="$2" data="$3"
    shift 3
    local offset size
    offset=$(stat -c %s "$body")
    size=$(stat -c %s "$data")
    local common
    common() { le16 20; le16 0; le16 "$method"; le32 0; le32 0; le32 "$size"; le32 "$size"; le16 ${#name}; le16 0; }
    { printf 'PK\x03\x04'; common; printf '%s' "$name"; cat "$data"; } >>"$body"
    { printf 'PK\x01\x02'; le16 20; common; le16 0; le16 0; le16 0; le32 0; le32 "$offset"; printf '%s' "$name"; } >>"$directory"
    count=$((count + 1))
  done
  { cat "$body" "$directory"; printf 'PK\x05\x06'; le32 0; le16 "$count"; le16 "$count"
    le32 "$(stat -c %s "$directory")"; le32 "$(stat -c %s "$body")"; le16 0; } >"$file"
  rm -f "$body" "$directory"
}
classes="$(mktemp -d)"
{ printf '\xCA\xFE\xBA\xBE\x00\x00\x00\x3D'; head -c 600 "$worked/launch.tag"; } >"$classes/Main.class"
{ printf '\xCA\xFE\xBA\xBE\x00\x00\x00\x34'; head -c 300 "$worked/instructions.tag"; } >"$classes/Old.class"
gzip -9 -n -c "$classes/Main.class" | tail -c +11 | head -c -8 >"$classes/Main.deflated"
: >"$classes/empty"
write_jar "$out/class_version/app.jar" p/ 0 "$classes/empty" p/Old.class 0 "$classes/Old.class" \
  p/Main.class 8 "$classes/Main.deflated" module-info.class 0 "$classes/Old.class"
rm -rf "$classes"
# Runtime entries: the kept tables (a first byte 0: the header made by the
# target itself).
cp "$src"/tests/fuzz_regressions/runtime_archive/* "$out/runtime_archive/"
