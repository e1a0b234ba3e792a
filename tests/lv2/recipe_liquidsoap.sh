#!/usr/bin/env bash
# The README's two Liquidsoap recipes as printed, each for 10 s of a two-track playlist (4 s
# tracks, so several track changes): through ffmpeg's lv2 filter, and through pipe() with one
# drelvant process for the whole stream. Each output is processed audio (louder than the input)
# under the -1 dBTP ceiling; pipe() started drelvant once.
#   recipe_liquidsoap.sh BUILD_DIR SOURCE_DIR
source "$(dirname "$0")/recipe.bash"
sox -R -q -n -r 44100 -c 2 -b 16 a.wav synth 4 pinknoise synth 4 sine mix 220 gain -14
sox -R -q -n -r 44100 -c 2 -b 16 b.wav synth 4 sine 440 synth 4 sine mix 3000 gain -10
printf 'a.wav\nb.wav\n' > playlist.m3u
sox a.wav b.wav both.wav
input="$(loudness both.wav)"
# A drelvant ahead of the build's on the PATH that notes each start, then runs the real one.
mkdir shim
printf '#!/bin/sh\necho start >> "%s/starts.log"\nexec "%s/drelvant" "$@"\n' "$work" "$build" > shim/drelvant
chmod +x shim/drelvant

for name in liquidsoap-lv2 liquidsoap-pipe; do
  recipe "$name" > "$name.liq"
  grep -q 'output.file' "$name.liq" || fail "no recipe '$name' in the README"
  rm -f processed.wav starts.log
  PATH="$work/shim:$PATH" liquidsoap "$name.liq" > "$name.log" 2>&1 &
  pid=$!
  cleanups+=("kill $pid 2>/dev/null")
  # Until 10 s of 16-bit stereo at 44.1 kHz have come out (at most 90 s: starting takes a while).
  for _ in $(seq 450); do
    [[ $(stat -c %s processed.wav 2>/dev/null || echo 0) -gt 1764000 ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  kill "$pid" 2>/dev/null || { tail -n 20 "$name.log"; fail "$name: liquidsoap stopped by itself"; }
  wait "$pid" 2>/dev/null
  ffmpeg -hide_banner -loglevel error -y -i processed.wav -c:a pcm_f32le measured.wav
  seconds="$(soxi -D measured.wav 2>/dev/null)"
  at_most 9 "$seconds" || { tail -n 20 "$name.log"; fail "$name: only '$seconds' s came out"; }
  level="$(loudness measured.wav)"; peak="$(true_peak measured.wav)"
  awk -v o="$level" -v i="$input" 'BEGIN { exit !(o != "" && o > i + 3) }' || fail "$name: $level LUFS is not processed audio (input $input LUFS)"
  at_most "$peak" -1.0 || fail "$name: true peak $peak dBTP passes the -1 dBTP ceiling"
  echo "$name: $seconds s at $level LUFS (input $input LUFS), true peak $peak dBTP"
done
starts="$(wc -l < starts.log)"
[[ "$starts" -eq 1 ]] || fail "pipe() started drelvant $starts times"
echo "pipe() ran one drelvant process across the track changes"
