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
  runtime_archive; do
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

# Verification cache files: the kept ones (a file needs its checksum).
cp "$src"/tests/fuzz_regressions/verify_cache/* "$out/verify_cache/"

# Runtime entries: the kept member lists (a first byte 0: packed by the
# target itself).
cp "$src"/tests/fuzz_regressions/runtime_archive/* "$out/runtime_archive/"
