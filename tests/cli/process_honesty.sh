# A run that went wrong never reads as a success: samples that are not numbers, files cut short,
# a batch stopped half-way, output that cannot be written, rates out of range, hostile headers,
# names that are not UTF-8.
source "$(dirname "$0")/common.bash"
need python3

# write_float_wav PATH SECONDS BAD...: a 44.1 kHz stereo 32-bit float WAV of a 440 Hz sine at
# -10 dBFS, with the samples at the BAD positions ("SECONDS:nan", "SECONDS:inf") replaced.
write_float_wav() {
    python3 - "$@" <<'PY'
import math, struct, sys
path, seconds, bad = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
rate = 44100
frames = int(seconds * rate)
samples = [0.316 * math.sin(2 * math.pi * 440 * (i // 2) / rate) for i in range(2 * frames)]
for item in bad:
    at, what = item.split(':')
    samples[2 * int(float(at) * rate)] = float(what)
data = struct.pack('<%df' % len(samples), *samples)
fmt = struct.pack('<HHIIHH', 3, 2, rate, rate * 8, 8, 32)
with open(path, 'wb') as f:
    f.write(b'RIFF' + struct.pack('<I', 4 + 8 + len(fmt) + 8 + len(data)) + b'WAVE')
    f.write(b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(data)) + data)
PY
}

# rms_after PATH SECONDS: RMS of a float or 16-bit WAV's samples after SECONDS (python's wave
# reads PCM only, so the data chunk is found by hand).
rms_after() {
    python3 - "$1" "$2" <<'PY'
import math, struct, sys
data = open(sys.argv[1], 'rb').read()
at, fmt = 12, None
while at + 8 <= len(data):
    tag, size = data[at:at + 4], struct.unpack('<I', data[at + 4:at + 8])[0]
    if tag == b'fmt ':
        fmt = struct.unpack('<HHIIHH', data[at + 8:at + 24])
    if tag == b'data':
        body = data[at + 8:at + 8 + size]
        break
    at += 8 + size + (size & 1)
tag, channels, rate, _, align, bits = fmt
code = 'f' if tag == 3 else 'h'
values = struct.unpack('<%d%s' % (len(body) // (bits // 8), code), body[:len(body) // (bits // 8) * (bits // 8)])
scale = 1.0 if tag == 3 else 32768.0
tail = [v / scale for v in values[int(float(sys.argv[2]) * rate) * channels:]]
assert all(math.isfinite(v) for v in tail), 'a sample that is not a number'
print('%.6f' % math.sqrt(sum(v * v for v in tail) / max(1, len(tail))))
PY
}

# ---- samples that are not numbers: silence where they stand, counted, named, marked ----
write_float_wav nan.wav 10 5.0:inf 9.0:nan
for prime in prime no-prime; do
    extra=()
    [ $prime = no-prime ] && extra=(--no-prime)
    "$DRELVANT" process nan.wav nan_out.wav --preset F1 --seed 1 "${extra[@]}" --json nan.json -q 2>err.txt
    check "NaN/Inf input ($prime): exit status 3 (done with warnings)" test $? -eq 3
    check "NaN/Inf input ($prime): warning with the count and the first time" \
        grep -q "^drelvant: warning: 'nan.wav' holds 2 samples that are not numbers (NaN or infinite), the first at 5.000 s" err.txt
    rms=$(rms_after nan_out.wav 9.5)
    check "NaN/Inf input ($prime): the output after the NaN still sounds (RMS $rms)" \
        python3 -c "import sys; sys.exit(0 if float('$rms') > 0.01 else 1)"
    check "NaN/Inf input ($prime): JSON marks it with its warning" python3 - nan.json <<'PY'
import json, sys
entry = json.load(open(sys.argv[1]))['files'][0]
assert entry['status'] == 'processed-with-warnings', entry['status']
assert any('not numbers' in w for w in entry['warnings']), entry['warnings']
assert entry['input_loudness']['true_peak_dbtp'] is not None and entry['input_loudness']['true_peak_dbtp'] < 0
PY
done
write_float_wav clean.wav 2
"$DRELVANT" process clean.wav clean_out.wav --json clean.json -q 2>err.txt
check "a clean float file: exit 0, no warning" test $? -eq 0 -a ! -s err.txt
check "a clean float file: processed, no warnings in the JSON" python3 -c "
import json; e = json.load(open('clean.json'))['files'][0]; assert e['status'] == 'processed' and e['warnings'] == [], e"
"$DRELVANT" process nan.wav strict_out.wav --strict -q 2>err.txt
check "--strict: a warning fails the file (exit 1)" test $? -eq 1
check "--strict: no output left" test ! -e strict_out.wav

# ---- 48 kHz float input alternating +-1e30: the float output stays within full scale ----
python3 - <<'PY'
import struct
rate, frames = 48000, 48000
samples = [1e30 if (i // 2) % 2 == 0 else -1e30 for i in range(2 * frames)]
data = struct.pack('<%df' % len(samples), *samples)
fmt = struct.pack('<HHIIHH', 3, 2, rate, rate * 8, 8, 32)
open('huge.wav', 'wb').write(b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVE' + b'fmt ' + struct.pack('<I', 16) +
                             fmt + b'data' + struct.pack('<I', len(data)) + data)
PY
"$DRELVANT" process huge.wav huge_out.wav -q
check "+-1e30 float input: the float output stays within +-1.0" python3 -c "
import struct
d = open('huge_out.wav', 'rb').read(); i = d.find(b'data'); n = struct.unpack('<I', d[i + 4:i + 8])[0]
assert max(abs(x) for x in struct.unpack('<%df' % (n // 4), d[i + 8:i + 8 + n])) <= 1.0"

# ---- cut short: a header that claims three times the data, in a file and in a pipe ----
write_float_wav whole.wav 3
python3 - <<'PY'
data = bytearray(open('whole.wav', 'rb').read())
size = int.from_bytes(data[40:44], 'little')
data[40:44] = (3 * size).to_bytes(4, 'little')
open('claims.wav', 'wb').write(data)
PY
"$DRELVANT" process claims.wav claims_out.wav --json claims.json -q 2>err.txt
check "header claiming 3x the data: exit 3" test $? -eq 3
check "header claiming 3x the data: warning" grep -q "'claims.wav' is cut short" err.txt
check "header claiming 3x the data: JSON marks it" python3 -c "
import json; e = json.load(open('claims.json'))['files'][0]; assert e['status'] == 'processed-with-warnings', e"
cat claims.wav | "$DRELVANT" process - pipe_out.wav -q 2>err.txt
check "the same header on a pipe (a streamed header's estimate): exit 0, no warning" test $? -eq 0 -a ! -s err.txt

# ---- truncation is one fault in every container: what is there is processed, warned, marked ----
if command -v sox >/dev/null && command -v ffmpeg >/dev/null; then
    sox -R -n -r 44100 -c 2 -b 16 tone.wav synth 6 sine 440 vol 0.3
    sox tone.wav tone.flac && sox tone.wav tone.ogg
    ffmpeg -v error -i tone.wav -c:a libmp3lame tone.mp3 && ffmpeg -v error -i tone.wav -c:a libopus tone.opus
    for container in wav flac ogg mp3 opus; do
        "$DRELVANT" process tone.$container whole_$container.wav -q 2>err.txt
        check "whole $container: exit 0, no warning" test $? -eq 0 -a ! -s err.txt
        head -c $(($(stat -c %s tone.$container) / 2 + 7)) tone.$container >cut.$container
        "$DRELVANT" process cut.$container cut_$container.wav --json cut.json -q 2>err.txt
        check "cut $container: exit 3 with its output" test $? -eq 3 -a -s cut_$container.wav
        check "cut $container: warned" grep -q "^drelvant: warning: 'cut.$container' is cut short" err.txt
        check "cut $container: JSON marks it" python3 -c "
import json; e = json.load(open('cut.json'))['files'][0]; assert e['status'] == 'processed-with-warnings', e"
    done
fi

# ---- targets: lossy outputs reach them, an unreachable one is said to be ----
if command -v sox >/dev/null && command -v ffmpeg >/dev/null; then
    sox -R -n -r 44100 -c 2 -b 16 bright.wav synth 8 square 3000 pinknoise mix vol 0.4
    for container in mp3 ogg opus; do
        "$DRELVANT" process bright.wav target.$container --preset F4 --target -16 --seed 1 -q
        check "--target -16 into $container: exit 0" test $? -eq 0
        lufs=$(ffmpeg -nostats -i target.$container -af ebur128 -f null - 2>&1 | awk '$1 == "I:" { value = $2 } END { print value }')
        check "--target -16 into $container: ffmpeg measures $lufs LUFS, within 0.2 LU"             python3 -c "import sys; sys.exit(0 if abs(float('$lufs') + 16) <= 0.2 else 1)"
    done
    "$DRELVANT" process bright.wav loud.wav --preset F7 --target -5 --ceiling -8 --json loud.json -q 2>err.txt
    check "a target the ceiling prevents: exit 3" test $? -eq 3
    check "a target the ceiling prevents: the loudness reached and the reason"         grep -q "warning: 'loud.wav' reaches -[0-9.]* LUFS, not the -5.0 LUFS target: the -8.0 dBTP ceiling allows no more" err.txt
    check "a target the ceiling prevents: a JSON warning" python3 -c "
import json; e = json.load(open('loud.json'))['files'][0]; assert any('target' in w for w in e['warnings']), e"
    "$DRELVANT" process bright.wav strict_loud.wav --preset F7 --target -5 --ceiling -8 --strict -q 2>/dev/null
    check "a target the ceiling prevents, --strict: a failure without output" test $? -eq 1 -a ! -e strict_loud.wav
fi

# ---- a batch stopped half-way: files that never started are not reported as processed ----
write_float_wav one.wav 1
cp one.wav three.wav && cp one.wav four.wav
mkfifo stuck.raw
"$DRELVANT" process one.wav stuck.raw three.wav four.wav -o stopped -j 1 --json stopped.json >batch.txt 2>err.txt &
batch=$!
for _ in $(seq 300); do [ -e stopped/one.wav ] && break; sleep 0.1; done
sleep 0.5  # the batch is now waiting for the FIFO's writer
kill -INT $batch
for _ in $(seq 200); do kill -0 $batch 2>/dev/null || break; sleep 0.1; done
kill -0 $batch 2>/dev/null && { fail "Ctrl-C in a batch: still running 20 s later"; kill -KILL $batch; }
wait $batch
check "Ctrl-C in a batch: exit status 130" test $? -eq 130
check "Ctrl-C in a batch: the summary agrees with the JSON" \
    grep -q "^Batch: 1 processed, 0 skipped, 1 failed, 2 not started, 0 processed with warnings;" batch.txt
check "Ctrl-C in a batch: the JSON's statuses" python3 -c "
import json; files = json.load(open('stopped.json'))['files']
assert [f['status'] for f in files] == ['processed', 'failed', 'not-started', 'not-started'], files
assert files[1]['reason'], files[1]"
check "Ctrl-C in a batch: nothing written for the files not started" test ! -e stopped/three.wav -a ! -e stopped/four.wav

# ---- -o DIR: made when missing (its parent must exist); a file is named as such ----
"$DRELVANT" process one.wav -o newfolder -q
check "-o into a missing folder: made and written" test -s newfolder/one.wav
"$DRELVANT" process one.wav -o one.wav -q 2>err.txt
check "-o naming a file: said so" grep -q "'one.wav' is not a folder" err.txt
"$DRELVANT" process one.wav -o absent/deeper -q 2>err.txt
check "-o whose parent is missing: refused" grep -q "cannot create the output folder 'absent/deeper'" err.txt

# ---- standard output that cannot be written fails every command ----
if [ -w /dev/full ]; then
    for command in "version" "presets" "presets show F1" "presets diff F1 F2" "presets check $SOURCE_DIR/resources/presets/F1.txt" \
        "process one.wav full_out.wav" "--help" "process --help"; do
        # shellcheck disable=SC2086
        "$DRELVANT" $command >/dev/full 2>err.txt
        status=$?
        check "'$command' > /dev/full: exit 1 ($status)" test $status -eq 1
        check "'$command' > /dev/full: says so" grep -q "cannot write to standard output" err.txt
    done
fi

# ---- input rates outside 8,000 ... 384,000 Hz are refused at once ----
for rate in 1 10000000; do
    python3 - $rate <<'PY'
import struct, sys
rate = int(sys.argv[1])
data = bytes(4 * 4410)
fmt = struct.pack('<HHIIHH', 1, 2, rate, rate * 4, 4, 16)
open('rate.wav', 'wb').write(b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVE' + b'fmt ' + struct.pack('<I', 16) +
                              fmt + b'data' + struct.pack('<I', len(data)) + data)
PY
    (ulimit -v 400000; timeout 20 "$DRELVANT" process rate.wav rate_out.wav 2>err.txt)
    status=$?
    check "$rate Hz input: refused (exit 1, not $status)" test $status -eq 1
    check "$rate Hz input: the message names the rates processed" grep -q "rates from 8000 to 384000 Hz are processed" err.txt
done

# ---- a chunk size near 4 GiB on standard input ends at once, with little memory ----
for size in 0xFFFFFFF7 0xFFFFFFF8; do
    for format in whole zeros; do
        python3 - $size $format <<'PY'
import struct, sys
size, format = int(sys.argv[1], 16), sys.argv[2]
fmt = struct.pack('<HHIIHH', 1, 2, 44100, 176400, 4, 16) if format == 'whole' else bytes(16)
head = b'RIFF' + struct.pack('<I', 0xFFFFFFFF) + b'WAVE' + b'LIST' + struct.pack('<I', size) + b'INFO'
open('wrapped.wav', 'wb').write(head + b'fmt ' + struct.pack('<I', 16) + fmt + b'data' + struct.pack('<I', 17640) + bytes(17640))
PY
        for source in file pipe; do
            if [ $source = file ]; then
                (ulimit -v 1000000; timeout -k 2 20 "$DRELVANT" process - wrapped_out.wav -q <wrapped.wav 2>err.txt)
            else
                (ulimit -v 1000000; cat wrapped.wav | timeout -k 2 20 "$DRELVANT" process - wrapped_out.wav -q 2>err.txt)
            fi
            status=$?
            check "chunk size $size ($format fmt, $source on standard input): an error at once (status $status)" test $status -eq 1
        done
    done
done

# ---- nothing overwritten that was not asked for ----
cp one.wav keep.wav && cp one.wav keep_copy.wav
"$DRELVANT" process keep.wav json_out.wav --json keep.wav -q 2>err.txt
check "--json onto INPUT: refused (exit 2)" test $? -eq 2
check "--json onto INPUT: the recording survives" cmp -s keep.wav keep_copy.wav
cp one.wav existing_out.wav && cp one.wav existing_copy.wav
"$DRELVANT" process keep.wav existing_out.wav --json ./existing_out.wav -q 2>err.txt
check "--json onto OUTPUT: refused (exit 2)" test $? -eq 2
check "--json onto OUTPUT: the file survives" cmp -s existing_out.wav existing_copy.wav
"$DRELVANT" process keep.wav -o batch_json --json batch_json/keep.wav -q 2>err.txt
check "--json onto a batch output: refused (exit 2)" test $? -eq 2
"$DRELVANT" process keep.wav -o batch_json --json keep.wav -q 2>err.txt
check "--json onto a batch input: refused, the recording survives" test $? -eq 2 && cmp -s keep.wav keep_copy.wav
cp one.wav setuid_out.wav && chmod 4755 setuid_out.wav
"$DRELVANT" process one.wav setuid_out.wav -q
check "a set-user-ID output: the bit is not carried" test "$(stat -c %a setuid_out.wav)" = 755
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
    mkdir -m 1777 shared && cp one.wav victim.wav && cp one.wav victim_copy.wav
    ln -s "$WORK/victim.wav" shared/planted.wav && chown -h nobody shared/planted.wav
    # root owns the folder and runs the test: a link of nobody's is neither
    "$DRELVANT" process one.wav shared/planted.wav -q 2>err.txt
    check "a link planted by another user in a sticky world-writable folder: refused" test $? -eq 1
    check "the planted link's target survives" cmp -s victim.wav victim_copy.wav
    check "the planted link: the message names the rule" grep -q "protected-symlinks" err.txt
    ln -s "$WORK/victim.wav" shared/mine.wav
    "$DRELVANT" process one.wav shared/mine.wav -q
    check "a link of the user's own in the same folder: followed" test $? -eq 0
fi

# ---- --preset=~/FILE from the help: the tilde after "=" is the home folder ----
"$DRELVANT" presets show F3 >"$HOME/mine.ini" 2>/dev/null
"$DRELVANT" process one.wav tilde_out.wav --preset=~/mine.ini -q 2>err.txt
check "--preset=~/FILE: read from the home folder" test $? -eq 0 -a -s tilde_out.wav

# An RF64 stream that ends inside its header: refused, not read toward a size never sent.
printf 'RF64]\377\377\337WAVELIST\367\000\000' >cut_header.wav
(ulimit -v 1000000; cat cut_header.wav | timeout -k 2 20 "$DRELVANT" process - cut_header_out.wav -q 2>err.txt)
check "an RF64 header cut short on a pipe: an error at once" test $? -eq 1

# ---- names that are not UTF-8 still give valid JSON ----
odd=$(printf 'caf\xe9\x01.wav')
cp one.wav "$odd"
"$DRELVANT" process "$odd" utf_out.wav --json odd.json -q
check "a file name that is not UTF-8: the JSON parses" python3 -c "
import json; e = json.load(open('odd.json', encoding='utf-8'))['files'][0]; assert e['input'] == 'caf\ufffd\x01.wav', e['input']"

finish
