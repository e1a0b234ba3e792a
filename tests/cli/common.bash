# Shared set-up of the command-line tests: the program, a private work folder and home, checks.
# Sourced by the tests/cli/*.sh scripts, which are called as: bash script.sh DRELVANT SOURCE_DIR.

set -u
DRELVANT=$(realpath "${1:?path to the drelvant program}")
SOURCE_DIR=$(realpath "${2:?path to the source tree}")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/drelvant-cli-test.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# The default settings lookup must never reach the real user folder.
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$HOME"
cd "$WORK" || exit 1
failures=0

# sox's noise and dither draw from a new seed each run unless told to repeat: test material is
# the same on every run.
sox() { command sox -R "$@"; }

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

pass() { echo "ok: $*"; }

# check DESCRIPTION COMMAND...: the command must succeed.
check() {
    local description=$1
    shift
    if "$@"; then pass "$description"; else fail "$description"; fi
}

need() {
    command -v "$1" >/dev/null 2>&1 || { echo "FAIL: this test needs $1" >&2; exit 1; }
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}

# A preset file with CR LF line ends (the format the settings text reads): header, then the lines given.
write_preset() {
    local file=$1
    shift
    {
        printf 'Drelvant\r\nThis is a preset file for Drelvant v1.20\r\nFilename: %s\r\n' "$(basename "$file")"
        printf -- '-----------------------------------------\r\n'
        for line in "$@"; do printf '%s\r\n' "$line"; done
    } >"$file"
}

# Headerless 16-bit little-endian stereo with one click (both channels) at FRAME in FRAMES of silence.
write_click() {
    python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
path, frames, at = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = bytearray(4 * frames)
struct.pack_into('<hh', data, 4 * at, 20000, 20000)
open(path, 'wb').write(data)
PY
}

# Frame of the largest |left| + |right| in a raw file.
loudest_frame() {
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
n = len(data) // 4
v = struct.unpack('<%dh' % (2 * n), data)
print(max(range(n), key=lambda i: abs(v[2 * i]) + abs(v[2 * i + 1])))
PY
}

frames_of_raw() { echo $(($(stat -c %s "$1") / 4)); }
# ffmpeg_r128 FILE: ffmpeg's EBU R 128 meter (true peak on) over FILE, its frame figures into
# meta.txt ("lavfi.r128.I=...", "lavfi.r128.LRA=...", "lavfi.r128.true_peak=..." as a linear value).
ffmpeg_r128() {
    ffmpeg -nostats -hide_banner -i "$1" -af "ebur128=peak=true:metadata=1,ametadata=mode=print:file=meta.txt" \
        -f null - 2>/dev/null
}
