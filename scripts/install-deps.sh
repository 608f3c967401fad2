#!/usr/bin/env bash
# Installs every Debian 12 package that Vidorel, its tests and its benchmarks need.
# Idempotent: packages already present are skipped, so a second run costs a dpkg query.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache clang-format
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstreamer-plugins-bad1.0-dev
    gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly gstreamer1.0-libav
    gstreamer1.0-alsa gstreamer1.0-pulseaudio gstreamer1.0-x gstreamer1.0-plugins-base-apps
    libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
    libjpeg62-turbo-dev libiec61883-dev libavc1394-dev libraw1394-dev
    libasound2-dev libpulse-dev libudev-dev libv4l-dev
    fonts-liberation2 xvfb xauth ffmpeg mediainfo
    libgtest-dev libgmock-dev libbenchmark-dev
    desktop-file-utils appstream groff-base file dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages present"
    exit 0
fi

echo "install-deps: installing ${#missing[@]} packages: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
