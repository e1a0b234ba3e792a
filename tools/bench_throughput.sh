#!/usr/bin/env bash
# End-to-end throughput: `drelvant process` with F1, on two threads (the default where it may run on
# two processors) and on one, against an ffmpeg chain of the same kind (high-pass, wideband
# compressor, five-band compander, lookahead limiter) at its faster thread setting, on one
# programme; then the two thread settings again with one processor held busy by a spinning
# process; then the engine alone per factory preset (`drelvant bench`). Settings compared are run
# in turn (A B A B ...), and the best run of each counts.
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
spinner=""
trap '[[ -n "$spinner" ]] && kill "$spinner" 2>/dev/null; rm -rf "$work"' EXIT

if [[ -z "$programme" ]]; then
  programme="$work/programme.raw"
  /usr/bin/python3 "$here/tools/make_programme.py" "$programme" 180 14
fi
frames=$(( $(stat -c %s "$programme") / 4 ))
seconds=$(awk -v f="$frames" 'BEGIN { printf "%.1f", f / 44100 }')

MB='0.005,0.1 6 -47/-40,-34/-34,-17/-33 100 | 0.003,0.05 6 -47/-40,-34/-34,-17/-33 400 | 0.000625,0.0125 6 -47/-40,-34/-34,-15/-33 1600 | 0.0001,0.025 6 -47/-40,-34/-34,-31/-31,-0/-30 6400 | 0,0.025 6 -38/-31,-28/-28,-0/-25 22000'
FILTER="highpass=f=30,acompressor=threshold=0.063:ratio=2:attack=50:release=1000:makeup=2,mcompand=args='$MB',volume=14dB,alimiter=limit=0.891:attack=5:release=50:level=false"

# Wall-clock seconds of one run of the command given as arguments.
time_once() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

# Best of $runs runs of two commands taken in turn, "A B", each given as the name of an array.
best_of_pair() {
  local -n first="$1" second="$2"
  local best_a="" best_b="" t
  for ((i = 0; i < runs; i++)); do
    t=$(time_once "${first[@]}")
    best_a=$(smaller "$t" "$best_a")
    t=$(time_once "${second[@]}")
    best_b=$(smaller "$t" "$best_b")
  done
  echo "$best_a $best_b"
}

settings="$work/settings"
mkdir -p "$settings"
echo "programme: $programme ($seconds s), best of $runs; load: $(cut -d' ' -f1-3 /proc/loadavg)"
# With its report (loudness and true peak of input and output), as a user runs it.
process=("$drelvant" process "$programme" "$work/out.raw" --preset F1 --seed 1 --keep-latency --dir "$settings")
process_one=(env DRELVANT_ENGINE_THREADS=1 "${process[@]}")
ffmpeg_default=(ffmpeg -y -nostats -loglevel error -f s16le -ar 44100 -ac 2 -i "$programme" -af "$FILTER"
  -f s16le "$work/ff.raw")
ffmpeg_one=(ffmpeg -y -nostats -loglevel error -threads 1 -filter_threads 1 -f s16le -ar 44100 -ac 2
  -i "$programme" -af "$FILTER" -f s16le "$work/ff.raw")

pair=$(best_of_pair process process_one)
read -r drelvant_s drelvant_one_s <<<"$pair"
pair=$(best_of_pair ffmpeg_default ffmpeg_one)
read -r ffmpeg_s ffmpeg_one_s <<<"$pair"
ffmpeg_best=$(smaller "$ffmpeg_s" "$ffmpeg_one_s")

# One processor held busy by a spinning shell for the same two settings.
( while :; do :; done ) &
spinner=$!
pair=$(best_of_pair process process_one)
read -r busy_s busy_one_s <<<"$pair"
kill "$spinner"
spinner=""

awk -v d="$drelvant_s" -v d1="$drelvant_one_s" -v f="$ffmpeg_s" -v f1="$ffmpeg_one_s" -v fb="$ffmpeg_best" \
  -v b="$busy_s" -v b1="$busy_one_s" -v s="$seconds" 'BEGIN {
  printf "%-52s %8s %10s\n", "command", "time s", "real time"
  printf "%-52s %8.3f %9.1fx\n", "drelvant process F1, default threads", d, s / d
  printf "%-52s %8.3f %9.1fx\n", "drelvant process F1, DRELVANT_ENGINE_THREADS=1", d1, s / d1
  printf "%-52s %8.3f %9.1fx\n", "ffmpeg chain, default threads", f, s / f
  printf "%-52s %8.3f %9.1fx\n", "ffmpeg chain, -threads 1 -filter_threads 1", f1, s / f1
  printf "%-52s %8.3f %9.1fx\n", "one core busy: drelvant process F1, default threads", b, s / b
  printf "%-52s %8.3f %9.1fx\n", "one core busy: DRELVANT_ENGINE_THREADS=1", b1, s / b1
  printf "two threads / one thread: idle %.2f, one core busy %.2f\n", d1 / d, b1 / b
  printf "speed ratio drelvant / ffmpeg at its best: %.2f\n", fb / d
}'
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "engine alone, one core (drelvant bench, best of $runs per preset):"
"$drelvant" bench --dir "$settings" --repeat "$runs"
