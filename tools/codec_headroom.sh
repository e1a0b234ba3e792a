#!/usr/bin/env bash
# How far lossy encoders push true peaks past a ceiling: the demo programme (drelvant demo's
# before.wav) and a bright, dense test signal, each processed with F1 and F3 under a -1 dBTP
# ceiling, encoded by ffmpeg at stream bit rates, decoded and measured with ffmpeg's ebur128
# (peak=true). Prints the true peak before and after each codec, and what the codec added.
#   tools/codec_headroom.sh [DRELVANT]
set -euo pipefail
drelvant="${1:-build/native/drelvant}"
work="$(mktemp -d /tmp/drelvant-headroom-XXXXXX)"
trap 'rm -rf "$work"' EXIT

true_peak() {
  ffmpeg -hide_banner -nostats -i "$1" -af ebur128=peak=true -f null - 2>&1 \
    | sed -n '/True peak:/,+1 s/^ *Peak: *\(-\{0,1\}[0-9.]*\) dBFS$/\1/p' | tail -1
}

"$drelvant" demo --out "$work/demo" > /dev/null
sox -R -q -n -r 44100 -c 2 -b 16 "$work/dense.wav" synth 20 pinknoise synth 20 sine mix 3000 gain -8
codecs=("MP3 128 kb/s|-c:a libmp3lame -b:a 128k|mp3" "MP3 320 kb/s|-c:a libmp3lame -b:a 320k|mp3"
        "AAC 128 kb/s|-c:a aac -b:a 128k|m4a" "Opus 96 kb/s|-c:a libopus -b:a 96k|opus"
        "Vorbis 128 kb/s|-c:a libvorbis -b:a 128k|ogg")
printf '%-9s %-6s %-16s %10s %10s %8s\n' material preset codec "PCM dBTP" "coded dBTP" added
for material in demo dense; do
  input="$work/dense.wav"; [[ $material == demo ]] && input="$work/demo/before.wav"
  for preset in F1 F3; do
    "$drelvant" process "$input" "$work/processed.wav" --preset "$preset" --ceiling -1 --seed 1 -q
    pcm="$(true_peak "$work/processed.wav")"
    for entry in "${codecs[@]}"; do
      IFS='|' read -r name options extension <<<"$entry"
      # shellcheck disable=SC2086
      ffmpeg -hide_banner -loglevel error -y -i "$work/processed.wav" $options "$work/coded.$extension"
      peak="$(true_peak "$work/coded.$extension")"
      printf '%-9s %-6s %-16s %10s %10s %+7.1f\n' "$material" "$preset" "$name" "$pcm" "$peak" \
        "$(awk -v p="$peak" -v q="$pcm" 'BEGIN { print p - q }')"
    done
  done
done
