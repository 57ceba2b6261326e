#!/usr/bin/env bash
# Installs the Debian packages zarn needs, when any is missing. Idempotent.
set -euo pipefail
PACKAGES=(cmake g++ make ninja-build libgtest-dev libgmock-dev libfmt-dev libantlr4-runtime-dev antlr4 hyperfine distcc)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
