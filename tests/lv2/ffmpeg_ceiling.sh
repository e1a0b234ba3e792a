#!/usr/bin/env bash
# F3 through ffmpeg's lv2 filter with the true-peak ceiling on at -1 dBTP, at 44.1 and 48 kHz:
# ffmpeg's own true-peak meter (ebur128=peak=true) reads at most -1.0 dBTP; with the ceiling off
# the same programme peaks above it (so the check can fail).
#   ffmpeg_ceiling.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
export LV2_PATH="$build/lv2:/usr/lib/lv2"
work="$(mktemp -d /tmp/drelvant-ceiling-XXXXXX)"
trap 'rm -rf "$work"' EXIT

true_peak() {  # the largest true peak (dBTP) of a file by ffmpeg's ebur128 filter
  ffmpeg -hide_banner -nostats -i "$1" -af ebur128=peak=true -f null - 2>&1 \
    | sed -n '/True peak:/,+1 s/^ *Peak: *\(-\{0,1\}[0-9.]*\) dBFS$/\1/p' | tail -1
}

status=0
for rate in 44100 48000; do
  sox -R -q -n -r "$rate" -c 2 -b 16 -e signed-integer "$work/in-$rate.wav" \
    synth 12 pinknoise synth 12 sine mix 220 tremolo 0.3 70 gain -8
  for on in 0 1; do
    ffmpeg -hide_banner -loglevel error -y -i "$work/in-$rate.wav" \
      -af "lv2=p=urn\\\\:drelvant\\\\:lv2\\\\:stereo:c=preset=3|ceiling_on=$on|ceiling=-1" "$work/out-$rate-$on.wav"
  done
  off="$(true_peak "$work/out-$rate-0.wav")"
  on="$(true_peak "$work/out-$rate-1.wav")"
  verdict="$(awk -v on="$on" -v off="$off" 'BEGIN { print (on != "" && off != "" && on <= -1.0 && off > -1.0) ? "ok" : "FAIL" }')"
  echo "$rate Hz, F3: true peak $off dBTP with the ceiling off, $on dBTP with it on at -1: $verdict"
  [[ "$verdict" == ok ]] || status=1
done
exit "$status"
