# The true-peak ceiling and the report's true peak on bright material (cymbal-like noise, bright
# synthesizers, square waves): ffmpeg's EBU R 128 meter finds the output under the ceiling, and
# the report's true peak of the output agrees with ffmpeg's within 0.05 dB.
source "$(dirname "$0")/common.bash"
need sox
need ffmpeg
PY=/usr/bin/python3

# ffmpeg_peak FILE: the true peak in dBTP from ffmpeg's frame metadata (a linear value there).
ffmpeg_peak() {
    ffmpeg_r128 "$1"
    awk -F= '/^lavfi.r128.true_peak=/ {p=$2} END {printf "%.4f\n", (p > 0 ? 20 * log(p) / log(10) : -999)}' meta.txt
}
report_peak() {  # report_peak JSON SIDE: the true peak of the input or output side of a report
    "$PY" -c "import json; print(json.load(open('$1'))['files'][0]['$2_loudness']['true_peak_dbtp'])"
}
at_most() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
within() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { x = a - b; if (x < 0) x = -x; exit !(x <= d) }'; }

# Cymbal-like: white noise above 6 kHz under a tremolo; a bright synthesizer: two sawtooth waves;
# square waves at 48 kHz; and the noise and the synthesizer mixed to full scale.
sox -n -r 44100 -c 2 -b 16 cymbals.wav synth 6 whitenoise vol 0.5 highpass 6000 tremolo 6 80
sox -n -r 44100 -c 2 -b 16 saws.wav synth 6 sawtooth 1760 sawtooth 2637 vol 0.5
sox -n -r 48000 -c 2 -b 24 squares.wav synth 6 square 3000 square 4410 vol 0.5
sox -m cymbals.wav saws.wav bright.wav gain -n -0.3

for file in cymbals saws squares bright; do
    for ext in wav flac; do
        "$DRELVANT" process "$file.wav" "out-$file.$ext" --preset F7 --target -6 --ceiling -1 \
            --json "$file-$ext.json" -q 2>/dev/null
        check "$file to .$ext with --ceiling -1: succeeds" test -s "out-$file.$ext"
        ff="$(ffmpeg_peak "out-$file.$ext")"
        check "$file to .$ext: ffmpeg measures $ff dBTP, at most -1.0" at_most "$ff" -1.0
        # Heavily limited cymbals park many peaks at the ceiling, and the squares' steps put energy
        # at the Nyquist frequency itself: there meters part by how they read that content (ffmpeg's
        # resampler cuts off below it), so these are held to the ceiling only.
        [ "$file" = cymbals ] || [ "$file" = squares ] && continue
        ours="$(report_peak "$file-$ext.json" output)"
        check "$file to .$ext: the report's true peak $ours dBTP, ffmpeg $ff (within 0.05)" within "$ours" "$ff" 0.05
    done
    [ "$file" = squares ] && continue
    ff="$(ffmpeg_peak "$file.wav")"
    ours="$(report_peak "$file-wav.json" input)"
    check "$file: the report's input true peak $ours dBTP, ffmpeg $ff (within 0.05)" within "$ours" "$ff" 0.05
done

finish
