#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds both targets and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/setup.sh
cmake --preset native
cmake --build --preset native
cmake --preset windows
cmake --build --preset windows
ctest --preset native
ctest --preset windows
