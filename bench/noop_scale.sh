#!/usr/bin/env bash
# No-op rebuild of N independent "command" targets under one top target
# (bench/gen_flat.sh), for several N, zarn against ninja and make, all in one
# hyperfine run so the ratios are comparable. Prints the ratios zarn/ninja and
# zarn/make per N, and how the time of each tool grows with N.
set -euo pipefail

usage() {
  cat <<'USAGE'
usage: bench/noop_scale.sh [-r runs] [-w warmups] [-o dir] [-k] [N...]
  N...      target counts (default 100 1000 10000)
  -r R      timed runs per command (default 10)
  -w W      warm-up runs (default 2)
  -o DIR    where the hyperfine exports go (default bench/results)
  -k        keep the generated projects
The zarn binary is $ZARN, else build/zarn of this checkout. With $ZARN_BEFORE
set, that binary runs too (as "before"), so both are measured in one run.
USAGE
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
runs=10 warmup=2 keep=0 results="$here/results"
while getopts "r:w:o:kh" opt; do
  case "$opt" in
    r) runs=$OPTARG ;; w) warmup=$OPTARG ;; o) results=$OPTARG ;; k) keep=1 ;;
    h) usage; exit 0 ;; *) usage >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
counts=("$@")
(( ${#counts[@]} )) || counts=(100 1000 10000)

zarn=${ZARN:-$root/build/zarn}
[[ "$zarn" = /* ]] || zarn="$PWD/$zarn"
for tool in "$zarn" ninja make hyperfine; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
mkdir -p "$results"
results=$(cd "$results" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zarn-noop.XXXXXX")
if (( keep )); then echo "projects kept in $work"; else trap 'rm -rf "$work"' EXIT; fi
export HOME="$work/home"
mkdir -p "$HOME"

args=()
for n in "${counts[@]}"; do
  d="$work/n$n"
  "$here/gen_flat.sh" "$d" "$n"
  # Full builds first; each must then leave every output alone.
  (cd "$d/zarn" && "$zarn" -j 1 > /dev/null)
  ninja -C "$d/ninja" -j 1 > /dev/null
  make -C "$d/make" --no-print-directory -j 1 > /dev/null
  for tool in zarn ninja make; do
    made=$(find "$d/$tool/out" -name '*.txt' | wc -l)
    (( made == n )) || { echo "$tool made $made of $n outputs" >&2; exit 1; }
  done
  before=$(find "$d" -path '*/out/*' -printf '%p %T@\n' | sort)
  sleep 0.05
  (cd "$d/zarn" && "$zarn" -j 1 > /dev/null)
  ninja -C "$d/ninja" -j 1 > /dev/null
  make -C "$d/make" --no-print-directory -j 1 > /dev/null
  after=$(find "$d" -path '*/out/*' -printf '%p %T@\n' | sort)
  [[ "$before" == "$after" ]] || echo "WARNING: a no-op run at N=$n rewrote outputs" >&2
  # hyperfine has no per-command directory and zarn no directory option:
  # all three start through "env -C", so each pays the same small start.
  args+=(-n "zarn-$n" "env -C $(printf '%q' "$d/zarn") $(printf '%q' "$zarn") -j 1")
  [[ -n "${ZARN_BEFORE:-}" ]] &&
    args+=(-n "before-$n" "env -C $(printf '%q' "$d/zarn") $(printf '%q' "$ZARN_BEFORE") -j 1")
  args+=(-n "ninja-$n" "env -C $(printf '%q' "$d/ninja") ninja -j 1")
  args+=(-n "make-$n" "env -C $(printf '%q' "$d/make") make --no-print-directory -j 1")
done

hyperfine -N --style basic --warmup "$warmup" --runs "$runs" \
  --export-json "$results/noop_scale.json" --export-csv "$results/noop_scale.csv" "${args[@]}" > /dev/null

mean() { awk -F, -v c="$1" 'NR > 1 && $1 == c { print $2 }' "$results/noop_scale.csv"; }
{
  echo "no-op rebuild, mean ms, $(nproc) cores, -j 1"
  printf '%8s %10s %10s %10s %11s %10s\n' N zarn ninja make zarn/ninja zarn/make
  prev_n="" prev_z=""
  for n in "${counts[@]}"; do
    z=$(mean "zarn-$n") nj=$(mean "ninja-$n") mk=$(mean "make-$n")
    awk -v n="$n" -v z="$z" -v nj="$nj" -v mk="$mk" 'BEGIN {
      printf "%8d %10.2f %10.2f %10.2f %11.2f %10.2f\n", n, z*1000, nj*1000, mk*1000, z/nj, z/mk }'
  done
  if [[ -n "${ZARN_BEFORE:-}" ]]; then
    echo "before (\$ZARN_BEFORE), same run:"
    for n in "${counts[@]}"; do
      b=$(mean "before-$n") z=$(mean "zarn-$n") nj=$(mean "ninja-$n")
      awk -v n="$n" -v b="$b" -v z="$z" -v nj="$nj" 'BEGIN {
        printf "%8d %10.2f ms  before/ninja %6.2f  before/zarn %6.2f\n", n, b*1000, b/nj, b/z }'
    done
  fi
  echo "growth of the zarn time from one N to the next:"
  for n in "${counts[@]}"; do
    z=$(mean "zarn-$n")
    if [[ -n "$prev_n" ]]; then
      awk -v a="$prev_n" -v b="$n" -v za="$prev_z" -v zb="$z" 'BEGIN {
        printf "  %d -> %d targets (x%.1f): time x%.2f\n", a, b, b/a, zb/za }'
    fi
    prev_n=$n prev_z=$z
  done
} | tee "$results/noop_scale.txt"
