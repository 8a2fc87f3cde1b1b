#!/usr/bin/env bash
# Installs the packages, configures and builds into build/: the targets
# named (e.g. Sevrin), or everything, tests and benchmarks included.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build "$@"
