#!/usr/bin/env bash
# Start-up (zarn -l 1) with one and with four "gnu-gcc" definitions over
# /usr/bin in the registry: a bin directory is probed once per run, so the
# extra definitions should cost little. Prints the ratio four/one.
set -euo pipefail

usage() {
  cat <<'USAGE'
usage: bench/shared_probe.sh [-r runs] [-w warmups] [-o dir] [-k]
  -r R      timed runs per command (default 30)
  -w W      warm-up runs (default 3)
  -o DIR    where the hyperfine exports go (default bench/results/probe)
  -k        keep the generated homes and project
The zarn binary is $ZARN, else build/zarn of this checkout. With $ZARN_BEFORE
set, that binary runs too (as "before"), so both are measured in one run.
USAGE
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
runs=30 warmup=3 keep=0 results="$here/results/probe"
while getopts "r:w:o:kh" opt; do
  case "$opt" in
    r) runs=$OPTARG ;; w) warmup=$OPTARG ;; o) results=$OPTARG ;; k) keep=1 ;;
    h) usage; exit 0 ;; *) usage >&2; exit 2 ;;
  esac
done
for v in "$runs" "$warmup"; do
  [[ "$v" =~ ^[0-9]+$ ]] || { echo "not a number: $v" >&2; exit 2; }
done
(( runs >= 2 )) || { echo "need -r >= 2" >&2; exit 2; }

zarn=${ZARN:-$root/build/zarn}
[[ "$zarn" = /* ]] || zarn="$PWD/$zarn"
before=${ZARN_BEFORE:-}
[[ -z "$before" || "$before" = /* ]] || before="$PWD/$before"
for tool in "$zarn" ${before:+"$before"} hyperfine; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
mkdir -p "$results"
results=$(cd "$results" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zarn-probe.XXXXXX")
if (( keep )); then echo "kept in $work"; else trap 'rm -rf "$work"' EXIT; fi

# One home per definition count; the definitions differ only in name.
make_home() {
  local home="$work/home$1" k
  mkdir -p "$home/.config/zarn"
  {
    echo 'tools {'
    for (( k = 1; k <= $1; k++ )); do
      printf '  gnu%d {\n    tool_type = "gnu-gcc"\n    toolchain_path = "/usr/bin"\n  }\n' "$k"
    done
    echo '}'
  } > "$home/.config/zarn/.zarn_registry.txt"
}
make_home 1
make_home 4

project="$work/project"
mkdir -p "$project/src"
printf 'unit demo\napp: {\n  C_FILES = P"(src/main.c)"\n}\n' > "$project/zarn.txt"
echo 'int main(void) { return 0; }' > "$project/src/main.c"

q() { printf '%q' "$1"; }
# Every definition must have given a tool, or the figures say nothing.
for n in 1 4; do
  out=$(cd "$project" && HOME="$work/home$n" "$zarn" -l 1 2>&1)
  if grep -q "Couldn't find GNU toolchain\|Required GNU tool missing" <<<"$out"; then
    echo "a definition over /usr/bin gave no tool:" >&2; echo "$out" >&2; exit 1
  fi
done

commands=()
for bin in "$zarn" ${before:+"$before"}; do
  tag=after; [[ "$bin" == "$zarn" ]] || tag=before
  [[ -n "$before" ]] || tag=zarn
  for n in 1 4; do
    commands+=(-n "$tag-$n" "env -C $(q "$project") HOME=$(q "$work/home$n") $(q "$bin") -l 1")
  done
done
hyperfine -N --style basic --warmup "$warmup" --runs "$runs" \
  --export-json "$results/startup.json" --export-markdown "$results/startup.md" \
  --export-csv "$results/startup.csv" "${commands[@]}"

stat_of() { awk -F, -v c="$1" -v col="$2" 'NR > 1 && $1 == c { print $col }' "$results/startup.csv"; }
{
  echo
  echo "start-up (zarn -l 1) with \"gnu-gcc\" definitions over /usr/bin; $(nproc) cores"
  for tag in $( [[ -n "$before" ]] && echo after before || echo zarn ); do
    for stat in mean:2 median:4; do
      one=$(stat_of "$tag-1" "${stat#*:}") four=$(stat_of "$tag-4" "${stat#*:}")
      awk -v t="$tag" -v s="${stat%:*}" -v a="$one" -v b="$four" 'BEGIN {
        printf "%-6s %-6s one %8.2f ms  four %8.2f ms  four/one %.2f\n", t, s, a * 1000, b * 1000, b / a }'
    done
  done
} | tee "$results/summary.txt"
echo "exports in $results"
