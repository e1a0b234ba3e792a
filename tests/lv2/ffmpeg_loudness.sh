#!/usr/bin/env bash
# ffmpeg's lv2 filter runs the plug-in with F3 at 44.1 and 48 kHz; the output's integrated
# loudness is within 0.5 LU of `drelvant process --preset F3` on the same input.
#   ffmpeg_loudness.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
export LV2_PATH="$build/lv2:/usr/lib/lv2"
work="$(mktemp -d /tmp/drelvant-ffmpeg-XXXXXX)"
trap 'rm -rf "$work"' EXIT

loudness() {  # integrated loudness (LUFS) of a file, by ffmpeg's ebur128 filter
  ffmpeg -hide_banner -nostats -i "$1" -af ebur128 -f null - 2>&1 | sed -n 's/^ *I: *\(-\{0,1\}[0-9.]*\) LUFS$/\1/p' | tail -1
}

status=0
for rate in 44100 48000; do
  sox -R -q -n -r "$rate" -c 2 -b 16 -e signed-integer "$work/in-$rate.wav" \
    synth 12 pinknoise synth 12 sine mix 220 tremolo 0.3 70 gain -14
  # The filter argument: each colon of the URI escaped twice (ffmpeg must receive \\:).
  ffmpeg -hide_banner -loglevel error -y -i "$work/in-$rate.wav" \
    -af 'lv2=p=urn\\:drelvant\\:lv2\\:stereo:c=preset=3' "$work/lv2-$rate.wav"
  "$build/drelvant" process "$work/in-$rate.wav" "$work/cli-$rate.wav" --preset F3 --seed 1 -q
  lv2="$(loudness "$work/lv2-$rate.wav")"
  cli="$(loudness "$work/cli-$rate.wav")"
  input="$(loudness "$work/in-$rate.wav")"
  verdict="$(awk -v a="$lv2" -v b="$cli" 'BEGIN { d = a - b; if (d < 0) d = -d; print (a != "" && b != "" && d <= 0.5) ? "ok" : "FAIL" }')"
  echo "$rate Hz: input $input LUFS, ffmpeg lv2 $lv2 LUFS, drelvant process $cli LUFS: $verdict"
  [[ "$verdict" == ok ]] || status=1
done
exit "$status"
