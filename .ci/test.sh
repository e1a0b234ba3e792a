#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds both targets and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/setup.sh --all
cmake --preset native
cmake --build --preset native
cmake --preset windows
cmake --build --preset windows
# Release files: the Debian package and the checksums of it and the Windows installer.
cmake --build --preset native --target checksums
ctest --preset native
ctest --preset windows
# Sanitizer builds: a short run of every fuzz target and the threaded stress test.
cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz
cmake --preset tsan
cmake --build --preset tsan
ctest --preset tsan
