#!/usr/bin/env bash
# Prints the size of the tests against the code: non-blank, non-comment lines
# of every file under tests/ (any extension) and of every file under src/.
# Comments are //, /* */ (C++, grammars) and # (CMake, shell, data files).
set -euo pipefail
cd "$(dirname "$0")/.."
python3 - "$@" <<'PY'
import os, re, sys

def count(path):
    try:
        text = open(path, encoding="utf-8", errors="replace").read()
    except OSError:
        return 0
    hash_comments = not path.endswith((".cpp", ".h", ".hpp", ".cc", ".g4"))
    n, in_block = 0, False
    for line in text.splitlines():
        s = line.strip()
        if in_block:
            if "*/" not in s:
                continue
            s = s.split("*/", 1)[1].strip()
            in_block = False
        if not hash_comments:
            while s.startswith("/*"):
                if "*/" in s[2:]:
                    s = s[2:].split("*/", 1)[1].strip()
                else:
                    in_block, s = True, ""
            if s.startswith("//"):
                s = ""
        elif s.startswith("#") and not s.startswith("#!"):
            s = ""
        if s:
            n += 1
    return n

def tree(root):
    total = 0
    for d, _, files in os.walk(root):
        for f in files:
            total += count(os.path.join(d, f))
    return total

tests, code = tree("tests"), tree("src")
print(f"tests {tests}  src {code}  ratio {100.0 * tests / code:.1f}%")
if "-v" in sys.argv:
    rows = []
    for d, _, files in os.walk("tests"):
        for f in files:
            p = os.path.join(d, f)
            rows.append((count(p), p))
    for n, p in sorted(rows):
        print(f"{n:6d} {p}")
PY
