#!/usr/bin/env bash
# The README's headless PipeWire recipe as printed (D-Bus, PipeWire, WirePlumber, a null sink,
# pw-play into the Drelvant filter-chain sink, pw-record from the null sink), with the README's
# filter-chain config in a private XDG_CONFIG_HOME and a private XDG_RUNTIME_DIR: what reaches the
# sink is processed audio (louder than the input, as F1 makes it).
#   recipe_pipewire.sh BUILD_DIR SOURCE_DIR
source "$(dirname "$0")/recipe.bash"
mkdir -p run config/pipewire/pipewire.conf.d
chmod 700 run
export XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" HOME="$work"
awk '/^context.modules = \[/ { p = 1 } p { print } p && /^\]$/ { exit }' "$source_dir/README.md" \
  > config/pipewire/pipewire.conf.d/drelvant.conf
grep -q 'urn:drelvant:lv2:stereo' config/pipewire/pipewire.conf.d/drelvant.conf || fail "no filter-chain config in the README"
sox -R -q -n -r 48000 -c 2 -b 16 in.wav synth 4 pinknoise synth 4 sine mix 220 gain -16
input="$(loudness in.wav)"
recipe pipewire > pipewire.sh
grep -q 'pw-play' pipewire.sh || fail "no PipeWire recipe in the README"
timeout 120 bash pipewire.sh > pipewire.log 2>&1 || { tail -n 20 pipewire.log; fail "the recipe failed or hung"; }
[[ -s processed.wav ]] || { tail -n 20 pipewire.log; fail "nothing was recorded"; }
level="$(loudness processed.wav)"
awk -v o="$level" -v i="$input" 'BEGIN { exit !(o != "" && o > i + 3) }' \
  || fail "what reached the sink ($level LUFS) is not processed audio (input $input LUFS)"
echo "headless PipeWire: in.wav through the Drelvant sink reached the null sink at $level LUFS (input $input LUFS)"
