#!/usr/bin/env bash
# Builds and starts Sevrin in run/ (its working and application directory),
# with one simulated USB camera and one simulated network camera unless
# SEVRIN_SIM_USB / SEVRIN_SIM_NET are already set. Real V4L2 cameras are
# listed beside them. The simulated stage pans while stitching runs
# (SEVRIN_SIM_STAGE=pan), and run/plug unplugs simulated cameras
# (SEVRIN_SIM_PLUG; see the README's Cameras section).
set -euo pipefail
cd "$(dirname "$0")/.."
# The program alone: it needs nothing else that the build makes (its
# pictures and font are compiled into it).
bash scripts/build.sh Sevrin
mkdir -p run
export SEVRIN_APP_DIR="$PWD/run"
export SEVRIN_SIM_USB="${SEVRIN_SIM_USB-4}"
export SEVRIN_SIM_NET="${SEVRIN_SIM_NET-0@192.168.1.10}"
export SEVRIN_SIM_STAGE="${SEVRIN_SIM_STAGE-pan}"
export SEVRIN_SIM_PLUG="${SEVRIN_SIM_PLUG-$PWD/run/plug}"
cd run
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting Sevrin inside a virtual X server (xvfb-run)."
  exec xvfb-run -a -s "-screen 0 1920x1080x24" ../build/Sevrin
fi
exec ../build/Sevrin
