#!/usr/bin/env bash
# Unit-file parse speed and memory: "zarn -l 1" on a generated unit file of
# about SIZE bytes (default 1 MB) of bench/gen_flat.sh targets. Prints MB/s
# (from the hyperfine mean) and the peak resident memory per byte of input
# (from /usr/bin/time -v).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
size=${1:-1000000}
runs=${RUNS:-10}
zarn=${ZARN:-$root/build/zarn}
[[ "$zarn" = /* ]] || zarn="$PWD/$zarn"
work=$(mktemp -d "${TMPDIR:-/tmp}/zarn-parse.XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
mkdir -p "$HOME"

# About 100 bytes per target.
n=$(( size / 100 ))
"$here/gen_flat.sh" "$work/g" "$n" > /dev/null
unit="$work/g/zarn/zarn.txt"
while (( $(stat -c %s "$unit") < size )); do
  n=$(( n * 105 / 100 + 1 ))
  rm -rf "$work/g"; "$here/gen_flat.sh" "$work/g" "$n"
done
bytes=$(stat -c %s "$unit")
cd "$work/g/zarn"
"$zarn" -l 1 > "$work/listing.txt"

hyperfine -N --style basic --warmup 1 --runs "$runs" --export-csv "$work/parse.csv" \
  -n parse "$(printf '%q' "$zarn") -l 1" -n startup "$(printf '%q' "$zarn") --version" > /dev/null
mean=$(awk -F, '$1 == "parse" { print $2 }' "$work/parse.csv")
startup=$(awk -F, '$1 == "startup" { print $2 }' "$work/parse.csv")
/usr/bin/time -v "$zarn" -l 1 2> "$work/time.txt" > /dev/null
rss=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$work/time.txt")
/usr/bin/time -v "$zarn" --version 2> "$work/time0.txt" > /dev/null
rss0=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$work/time0.txt")
awk -v b="$bytes" -v n="$n" -v t="$mean" -v s="$startup" -v r="$rss" -v r0="$rss0" 'BEGIN {
  printf "unit file: %d bytes, %d targets\n", b, n
  printf "zarn -l 1: %.1f ms mean (start-up %.1f ms): %.2f MB/s\n", t * 1000, s * 1000, b / t / 1e6
  printf "peak memory: %d kB (start-up alone %d kB): %.1f bytes per byte of input\n", r, r0, r * 1024 / b
}'
