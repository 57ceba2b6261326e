#!/usr/bin/env bash
# Times zarn against ninja and make on one generated C project built with the
# machine's GNU toolchain: N C files compiled to objects, archived into a
# static library, and a program linked against it. Full build, no-op
# rebuild, and zarn's start-up with and without a "gnu-gcc" tool definition.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: bench/c_project.sh [options]
  -n N      number of C files of the library (default 200)
  -j J      job count given to all three tools (default 8)
  -r R      timed runs of each build benchmark (default 5)
  -s S      timed runs of the start-up benchmark (default 50)
  -w W      warm-up runs (default 1)
  -o DIR    where the hyperfine exports go (default bench/results/c)
  -k        keep the generated projects (their path is printed)
  -h        this text
The zarn binary is $ZARN, else build/zarn of this checkout.
EOF
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

n=200 jobs=8 runs=5 startup_runs=50 warmup=1 keep=0
results="$here/results/c"
while getopts "n:j:r:s:w:o:kh" opt; do
  case "$opt" in
    n) n=$OPTARG ;;
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
for v in "$n" "$jobs" "$runs" "$startup_runs" "$warmup"; do
  [[ "$v" =~ ^[0-9]+$ ]] || { echo "not a number: $v" >&2; exit 2; }
done
(( n >= 1 && jobs >= 1 && runs >= 2 && startup_runs >= 2 )) || {
  echo "need -n, -j >= 1 and -r, -s >= 2" >&2; exit 2; }

