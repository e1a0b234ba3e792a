#!/usr/bin/env bash
# lv2apply with F1 at 44.1 kHz gives, truncated to 16 bits, what `drelvant process --keep-latency`
# gives with the plug-in's seed (1): the float path against the 16-bit path with the tolerance of
# the engine's own single-precision test: at most one step apart, on under 1 % of the samples
# (where the single-precision output rounds across a 16-bit step; about 0.1 % here).
#   lv2apply_matches_cli.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
export LV2_PATH="$build/lv2:/usr/lib/lv2"
work="$(mktemp -d /tmp/drelvant-lv2apply-XXXXXX)"
trap 'rm -rf "$work"' EXIT

# 16-bit-valued programme: pink noise with a slow swell and a tone, 8 s.
sox -R -q -n -r 44100 -c 2 -b 16 -e signed-integer "$work/in16.wav" \
  synth 8 pinknoise synth 8 sine mix 180 tremolo 0.4 80 gain -8
sox -q "$work/in16.wav" -e floating-point -b 32 "$work/in-float.wav"

"$build/drelvant" process "$work/in16.wav" "$work/cli.wav" --preset F1 --seed 1 --keep-latency -q
lv2apply -i "$work/in-float.wav" -o "$work/lv2.wav" -c preset 1 urn:drelvant:lv2:stereo

sox -q "$work/cli.wav" -t raw -e signed-integer -b 16 "$work/cli.raw"
sox -V1 -q "$work/lv2.wav" -t raw -e floating-point -b 32 "$work/lv2.f32"
/usr/bin/python3 - "$work/lv2.f32" "$work/lv2.raw" <<'PY'
import array, math, sys
samples = array.array('f')
with open(sys.argv[1], 'rb') as f:
    samples.frombytes(f.read())
# the engine's conversion to 16 bits: truncation toward zero
out = array.array('h', (int(math.trunc(s * 32768.0)) for s in samples))
with open(sys.argv[2], 'wb') as f:
    f.write(out.tobytes())
PY
"$build/compare_raw" "$work/cli.raw" "$work/lv2.raw" 1 0.01
