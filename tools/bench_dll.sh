#!/usr/bin/env bash
# The DLL's speed under Wine: a programme through winamp_host.exe with factory preset F1 (as user
# slot 1), best of N, minus the time of the same run on one second of audio (Wine's start-up).
#
# Usage: tools/bench_dll.sh [WINDOWS_BUILD] [PROGRAMME.raw] [RUNS]
#   WINDOWS_BUILD  folder with dsp_drelvant.dll and winamp_host.exe (default build/windows)
#   PROGRAMME      16-bit stereo 44.1 kHz raw; made by tools/make_programme.py (180 s) if missing
#   RUNS           runs, the best one counts (default 3)
# Uses the Wine prefix and display of tools/wine-run.sh (DRELVANT_WINEPREFIX,
# DRELVANT_DISPLAY_NUMBER); run `tools/wine-run.sh --init` once before if the prefix is new.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build/windows}" && pwd)"
programme="${2:-}"
runs="${3:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [[ -z "$programme" ]]; then
  programme="$work/programme.raw"
  /usr/bin/python3 "$here/tools/make_programme.py" "$programme" 180 14
fi
head -c $((44100 * 4)) "$programme" > "$work/one_second.raw"
prefix="${DRELVANT_WINEPREFIX:-/tmp/drelvant-wine-$(id -u)}"
windir="$prefix/drive_c/windows"
sed 's/^Filename: .*/Filename: DV_Preset01.ini/' "$here/resources/presets/F1.txt" > "$windir/DV_Preset01.ini"
printf 'Drelvant\r\nThis is a settings file for Drelvant v1.20\r\nFilename: dsp_Drelvant.ini\r\n-----------------------------------------\r\nGeneral.StartupPreset          = 1\r\n' \
  > "$windir/dsp_Drelvant.ini"
trap 'rm -rf "$work" "$windir/DV_Preset01.ini" "$windir/dsp_Drelvant.ini"' EXIT

best_of() {
  local best=""
  for ((i = 0; i < runs; i++)); do
    local start end t
    start=$(date +%s.%N)
    "$here/tools/wine-run.sh" "$build/winamp_host.exe" "$build/dsp_drelvant.dll" "$1" "$work/out.raw" 576 >/dev/null
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    if [[ -z "$best" ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$t"; fi
  done
  echo "$best"
}

seconds=$(awk -v b="$(stat -c %s "$programme")" 'BEGIN { printf "%.1f", b / 4 / 44100 }')
startup=$(best_of "$work/one_second.raw")
whole=$(best_of "$programme")
awk -v w="$whole" -v s="$startup" -v a="$seconds" 'BEGIN {
  p = w - s
  printf "DLL under Wine, F1: %.1f s of audio in %.3f s (%.3f s less %.3f s start-up): %.1fx real time\n", a, p, w, s, (a - 1) / p
}'
