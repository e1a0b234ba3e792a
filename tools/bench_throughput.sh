#!/usr/bin/env bash
# End-to-end throughput: `drelvant process` with F1 against an ffmpeg chain of the same kind
# (high-pass, wideband compressor, five-band compander, lookahead limiter) on one programme,
# best of N runs each, then the engine alone per factory preset (`drelvant bench`).
#
# Usage: tools/bench_throughput.sh [DRELVANT] [PROGRAMME.raw] [RUNS]
#   DRELVANT     the command-line processor (default build/native/drelvant)
#   PROGRAMME    16-bit stereo 44.1 kHz raw; made by tools/make_programme.py (180 s) if missing
#   RUNS         runs per command, the best one counts (default 3)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
drelvant="${1:-$here/build/native/drelvant}"
programme="${2:-}"
runs="${3:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if [[ -z "$programme" ]]; then
  programme="$work/programme.raw"
  /usr/bin/python3 "$here/tools/make_programme.py" "$programme" 180 14
fi
frames=$(( $(stat -c %s "$programme") / 4 ))
seconds=$(awk -v f="$frames" 'BEGIN { printf "%.1f", f / 44100 }')

MB='0.005,0.1 6 -47/-40,-34/-34,-17/-33 100 | 0.003,0.05 6 -47/-40,-34/-34,-17/-33 400 | 0.000625,0.0125 6 -47/-40,-34/-34,-15/-33 1600 | 0.0001,0.025 6 -47/-40,-34/-34,-31/-31,-0/-30 6400 | 0,0.025 6 -38/-31,-28/-28,-0/-25 22000'
FILTER="highpass=f=30,acompressor=threshold=0.063:ratio=2:attack=50:release=1000:makeup=2,mcompand=args='$MB',volume=14dB,alimiter=limit=0.891:attack=5:release=50:level=false"

# Best wall-clock seconds of $runs runs of the command given as arguments.
best_of() {
  local best="" t
  for ((i = 0; i < runs; i++)); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    if [[ -z "$best" ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$t"; fi
  done
  echo "$best"
}

settings="$work/settings"
mkdir -p "$settings"
echo "programme: $programme ($seconds s), best of $runs; load: $(cut -d' ' -f1-3 /proc/loadavg)"
# With its report (loudness and true peak of input and output), as a user runs it.
drelvant_s=$(best_of "$drelvant" process "$programme" "$work/out.raw" --preset F1 --seed 1 --keep-latency \
  --dir "$settings")
ffmpeg_s=$(best_of ffmpeg -y -nostats -loglevel error -f s16le -ar 44100 -ac 2 -i "$programme" -af "$FILTER" \
  -f s16le "$work/ff.raw")
awk -v d="$drelvant_s" -v f="$ffmpeg_s" -v s="$seconds" 'BEGIN {
  printf "%-22s %8s %12s\n", "command", "time s", "real time"
  printf "%-22s %8.3f %11.1fx\n", "drelvant process F1", d, s / d
  printf "%-22s %8.3f %11.1fx\n", "ffmpeg chain", f, s / f
  printf "speed ratio drelvant / ffmpeg: %.2f\n", f / d
}'
echo
echo "engine alone, one core (drelvant bench, best of $runs per preset):"
"$drelvant" bench --dir "$settings" --repeat "$runs"
