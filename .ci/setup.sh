#!/usr/bin/env bash
# Installs what the native build and `drelvant` need on a fresh Debian 12 machine; with --all,
# everything every build and test needs (Wine, MinGW, NSIS, PipeWire, ...). Safe to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
# The native build (its unit tests and the LV2 bundle included) and the program itself.
build=(cmake g++ ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
       libsndfile1-dev libsoxr-dev libcairo2-dev lv2-dev liblilv-dev
       libcpp-httplib-dev nlohmann-json3-dev libjack-jackd2-dev python3)
need=(cmake g++ ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
      libsndfile1-dev libsoxr-dev libcairo2-dev sox libsox-fmt-all ffmpeg python3 locales
      g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 wine64 xvfb xauth imagemagick
      clang libclang-rt-14-dev
      lv2-dev liblilv-dev lilv-utils sordi jalv jackd2 ffmpeg pipewire pipewire-bin
      nsis lintian dpkg-dev man-db zsh parallel rsync jq gdb
      # full: the LV2 hosts and stream recipes of tests/lv2/recipe_*.sh
      gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
      liquidsoap icecast2 wireplumber dbus-daemon curl
      # full: the console (HTTP server, JSON, JACK client, metrics check, browser test)
      libcpp-httplib-dev nlohmann-json3-dev libjack-jackd2-dev prometheus chromium)
if [ "${1:-}" != "--all" ]; then
  need=("${build[@]}")
elif ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -qq
fi
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
