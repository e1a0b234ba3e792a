# The output keeps the input's format; high-resolution input keeps its resolution through the
# processor; a file starts settled (primed on its own opening) unless --no-prime.
source "$(dirname "$0")/common.bash"
need python3
need sox
need ffprobe

# format FILE: "type rate channels bits" as sox reads it.
format() { echo "$(soxi -t "$1") $(soxi -r "$1") $(soxi -c "$1") $(soxi -b "$1")"; }

# 24-bit 48 kHz FLAC in: 24-bit 48 kHz FLAC out, as long as the input.
sox -n -r 48000 -c 2 -b 24 hires.flac synth 3 pluck 220 pluck 330 vol 0.5
"$DRELVANT" process hires.flac hires_out.flac --preset F1 --seed 1 >report.txt 2>notes.txt
check "24-bit 48 kHz FLAC: succeeds" test $? -eq 0
check "24-bit 48 kHz FLAC: output is 24-bit 48 kHz stereo FLAC" test "$(format hires_out.flac)" = "flac 48000 2 24"
check "24-bit 48 kHz FLAC: same length" test "$(soxi -s hires_out.flac)" -eq "$(soxi -s hires.flac)"
check "24-bit 48 kHz FLAC: the report gives both formats" \
    grep -q "^Output format  *48000 Hz stereo 24-bit FLAC$" report.txt
check "24-bit 48 kHz FLAC: the note names the high-resolution path" grep -q "high-resolution path" notes.txt
"$DRELVANT" process hires.flac kept.flac --preset F1 --seed 1 --keep-latency >/dev/null 2>notes.txt
check "--keep-latency: the plug-in's 16-bit path even for 24-bit input" grep -q "(16-bit path)" notes.txt

# The high-resolution path, resampling included, does not depend on the host's block size.
for block in 7 4096; do
    "$DRELVANT" process hires.flac "block_$block.flac" --preset F1 --seed 1 --block "$block" -q
done
check "high-resolution path: blocks of 7 give the bytes of blocks of 4096" cmp -s block_7.flac block_4096.flac
"$DRELVANT" process hires.flac block_576.flac --preset F1 --seed 1 -q
check "high-resolution path: blocks of 576 (default) give the same bytes" cmp -s block_576.flac block_4096.flac

# Mono 22.05 kHz 16-bit WAV in: mono 22.05 kHz 16-bit WAV out.
sox -n -r 22050 -c 1 -b 16 mono.wav synth 3 pluck 220 vol 0.5
"$DRELVANT" process mono.wav mono_out.wav --preset F1 --seed 1 -q
check "mono 22.05 kHz WAV: output is mono 22.05 kHz 16-bit WAV" test "$(format mono_out.wav)" = "wav 22050 1 16"
check "mono 22.05 kHz WAV: same length" test "$(soxi -s mono_out.wav)" -eq "$(soxi -s mono.wav)"

# Float WAV in: float WAV out. FLAC, which holds no float, takes 24-bit.
sox -n -r 44100 -c 2 -e floating-point -b 32 float.wav synth 2 sine 440 vol 0.5
"$DRELVANT" process float.wav float_out.wav --preset F7 --seed 1 -q
check "float WAV: output is 32-bit float" test "$(soxi -e float_out.wav 2>/dev/null)" = "Floating Point PCM"
"$DRELVANT" process float.wav float_out.flac --preset F7 --seed 1 -q
check "float WAV to FLAC: 24-bit" test "$(format float_out.flac)" = "flac 44100 2 24"

# Overrides.
"$DRELVANT" process hires.flac forced.wav --rate 44100 --bits 16 --channels 1 --preset F1 --seed 1 -q
check "--rate --bits --channels override the input's format" test "$(format forced.wav)" = "wav 44100 1 16"
"$DRELVANT" process mono.wav stereo.flac --channels 2 --bits 24 -q
check "mono in, --channels 2: stereo" test "$(format stereo.flac)" = "flac 22050 2 24"
"$DRELVANT" process mono.wav x.flac --bits 32 -q 2>err.txt
check "--bits 32 with FLAC: refused" grep -q "holds no floating-point samples" err.txt
check "--bits 32 with FLAC: nothing written" test ! -e x.flac

# Lossy outputs where libsndfile writes them.
"$DRELVANT" process hires.flac lossy.mp3 --preset F1 --seed 1 -q
check "MP3 output" test "$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 lossy.mp3)" = mp3
"$DRELVANT" process hires.flac lossy.opus --preset F1 --seed 1 -q
check "Opus output" test "$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 lossy.opus)" = opus
"$DRELVANT" process mono.wav lossy22.opus >/dev/null 2>notes.txt
check "Opus output of 22.05 kHz input runs at 48 kHz, and says so" grep -q "Opus runs at 48000 Hz" notes.txt

