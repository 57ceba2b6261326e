#!/usr/bin/env bash
# Times zarn against ninja and make on one generated project of "command"
# targets: full build from clean, no-op rebuild, and start-up.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: bench/run.sh [options]
  -n N      number of leaf targets (default 200)
  -g K      leaf targets per group (default 10)
  -j J      job count given to all three tools (default 1)
  -r R      timed runs of each build benchmark (default 10)
  -s S      timed runs of the start-up benchmark (default 100)
  -w W      warm-up runs (default 3)
  -o DIR    where the hyperfine exports go (default bench/results)
  -k        keep the generated projects (their path is printed)
  -h        this text
The zarn binary is $ZARN, else build/zarn of this checkout.
EOF
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

n=200 group=10 jobs=1 runs=10 startup_runs=100 warmup=3 keep=0
results="$here/results"
while getopts "n:g:j:r:s:w:o:kh" opt; do
  case "$opt" in
    n) n=$OPTARG ;;
    g) group=$OPTARG ;;
    j) jobs=$OPTARG ;;
    r) runs=$OPTARG ;;
    s) startup_runs=$OPTARG ;;
    w) warmup=$OPTARG ;;
    o) results=$OPTARG ;;
    k) keep=1 ;;
    h) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done
for v in "$n" "$group" "$jobs" "$runs" "$startup_runs" "$warmup"; do
  [[ "$v" =~ ^[0-9]+$ ]] || { echo "not a number: $v" >&2; exit 2; }
done
(( n >= 1 && group >= 1 && jobs >= 1 && runs >= 2 && startup_runs >= 2 )) || {
  echo "need -n, -g, -j >= 1 and -r, -s >= 2" >&2; exit 2; }

