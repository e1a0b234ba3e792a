#!/usr/bin/env bash
# Installs everything the builds and tests need on a fresh Debian 12 machine. Safe to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
need=(cmake g++ ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
      libsndfile1-dev libsoxr-dev libcairo2-dev sox libsox-fmt-all ffmpeg python3 locales
      g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 wine64 xvfb xauth imagemagick
      clang libclang-rt-14-dev
      lv2-dev liblilv-dev lilv-utils sordi jalv jackd2 ffmpeg pipewire pipewire-bin
      nsis lintian dpkg-dev man-db zsh parallel rsync jq gdb)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
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
