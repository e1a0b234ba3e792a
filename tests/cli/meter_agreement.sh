# The report's loudness meter agrees with ffmpeg's ebur128 filter (peak=true) on music-like
# material: integrated loudness within 0.05 LU, loudness range within 0.1 LU, true peak within
# 0.1 dB (ffmpeg's interpolator reads broadband noise up to 0.07 dB above a 16x windowed-sinc
# reference, which the meter follows within 0.05 dB: tests/cli/loudness_meter_test.cpp), at 44.1,
# 48 and 96 kHz, mono and stereo. The figures are read from the JSON report (six digits)
# and from ffmpeg's frame metadata (three decimals; the true peak as a linear value).
source "$(dirname "$0")/common.bash"
need sox
need ffmpeg
PY=/usr/bin/python3

# ffmpeg_figures FILE: "I LRA PEAK_DB" as ffmpeg's meter has them after the last frame.
ffmpeg_figures() {
    ffmpeg_r128 "$1"
    awk -F= '/^lavfi.r128.I=/ {i=$2} /^lavfi.r128.LRA=/ {l=$2} /^lavfi.r128.true_peak=/ {p=$2}
             END {printf "%s %s %.4f\n", i, l, (p > 0 ? 20 * log(p) / log(10) : -999)}' meta.txt
}
# our_figures FILE: "I LRA PEAK_DB" of the input side of a JSON report on FILE.
our_figures() {
    "$DRELVANT" process "$1" out.wav --json report.json >/dev/null 2>&1
    "$PY" -c "import json; f = json.load(open('report.json'))['files'][0]['input_loudness']
print(f['integrated_lufs'], f['loudness_range_lu'], f['true_peak_dbtp'])"
}
# near A B TOLERANCE
near() { "$PY" -c "import sys; sys.exit(not abs(float('$1') - float('$2')) <= $3)"; }

# Plucked chords with a tremolo; pink noise that fades in and out; tones and a sweep under a
# fade; a decaying note; loud and quiet passages joined (a wide loudness range).
sox -n -r 44100 -c 2 -b 16 plucks.wav synth 8 pluck C3 pluck E3 pluck G3 tremolo 2 60 vol 0.8
sox -n -r 48000 -c 2 -b 24 noise.wav synth 8 pinknoise vol 0.3 fade 1 8 2
sox -n -r 44100 -c 1 -b 16 tones.wav synth 8 sine 440 sine 3000-9000 remix 1,2 vol 0.5 fade 0.5 8 3
sox -n -r 96000 -c 2 -b 24 plucks96.wav synth 6 pluck A2 pluck C4 pluck E4 tremolo 3 40 vol 0.9
sox -n -r 48000 -c 1 -b 16 decay.wav synth 12 pluck 196 tremolo 3 40 vol 0.5
sox -n -r 44100 -c 2 -b 16 loud.wav synth 5 pluck C3 pluck G3 pluck E4 tremolo 5 30 vol 0.9
sox -n -r 44100 -c 2 -b 16 quiet.wav synth 5 pinknoise vol 0.03
sox loud.wav quiet.wav loud.wav passages.wav
# Square-ish material: the true peak well above the sample peak between samples.
sox -n -r 44100 -c 2 -b 16 square.wav synth 6 square 2400 square 1725 vol 0.5

for file in plucks.wav noise.wav tones.wav plucks96.wav decay.wav passages.wav square.wav; do
    read -r ff_i ff_lra ff_peak <<<"$(ffmpeg_figures "$file")"
    read -r i lra peak <<<"$(our_figures "$file")"
    check "$file: integrated $i LUFS, ffmpeg $ff_i (within 0.05)" near "$i" "$ff_i" 0.05
    check "$file: loudness range $lra LU, ffmpeg $ff_lra (within 0.1)" near "$lra" "$ff_lra" 0.1
    check "$file: true peak $peak dBTP, ffmpeg $ff_peak (within 0.1)" near "$peak" "$ff_peak" 0.1
done

finish
