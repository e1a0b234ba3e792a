# Delivery targets: --ceiling holds the true peak as ffmpeg's EBU R 128 meter measures it (lossy
# output included), --target sets the integrated loudness, and audio under the ceiling passes
# unchanged and in line.
source "$(dirname "$0")/common.bash"
need sox
need ffmpeg
need cmp

# Loud, dense material: plucked chords with tremolo, a square-wave bass and pink noise, mixed and
# normalised to 0 dBFS; through F3 its true peak lies above -1 dBTP.
sox -n -r 44100 -c 2 -b 16 chords.wav synth 12 pluck 220 pluck 277 tremolo 3 60
sox -n -r 44100 -c 2 -b 16 bass.wav synth 12 square 55 vol 0.5
sox -n -r 44100 -c 2 -b 16 noise.wav synth 12 pinknoise vol 0.3
sox -m chords.wav bass.wav noise.wav loud.wav gain -n 0

# ffmpeg's figures of a file: "I PEAK" (integrated loudness in LUFS, true peak in dBTP).
measure() {
    ffmpeg -nostats -hide_banner -i "$1" -af ebur128=peak=true -f null - 2>&1 |
        awk '/^ +I:/ { i = $2 } /^ +Peak:/ { p = $2 } END { print i, p }'
}
at_most() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
within() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { x = a - b; if (x < 0) x = -x; exit !(x <= d) }'; }

"$DRELVANT" process loud.wav plain.wav --preset F3 --seed 5 -q
read -r _ plain_peak <<<"$(measure plain.wav)"
check "without a ceiling the material peaks above -1 dBTP (so the ceiling has work: $plain_peak)" \
    at_most -1.0 "$plain_peak"

for ext in wav flac ogg mp3; do
    "$DRELVANT" process loud.wav "ceiling.$ext" --preset F3 --seed 5 --ceiling -1 >"report_$ext.txt" 2>/dev/null
    check "--ceiling -1 to .$ext: succeeds" test $? -eq 0
    read -r _ peak <<<"$(measure "ceiling.$ext")"
    check "--ceiling -1 to .$ext: ffmpeg measures $peak dBTP, at most -1.0" at_most "$peak" -1.0
    check "--ceiling -1 to .$ext: the report has the Delivery line" grep -q "^Delivery  *true-peak ceiling -1.0 dBTP" "report_$ext.txt"
done
check "the ceiling keeps the length" test "$(soxi -s ceiling.wav)" = "$(soxi -s loud.wav)"

# Under the ceiling nothing changes: the same bytes as without it (so also no added delay).
"$DRELVANT" process loud.wav quiet_plain.wav --preset F5 --seed 5 -q
"$DRELVANT" process loud.wav quiet_ceiling.wav --preset F5 --seed 5 --ceiling -1 -q
check "audio under the ceiling: the same bytes as without --ceiling" cmp -s quiet_plain.wav quiet_ceiling.wav

# --target: down (-16 from a loud programme) and up (-12 from a quiet one), WAV and Ogg.
for case in "F3 -16 wav" "F3 -16 ogg" "F5 -12 flac"; do
    read -r preset target ext <<<"$case"
    "$DRELVANT" process loud.wav "target.$ext" --preset "$preset" --seed 5 --target "$target" -q
    check "--target $target ($preset, .$ext): succeeds" test $? -eq 0
    read -r lufs peak <<<"$(measure "target.$ext")"
    check "--target $target ($preset, .$ext): ffmpeg measures $lufs LUFS, within 0.5 LU" within "$lufs" "$target" 0.5
    check "--target $target ($preset, .$ext): true peak $peak at most the default -1.0 dBTP" at_most "$peak" -1.0
done
"$DRELVANT" process loud.wav target_ceiling.wav --preset F3 --seed 5 --target -9 --ceiling -3 -q
read -r lufs peak <<<"$(measure target_ceiling.wav)"
check "--target -9 --ceiling -3: true peak $peak at most -3.0 dBTP" at_most "$peak" -3.0

# Usage and refusals.
"$DRELVANT" process loud.wav x.wav --ceiling 3 2>err.txt
check "--ceiling above 0: status 2" test $? -eq 2
"$DRELVANT" process loud.wav x.wav --target loud 2>err.txt
check "--target not a number: status 2" test $? -eq 2
sox loud.wav -t raw - | "$DRELVANT" process - x.wav --target -16 -q 2>err.txt
check "--target on a pipe: status 1" test $? -eq 1
check "--target on a pipe: says why" grep -q "give a file, not a pipe" err.txt
check "--target on a pipe: nothing written" test ! -e x.wav
# The kept output goes to $TMPDIR: a folder that does not exist is an error, not a crash.
TMPDIR="$WORK/no_such_folder" "$DRELVANT" process loud.wav y.wav --target -16 -q 2>err.txt
check "--target with no temporary folder: status 1" test $? -eq 1
check "--target with no temporary folder: says so" grep -q "cannot create a temporary file" err.txt
check "--target with no temporary folder: nothing written" test ! -e y.wav
mkdir -p spool
TMPDIR="$WORK/spool" "$DRELVANT" process loud.wav y.wav --target -16 -q
check "--target with TMPDIR: status 0, nothing left in it" test $? -eq 0 -a -z "$(ls -A spool)"
finish
