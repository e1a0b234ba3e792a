# Without --keep-latency the output lines up with the input: a click stays on its frame.
source "$(dirname "$0")/common.bash"
need python3

write_click click.raw 88200 30000
for preset in F1 F4 F7; do
    "$DRELVANT" process click.raw "out_$preset.raw" --preset "$preset" --seed 1 -q
    check "$preset: succeeds" test $? -eq 0
    check "$preset: output has the input's length" test "$(frames_of_raw "out_$preset.raw")" -eq 88200
    check "$preset: the click is at frame 30000" test "$(loudest_frame "out_$preset.raw")" -eq 30000
done

# Host block sizes that do not divide the delay change nothing.
"$DRELVANT" process click.raw out_F1_1000.raw --preset F1 --seed 1 --block 1000 -q
check "F1 in blocks of 1000: the click is at frame 30000" test "$(loudest_frame out_F1_1000.raw)" -eq 30000

# With --keep-latency the click comes F1's delay later: ten-band bank (reverse cascade) 8192,
# band compressor 4095, band limiter 4095, final limiter 4095.
"$DRELVANT" process click.raw kept.raw --preset F1 --seed 1 --keep-latency -q
check "F1 --keep-latency: same length" test "$(frames_of_raw kept.raw)" -eq 88200
check "F1 --keep-latency: the click is 20477 frames late" test "$(loudest_frame kept.raw)" -eq $((30000 + 20477))

# F4 adds the lowpass (two reverse-cascade sections, 16384 frames); the report says so.
"$DRELVANT" process click.raw report.raw --preset F4 --seed 1 >report.txt
check "F4 report names the preset" grep -q "^Preset  *F4:AM Radio" report.txt
check "F4 report gives the latency removed" grep -q "^Latency removed  *36861 frames (835.9 ms)" report.txt

finish
