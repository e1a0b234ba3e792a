# Headerless input at other rates, channel counts and sample formats: --input-rate, --input-channels
# and --input-bits read a raw stream (standard input or *.raw) as the same audio in a WAV file is
# read, a note on standard error says how raw input is taken, and wrong values are usage errors.
source "$(dirname "$0")/common.bash"

# The samples of two sound files are the same (float WAV headers carry a time stamp of their own).
same_audio() {
    sox "$1" -t raw a.pcm 2>/dev/null && sox "$2" -t raw b.pcm 2>/dev/null && cmp -s a.pcm b.pcm
}

# rate, channels, --input-bits value
for layout in "48000 2 16" "48000 2 24" "32000 1 16" "48000 2 32f"; do
    read -r rate channels bits <<<"$layout"
    case $bits in
        32f) encoding=(-e floating-point -b 32) ;;
        *) encoding=(-e signed-integer -b "$bits") ;;
    esac
    sox -n -r "$rate" -c "$channels" "${encoding[@]}" "in-$rate-$channels-$bits.wav" synth 3 pinknoise synth 3 sine mix 330 gain -9
    sox "in-$rate-$channels-$bits.wav" -t raw "${encoding[@]}" -L "in-$rate-$channels-$bits.raw"
    options=(--preset F3 --seed 1 --no-prime --output-format wav)
    "$DRELVANT" process - from-wav.wav "${options[@]}" -q <"in-$rate-$channels-$bits.wav"
    "$DRELVANT" process - from-pipe.wav "${options[@]}" -q --input-rate "$rate" --input-channels "$channels" \
        --input-bits "$bits" <"in-$rate-$channels-$bits.raw"
    "$DRELVANT" process "in-$rate-$channels-$bits.raw" from-file.wav "${options[@]}" --input-rate "$rate" \
        --input-channels "$channels" --input-bits "$bits" 2>stderr.txt >/dev/null
    check "$layout raw on standard input: the audio of the same WAV stream" same_audio from-wav.wav from-pipe.wav
    check "$layout .raw file: the audio of the same WAV stream" same_audio from-wav.wav from-file.wav
    [ "$bits" = 32f ] && described="32-bit float" || described="$bits-bit"
    [ "$channels" = 1 ] && layoutName=mono || layoutName=stereo
    check "$layout: the note names the raw layout" \
        grep -qF "is read as headerless $rate Hz $layoutName $described little-endian audio" stderr.txt
done

# Without the options: 44100 Hz stereo 16-bit, as before, and the note says so.
sox -n -r 44100 -c 2 -e signed-integer -b 16 plain.wav synth 2 pinknoise gain -9
sox plain.wav -t raw -L plain.raw
"$DRELVANT" process plain.raw plain-out.wav --preset F3 --seed 1 --no-prime 2>stderr.txt >/dev/null
"$DRELVANT" process plain.wav plain-ref.wav --preset F3 --seed 1 --no-prime -q
check "default raw input is 44100 Hz stereo 16-bit" cmp -s plain-out.wav plain-ref.wav
check "the default is named on standard error" \
    grep -qF "is read as headerless 44100 Hz stereo 16-bit little-endian audio" stderr.txt

# A file with a header keeps its own format; the note says the options were not used.
"$DRELVANT" process plain.wav header-out.wav --preset F3 --seed 1 --no-prime --input-rate 48000 2>stderr.txt >/dev/null
check "a WAV input ignores --input-rate" cmp -s header-out.wav plain-ref.wav
check "the note says the options are for headerless input" grep -qF "are for headerless input only" stderr.txt

# Wrong values are usage errors (status 2).
for bad in "--input-rate 1000" "--input-channels 3" "--input-bits 8" "--input-bits 32"; do
    # shellcheck disable=SC2086
    "$DRELVANT" process plain.raw x.wav $bad -q 2>/dev/null
    status=$?
    check "$bad is refused with status 2" test "$status" -eq 2
done
finish
