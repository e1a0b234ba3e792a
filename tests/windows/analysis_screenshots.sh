#!/usr/bin/env bash
# Screenshots of the oscilloscope, spectrum analyser, response plot and manual windows under Wine and Xvfb.
#   tests/windows/analysis_screenshots.sh [BUILD_DIR] [OUTPUT_DIR] [SWEEP_SECONDS]
# BUILD_DIR holds dsp_drelvant.dll from the Windows build (default build/windows). The driver
# (tools/analysis_driver.cpp) is compiled here with the cross compiler. It plays a 1 kHz tone
# through the plug-in, stops, and starts a frequency response sweep with a click on the plot;
# at each stage this script captures the whole virtual screen:
#   OUTPUT_DIR/analysis_playing.png   tone playing; a click on the plot was refused
#   OUTPUT_DIR/analysis_stopped.png   playback stopped; the plot offers the sweep
#   OUTPUT_DIR/analysis_sweeping.png  the sweep part-way through
#   OUTPUT_DIR/analysis_swept.png     after the sweep (SWEEP_SECONDS later, default 20)
# Uses DRELVANT_WINEPREFIX and DRELVANT_DISPLAY_NUMBER like tools/wine-run.sh (defaults
# /tmp/drelvant-shots-wine and 93); the prefix is created on first use.
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build_dir="$(cd "${1:-$source_dir/build/windows}" && pwd)"
output_dir="${2:-$build_dir/screenshots}"
sweep_seconds="${3:-20}"
export DRELVANT_WINEPREFIX="${DRELVANT_WINEPREFIX:-/tmp/drelvant-shots-wine}"
export DRELVANT_DISPLAY_NUMBER="${DRELVANT_DISPLAY_NUMBER:-93}"
run="$source_dir/tools/wine-run.sh"

dll="$build_dir/dsp_drelvant.dll"
[ -f "$dll" ] || { echo "no $dll: build the Windows target dsp_drelvant first" >&2; exit 1; }
mkdir -p "$output_dir"
driver="$build_dir/analysis_driver.exe"
i686-w64-mingw32-g++-posix -std=c++20 -O2 -static -ffp-contract=off -msse2 -mfpmath=sse -mstackrealign \
  -I"$source_dir" "$source_dir/tools/analysis_driver.cpp" -o "$driver" -luser32 -lgdi32

handshake="$(mktemp -d /tmp/drelvant-shots.XXXXXX)"
trap 'rm -rf "$handshake"' EXIT
"$run" --init
export DISPLAY=":$DRELVANT_DISPLAY_NUMBER"

# A fresh settings file each run, so the console opens with the factory start-up preset.
rm -f "$DRELVANT_WINEPREFIX/drive_c/windows/dsp_Drelvant.ini"

"$run" "$driver" "$dll" "Z:${handshake//\//\\}" "$sweep_seconds" &
driver_pid=$!
limit=$(( (${sweep_seconds%.*} + 120) * 5 ))  # polls of 0.2 s
for stage in playing stopped sweeping swept; do
  waited=0
  until [ -e "$handshake/$stage.ready" ]; do
    sleep 0.2
    waited=$((waited + 1))
    if [ "$waited" -gt "$limit" ]; then
      echo "the driver never reached stage $stage" >&2
      kill "$driver_pid" 2>/dev/null || true
      exit 1
    fi
  done
  sleep 0.3
  import -window root "$output_dir/analysis_$stage.png"
  touch "$handshake/$stage.done"
  echo "captured $output_dir/analysis_$stage.png"
done
wait "$driver_pid"
