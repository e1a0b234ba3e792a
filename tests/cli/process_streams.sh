# Sound-file streams on standard input, WAV on standard output, FIFOs, devices and symlinks as
# output, and an output that is the input itself.
source "$(dirname "$0")/common.bash"
need python3
need sox
need ffmpeg

sox -n -r 44100 -c 2 -b 16 music.wav synth 4 pluck 220 pluck 330 tremolo 3 40 vol 0.7
sox music.wav -t raw music.raw
"$DRELVANT" process music.raw reference.raw --preset F2 --seed 3 --no-prime -q

# Containers on standard input are recognised and decoded, not processed as raw samples.
for container in wav flac aiff; do
    sox music.wav -t "$container" - | "$DRELVANT" process - "from_$container.raw" --preset F2 --seed 3 --no-prime -q
    check "$container stream on standard input: succeeds" test $? -eq 0
    check "$container stream on standard input: the bytes of the raw route" cmp -s "from_$container.raw" reference.raw
done
ffmpeg -v error -i music.wav -f wav - | "$DRELVANT" process - from_ffmpeg.raw --preset F2 --seed 3 --no-prime -q
check "ffmpeg's WAV stream (length unknown) on standard input: the bytes of the raw route" \
    cmp -s from_ffmpeg.raw reference.raw
sox -n -r 44100 -c 2 -b 16 long.wav synth 8 pinknoise vol 0.3
sox long.wav -t raw long.raw
"$DRELVANT" process long.raw long_ref.raw --preset F1 --seed 3 --no-prime -q
cat long.wav | "$DRELVANT" process - long_piped.raw --preset F1 --seed 3 --no-prime -q
check "a WAV stream longer than the kept header window: the bytes of the raw route" cmp -s long_piped.raw long_ref.raw

# An MP3 stream on standard input is decoded: level and format as the file holds them.
ffmpeg -v error -i music.wav -c:a libmp3lame -b:a 192k music.mp3
"$DRELVANT" process music.mp3 mp3_file.wav --preset F7 --seed 1 --no-prime -q
cat music.mp3 | "$DRELVANT" process - mp3_piped.wav --preset F7 --seed 1 --no-prime >report.txt 2>notes.txt
check "MP3 stream on standard input: succeeds" test $? -eq 0
check "MP3 stream: the report names the input format" grep -q "^Input format  *44100 Hz stereo MP3$" report.txt
python3 - music.wav mp3_piped.wav <<'PY' && pass "MP3 stream: the music's level, not noise" || fail "MP3 stream: the music's level, not noise"
import math, struct, sys, wave
def rms(path):
    w = wave.open(path); n = w.getnframes()
    v = struct.unpack('<%dh' % (2 * n), w.readframes(n))
    return math.sqrt(sum(x * x for x in v) / len(v))
a, b = rms(sys.argv[1]), rms(sys.argv[2])
assert abs(20 * math.log10(b / a)) < 1.0, (a, b)
PY
# Anything else on standard input stays raw.
cat music.raw | "$DRELVANT" process - raw_piped.raw --preset F2 --seed 3 --no-prime -q
check "raw audio on standard input stays raw" cmp -s raw_piped.raw reference.raw

# WAV on standard output: a stream header, then the samples of the raw route.
"$DRELVANT" process music.wav - --output-format wav --preset F2 --seed 3 --no-prime -q >stdout.wav
check "WAV on standard output: sox reads it" test "$(soxi -r stdout.wav 2>/dev/null)" = 44100
sox stdout.wav -t raw stdout_wav.raw 2>/dev/null
check "WAV on standard output: the bytes of the raw route" cmp -s stdout_wav.raw reference.raw
"$DRELVANT" process music.wav - --preset F2 --seed 3 --no-prime -q >stdout.raw
check "standard output without --output-format is raw" cmp -s stdout.raw reference.raw
"$DRELVANT" process music.wav - --output-format flac --no-prime -q >/dev/null 2>err.txt
check "FLAC on standard output: refused" grep -q "standard output takes raw or WAV audio" err.txt

# A FIFO is written straight; its reader gets the audio.
mkfifo pipe.wav
timeout 30 cat pipe.wav >from_fifo.wav &
reader=$!
"$DRELVANT" process music.wav pipe.wav --preset F2 --seed 3 --no-prime -q
check "FIFO output: succeeds" test $? -eq 0
wait "$reader"
check "FIFO output: it is still a FIFO" test -p pipe.wav
sox from_fifo.wav -t raw from_fifo.raw 2>/dev/null
check "FIFO output: the reader got the processed audio" cmp -s from_fifo.raw reference.raw
check "FIFO output: no temporary file beside it" test -z "$(find . -name '*.part-*')"
mkfifo pipe.raw
timeout 30 cat pipe.raw >from_fifo_raw.raw &
reader=$!
"$DRELVANT" process music.wav pipe.raw --preset F2 --seed 3 --no-prime -q
wait "$reader"
check "raw FIFO output: streamed block by block, the reader got it" cmp -s from_fifo_raw.raw reference.raw
"$DRELVANT" process music.wav /dev/null --output-format wav --no-prime -q
check "a character device (/dev/null) as output: succeeds and stays a device" test $? -eq 0 -a -c /dev/null

# A symlink is followed: its target is replaced, the link stays.
mkdir target
printf 'old' >target/song.raw
ln -s target/song.raw link.raw
"$DRELVANT" process music.wav link.raw --preset F2 --seed 3 --no-prime -q
check "symlink output: the link is still a link" test -L link.raw
check "symlink output: the target holds the output" cmp -s target/song.raw reference.raw
ln -s target/new.raw dangling.raw
"$DRELVANT" process music.wav dangling.raw --preset F2 --seed 3 --no-prime -q
check "dangling symlink output: the target is created" cmp -s target/new.raw reference.raw

# The input itself as output is refused, however it is named; --overwrite-input allows it.
cp music.wav source.wav
ln source.wav hardlink.wav
ln -s source.wav symlink.wav
for name in source.wav ./source.wav ../"$(basename "$PWD")"/source.wav hardlink.wav symlink.wav; do
    "$DRELVANT" process source.wav "$name" --no-prime -q 2>err.txt
    check "output $name = input: refused" test $? -eq 1
    check "output $name = input: the message says why" grep -q "is the input file 'source.wav': refusing to overwrite" err.txt
    check "output $name = input: the source is untouched" cmp -s source.wav music.wav
done
"$DRELVANT" process source.wav source.wav --overwrite-input --preset F2 --seed 3 --no-prime -q
check "--overwrite-input: replaced by the processed audio" \
    cmp -s <(sox source.wav -t raw - 2>/dev/null) reference.raw

finish
