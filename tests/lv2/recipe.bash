# Shared by the tests/lv2/recipe_*.sh scripts: the README's recipe blocks as printed, and a private
# work folder. Sourced with BUILD_DIR and SOURCE_DIR as $1 and $2.
set -uo pipefail
build="$(realpath "$1")"; source_dir="$(realpath "$2")"
export LV2_PATH="$build/lv2:/usr/lib/lv2"
# drelvant as the recipes call it: the build's program first on the PATH.
export PATH="$build:$PATH"
work="$(mktemp -d /tmp/drelvant-recipe-XXXXXX)"
cd "$work" || exit 1
cleanups=()
cleanup() {
  for command in "${cleanups[@]}"; do eval "$command"; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The fenced block that follows the line "<!-- recipe: NAME -->" in the README, as printed.
recipe() {
  awk -v marker="<!-- recipe: $1 -->" '
    $0 == marker { found = 1; next }
    found && /^```/ { if (inside) exit; inside = 1; next }
    inside { print }' "$source_dir/README.md"
}

# Integrated loudness (LUFS) and true peak (dBTP) of a file by ffmpeg's ebur128 filter.
loudness() {
  ffmpeg -hide_banner -nostats -i "$1" -af ebur128 -f null - 2>&1 | sed -n 's/^ *I: *\(-\{0,1\}[0-9.]*\) LUFS$/\1/p' | tail -1
}
true_peak() {
  ffmpeg -hide_banner -nostats -i "$1" -af ebur128=peak=true -f null - 2>&1 \
    | sed -n '/True peak:/,+1 s/^ *Peak: *\(-\{0,1\}[0-9.]*\) dBFS$/\1/p' | tail -1
}
# awk comparison: at_most VALUE LIMIT
at_most() { awk -v v="$1" -v l="$2" 'BEGIN { exit !(v != "" && v <= l) }'; }
