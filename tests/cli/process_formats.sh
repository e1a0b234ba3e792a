# Sound files of other rates and channel counts, plain 44.1 kHz stereo files and pipes all work.
source "$(dirname "$0")/common.bash"
need python3
need sox

# 48 kHz mono 24-bit FLAC: processed at 44.1 kHz (and said so), never passed through unprocessed;
# the output keeps the input's rate, channel count and sample format.
sox -n -r 48000 -c 1 -b 24 tone48.flac synth 2 sine 1000 vol 0.5
"$DRELVANT" process tone48.flac tone.wav --preset F7 --seed 1 2>notes.txt >report.txt
check "48 kHz mono FLAC: succeeds" test $? -eq 0
check "48 kHz mono FLAC: the conversion is announced" \
    grep -q "'tone48.flac' is 48000 Hz mono 24-bit FLAC; processing it at 44100 Hz (high-resolution path) and writing 48000 Hz mono 24-bit WAV" notes.txt
check "output is 48000 Hz" test "$(soxi -r tone.wav)" = 48000
check "output is mono" test "$(soxi -c tone.wav)" = 1
check "output is 24-bit" test "$(soxi -b tone.wav)" = 24
check "report: input format" grep -q "^Input format  *48000 Hz mono 24-bit FLAC$" report.txt
check "report: output format" grep -q "^Output format  *48000 Hz mono 24-bit WAV$" report.txt
python3 - tone.wav <<'PY' && pass "2 s of a 0.5 sine, frame for frame" || fail "2 s of a 0.5 sine, frame for frame"
import math, subprocess, struct, sys
raw = subprocess.run(['sox', sys.argv[1], '-t', 'raw', '-e', 'signed', '-b', '32', '-'], capture_output=True).stdout
v = struct.unpack('<%di' % (len(raw) // 4), raw)
assert len(v) == 96000, len(v)
mid = [x / 2.0 ** 31 for x in v[20000:70000]]
rms = math.sqrt(sum(x * x for x in mid) / len(mid))
assert abs(rms * math.sqrt(2) - 0.5) < 0.005, rms
# lined up with the input: the phase of a 1 kHz sine at frame 48000 is the input's
ref = [0.5 * math.sin(2 * math.pi * 1000 * n / 48000) for n in range(20000, 70000)]
err = math.sqrt(sum((a - b) ** 2 for a, b in zip(mid, ref)) / len(mid))
assert err < 0.01, err
PY

# 44.1 kHz stereo WAV to FLAC: read and written as they are; same bytes as the raw route.
sox -n -r 44100 -c 2 -b 16 music.wav synth 3 pluck 220 pluck 330 vol 0.7
sox music.wav -t raw music.raw
"$DRELVANT" process music.wav music_out.flac --preset F2 --seed 3 -q 2>notes.txt
check "44.1 kHz stereo WAV to FLAC: succeeds" test $? -eq 0
check "44.1 kHz stereo WAV: no conversion note" test ! -s notes.txt
check "FLAC output is 16-bit 44100 Hz stereo" \
    test "$(soxi -t music_out.flac) $(soxi -b music_out.flac) $(soxi -r music_out.flac) $(soxi -c music_out.flac)" = "flac 16 44100 2"
"$DRELVANT" process music.raw music_out.raw --preset F2 --seed 3 -q
sox music_out.flac -t raw from_flac.raw
check "FLAC output holds the bytes of the raw route" cmp -s from_flac.raw music_out.raw

# A pipe: standard input to standard output; the report moves to standard error. A pipe is not
# held back for priming: it starts from rest, as the file route does with --no-prime.
"$DRELVANT" process music.raw music_rest.raw --preset F2 --seed 3 --no-prime -q
cat music.raw | "$DRELVANT" process - - --preset F2 --seed 3 >piped.raw 2>report.txt
check "pipe: succeeds" test $? -eq 0
check "pipe: the bytes of the file route with --no-prime" cmp -s piped.raw music_rest.raw
check "pipe: not primed, and the report does not say it was" bash -c '! grep -q "^Primed" report.txt'
check "pipe: the report went to standard error" grep -q "Integrated loudness" report.txt
"$DRELVANT" process - redirected.raw --preset F2 --seed 3 -q <music.raw
check "standard input redirected from a file is primed as a file" cmp -s redirected.raw music_out.raw

# Ogg Vorbis out, named by its extension.
"$DRELVANT" process music.wav music.ogg --preset F1 --seed 1 -q
check "Ogg Vorbis output" test "$(soxi -t music.ogg 2>/dev/null)" = vorbis

# More than two channels are refused, and nothing is written.
sox -n -r 44100 -c 6 -b 16 six.wav synth 1 sine 440
"$DRELVANT" process six.wav six_out.wav -q 2>err.txt
check "6 channels: refused" test $? -ne 0
check "6 channels: the message says why" grep -q "has 6 channels; only mono and stereo" err.txt
check "6 channels: no output" test ! -e six_out.wav

finish
