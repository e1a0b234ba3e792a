#!/usr/bin/env bash
# Soaks the plug-in DLL in the test host under Wine.  Usage: tools/soak.sh [SECONDS] (default 600)
#   tools/soak.sh 14400   # four hours
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
build="${DRELVANT_WINDOWS_BUILD:-$here/build/windows}"
"$here/tools/wine-run.sh" --init
"$here/tools/wine-run.sh" "$build/soak_host.exe" "$build/dsp_drelvant.dll" "$seconds"
