#!/usr/bin/env bash
# Sets up a fresh machine: installs the packages, builds zarn and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/packages.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
build/zarn --version
# The main job: list and build the bundled example project.
(cd examples && ../build/zarn -u && ../build/zarn)
