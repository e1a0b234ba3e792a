#!/usr/bin/env bash
# The DLL's speed under Wine: a programme through winamp_host.exe with factory preset F1 (as user
# slot 1), best of N, minus the time of the same run on one second of audio (Wine's start-up).
#
# Usage: tools/bench_dll.sh [WINDOWS_BUILD] [PROGRAMME.raw] [RUNS] [RATE:BITS:CHANNELS]
#   WINDOWS_BUILD  folder with dsp_drelvant.dll and winamp_host.exe (default build/windows)
#   PROGRAMME      16-bit stereo 44.1 kHz raw; made by tools/make_programme.py (180 s) if missing
#   RUNS           runs, the best one counts (default 3)
#   RATE:BITS:CHANNELS  another format (e.g. 48000:24:2): the programme converted to it with sox,
#                  and the plug-in started with "Process all formats" on
# Uses the Wine prefix and display of tools/wine-run.sh (DRELVANT_WINEPREFIX,
# DRELVANT_DISPLAY_NUMBER); run `tools/wine-run.sh --init` once before if the prefix is new.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build/windows}" && pwd)"
programme="${2:-}"
runs="${3:-3}"
format="${4:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [[ -z "$programme" ]]; then
  programme="$work/programme.raw"
  /usr/bin/python3 "$here/tools/make_programme.py" "$programme" 180 14
fi
rate=44100; bits=16; channels=2; all_formats=""
if [[ -n "$format" ]]; then
  IFS=: read -r rate bits channels <<< "$format"
  encoding=signed-integer; [[ "$bits" = 8 ]] && encoding=unsigned-integer
  sox -t raw -r 44100 -c 2 -b 16 -e signed-integer "$programme" -t raw -r "$rate" -c "$channels" -b "$bits" \
    -e "$encoding" "$work/converted.raw"
  programme="$work/converted.raw"
  all_formats='General.ProcessAllFormats      = 1\r\n'
fi
frame_bytes=$((bits / 8 * channels))
head -c $((rate * frame_bytes)) "$programme" > "$work/one_second.raw"
prefix="${DRELVANT_WINEPREFIX:-/tmp/drelvant-wine-$(id -u)}"
windir="$prefix/drive_c/windows"
sed 's/^Filename: .*/Filename: DV_Preset01.ini/' "$here/resources/presets/F1.txt" > "$windir/DV_Preset01.ini"
printf 'Drelvant\r\nThis is a settings file for Drelvant v1.20\r\nFilename: dsp_Drelvant.ini\r\n-----------------------------------------\r\nGeneral.StartupPreset          = 1\r\n'"$all_formats" \
  > "$windir/dsp_Drelvant.ini"
trap 'rm -rf "$work" "$windir/DV_Preset01.ini" "$windir/dsp_Drelvant.ini"' EXIT

best_of() {
  local best=""
  for ((i = 0; i < runs; i++)); do
    local start end t
    start=$(date +%s.%N)
    "$here/tools/wine-run.sh" "$build/winamp_host.exe" "$build/dsp_drelvant.dll" "$1" "$work/out.raw" 576 "$bits" "$channels" "$rate" >/dev/null
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    if [[ -z "$best" ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$t"; fi
  done
  echo "$best"
}

seconds=$(awk -v b="$(stat -c %s "$programme")" -v f="$frame_bytes" -v r="$rate" 'BEGIN { printf "%.1f", b / f / r }')
startup=$(best_of "$work/one_second.raw")
whole=$(best_of "$programme")
awk -v w="$whole" -v s="$startup" -v a="$seconds" 'BEGIN {
  p = w - s
  printf "DLL under Wine, F1, '"$rate"' Hz '"$bits"'-bit '"$channels"' ch: %.1f s of audio in %.3f s (%.3f s less %.3f s start-up): %.1fx real time\n", a, p, w, s, (a - 1) / p
}'
