# The report measures what the files hold: the source as it is (mono as mono), the output as
# written (lossy output decoded back); loudness range per EBU Tech 3342 and true peak agree with
# ffmpeg's ebur128 filter.
source "$(dirname "$0")/common.bash"
need python3
need sox
need ffmpeg

# ffmpeg_figures FILE: "I LRA PEAK" from ffmpeg's ebur128=peak=true summary.
ffmpeg_figures() {
    ffmpeg -nostats -hide_banner -i "$1" -af ebur128=peak=true -f null - 2>&1 |
        sed -n '/Summary:/,$p' | awk '/ I:/ {i=$2} / LRA:/ {l=$2} / Peak:/ {p=$2} END {print i, l, p}'
}
# report_figure REPORT LABEL COLUMN: the number in the input (2) or output (3) column of a line.
report_figure() {
    grep "^$2 " "$1" | sed "s/^$2 *//" | awk -v c="$3" '{print $(2 * (c - 2) + 1)}'
}
# near A B TOLERANCE
near() { python3 -c "import sys; sys.exit(not abs(float('$1') - float('$2')) <= $3)"; }

# A programme with quiet and loud passages: the demo's, and one of plucked chords, a fade and noise.
"$DRELVANT" demo --out demo >/dev/null 2>&1
sox -n -r 44100 -c 2 -b 16 a.wav synth 6 pluck C3 pluck E3 pluck G3 tremolo 2 60 vol 0.8
sox -n -r 44100 -c 2 -b 16 b.wav synth 6 pinknoise vol 0.05 fade 1 6 2
sox -n -r 44100 -c 2 -b 16 c.wav synth 8 pluck A2 pluck C4 pluck E4 vol 0.3
sox a.wav b.wav c.wav programme.wav
# A decaying note, mono at 22.05 kHz: few short-term values pass the gates, so the percentile
# ranks matter.
sox -n -r 22050 -c 1 -b 16 decay.wav synth 20 pluck 196 tremolo 3 40 vol 0.5

for source in demo/before.wav programme.wav decay.wav; do
    name=$(basename "$source" .wav)
    "$DRELVANT" process "$source" "out_$name.wav" --preset F1 --seed 1 >report.txt
    read -r in_i in_lra in_peak <<<"$(ffmpeg_figures "$source")"
    read -r out_i out_lra out_peak <<<"$(ffmpeg_figures "out_$name.wav")"
    for side in input output; do
        column=2; i=$in_i; lra=$in_lra; peak=$in_peak
        [ $side = output ] && { column=3; i=$out_i; lra=$out_lra; peak=$out_peak; }
        ours_i=$(report_figure report.txt "Integrated loudness" $column)
        ours_lra=$(report_figure report.txt "Loudness range" $column)
        ours_peak=$(report_figure report.txt "True peak" $column)
        check "$name $side: integrated $ours_i LUFS, ffmpeg $i (within 0.2)" near "$ours_i" "$i" 0.2
        check "$name $side: loudness range $ours_lra LU, ffmpeg $lra (within 0.5)" near "$ours_lra" "$lra" 0.5
        check "$name $side: true peak $ours_peak dBTP, ffmpeg $peak (within 0.3)" near "$ours_peak" "$peak" 0.3
    done
done

# Mono is measured as mono, as ffmpeg and libebur128 measure a one-channel file.
sox programme.wav -c 1 mono.wav
"$DRELVANT" process mono.wav mono_out.wav --preset F1 --seed 1 >report.txt
read -r i lra peak <<<"$(ffmpeg_figures mono.wav)"
ours=$(report_figure report.txt "Integrated loudness" 2)
check "mono input: integrated $ours LUFS, ffmpeg $i (within 0.2)" near "$ours" "$i" 0.2
read -r i lra peak <<<"$(ffmpeg_figures mono_out.wav)"
ours=$(report_figure report.txt "Integrated loudness" 3)
check "mono output: integrated $ours LUFS, ffmpeg $i (within 0.2)" near "$ours" "$i" 0.2

# Lossy output is measured as it decodes.
"$DRELVANT" process programme.wav out.ogg --preset F3 --seed 1 >report.txt
check "Ogg output: the report says how it was measured" grep -q "^The output was measured by decoding the written file.$" report.txt
read -r i lra peak <<<"$(ffmpeg_figures out.ogg)"
ours_peak=$(report_figure report.txt "True peak" 3)
ours_i=$(report_figure report.txt "Integrated loudness" 3)
check "Ogg output: true peak $ours_peak dBTP, ffmpeg on the file $peak (within 0.3)" near "$ours_peak" "$peak" 0.3
check "Ogg output: integrated $ours_i LUFS, ffmpeg on the file $i (within 0.2)" near "$ours_i" "$i" 0.2

# The help names the methods.
"$DRELVANT" process --help >help.txt
check "help: true peak method named" grep -q "interpolated between its samples, 4x" help.txt
check "help: loudness range method named" grep -q "Tech 3342" help.txt

finish
