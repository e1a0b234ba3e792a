# The smaller points: a cut-short WAV is named, the downmix hint, a progress line that fits the
# terminal, SIGTERM's exit status, -q silencing notes, a real PNG, the manual agreeing with the CLI.
source "$(dirname "$0")/common.bash"
need python3
need sox
need script

# A WAV file cut short: processed, with a warning that gives both durations.
sox -n -r 44100 -c 2 -b 16 ten.wav synth 10 sine 440 vol 0.3
head -c 100000 ten.wav >cut.wav
"$DRELVANT" process cut.wav cut_out.wav -q 2>err.txt
check "cut-short WAV: processed, exit status 3 (done with warnings)" test $? -eq 3 -a -s cut_out.wav
check "cut-short WAV: warning with the header's and the real duration" \
    grep -q "^drelvant: warning: 'cut.wav' is cut short: its header says 10.0 s, 0.57 s present" err.txt
"$DRELVANT" process ten.wav whole_out.wav -q 2>err.txt
check "a whole WAV: no warning" test ! -s err.txt

# More than two channels: refused with a downmix command that works.
sox -n -r 44100 -c 6 -b 16 six.wav synth 1 sine 440
"$DRELVANT" process six.wav six_out.wav -q 2>err.txt
check "6 channels: the hint is an ffmpeg downmix" grep -qF "ffmpeg -i in.wav -ac 2 out.wav" err.txt
if command -v ffmpeg >/dev/null; then
    ffmpeg -v error -i six.wav -ac 2 downmixed.wav && "$DRELVANT" process downmixed.wav downmixed_out.wav -q
    check "the hinted downmix is accepted" test -s downmixed_out.wav
fi

# -q silences notes (a conversion) as well as the report.
sox -n -r 22050 -c 1 -b 16 mono.wav synth 1 sine 440 vol 0.3
"$DRELVANT" process mono.wav mono_out.wav >out.txt 2>err.txt
check "without -q: the conversion note" grep -q "^drelvant: note: 'mono.wav' is 22050 Hz mono" err.txt
"$DRELVANT" process mono.wav mono_q.wav -q >out.txt 2>err.txt
check "-q: no note, no report" test ! -s err.txt -a ! -s out.txt

# -q measures nothing: the meter is never started. A breakpoint on startMeter (gdb) counts its
# starts; with the report the input and the output are measured. The compiler may split the
# function in parts, each a location of the breakpoint that every start passes.
meter_starts() {
    local trace locations hits
    trace="$(gdb -batch -nx -ex 'break cli::startMeter' -ex run -ex continue -ex continue -ex continue \
        -ex continue -ex continue -ex continue -ex continue --args "$DRELVANT" process "$@" 2>&1)"
    locations="$(sed -n 's/^Breakpoint 1 at .*(\([0-9]*\) locations)$/\1/p' <<<"$trace")"
    hits="$(grep -cE "Breakpoint 1(\.[0-9]+)?, " <<<"$trace")"
    echo $((hits / ${locations:-1}))
}
# (Only where gdb is installed and may trace a program: some machines forbid ptrace.)
if command -v gdb >/dev/null && gdb -batch -nx -ex run --args true 2>&1 | grep -q "exited normally"; then
    check "with the report: the meter starts for input and output" test "$(meter_starts mono.wav measured.wav)" -eq 2
    check "-q: no loudness measurement at all" test "$(meter_starts mono.wav unmeasured.wav -q)" -eq 0
else
    echo "skipped: the meter-start count (gdb cannot trace programs here)"
fi

# The progress line fits a 40-column terminal: every redraw is at most 40 characters wide.
sox -n -r 44100 -c 2 -b 16 long.wav synth 60 pinknoise vol 0.2
script -qfec "stty cols 40; '$DRELVANT' process long.wav long_out.wav --preset F1 --seed 1 >/dev/null" /dev/null >tty.txt
check "progress under a terminal: succeeds" test -s long_out.wav
python3 - tty.txt <<'PY' && pass "progress lines fit 40 columns" || fail "progress lines fit 40 columns"
import re, sys
text = open(sys.argv[1], 'rb').read().decode('utf-8', 'replace')
text = re.sub(r'\x1b\[[0-9;]*[A-Za-z]', '', text)
redraws = [part for line in text.split('\n') for part in line.split('\r') if part.startswith('processing')]
assert redraws, text[:200]
assert all(len(part) <= 40 for part in redraws), max(redraws, key=len)
PY

# SIGTERM stops the run with 128 + 15, and nothing is left behind.
cat /dev/zero | "$DRELVANT" process - endless.raw -q &
pid=$!
sleep 1.5
kill -TERM "$pid"
wait "$pid"
check "SIGTERM: exit status 143" test $? -eq 143
check "SIGTERM: no output and no temporary file" test ! -e endless.raw -a -z "$(find . -name '*.part-*')"

# response -o FILE.png is a PNG picture; other picture names are refused.
"$DRELVANT" response --preset F7 -q -o plot.png
python3 - plot.png <<'PY' && pass "response -o plot.png: a 720 x 400 PNG" || fail "response -o plot.png: a 720 x 400 PNG"
import struct, sys
data = open(sys.argv[1], 'rb').read()
assert data[:8] == b'\x89PNG\r\n\x1a\n', data[:8]
assert data[12:16] == b'IHDR'
assert struct.unpack('>II', data[16:24]) == (720, 400)
PY
"$DRELVANT" response --preset F7 -q -o plot.jpg 2>err.txt
check "response -o plot.jpg: refused" grep -q "cannot tell the picture format from 'plot.jpg'" err.txt
check "response -o plot.jpg: nothing written" test ! -e plot.jpg

# The manual agrees with the program.
"$DRELVANT" manual >manual.txt
check "manual: the version the program prints" grep -qF "$("$DRELVANT" --version) - " <(head -1 manual.txt)
check "manual: no claim that only WAV and raw are read" bash -c '! grep -q "reads and writes WAV and raw" manual.txt'
check "manual: the plug-in, not the CLI, passes 48 kHz through unless asked" grep -q "the plug-in processes only" manual.txt
check "manual: --preset takes a preset file" grep -q "a user slot or a preset file" manual.txt

finish