zarn=${ZARN:-$root/build/zarn}
[[ "$zarn" = /* ]] || zarn="$PWD/$zarn"
for tool in "$zarn" ninja make hyperfine; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

mkdir -p "$results"
results=$(cd "$results" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zarn-bench.XXXXXX")
if (( keep )); then
  echo "projects kept in $work"
else
  trap 'rm -rf "$work"' EXIT
fi
# A private HOME keeps any registry of the user out of zarn's runs.
export HOME="$work/home"
mkdir -p "$HOME"

# The graph: groups of leaf targets t_G_K, each writing one line; stage s_G
# concatenates the output of s_(G-1) and of its leaves; "all" copies the last
# stage. Every target has one dependent, because zarn visits a shared
# dependency once per dependent.
groups=$(( (n + group - 1) / group ))
leaf_count() { local g=$1; local rest=$(( n - g * group )); (( rest < group )) && echo "$rest" || echo "$group"; }
total=$(( n + groups + 1 ))
last="s_$((groups - 1))"

gen_zarn() {
  local d=$1 g k c deps ins
  mkdir -p "$d/out"
  printf 'name bench\nunits {\n  bench { "zarn.txt" }\n}\n' > "$d/.zarn_project.txt"
  {
    echo "unit bench"
    echo
    echo "all: $last {"
    echo "  in = [$last.out]"
    echo '  ^out = P"(out/all.txt)"'
    echo '  cmdline = "cat ${in} > ${out}"'
    echo "}"
    for (( g = 0; g < groups; g++ )); do
      c=$(leaf_count "$g")
      deps="" ins=""
      (( g > 0 )) && deps=" s_$((g - 1))" ins="s_$((g - 1)).out"
      for (( k = 0; k < c; k++ )); do
        deps+=" t_${g}_$k"
        ins+="${ins:+, }t_${g}_$k.out"
      done
      echo "s_$g:$deps {"
      echo "  in = [$ins]"
      echo "  ^out = P\"(out/s_$g.txt)\""
      echo '  cmdline = "cat ${in} > ${out}"'
      echo "}"
      for (( k = 0; k < c; k++ )); do
        echo "t_${g}_$k: {"
        echo "  ^out = P\"(out/t_${g}_$k.txt)\""
        echo "  cmdline = \"echo t_${g}_$k > \${out}\""
        echo "}"
      done
    done
  } > "$d/zarn.txt"
}

gen_ninja() {
  local d=$1 g k c ins
  mkdir -p "$d/out"
  {
    echo "rule write"
    echo '  command = echo $name > $out'
    echo "rule cat"
    echo '  command = cat $in > $out'
    for (( g = 0; g < groups; g++ )); do
      c=$(leaf_count "$g")
      ins=""
      (( g > 0 )) && ins=" out/s_$((g - 1)).txt"
      for (( k = 0; k < c; k++ )); do
        echo "build out/t_${g}_$k.txt: write"
        echo "  name = t_${g}_$k"
        ins+=" out/t_${g}_$k.txt"
      done
      echo "build out/s_$g.txt: cat$ins"
    done
    echo "build out/all.txt: cat out/$last.txt"
    echo "build all: phony out/all.txt"
    echo "default all"
  } > "$d/build.ninja"
}

gen_make() {
  local d=$1 g k c ins
  mkdir -p "$d/out"
  {
    echo ".PHONY: all"
    echo "all: out/all.txt"
    echo "out/all.txt: out/$last.txt"
    printf '\tcat $^ > $@\n'
    for (( g = 0; g < groups; g++ )); do
      c=$(leaf_count "$g")
      ins=""
      (( g > 0 )) && ins=" out/s_$((g - 1)).txt"
      for (( k = 0; k < c; k++ )); do
        echo "out/t_${g}_$k.txt:"
        printf '\techo t_%s_%s > $@\n' "$g" "$k"
        ins+=" out/t_${g}_$k.txt"
      done
      echo "out/s_$g.txt:$ins"
      printf '\tcat $^ > $@\n'
    done
  } > "$d/Makefile"
}

gen_zarn "$work/zarn"
gen_ninja "$work/ninja"
gen_make "$work/make"

q() { printf '%q' "$1"; }
# hyperfine runs from the zarn project (zarn has no directory option) without a
# shell in between, so no shell start-up is measured; ninja and make get -C.
zarn_build="$(q "$zarn") -j $jobs"
ninja_build="ninja -C $(q "$work/ninja") -j $jobs"
make_build="make -C $(q "$work/make") --no-print-directory -j $jobs"
zarn_clean="bash -c $(q "rm -f $(q "$work/zarn")/out/*.txt $(q "$work/zarn")/.zarn_cache")"
ninja_clean="bash -c $(q "rm -f $(q "$work/ninja")/out/*.txt $(q "$work/ninja")/.ninja_log $(q "$work/ninja")/.ninja_deps")"
make_clean="bash -c $(q "rm -f $(q "$work/make")/out/*.txt")"
cd "$work/zarn"

# Outputs present and their stamps, one line per file.
stamps() { find "$1/out" -name '*.txt' -printf '%p %T@\n' | sort; }

# Each tool must build every output, and a second run must rewrite none.
check_tool() {
  local name=$1 dir=$2 clean=$3 build=$4 count before after changed
  eval "$clean"
  eval "$build" > "$work/$name.first.log" 2>&1 || {
    echo "$name: full build failed, see below" >&2; cat "$work/$name.first.log" >&2; exit 1; }
  count=$(stamps "$dir" | wc -l)
  if (( count != total )); then
    echo "$name: full build made $count of $total outputs" >&2; exit 1
  fi
  before=$(stamps "$dir")
  sleep 0.05
  eval "$build" > "$work/$name.noop.log" 2>&1 || {
    echo "$name: no-op build failed" >&2; cat "$work/$name.noop.log" >&2; exit 1; }
  after=$(stamps "$dir")
  changed=$(diff <(echo "$before") <(echo "$after") | grep -c '^>' || true)
  if (( changed > 0 )); then
    echo "WARNING: $name rewrote $changed of $total outputs on a no-op run" >&2
  fi
}

echo "project: $n leaf targets in $groups groups, $total commands; -j $jobs; zarn: $zarn"
check_tool zarn "$work/zarn" "$zarn_clean" "$zarn_build"
check_tool ninja "$work/ninja" "$ninja_clean" "$ninja_build"
check_tool make "$work/make" "$make_clean" "$make_build"
for tool in ninja make; do
  cmp -s "$work/zarn/out/all.txt" "$work/$tool/out/all.txt" || {
    echo "zarn and $tool built different out/all.txt" >&2; exit 1; }
done

hf=(hyperfine -N --style basic --warmup "$warmup")

echo "== full build from clean"
"${hf[@]}" --runs "$runs" \
  --export-json "$results/full.json" --export-markdown "$results/full.md" --export-csv "$results/full.csv" \
  --prepare "$zarn_clean" -n zarn "$zarn_build" \
  --prepare "$ninja_clean" -n ninja "$ninja_build" \
  --prepare "$make_clean" -n make "$make_build"

# The last prepared run left every tree fully built; the no-op runs start there.
echo "== no-op rebuild"
"${hf[@]}" --runs "$runs" \
  --export-json "$results/noop.json" --export-markdown "$results/noop.md" --export-csv "$results/noop.csv" \
  -n zarn "$zarn_build" -n ninja "$ninja_build" -n make "$make_build"

echo "== start-up"
"${hf[@]}" --runs "$startup_runs" \
  --export-json "$results/startup.json" --export-markdown "$results/startup.md" --export-csv "$results/startup.csv" \
  -n zarn "$zarn --version" -n ninja "ninja --version" -n make "make --version"

# One statistic (CSV column: 2 mean, 4 median) of one command, in seconds.
stat_of() { awk -F, -v c="$2" -v col="$3" 'NR > 1 && $1 == c { print $col }' "$results/$1.csv"; }

{
  for stat in mean:2 median:4; do
    echo
    echo "${stat%:*} times ($n leaf targets, $total commands, -j $jobs; $(nproc) cores)"
    printf '%-9s %10s %10s %10s %11s %10s\n' benchmark "zarn ms" "ninja ms" "make ms" zarn/ninja zarn/make
    for b in full noop startup; do
      z=$(stat_of "$b" zarn "${stat#*:}") nj=$(stat_of "$b" ninja "${stat#*:}") mk=$(stat_of "$b" make "${stat#*:}")
      awk -v b="$b" -v z="$z" -v n="$nj" -v m="$mk" 'BEGIN {
        printf "%-9s %10.2f %10.2f %10.2f %11.2f %10.2f\n", b, z * 1000, n * 1000, m * 1000, z / n, z / m }'
    done
  done
} | tee "$results/summary.txt"
echo "exports in $results"
