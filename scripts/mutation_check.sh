#!/usr/bin/env bash
# Breaks the code in many places, one at a time, and records which breaks the
# test suite catches.
#
#   scripts/mutation_check.sh [-c] [-r REV] [-w SCRATCH] [-o RESULTS] [MUTATIONS]
#
# MUTATIONS (default scripts/mutations.txt) holds one mutation a line:
#   id ||| file ||| exact search text ||| replacement
# with "<NL>" standing for a line break. Each runs in a scratch git worktree of
# REV (default HEAD) with its own incremental build directory, so the working
# tree is never touched: apply, rebuild, ctest, restore. RESULTS gets one line
# a mutation: "id caught <first failing tests>", "id missed", "id build-error"
# or "id no-match". -c only checks that every search text occurs exactly once.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rev=HEAD scratch=/work/wt/mut-$(basename "$root") results="" check=0
while getopts "cr:w:o:" opt; do
  case $opt in
    c) check=1 ;;
    r) rev=$OPTARG ;;
    w) scratch=$OPTARG ;;
    o) results=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
mutations=$(realpath "${1:-$root/scripts/mutations.txt}")
jobs=${MUTATION_JOBS:-4}

# apply <tree> <line> [check]: 0 applied (or would apply), 3 no unique match.
apply() {
  python3 - "$1" "$2" "${3:-}" <<'PY'
import sys
tree, line, check = sys.argv[1], sys.argv[2], sys.argv[3]
ident, path, search, replace = [p.strip() for p in line.split("|||")]
search, replace = search.replace("<NL>", "\n"), replace.replace("<NL>", "\n")
full = f"{tree}/{path}"
try:
    text = open(full).read()
except OSError:
    sys.exit(3)
if text.count(search) != 1:
    sys.exit(3)
if not check:
    open(full, "w").write(text.replace(search, replace))
PY
}

lines() { grep -v '^\s*#' "$mutations" | grep '|||' || true; }

if [ "$check" = 1 ]; then
  bad=0
  while IFS= read -r line; do
    id=${line%%|||*}
    apply "$root" "$line" check || { echo "no unique match: $id"; bad=1; }
  done < <(lines)
  exit $bad
fi

if [ ! -e "$scratch/.git" ]; then
  git -C "$root" worktree add --detach "$scratch" "$rev" >/dev/null
else
  git -C "$scratch" checkout -q -f --detach "$(git -C "$root" rev-parse "$rev")"
  git -C "$scratch" clean -fdq -e /build
fi
build=$scratch/build
results=${results:-$scratch/mutation-results.txt}
: >"$results"

rebuild() { cmake --build "$build" -j "$jobs" >"$build/last-build.log" 2>&1; }
runtests() { ctest --test-dir "$build" -j "$jobs" --timeout 300 >"$build/last-ctest.log" 2>&1; }

cmake -S "$scratch" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
rebuild || { echo "the unmutated tree does not build" >&2; exit 1; }
runtests || { echo "the unmutated tree fails its tests" >&2; exit 1; }

while IFS= read -r line; do
  id=$(echo "${line%%|||*}" | xargs)
  file=$(echo "$line" | awk -F'\\|\\|\\|' '{print $2}' | xargs)
  if ! apply "$scratch" "$line"; then
    echo "$id no-match" | tee -a "$results"
    continue
  fi
  if ! rebuild; then
    outcome="build-error"
  elif runtests; then
    outcome="missed"
  else
    failed=$(grep -oE '[0-9]+ - [^ ]+' "$build/last-ctest.log" | awk '{print $3}' | head -3 | paste -sd, -)
    outcome="caught ${failed}"
  fi
  git -C "$scratch" checkout -q -- "$file"
  echo "$id $outcome" | tee -a "$results"
done < <(lines)
# Leave the build matching the unmutated tree.
rebuild || true
