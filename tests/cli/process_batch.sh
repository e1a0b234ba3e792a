# A batch of files into a folder, several at once: the same bytes as single runs, a broken input
# reported while the others go on, --format, --skip-existing and the usage errors.
source "$(dirname "$0")/common.bash"
need sox
need cmp

mkdir -p in out single
sox -n -r 44100 -c 2 -b 16 in/a.wav synth 3 pluck 220 pluck 330 vol 0.7
sox -n -r 48000 -c 1 -b 24 in/b.flac synth 2 sine 1000 vol 0.5
sox -n -r 44100 -c 2 -b 16 in/c.ogg synth 2 pinknoise vol 0.3
sox -n -r 22050 -c 2 -b 16 in/d.aiff synth 2 square 300 vol 0.2
printf 'this is no audio at all, only text pretending to be a wave file\n' >in/broken.wav

"$DRELVANT" process in/a.wav in/broken.wav in/b.flac in/c.ogg in/d.aiff -o out -j 2 --preset F2 --seed 9 \
    >batch.txt 2>batch_err.txt
check "a batch with a broken input: status 1" test $? -eq 1
check "the broken input is named in the summary of failures" grep -q "not processed: 'in/broken.wav'" batch_err.txt
check "nothing is written for the broken input" test ! -e out/broken.wav
check "the summary counts 4 processed and 1 failed" grep -q "^Batch: 4 processed, 0 skipped, 1 failed, 0 not started, 0 processed with warnings;" batch.txt
check "each file's report follows its IN -> OUT line" grep -q "^in/b.flac -> out/b.flac$" batch.txt
for name in a.wav b.flac d.aiff; do
    "$DRELVANT" process "in/$name" "single/$name" --preset F2 --seed 9 -q
    check "$name: the batch output is byte for byte the single run's" cmp -s "out/$name" "single/$name"
done
# An Ogg stream carries a random serial number of libsndfile's choosing: the decoded audio is compared.
"$DRELVANT" process in/c.ogg single/c.ogg --preset F2 --seed 9 -q
sox out/c.ogg -t raw batch_c.raw
sox single/c.ogg -t raw single_c.raw
check "c.ogg: the batch output decodes to the single run's samples" cmp -s batch_c.raw single_c.raw
check "no temporary file is left in the folder" test "$(ls -A out | wc -l)" -eq 4

# --skip-existing leaves the outputs that exist alone (a changed one stays changed); -j 1 works too.
printf 'marker' >out/a.wav
rm out/b.flac
"$DRELVANT" process in/a.wav in/b.flac -o out -j 1 --skip-existing --preset F2 --seed 9 >skip.txt 2>skip_err.txt
check "--skip-existing: status 0" test $? -eq 0
check "--skip-existing: the existing output is left alone" test "$(cat out/a.wav)" = marker
check "--skip-existing: it is named in a note" grep -q "'in/a.wav' skipped: 'out/a.wav' exists" skip_err.txt
check "--skip-existing: summary" grep -q "^Batch: 1 processed, 1 skipped, 0 failed, 0 not started, 0 processed with warnings;" skip.txt

# --format changes the extension and the container; the outputs equal single runs into that container.
mkdir -p flac
"$DRELVANT" process in/a.wav in/d.aiff -o flac --format flac --preset F3 --seed 2 -q
check "--format flac: status 0" test $? -eq 0
"$DRELVANT" process in/a.wav single/a.flac --preset F3 --seed 2 -q
check "--format flac: a.wav becomes a.flac, as a single run writes it" cmp -s flac/a.flac single/a.flac
check "--format flac: d.aiff becomes a FLAC file d.flac" test "$(soxi -t flac/d.flac)" = flac

# Two inputs of one name would share an output: the second is refused, the first written.
mkdir -p other same
cp in/a.wav other/a.wav
"$DRELVANT" process in/a.wav other/a.wav -o same -q --preset F7 --seed 1 2>same_err.txt
check "two inputs of one name: status 1" test $? -eq 1
check "two inputs of one name: the second is refused" grep -q "'other/a.wav' would be written to 'same/a.wav'" same_err.txt
check "two inputs of one name: the first is written" test -s same/a.wav

# The overall progress line: drawn on a terminal (script gives the program one), not elsewhere.
if command -v script >/dev/null && script -qec true /dev/null >/dev/null 2>&1; then
    mkdir -p term
    script -qec "\"$DRELVANT\" process in/a.wav in/d.aiff -o term -j 2 --preset F1 --seed 1" /dev/null >terminal.txt
    check "on a terminal: the progress line counts files, hours of audio and speed" \
        grep -aq 'batch: [0-9] of 2 files, [0-9.]* h of audio, [0-9.]*x real time' terminal.txt
fi
check "not on a terminal: no progress line" test "$(grep -c 'batch: ' batch_err.txt)" -eq 0

# Usage errors.
"$DRELVANT" process in/a.wav -o missing_parent/folder -q 2>err.txt
check "an output folder whose parent is missing: status 1" test $? -eq 1
"$DRELVANT" process in/a.wav out.wav -j 2 2>err.txt
check "--jobs without -o: status 2" test $? -eq 2
"$DRELVANT" process in/a.wav -o out -j 0 2>err.txt
check "--jobs 0: status 2" test $? -eq 2
"$DRELVANT" process -o out -q 2>err.txt
check "-o without inputs: status 2" test $? -eq 2
"$DRELVANT" process - -o out -q </dev/null 2>err.txt
check "standard input in a batch: status 2" test $? -eq 2
finish
