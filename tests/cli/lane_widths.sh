# The whole chain gives the same bytes on two lanes (SSE2, as in the DLL) as on the widest lanes
# the processor offers (four with AVX2), for every factory preset at two block sizes and for F1
# also in blocks of 7 frames.
source "$(dirname "$0")/common.bash"
need sox

# Twelve seconds of programme-like audio: a swept chord, pink-noise bursts, a quiet stretch and
# digital silence (the silence guard's noise), loud enough to drive every dynamics stage.
sox -n -r 44100 -c 2 -b 16 -e signed-integer part1.raw synth 5 sine 80-2000 sine 330 pinknoise tremolo 5 70 gain -1
sox -n -r 44100 -c 2 -b 16 -e signed-integer part2.raw synth 3 pinknoise sine 6000 gain -35
head -c $((44100 * 4)) /dev/zero > part3.raw
sox -n -r 44100 -c 2 -b 16 -e signed-integer part4.raw synth 3 square 55 sine 9000 gain -2
cat part1.raw part2.raw part3.raw part4.raw > in.raw

for preset in F1 F2 F3 F4 F5 F6 F7; do
    blocks="576 4096"
    if [ "$preset" = F1 ]; then blocks="576 4096 7"; fi
    for block in $blocks; do
        mkdir -p "settings-$preset-$block"
        DRELVANT_LANE_WIDTH=2 "$DRELVANT" process in.raw two.raw --preset "$preset" --seed 3 --keep-latency \
            --block "$block" --dir "settings-$preset-$block" -q
        "$DRELVANT" process in.raw wide.raw --preset "$preset" --seed 3 --keep-latency --block "$block" \
            --dir "settings-$preset-$block" -q
        check "$preset, blocks of $block: two lanes and the widest give the same bytes" cmp -s two.raw wide.raw
        if [ "$preset" = F1 ] && [ "$block" = 576 ]; then cp wide.raw f1.raw; fi
    done
done
# The comparisons compared something: F1 changes the programme, and the variable does reach the
# engine (drelvant bench names the width it runs).
check "F1 changes the programme" bash -c '! cmp -s in.raw f1.raw'
DRELVANT_LANE_WIDTH=2 "$DRELVANT" bench --preset F7 --seconds 1 > bench.txt
check "DRELVANT_LANE_WIDTH=2 runs the two-lane kernels" grep -q "kernels: 2 lanes" bench.txt
finish
