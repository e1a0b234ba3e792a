# Every failure of `process` is one clear line on standard error, a non-zero exit, and no output file.
source "$(dirname "$0")/common.bash"
need python3

write_click good.raw 4410 100
mkdir settings emptydir
printf 'this is not audio\n' >notaudio.wav
printf 'General.Name = x\n' >notes.txt
head -c 4409 good.raw >odd.raw      # a whole number of frames plus one byte
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
    [ -z "$(find . -name '*.part-*')" ] || fail "$name: temporary file left: $(find . -name '*.part-*')"
    pass "$name: $(cat stderr.txt)"
}

expect_failure "missing input" 1 "cannot open 'absent.wav': No such file" out.wav absent.wav out.wav
expect_failure "directory as input" 1 "'emptydir' is a directory" out.wav emptydir out.wav
expect_failure "not audio" 1 "'notaudio.wav' is not an audio file" out.wav notaudio.wav out.wav
expect_failure "raw file ending inside a frame" 1 "ends inside a frame: 4409 bytes" out.raw odd.raw out.raw
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
expect_failure "unknown output format" 1 "cannot tell the output format from 'out.xyz'" out.xyz good.raw out.xyz
expect_failure "block of 0 frames" 2 "--block needs a frame count" out.raw good.raw out.raw --block 0
expect_failure "seed that is no number" 2 "--seed needs a whole number" out.raw good.raw out.raw --seed x
expect_failure "unknown option" 2 "unknown option '--fast'" out.raw good.raw out.raw --fast
expect_failure "no output named" 2 "needs an INPUT and an OUTPUT" out.raw good.raw

# A raw stream that ends inside a frame is only found at its end: the half-written output is
# removed and an existing file of that name stays as it was.
printf 'keep me' >kept.raw
cat half.raw | "$DRELVANT" process - kept.raw -q 2>stderr.txt
check "truncated stream: non-zero exit" test $? -ne 0
check "truncated stream: message" grep -q "^drelvant: '-' ends inside a frame: 4410 bytes" stderr.txt
check "truncated stream: the existing output is untouched" test "$(cat kept.raw)" = "keep me"
check "truncated stream: no temporary file left" test -z "$(find . -name '*.part-*')"
cat half.raw | "$DRELVANT" process - new.raw -q 2>/dev/null
check "truncated stream: no new output" test ! -e new.raw

# An existing output is replaced by a complete new one.
printf 'old' >replaced.raw
"$DRELVANT" process good.raw replaced.raw --preset F7 -q
check "a finished run replaces an existing output" test "$(stat -c %s replaced.raw)" -eq 17640

finish
