#!/usr/bin/env bash
# Checks that two zarn binaries behave the same where a user or a stored file
# can see it: on generated projects, each binary makes a full build and then a
# no-op rebuild at "-v 0"; the outputs on the console, the exit statuses and
# the .zarn_cache written must be byte-identical. Also a no-op of each binary
# on the cache the other one wrote.
# usage: bench/same_output.sh BASE_ZARN [NEW_ZARN]   (NEW_ZARN: build/zarn)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
base=${1:?usage: bench/same_output.sh BASE_ZARN [NEW_ZARN]}
new=${2:-$root/build/zarn}
work=$(mktemp -d "${TMPDIR:-/tmp}/zarn-same.XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
mkdir -p "$HOME"
failures=0

# A project with lists, context values from dependencies, a "+" dependency,
# raw strings, integers and quotes, besides the flat graph.
mixed() {
  local d=$1
  mkdir -p "$d/src" "$d/out"
  echo a > "$d/src/a.txt"; echo b > "$d/src/b.txt"
  cat > "$d/zarn.txt" <<'UNIT'
unit mixed

all: gen +pair => p copy {
  ^out = P"(out/all.txt)"
  in = [gen.out, p.out]
  n = 42
  raw = R"(say "hi" (twice) now)"
  cmdline = "cat ${in} > ${out}"
}
gen: {
  ^out = P"(out/gen.txt)"
  cmdline = "echo 'generated' > ${out}"
}
pair: {
  srcs = [P"(src/a.txt)", P"(src/b.txt)"]
  ^out = P"(out/pair.txt)"
  cmdline = "cat ${srcs} > ${out}"
}
copy: {
  src = P"(src/*.txt)"
  ^out = P"(out/copy.txt)"
  cmdline = ["cat ${src} > ${out}", "true"]
}
UNIT
}

# Runs a binary in a directory; its output, status and cache go to a prefix.
run() {
  local bin=$1 dir=$2 out=$3
  set +e
  (cd "$dir" && "$bin" -v 0 > "$out.log" 2>&1)
  echo $? > "$out.status"
  set -e
  cp "$dir/.zarn_cache" "$out.cache" 2>/dev/null || : > "$out.cache"
}

same() {
  local detail=""
  case "$2" in *.status) detail=" (exit $(cat "$2"))" ;; *.cache) detail=" ($(wc -c < "$2") bytes)" ;; *.log) detail=" ($(wc -l < "$2") lines)" ;; esac
  local what=$1 a=$2 b=$3
  if cmp -s "$a" "$b"; then
    echo "same: $what$detail"
  else
    echo "DIFFERENT: $what"; diff <(head -c 4000 "$a") <(head -c 4000 "$b") | head -20 || true
    failures=$((failures + 1))
  fi
}

# Both binaries run in the same directory, since paths show in logs and cache.
check_project() {
  local name=$1 src=$2 who bin
  for who in base new; do
    bin=$base; [[ $who == new ]] && bin=$new
    rm -rf "$work/$name-run"; cp -a "$src" "$work/$name-run"
    run "$bin" "$work/$name-run" "$work/$name.$who.full"
    sleep 0.05
    run "$bin" "$work/$name-run" "$work/$name.$who.noop"
  done
  for step in full noop; do
    for part in log status cache; do
      same "$name $step $part" "$work/$name.base.$step.$part" "$work/$name.new.$step.$part"
    done
  done
  # The new binary on the cache the old one wrote: still a no-op, same cache.
  cp "$work/$name.base.noop.cache" "$work/$name-run/.zarn_cache"
  run "$new" "$work/$name-run" "$work/$name.cross"
  same "$name new binary on base cache: log" "$work/$name.base.noop.log" "$work/$name.cross.log"
  same "$name new binary on base cache: cache" "$work/$name.base.noop.cache" "$work/$name.cross.cache"
}

"$here/gen_flat.sh" "$work/flat" 300
check_project flat "$work/flat/zarn"
mixed "$work/mixed"
check_project mixed "$work/mixed"
# A defective cache: the same warning and the same rebuild.
for who in base new; do
  bin=$base; [[ $who == new ]] && bin=$new
  rm -rf "$work/bad-run"; cp -a "$work/flat/zarn" "$work/bad-run"
  (cd "$work/bad-run" && "$base" -v 0 > /dev/null 2>&1 || true)
  sed -i '5s/.*/A x 0/' "$work/bad-run/.zarn_cache"
  run "$bin" "$work/bad-run" "$work/bad.$who"
done
for part in log status cache; do same "defective cache $part" "$work/bad.base.$part" "$work/bad.new.$part"; done

# Broken unit files: the lexer's and the parser's messages, in their order.
deep=$(printf '%.0s[' {1..300})
broken=(
  't: { a = $x b = "y" } u: { c = 1 2 } # v: {'
  't: { a = [1, 2,] b = R"(x) } c = P"(y" } ` w: {'
  "t: { a = $deep }"
  't: { a = 1 } t: { b = 2 }'
)
for i in "${!broken[@]}"; do
  for who in base new; do
    bin=$base; [[ $who == new ]] && bin=$new
    rm -rf "$work/broken-run"; mkdir -p "$work/broken-run"
    printf '%s\n' "${broken[$i]}" > "$work/broken-run/zarn.txt"
    run "$bin" "$work/broken-run" "$work/broken$i.$who"
  done
  for part in log status; do same "broken unit file $i $part" "$work/broken$i.base.$part" "$work/broken$i.new.$part"; done
done

if (( failures )); then echo "$failures difference(s)"; exit 1; fi
echo "no differences"
