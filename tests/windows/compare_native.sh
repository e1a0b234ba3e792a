#!/usr/bin/env bash
# The DLL under Wine and the native build agree sample for sample (within one 16-bit step on a
# tiny fraction of samples, where the two C libraries round pow/sin/cos/sinh differently).
#   compare_native.sh WINDOWS_BUILD_DIR NATIVE_BUILD_DIR SOURCE_DIR
set -euo pipefail
windows="$1"; native="$2"; source="$3"
if [ ! -x "$native/drelvant" ] || [ ! -x "$native/compare_raw" ]; then
  echo "native build not found in $native: build it first (cmake --preset native)"; exit 77
fi
work="$(mktemp -d /tmp/drelvant-compare-XXXXXX)"
trap 'rm -rf "$work"' EXIT
prefix="${DRELVANT_WINEPREFIX:-/tmp/drelvant-wine-$(id -u)}"
windir="$prefix/drive_c/windows"

# Twelve seconds of programme-like audio: a chord with vibrato, pink noise bursts, a quiet passage.
sox -n -r 44100 -c 2 -b 16 -e signed-integer "$work/in.raw" \
  synth 12 sine 110-880 sine 220 pinknoise tremolo 3 60 gain -3 >/dev/null 2>&1

run_case() {
  local name="$1" preset="$2"
  "$native/drelvant" process "$work/in.raw" "$work/$name.native.raw" --preset "$preset" --seed 1 --keep-latency \
    --dir "$work" >/dev/null
  cp "$preset" "$windir/DV_Preset01.ini"
  printf 'Drelvant\r\nThis is a settings file for Drelvant v1.20\r\nFilename: dsp_Drelvant.ini\r\n-----------------------------------------\r\nGeneral.StartupPreset          = 1\r\n' \
    > "$windir/dsp_Drelvant.ini"
  "$source/tools/wine-run.sh" "$windows/winamp_host.exe" "$windows/dsp_drelvant.dll" "$work/in.raw" \
    "$work/$name.dll.raw" 576 >/dev/null
  rm -f "$windir/DV_Preset01.ini" "$windir/dsp_Drelvant.ini"
  echo -n "$name: "
  "$native/compare_raw" "$work/$name.native.raw" "$work/$name.dll.raw" 1 0.001
}

status=0
for preset in "$source"/tests/windows/presets/*.ini; do
  run_case "$(basename "$preset" .ini)" "$preset" || status=1
done
exit $status
