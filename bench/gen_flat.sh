#!/usr/bin/env bash
# Writes one project three ways (zarn, ninja, make) into DIR: N independent
# "command" targets that each copy src/inK.txt to out/zK.txt, under one top
# target. Usage: bench/gen_flat.sh DIR N
set -euo pipefail
dir=$1 n=$2
[[ "$n" =~ ^[0-9]+$ ]] && (( n >= 1 )) || { echo "not a count: $n" >&2; exit 2; }
for tool in zarn ninja make; do
  mkdir -p "$dir/$tool/src" "$dir/$tool/out"
  for (( k = 0; k < n; k++ )); do echo "input $k" > "$dir/$tool/src/in$k.txt"; done
done

{
  echo "unit flat"
  echo
  printf 'all:'
  for (( k = 0; k < n; k++ )); do printf ' t%d' "$k"; done
  echo ' {'
  echo '  NO_TOOL'
  echo '}'
  for (( k = 0; k < n; k++ )); do
    echo "t$k: {"
    echo "  src = P\"(src/in$k.txt)\""
    echo "  cmdline = \"cp \${src} out/z$k.txt\""
    echo "  ^o = P\"(out/z$k.txt)\""
    echo "}"
  done
} > "$dir/zarn/zarn.txt"

{
  echo "rule cp"
  echo '  command = cp $in $out'
  for (( k = 0; k < n; k++ )); do echo "build out/z$k.txt: cp src/in$k.txt"; done
  printf 'build all: phony'
  for (( k = 0; k < n; k++ )); do printf ' out/z%d.txt' "$k"; done
  echo
  echo "default all"
} > "$dir/ninja/build.ninja"

{
  echo ".PHONY: all"
  printf 'all:'
  for (( k = 0; k < n; k++ )); do printf ' out/z%d.txt' "$k"; done
  echo
  echo 'out/z%.txt: src/in%.txt'
  printf '\tcp $< $@\n'
} > "$dir/make/Makefile"
