#!/usr/bin/env bash
# Soaks the plug-in DLL in the test host under Wine.
#   Usage: tools/soak.sh [SECONDS [SPEED]] [--all-formats]
#   tools/soak.sh             # ten minutes, blocks as fast as the plug-in takes them
#   tools/soak.sh 14400 1     # four hours fed at real time, as a player would
#   tools/soak.sh 600 0 --all-formats  # "Process all formats" on, the format changing between blocks
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
build="${DRELVANT_WINDOWS_BUILD:-$here/build/windows}"
"$here/tools/wine-run.sh" --init
"$here/tools/wine-run.sh" "$build/soak_host.exe" "$build/dsp_drelvant.dll" "$seconds" "${@:2}"
