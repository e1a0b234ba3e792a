# `process` writes exactly what the plug-in's ModifySamples returns, block by block.
source "$(dirname "$0")/common.bash"
need python3

# Input: full-scale and over-range values, a stretch with the left channel silent, digital
# silence (both start the silence guard's noise after 100 frames) and random values.
python3 - in.raw <<'PY'
import math, random, struct, sys
random.seed(4)
frames = []
for n in range(8000):
    v = int(round(32767.5 * math.sin(2 * math.pi * 441 * n / 44100) - 0.5))
    frames.append((max(-32768, min(32767, v)), -max(-32768, min(32767, v)) - 1 if v > -32768 else 32767))
frames += [(0, 1000 + n % 7) for n in range(400)]
frames += [(0, 0)] * 600
frames += [(random.randint(-32768, 32767), random.randint(-32768, 32767)) for _ in range(20000)]
frames += [(32767, -32768)] * 50
open(sys.argv[1], 'wb').write(b''.join(struct.pack('<hh', l, r) for l, r in frames))
PY

# The frame with every stage off (F7) and a post amp of -20 dB, computed independently: input
# scaling, silence guard with the engine's generator, density drive and post amp, clamp to
# +-0.9999, truncation toward zero.
reference() {
    python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
source, seed, post_db = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
data = open(source, 'rb').read()
values = struct.unpack('<%dh' % (len(data) // 2), data)
state = seed
def rand():
    global state
    state = (state * 214013 + 2531011) & 0xFFFFFFFF
    return (state >> 16) & 32767
post = 10.0 ** (post_db * 0.05)
silence = 0
out = []
for i in range(0, len(values), 2):
    L = values[i] * 2.0 ** -15
    R = values[i + 1] * 2.0 ** -15
    if L == 0.0 or R == 0.0:
        silence += 1
        if silence > 100:
            n = ((rand() & 255) - 128) * 2.0 ** -23
            L += n
            R += n
    else:
        silence = 0
    L = L * 1.0 * post
    R = R * 1.0 * post
    L = min(max(L, -0.9999), 0.9999)
    R = min(max(R, -0.9999), 0.9999)
    out += [int(L * 32768), int(R * 32768)]
sys.stdout.buffer.write(struct.pack('<%dh' % len(out), *out))
PY
}

write_preset quiet.ini "General.Name                   = Quiet Copy" \
    "General.BaseFactoryPreset      = -6" \
    "General.PostAmp.dB             = -20.0"

"$DRELVANT" process in.raw out.raw --preset quiet.ini --seed 7 --keep-latency -q
check "preset file on F7: process succeeds" test $? -eq 0
reference in.raw 7 -20 >expected.raw
check "preset file on F7: bytes equal the frame computed by hand" cmp -s out.raw expected.raw

"$DRELVANT" process in.raw out7.raw --preset F7 --seed 99 --block 1000 --no-prime -q
reference in.raw 99 0 >expected7.raw
check "F7 (no processing, latency 0): bytes equal the frame computed by hand" cmp -s out7.raw expected7.raw
reference in.raw 98 0 >expected7_seed98.raw
check "the seed reaches the silence guard (a reference with another seed differs)" \
    bash -c '! cmp -s out7.raw expected7_seed98.raw' 

# F1: every stage at work, dither included.
for run in 576 576_again 4096 7; do
    "$DRELVANT" process in.raw "f1_$run.raw" --preset F1 --seed 5 --keep-latency --block "${run%_again}" -q ||
        fail "F1 blocks of ${run%_again}"
done
check "F1 keeps the frame count with --keep-latency" test "$(frames_of_raw f1_576.raw)" -eq "$(frames_of_raw in.raw)"
check "F1, same seed, blocks of 576 twice: identical" cmp -s f1_576.raw f1_576_again.raw
check "F1, blocks of 4096 give the bytes of blocks of 576" cmp -s f1_576.raw f1_4096.raw
check "F1, blocks of 7 give the bytes of blocks of 576" cmp -s f1_576.raw f1_7.raw
"$DRELVANT" process in.raw f1_seed6.raw --preset F1 --seed 6 --keep-latency -q
check "F1 with another seed dithers differently" bash -c '! cmp -s f1_576.raw f1_seed6.raw'
check "F1 changes the audio" bash -c '! cmp -s f1_576.raw in.raw'

# A preset exported as a file loads exactly as the factory preset it came from.
"$DRELVANT" presets export F1 f1.ini 2>/dev/null
"$DRELVANT" process in.raw f1_file.raw --preset f1.ini --seed 5 --keep-latency -q
check "exported F1 as a preset file gives the bytes of F1" cmp -s f1_576.raw f1_file.raw

finish
