#!/usr/bin/env bash
# "Process all formats" through the test host under Wine, with factory preset F1 without its dither
# (as user slot 1; the DLL seeds its generator from the clock, so dither would differ run to run):
# - switched on, every format of the list below at blocks of 1, 576 and 4,096 frames comes back
#   with as many frames, processed, the same for every block size, and within 0.5 LU of
#   `drelvant process` on the same audio (integrated loudness, ffmpeg's ebur128);
# - switched off, every format but 44.1 kHz 16-bit stereo comes back byte for byte, and that one
#   as the plug-in's exact path gives it (the same with the switch on, and as the native build).
#   all_formats.sh WINDOWS_BUILD_DIR NATIVE_BUILD_DIR SOURCE_DIR
set -euo pipefail
windows="$1"; native="$2"; source="$3"
if [ ! -x "$native/drelvant" ] || [ ! -x "$native/compare_raw" ]; then
  echo "native build not found in $native: build it first (cmake --preset native)"; exit 77
fi
work="$(mktemp -d /tmp/drelvant-formats-XXXXXX)"
prefix="${DRELVANT_WINEPREFIX:-/tmp/drelvant-wine-$(id -u)}"
windir="$prefix/drive_c/windows"
trap 'rm -rf "$work" "$windir/DV_Preset01.ini" "$windir/dsp_Drelvant.ini"' EXIT
sed 's/^Filename: .*/Filename: DV_Preset01.ini/' "$source/tests/windows/presets/f1_without_dither.ini" > "$work/F1.ini"

# RATE BPS CHANNELS
formats=(
  "44100 16 2" "44100 16 1" "44100 24 2" "44100 24 1" "48000 16 2" "48000 16 1" "48000 24 2" "48000 24 1"
  "8000 16 2" "22050 16 2" "32000 16 2" "88200 16 2" "96000 16 2" "192000 16 2"
)
blocks=(1 576 4096)

# Ten seconds of programme-like audio: a chord with vibrato, pink noise, a level that moves.
sox -n -r 44100 -c 2 -b 32 -e float "$work/master.wav" \
  synth 10 sine 110-880 sine 220 pinknoise tremolo 3 60 gain -6 >/dev/null 2>&1

encoding() { [ "$1" = 8 ] && echo unsigned-integer || echo signed-integer; }
ffmpeg_format() { case "$1" in 8) echo u8 ;; 16) echo s16le ;; 24) echo s24le ;; 32) echo s32le ;; esac; }
loudness() {  # FILE RATE BPS CHANNELS (raw) or FILE (wav)
  local input=(-i "$1")
  [ $# -gt 1 ] && input=(-f "$(ffmpeg_format "$3")" -ar "$2" -ac "$4" -i "$1")
  ffmpeg -hide_banner -nostats "${input[@]}" -af ebur128 -f null - 2>&1 |
    awk '/Integrated loudness:/ { getline; print $2 }' | tail -1
}
run_dll() {  # SWITCH IN OUT BLOCK BPS CHANNELS RATE
  cp "$work/F1.ini" "$windir/DV_Preset01.ini"
  {
    printf 'Drelvant\r\nThis is a settings file for Drelvant v1.20\r\nFilename: dsp_Drelvant.ini\r\n'
    printf -- '-----------------------------------------\r\nGeneral.StartupPreset          = 1\r\n'
    [ "$1" = on ] && printf 'General.ProcessAllFormats      = 1\r\n'
  } > "$windir/dsp_Drelvant.ini"
  "$source/tools/wine-run.sh" "$windows/winamp_host.exe" "$windows/dsp_drelvant.dll" "$2" "$3" "$4" "$5" "$6" "$7" \
    >/dev/null
}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for format in "${formats[@]}"; do
  read -r rate bps channels <<< "$format"
  name="${rate}Hz-${bps}bit-${channels}ch"
  in="$work/$name.raw"
  sox "$work/master.wav" -t raw -r "$rate" -c "$channels" -b "$bps" -e "$(encoding "$bps")" "$in"
  sox -t raw -r "$rate" -c "$channels" -b "$bps" -e "$(encoding "$bps")" "$in" "$work/$name.wav"

  # Switched on.
  for block in "${blocks[@]}"; do
    run_dll on "$in" "$work/$name.on.$block.raw" "$block" "$bps" "$channels" "$rate"
  done
  reference="$work/$name.on.576.raw"
  [ "$(stat -c %s "$reference")" = "$(stat -c %s "$in")" ] || fail "$name: output length differs from the input's"
  cmp -s "$reference" "$in" && fail "$name: switched on, the output is the input"
  for block in "${blocks[@]}"; do
    cmp -s "$work/$name.on.$block.raw" "$reference" || fail "$name: blocks of $block give other output than 576"
  done
  "$native/drelvant" process "$work/$name.wav" "$work/$name.cli.wav" --preset "$work/F1.ini" --seed 1 --no-prime \
    --dir "$work" >/dev/null 2>&1
  dll_lu=$(loudness "$reference" "$rate" "$bps" "$channels")
  cli_lu=$(loudness "$work/$name.cli.wav")
  in_lu=$(loudness "$work/$name.wav")
  echo "$name: input $in_lu LUFS, DLL $dll_lu LUFS, drelvant process $cli_lu LUFS"
  awk -v a="$dll_lu" -v b="$cli_lu" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(a != "" && b != "" && d <= 0.5) }' ||
    fail "$name: DLL and drelvant process differ by more than 0.5 LU"

  # Switched off.
  run_dll off "$in" "$work/$name.off.raw" 576 "$bps" "$channels" "$rate"
  if [ "$format" = "44100 16 2" ]; then
    cmp -s "$work/$name.off.raw" "$reference" || fail "$name: the plug-in's own format changes with the switch"
    "$native/drelvant" process "$in" "$work/$name.exact.raw" --preset "$work/F1.ini" --seed 1 --keep-latency \
      --dir "$work" >/dev/null
    echo -n "$name switched off against the native build: "
    "$native/compare_raw" "$work/$name.exact.raw" "$work/$name.off.raw" 1 0.001 || fail "$name: off differs from the exact path"
  else
    cmp -s "$work/$name.off.raw" "$in" || fail "$name: switched off, the format does not pass through untouched"
  fi
done
echo "$failures failure(s)"
[ "$failures" = 0 ]
