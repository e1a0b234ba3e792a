#!/usr/bin/env bash
# The README's GStreamer recipe as printed: gst-inspect-1.0 lists both plug-ins, and a 48 kHz
# stereo file runs through the stereo element to the very samples of ffmpeg's lv2 filter with the
# same preset and the ceiling (so the recipe's switches are those of the preset).
#   recipe_gstreamer.sh BUILD_DIR SOURCE_DIR
source "$(dirname "$0")/recipe.bash"
export GST_REGISTRY="$work/gst-registry.bin"  # a registry of its own, made from LV2_PATH now
listed="$(gst-inspect-1.0 lv2 2>&1)"
grep -q 'urn-drelvant-lv2-stereo' <<<"$listed" || fail "gst-inspect-1.0 does not list the stereo plug-in: $listed"
grep -q 'urn-drelvant-lv2-mono' <<<"$listed" || fail "gst-inspect-1.0 does not list the mono plug-in: $listed"
sox -R -q -n -r 48000 -c 2 -b 16 in.wav synth 6 pinknoise synth 6 sine mix 220 gain -12
recipe gstreamer > gstreamer.sh
grep -q 'urn-drelvant-lv2-stereo' gstreamer.sh || fail "no GStreamer recipe in the README"
bash gstreamer.sh || fail "the recipe failed"
ffmpeg -hide_banner -loglevel error -y -i in.wav -af 'lv2=p=urn\\:drelvant\\:lv2\\:stereo:c=preset=3|ceiling_on=1' \
  -c:a pcm_f32le reference.wav
ffmpeg -hide_banner -loglevel error -i processed.wav -f f32le processed.f32
ffmpeg -hide_banner -loglevel error -i reference.wav -f f32le reference.f32
[[ -s processed.f32 ]] || fail "no audio came out"
cmp -s processed.f32 reference.f32 || fail "GStreamer's output differs from ffmpeg's lv2 filter with F3 and the ceiling"
echo "gst-inspect-1.0 lists both plug-ins; the README's pipeline gives ffmpeg's F3 with the ceiling, sample for sample"