zarn=${ZARN:-$root/build/zarn}
[[ "$zarn" = /* ]] || zarn="$PWD/$zarn"
for tool in "$zarn" ninja make hyperfine gcc ar; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

mkdir -p "$results"
results=$(cd "$results" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zarn-cbench.XXXXXX")
if (( keep )); then
  echo "projects kept in $work"
else
  trap 'rm -rf "$work"' EXIT
fi

# Two homes: one whose registry defines the machine's GNU toolchain, one
# with an empty registry, for the start-up comparison.
gnu_home="$work/home-gnu" bare_home="$work/home-bare"
mkdir -p "$gnu_home/.config/zarn" "$bare_home/.config/zarn"
printf 'tools {\n  gnu {\n    tool_type = "gnu-gcc"\n    toolchain_path = "/usr/bin"\n  }\n}\n' \
  > "$gnu_home/.config/zarn/.zarn_registry.txt"
: > "$bare_home/.config/zarn/.zarn_registry.txt"
export HOME="$gnu_home"

# The same sources in each tree: src/fK.c defines fK, main.c sums them all.
gen_sources() {
  local d=$1 k
  mkdir -p "$d/src"
  for (( k = 0; k < n; k++ )); do
    printf 'int f%d(int x) { int s = 0; for (int i = 0; i < x; ++i) s += i * %d; return s; }\n' "$k" "$k" \
      > "$d/src/f$k.c"
  done
  {
    echo '#include <stdio.h>'
    for (( k = 0; k < n; k++ )); do echo "int f$k(int);"; done
    echo 'int main(void) { long s = 0;'
    for (( k = 0; k < n; k++ )); do echo "  s += f$k(3);"; done
    echo '  printf("%ld\n", s); return 0; }'
  } > "$d/main.c"
}

gen_zarn() {
  local d=$1
  gen_sources "$d"
  cat > "$d/zarn.txt" <<'EOF'
unit bench
app: core {
  C_FILES = P"(main.c)"
  C_FLAGS = "-O1"
  LIB = core.lib
}
core: +parts {
  OBJS
  OUTPUT_NAME = "libgen.a"
}
parts: {
  C_FILES = P"(src/*.c)"
  C_FLAGS = "-O1 -c"
}
EOF
}

gen_ninja() {
  local d=$1 k objs=""
  gen_sources "$d"
  {
    echo 'rule cc'
    echo '  command = gcc -O1 -c $in -o $out'
    echo 'rule ar'
    echo '  command = rm -f $out && ar rcs $out $in'
    echo 'rule link'
    echo '  command = gcc -O1 $in -o $out'
    for (( k = 0; k < n; k++ )); do
      echo "build obj/f$k.o: cc src/f$k.c"
      objs+=" obj/f$k.o"
    done
    echo "build libgen.a: ar$objs"
    echo 'build app: link main.c libgen.a'
    echo 'default app'
  } > "$d/build.ninja"
}

gen_make() {
  local d=$1
  gen_sources "$d"
  {
    echo "OBJS := \$(patsubst src/%.c,obj/%.o,\$(wildcard src/*.c))"
    echo 'app: main.c libgen.a'
    printf '\tgcc -O1 $^ -o $@\n'
    echo 'libgen.a: $(OBJS)'
    printf '\trm -f $@ && ar rcs $@ $^\n'
    echo 'obj/%.o: src/%.c | obj'
    printf '\tgcc -O1 -c $< -o $@\n'
    echo 'obj:'
    printf '\tmkdir -p obj\n'
  } > "$d/Makefile"
}

gen_zarn "$work/zarn"
gen_ninja "$work/ninja"
gen_make "$work/make"

q() { printf '%q' "$1"; }
zarn_build="$(q "$zarn") -j $jobs"
ninja_build="ninja -C $(q "$work/ninja") -j $jobs"
make_build="make -C $(q "$work/make") --no-print-directory -j $jobs"
zarn_clean="bash -c $(q "rm -rf $(q "$work/zarn")/out $(q "$work/zarn")/.zarn_cache")"
ninja_clean="bash -c $(q "rm -rf $(q "$work/ninja")/obj $(q "$work/ninja")/libgen.a $(q "$work/ninja")/app $(q "$work/ninja")/.ninja_log $(q "$work/ninja")/.ninja_deps")"
make_clean="bash -c $(q "rm -rf $(q "$work/make")/obj $(q "$work/make")/libgen.a $(q "$work/make")/app")"
cd "$work/zarn"

# Each tool must build a program that prints the same sum, and a no-op run
# must leave the program alone.
check_tool() {
  local name=$1 program=$2 clean=$3 build=$4 before after
  eval "$clean"
  eval "$build" > "$work/$name.first.log" 2>&1 || {
    echo "$name: full build failed, see below" >&2; cat "$work/$name.first.log" >&2; exit 1; }
  [[ -x "$program" ]] || { echo "$name: no program at $program" >&2; exit 1; }
  "$program" > "$work/$name.sum"
  before=$(stat -c %Y.%y "$program")
  sleep 0.05
  eval "$build" > "$work/$name.noop.log" 2>&1 || {
    echo "$name: no-op build failed" >&2; cat "$work/$name.noop.log" >&2; exit 1; }
  after=$(stat -c %Y.%y "$program")
  [[ "$before" == "$after" ]] || echo "WARNING: $name relinked the program on a no-op run" >&2
}

# zarn's outputs lie below the toolchain's identity: arch-os-abi of its machine.
identity=$(gcc -dumpmachine | awk -F- '{ print $1 "-" $2 "-" $3 }')
zarn_program="$work/zarn/out/$identity/bench/app/app"
echo "project: $n C files, a static library and a program; -j $jobs; zarn: $zarn"
check_tool zarn "$zarn_program" "$zarn_clean" "$zarn_build"
check_tool ninja "$work/ninja/app" "$ninja_clean" "$ninja_build"
check_tool make "$work/make/app" "$make_clean" "$make_build"
for tool in ninja make; do
  cmp -s "$work/zarn.sum" "$work/$tool.sum" || { echo "zarn and $tool programs print different sums" >&2; exit 1; }
done

hf=(hyperfine -N --style basic --warmup "$warmup")

echo "== full build from clean"
"${hf[@]}" --runs "$runs" \
  --export-json "$results/full.json" --export-markdown "$results/full.md" --export-csv "$results/full.csv" \
  --prepare "$zarn_clean" -n zarn "$zarn_build" \
  --prepare "$ninja_clean" -n ninja "$ninja_build" \
  --prepare "$make_clean" -n make "$make_build"

echo "== no-op rebuild"
"${hf[@]}" --runs "$runs" \
  --export-json "$results/noop.json" --export-markdown "$results/noop.md" --export-csv "$results/noop.csv" \
  -n zarn "$zarn_build" -n ninja "$ninja_build" -n make "$make_build"

# "-l 1" lists the unit and ends: what remains is loading and tool creation,
# which for a "gnu-gcc" definition probes the toolchain.
echo "== start-up with and without a gnu-gcc definition"
"${hf[@]}" --runs "$startup_runs" \
  --export-json "$results/startup.json" --export-markdown "$results/startup.md" --export-csv "$results/startup.csv" \
  -n gnu "env HOME=$(q "$gnu_home") $(q "$zarn") -l 1" \
  -n none "env HOME=$(q "$bare_home") $(q "$zarn") -l 1"

stat_of() { awk -F, -v c="$2" -v col="$3" 'NR > 1 && $1 == c { print $col }' "$results/$1.csv"; }

{
  for stat in mean:2 median:4; do
    echo
    echo "${stat%:*} times ($n C files, -j $jobs; $(nproc) cores)"
    printf '%-9s %10s %10s %10s %11s %10s\n' benchmark "zarn ms" "ninja ms" "make ms" zarn/ninja zarn/make
    for b in full noop; do
      z=$(stat_of "$b" zarn "${stat#*:}") nj=$(stat_of "$b" ninja "${stat#*:}") mk=$(stat_of "$b" make "${stat#*:}")
      awk -v b="$b" -v z="$z" -v n="$nj" -v m="$mk" 'BEGIN {
        printf "%-9s %10.2f %10.2f %10.2f %11.2f %10.2f\n", b, z * 1000, n * 1000, m * 1000, z / n, z / m }'
    done
    g=$(stat_of startup gnu "${stat#*:}") none=$(stat_of startup none "${stat#*:}")
    awk -v g="$g" -v n="$none" 'BEGIN {
      printf "start-up (zarn -l 1): gnu-gcc definition %.2f ms, none %.2f ms, ratio %.2f\n", g * 1000, n * 1000, g / n }'
  done
} | tee "$results/summary.txt"
echo "exports in $results"
