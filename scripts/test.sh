#!/usr/bin/env bash
# Builds everything and runs every test through CTest, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
cd build
jobs=$(nproc)
QT_QPA_PLATFORM=offscreen SDL_VIDEODRIVER=offscreen ctest -j"$jobs" --output-on-failure --timeout 900
