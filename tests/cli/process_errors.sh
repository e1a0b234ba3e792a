# Every failure of `process` is one clear line on standard error, a non-zero exit, and no output file.
source "$(dirname "$0")/common.bash"
need python3

write_click good.raw 4410 100
mkdir settings emptydir
printf 'this is not audio\n' >notaudio.wav
# WAV headers whose LIST chunk claims more than the file holds, or holds a chunk that claims more
# than the list (a reader can loop on either for good).
printf 'RIFF\377\377\377\377WAVELIST?\0\0\0\0\0\0\0\0 \367\377' >runaway_list.wav
printf 'RIFF$\1\0\0WAVELIST\20\0\0\0\0\0\0\377\367\377\377\377\377\377\6\0\0\0\0$data\36F\3\30\0' >runaway_sublist.wav
printf 'RIFF$\1\0\0WAVELIST\11\0\0\0\0\0\0\377\367\377\377\377\377\377\6\0\0\0\0$data\36F\3\30\0' >runaway_subheader.wav
printf 'General.Name = x\n' >notes.txt
head -c 4410 good.raw >half.raw     # ... plus half a frame

# expect_failure NAME EXIT PHRASE OUTPUT ARGS...: the run must fail with that status (any
# non-zero when EXIT is "any"), print exactly one line holding PHRASE, and leave OUTPUT absent
# with no temporary file behind.
expect_failure() {
    local name=$1 status=$2 phrase=$3 output=$4
    shift 4
    "$DRELVANT" process "$@" -q >stdout.txt 2>stderr.txt
    local got=$?
    if [ "$status" = any ]; then
        [ "$got" -ne 0 ] || fail "$name: exit status 0"
    else
        [ "$got" -eq "$status" ] || fail "$name: exit status $got, expected $status"
    fi
    [ "$(wc -l <stderr.txt)" -eq 1 ] || fail "$name: not one line: $(cat stderr.txt)"
    grep -q "^drelvant: .*$phrase" stderr.txt || fail "$name: message lacks '$phrase': $(cat stderr.txt)"
    [ ! -e "$output" ] || fail "$name: $output was created"
    rm -f "$output"
    [ -z "$(find . -name '*.part-*')" ] || fail "$name: temporary file left: $(find . -name '*.part-*')"
    pass "$name: $(cat stderr.txt)"
}

expect_failure "missing input" 1 "cannot open 'absent.wav': No such file" out.wav absent.wav out.wav
expect_failure "directory as input" 1 "'emptydir' is a directory" out.wav emptydir out.wav
expect_failure "not audio" 1 "'notaudio.wav' is not an audio file" out.wav notaudio.wav out.wav
for runaway in "runaway_list.wav:its 'LIST' chunk runs past the end of the file" \
               "runaway_sublist.wav:a chunk inside its 'LIST' chunk runs past the end of the list" \
               "runaway_subheader.wav:a chunk inside its 'LIST' chunk runs past the end of the list"; do
  name="${runaway%%:*}"
  for source in file pipe; do
    if [ "$source" = file ]; then
      timeout -s KILL 20 "$DRELVANT" process "$name" out.wav -q 2>stderr.txt
      status=$? phrase="${runaway#*:}"
    else
      timeout -s KILL 20 "$DRELVANT" process - out.wav -q <"$name" 2>stderr.txt
      status=$? phrase="standard input holds a WAV stream that cannot be read"
    fi
    if [ "$status" -eq 1 ] && grep -qF "$phrase" stderr.txt && [ ! -e out.wav ]; then
      pass "$name from a $source: $(cat stderr.txt)"
    else
      fail "$name from a $source: status $status, $(cat stderr.txt)"
    fi
  done
done
expect_failure "unknown factory preset" 1 "no factory preset F8" out.wav good.raw out.wav --preset F8
expect_failure "unknown preset name" 1 "unknown preset 'bogus'" out.wav good.raw out.wav --preset bogus
expect_failure "user slot out of range" 1 "no user preset slot 100" out.wav good.raw out.wav --preset 100
expect_failure "empty user slot" 1 "user preset slot 5 is empty" out.wav good.raw out.wav --preset 5 --dir settings
expect_failure "not a preset file" 1 "'notes.txt' is not a preset file" out.wav good.raw out.wav --preset notes.txt
expect_failure "missing settings directory" 1 "settings directory 'nowhere' does not exist" out.wav \
    good.raw out.wav --dir nowhere
expect_failure "output in a missing directory" 1 "cannot write 'nodir/out.wav': No such file" nodir/out.wav \
    good.raw nodir/out.wav
expect_failure "output is a directory" 1 "cannot write 'emptydir': it is a directory" emptydir/x good.raw emptydir
expect_failure "unknown output format" 2 "cannot tell the output format from 'out.xyz'" out.xyz good.raw out.xyz
expect_failure "block of 0 frames" 2 "--block needs a frame count" out.raw good.raw out.raw --block 0
expect_failure "seed that is no number" 2 "--seed needs a whole number" out.raw good.raw out.raw --seed x
expect_failure "unknown option" 2 "unknown option '--fast'" out.raw good.raw out.raw --fast
expect_failure "no output named" 2 "needs an INPUT and an OUTPUT" out.raw good.raw

# A raw stream or file that ends inside a frame: the partial frame is dropped with a warning and
# every whole frame is processed.
for source in file stream; do
    rm -f partial.raw
    if [ $source = file ]; then
        "$DRELVANT" process half.raw partial.raw --preset F7 --seed 1 --no-prime -q 2>stderr.txt
    else
        cat half.raw | "$DRELVANT" process - partial.raw --preset F7 --seed 1 -q 2>stderr.txt
    fi
    check "raw $source ending inside a frame: done with warnings (3)" test $? -eq 3
    check "raw $source ending inside a frame: warning" \
        grep -q "^drelvant: warning: '.*' ends inside a frame: 4410 bytes .* the last 2 bytes were dropped" stderr.txt
    check "raw $source ending inside a frame: the 1102 whole frames are written" test "$(frames_of_raw partial.raw)" -eq 1102
done
"$DRELVANT" process good.raw whole.raw --preset F7 --seed 1 --no-prime -q
check "raw stream ending inside a frame: the whole frames as processed from a whole file" \
    cmp -s partial.raw <(head -c 4408 whole.raw)

# An existing output is replaced by a complete new one.
printf 'old' >replaced.raw
"$DRELVANT" process good.raw replaced.raw --preset F7 -q
check "a finished run replaces an existing output" test "$(stat -c %s replaced.raw)" -eq 17640

finish
