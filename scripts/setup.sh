#!/usr/bin/env bash
# Installs every Debian package that building, running and testing need.
# Idempotent: packages already present are skipped quickly.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache git
  qtbase5-dev qt5-image-formats-plugins qtmultimedia5-dev libqt5multimedia5-plugins libqt5serialport5-dev libqt5svg5-dev
  libopencv-dev libopencv-contrib-dev libtbb-dev
  libsdl2-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
  libturbojpeg0-dev libjpeg62-turbo-dev libudev-dev libxcb1-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool imagemagick ffmpeg fonts-wqy-microhei
  python3 python3-openpyxl python3-pil libxml2-utils unzip acl
  clang enfuse libxlsxwriter-dev
  openbox qttranslations5-l10n
  libreoffice-calc-nogui libreoffice-writer-nogui libyuv-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
