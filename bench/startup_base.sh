#!/usr/bin/env bash
# Start-up against a base commit's zarn: listing a one-target unit (`zarn -l
# 1`) and a no-op rebuild of 100 "command" targets (bench/gen_flat.sh), each
# case in one hyperfine run holding both binaries. The runs come in blocks
# that alternate the order of the binaries, so that a load that changes
# while hyperfine runs weighs on both alike. Prints, per case, the mean and
# median of each binary and the ratios zarn/base.
set -euo pipefail

usage() {
  cat <<'USAGE'
usage: bench/startup_base.sh [-r runs] [-b blocks] [-w warmups] [-o dir] [-k]
  -r R      timed runs per binary in each block (default 10)
  -b B      blocks per case, each binary once in each (default 20)
  -w W      warm-up runs before each block's command (default 2)
  -o DIR    where the hyperfine exports go (default bench/results/startup)
  -k        keep the generated projects
The zarn binary is $ZARN, else build/zarn of this checkout. The base binary
is $ZARN_BEFORE; unset, the commit $ZARN_BASE (default 589075e, the one
before the stop machinery) is exported with git archive and built
(RelWithDebInfo) in ${TMPDIR:-/tmp}/zarn-base-<commit>, once.
USAGE
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
runs=10 blocks=20 warmup=2 keep=0 results="$here/results/startup"
while getopts "r:b:w:o:kh" opt; do
  case "$opt" in
    r) runs=$OPTARG ;; b) blocks=$OPTARG ;; w) warmup=$OPTARG ;; o) results=$OPTARG ;; k) keep=1 ;;
    h) usage; exit 0 ;; *) usage >&2; exit 2 ;;
  esac
done
for v in "$runs" "$blocks" "$warmup"; do
  [[ "$v" =~ ^[0-9]+$ ]] || { echo "not a number: $v" >&2; exit 2; }
done
(( runs >= 2 && blocks >= 1 )) || { echo "need -r >= 2 and -b >= 1" >&2; exit 2; }

zarn=${ZARN:-$root/build/zarn}
[[ "$zarn" = /* ]] || zarn="$PWD/$zarn"
for tool in "$zarn" hyperfine python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

base=${ZARN_BEFORE:-}
if [[ -z "$base" ]]; then
  commit=$(git -C "$root" rev-parse --short "${ZARN_BASE:-589075e}^{commit}")
  tree="${TMPDIR:-/tmp}/zarn-base-$commit"
  base="$tree/build/zarn"
  if [[ ! -x "$base" ]]; then
    echo "building $commit in $tree" >&2
    mkdir -p "$tree"
    git -C "$root" archive "$commit" | tar -x -C "$tree"
    cmake -S "$tree" -B "$tree/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
    cmake --build "$tree/build" --target zarn -j "$(nproc)" > /dev/null
  fi
fi
[[ "$base" = /* ]] || base="$PWD/$base"
command -v "$base" >/dev/null || { echo "missing: $base" >&2; exit 1; }

mkdir -p "$results"
results=$(cd "$results" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zarn-startup.XXXXXX")
if (( keep )); then echo "kept in $work"; else trap 'rm -rf "$work"' EXIT; fi
export HOME="$work/home"  # an empty registry: nothing is probed
mkdir -p "$HOME"

# One project per binary, so that neither reads a cache the other wrote.
for tag in zarn base; do
  bin=$zarn; [[ "$tag" == zarn ]] || bin=$base
  mkdir -p "$work/$tag/one"
  # shellcheck disable=SC2016  # ${src} is the unit file's own
  printf 'unit demo\napp: {\n  src = P"(in.txt)"\n  cmdline = "cp ${src} out.txt"\n  ^o = P"(out.txt)"\n}\n' \
    > "$work/$tag/one/zarn.txt"
  echo in > "$work/$tag/one/in.txt"
  [[ "$(cd "$work/$tag/one" && "$bin" -l 1)" == app ]] || { echo "$tag: -l 1 does not list 'app'" >&2; exit 1; }
  "$here/gen_flat.sh" "$work/$tag/flat" 100
  d="$work/$tag/flat/zarn"
  (cd "$d" && "$bin" > /dev/null)
  made=$(find "$d/out" -name '*.txt' | wc -l)
  (( made == 100 )) || { echo "$tag made $made of 100 outputs" >&2; exit 1; }
  stamps=$(find "$d/out" -printf '%p %T@\n' | sort)
  sleep 0.05
  (cd "$d" && "$bin" > /dev/null)
  [[ "$stamps" == "$(find "$d/out" -printf '%p %T@\n' | sort)" ]] ||
    { echo "$tag: a no-op run rewrote outputs" >&2; exit 1; }
done

q() { printf '%q' "$1"; }
# Blocks alternate which binary runs first.
time_case() {
  local name=$1 dir=$2 opts=$3 k tag bin args=()
  for (( k = 1; k <= blocks; k++ )); do
    local order=(zarn base)
    (( k % 2 )) || order=(base zarn)
    for tag in "${order[@]}"; do
      bin=$zarn; [[ "$tag" == zarn ]] || bin=$base
      args+=(-n "$tag#$k" "env -C $(q "$work/$tag/$dir") $(q "$bin")$opts")
    done
  done
  hyperfine -N --style basic --warmup "$warmup" --runs "$runs" \
    --export-json "$results/$name.json" --export-csv "$results/$name.csv" "${args[@]}" \
    > "$results/$name.log" 2>&1
}
time_case list one " -l 1"
time_case noop flat/zarn ""

python3 - "$results" "$(nproc)" "$runs" "$blocks" <<'PY' | tee "$results/summary.txt"
import json, statistics, sys
results, cores, runs, blocks = sys.argv[1:]
print(f"zarn against the base binary; {cores} cores, {blocks} blocks of {runs} runs per binary")
print(f"{'case':<6} {'binary':<6} {'mean ms':>9} {'median ms':>10} {'user+sys ms':>12}")
for case, what in (("list", "zarn -l 1, one target"), ("noop", "no-op, 100 command targets")):
    data = json.load(open(f"{results}/{case}.json"))["results"]
    stats = {}
    for tag in ("zarn", "base"):
        mine = [r for r in data if r["command"].split("#")[0] == tag]
        times = [t for r in mine for t in r["times"]]
        # hyperfine gives user and system time as means per command only.
        cpu = statistics.mean(r["user"] + r["system"] for r in mine)
        stats[tag] = (statistics.mean(times), statistics.median(times), cpu)
        print(f"{case:<6} {tag:<6} {stats[tag][0] * 1000:9.2f} {stats[tag][1] * 1000:10.2f} {stats[tag][2] * 1000:12.2f}")
    z, b = stats["zarn"], stats["base"]
    print(f"{case:<6} zarn/base  mean {z[0] / b[0]:.3f}  median {z[1] / b[1]:.3f}  user+sys {z[2] / b[2]:.3f}  ({what})")
PY
echo "exports in $results"
