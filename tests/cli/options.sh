# Conventional option forms: --opt=value, --, grouped short options, -V and version, one wording
# for unknown options, "unexpected argument" for extra positionals, usage errors with status 2.
source "$(dirname "$0")/common.bash"
need python3

write_click in.raw 22050 1000

# expect_usage NAME PHRASE ARGS...: status 2, one line on standard error holding PHRASE.
expect_usage() {
    local name=$1 phrase=$2
    shift 2
    "$DRELVANT" "$@" >stdout.txt 2>stderr.txt
    local got=$?
    [ "$got" -eq 2 ] || fail "$name: exit status $got, expected 2"
    [ "$(wc -l <stderr.txt)" -eq 1 ] || fail "$name: not one line: $(cat stderr.txt)"
    grep -qF -- "$phrase" stderr.txt || fail "$name: message lacks '$phrase': $(cat stderr.txt)"
    [ ! -s stdout.txt ] || fail "$name: wrote to standard output"
    pass "$name: $(cat stderr.txt)"
}

# --preset=F3 is --preset F3; -- ends the options, so a file may be named like one.
"$DRELVANT" process in.raw spaced.raw --preset F3 --seed 4 --no-prime -q
"$DRELVANT" process in.raw joined.raw --preset=F3 --seed=4 --no-prime -q
check "--preset=F3 --seed=4 give the bytes of --preset F3 --seed 4" cmp -s spaced.raw joined.raw
cp in.raw ./-q.raw
"$DRELVANT" process --preset F3 --seed 4 --no-prime -q -- -q.raw dashed.raw
check "after --, '-q.raw' is an input file" cmp -s spaced.raw dashed.raw
"$DRELVANT" process -q in.raw quiet.raw --preset F7 >out.txt 2>&1
check "-q anywhere: nothing printed" test ! -s out.txt

# Grouped short options: -qo FILE and -qoFILE.
"$DRELVANT" response --preset F7 -qo grouped.svg >out.txt 2>&1
check "response -qo FILE: the picture, nothing printed" test -s grouped.svg -a ! -s out.txt
"$DRELVANT" response --preset F7 -qoattached.svg >out.txt 2>&1
check "response -qoFILE: the picture" test -s attached.svg

# Version, three ways.
for form in -V --version version; do
    check "drelvant $form" test "$("$DRELVANT" $form)" = "Drelvant v1.20"
done
# Every command answers --help, version too.
check "drelvant version --help" bash -c "'$DRELVANT' version --help | grep -q '^Usage: drelvant version'"
expect_usage "extra positional to version" "unexpected argument 'now' for version" version now

expect_usage "--preset without a value" "option '--preset' needs a value" process in.raw out.raw --preset
expect_usage "--preset= with nothing" "option '--preset' needs a preset" process in.raw out.raw --preset=
expect_usage "--preset \"\"" "option '--preset' needs a preset" process in.raw out.raw --preset ""
expect_usage "--dir \"\"" "option '--dir' needs a directory" process in.raw out.raw --dir ""
expect_usage "a value given to a switch" "option '--keep-latency' takes no value" process in.raw out.raw --keep-latency=1
expect_usage "extra positional to process" "unexpected argument 'third.raw' for process" process in.raw out.raw third.raw
expect_usage "extra positional to presets show" "unexpected argument 'F2' for presets" presets show F1 F2
expect_usage "positional to response" "unexpected argument 'F4' for response" response F4
expect_usage "positional to bench" "unexpected argument 'now' for bench" bench now
expect_usage "positional to manual" "unexpected argument 'please' for manual" manual please
expect_usage "positional to demo" "unexpected argument 'x' for demo" demo x
# One wording for unknown options, long or short, in every command.
for command in process presets response demo bench manual; do
    expect_usage "$command: unknown long option" "unknown option '--fast' for $command (see drelvant $command --help)" \
        "$command" --fast
    expect_usage "$command: unknown short option" "unknown option '-z' for $command (see drelvant $command --help)" \
        "$command" -z
done
expect_usage "unknown top-level option" "unknown option '--fast' (see drelvant --help)" --fast
check "nothing was written by the refused runs" test ! -e out.raw

finish