# A 24-bit tone at -70 dBFS keeps its resolution through F5's gain: no 16-bit truncation products.
sox -n -r 44100 -c 2 -b 24 quiet.wav synth 4 sine 1000 gain -n -70
"$DRELVANT" process quiet.wav quiet_out.wav --preset F5 --seed 1 -q
check "24-bit in, 24-bit out" test "$(soxi -b quiet_out.wav)" = 24
python3 - quiet_out.wav <<'PY' && pass "24-bit -70 dBFS tone through F5: 5th harmonic below -65 dBc" || fail "24-bit -70 dBFS tone through F5: 5th harmonic below -65 dBc"
import math, struct, subprocess, sys
raw = subprocess.run(['sox', sys.argv[1], '-t', 'raw', '-e', 'floating-point', '-b', '64', '-c', '1', '-'],
                     capture_output=True).stdout
v = struct.unpack('<%dd' % (len(raw) // 8), raw)
x = v[2 * 44100:3 * 44100]  # one second: whole periods of 1 kHz, a direct DFT at each harmonic
def amplitude(f):
    c = sum(s * math.cos(2 * math.pi * f * i / 44100) for i, s in enumerate(x))
    d = sum(s * math.sin(2 * math.pi * f * i / 44100) for i, s in enumerate(x))
    return math.hypot(c, d)
fundamental = amplitude(1000)
assert fundamental > 0
h5 = 20 * math.log10(amplitude(5000) / fundamental)
h3 = 20 * math.log10(amplitude(3000) / fundamental)
print("h3 %.1f dBc, h5 %.1f dBc" % (h3, h5))
assert h5 < -65 and h3 < -65, (h3, h5)
PY

# Priming: steady pink noise comes out steady from the first 100 ms: the processor's gain there
# (output level over input level, which for noise in 100 ms varies by itself) is within 1 dB of its
# gain after 10 s. --no-prime starts from rest as the plug-in does.
# Band-limited, so that the 100 ms windows are not swayed by single low-frequency swings.
sox -R -n -r 44100 -c 2 -b 16 pink.wav synth 12 pinknoise sinc 100-10000 gain -n -33
levels() {
    python3 - "$1" pink.wav <<'PY'
import math, struct, sys, wave
def level(path, a, b):
    w = wave.open(path); n = w.getnframes()
    v = struct.unpack('<%dh' % (2 * n), w.readframes(n))
    s = v[2 * int(a * 44100):2 * int(b * 44100)]
    return 20 * math.log10(math.sqrt(sum(x * x for x in s) / len(s)) / 32768)
out, src = sys.argv[1], sys.argv[2]
print("%.2f %.2f" % (level(out, 0, 0.1) - level(src, 0, 0.1), level(out, 10, 11) - level(src, 10, 11)))
PY
}
for preset in F1 F3 F5; do
    "$DRELVANT" process pink.wav "primed_$preset.wav" --preset "$preset" --seed 1 >report.txt
    read -r first later <<<"$(levels "primed_$preset.wav")"
    check "$preset primed: gain $first dB in the first 100 ms, within 1 dB of $later dB after 10 s" \
        python3 -c "import sys; sys.exit(abs($first - ($later)) > 1.0)"
    check "$preset primed: the report says so" grep -q "^Primed  *on the first 10.0 s of the input" report.txt
    check "$preset primed: same length" test "$(soxi -s "primed_$preset.wav")" -eq "$(soxi -s pink.wav)"
done
"$DRELVANT" process pink.wav rest.wav --preset F1 --seed 1 --no-prime -q
read -r first later <<<"$(levels rest.wav)"
check "F1 --no-prime: starts from rest, gain $first dB in the first 100 ms, 10 dB or more below $later" \
    python3 -c "import sys; sys.exit(not ($later) - ($first) >= 10)"

# Priming leaves no click: a sine that starts at full level comes out at its steady peak.
sox -n -r 44100 -c 2 -b 16 sine.wav synth 3 sine 1000 gain -n -20
"$DRELVANT" process sine.wav sine_out.wav --preset F1 --seed 1 -q
python3 - sine_out.wav <<'PY' && pass "primed sine: the first 10 ms peak within 0.5 dB of the steady peak" || fail "primed sine: the first 10 ms peak within 0.5 dB of the steady peak"
import math, struct, sys, wave
w = wave.open(sys.argv[1]); n = w.getnframes()
v = struct.unpack('<%dh' % (2 * n), w.readframes(n))[0::2]
first = max(abs(x) for x in v[:441]); steady = max(abs(x) for x in v[44100:88200])
assert abs(20 * math.log10(first / steady)) < 0.5, (first, steady)
PY
# A short file (shorter than the priming) primes on itself, walked back and forth.
sox -R -n -r 44100 -c 2 -b 16 short.wav synth 0.5 pinknoise gain -n -33
"$DRELVANT" process short.wav short_out.wav --preset F1 --seed 1 >report.txt
check "0.5 s file: primed on all of it" grep -q "^Primed  *on the first 0.5 s of the input" report.txt
check "0.5 s file: same length" test "$(soxi -s short_out.wav)" -eq "$(soxi -s short.wav)"

finish
