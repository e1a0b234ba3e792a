#!/usr/bin/env bash
# jalv runs the plug-in as a JACK client on a private dummy JACK server at 48 kHz: it keeps
# running, the latency port reads back a whole positive frame count, and audio is processed (a
# click track from jack_metro into its left input moves the input and output level meters). How
# punctual the machine is plays no part: xruns are not counted here (the real-time budget is the
# bench_lv2_run benchmark).
#   jalv_jack.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build="$1"
export LV2_PATH="$build/lv2:/usr/lib/lv2"
work="$(mktemp -d /tmp/drelvant-jalv-XXXXXX)"
# A private server name, so parallel runs and other JACK users never meet.
export JACK_DEFAULT_SERVER="drelvant-test-$$"
export JACK_NO_AUDIO_RESERVATION=1
client="drelvant-jalv-$$"
pids=()
# A late client is not thrown out (-t: 10 s), however busy the machine.
jackd --no-realtime -t 10000 -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 256 > "$work/jackd.log" 2>&1 &
jackd_pid=$!
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  kill "$jackd_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- jalv"; tail -n 20 "$work/jalv.log"; echo "--- jackd"; tail -n 20 "$work/jackd.log"; exit 1; }
for _ in $(seq 50); do
  jack_lsp > /dev/null 2>&1 && break
  sleep 0.2
done
jack_lsp > /dev/null 2>&1 || fail "the JACK server did not start"

jack_metro -n metro -b 600 -f 880 -A 0.5 -D 90 > "$work/metro.log" 2>&1 &
pids+=($!)
# jalv runs while its standard input stays open; after 6 s it is asked for the output controls.
{ sleep 6; echo monitors; sleep 2; echo monitors; sleep 4; } | timeout 10 jalv -x -n "$client" -c preset=1 urn:drelvant:lv2:stereo > "$work/jalv.log" 2>&1 &
jalv_pid=$!
pids+=("$jalv_pid")
for _ in $(seq 50); do
  jack_lsp 2>/dev/null | grep -q "^$client:in_l\$" && jack_lsp 2>/dev/null | grep -q '^metro:' && break
  sleep 0.1
done
metro_port="$(jack_lsp 2>/dev/null | grep '^metro:' | head -1)"
[[ -n "$metro_port" ]] || fail "no metro port"
jack_connect "$metro_port" "$client:in_l" || fail "could not connect $metro_port to $client:in_l"
wait "$jalv_pid"
status=$?
[[ $status -eq 124 ]] || fail "jalv ended with status $status before its 10 s"

value() { grep -o "$1 = -\{0,1\}[0-9.]*" "$work/jalv.log" | tail -1 | sed "s/$1 = //"; }
latency="$(value latency)"
[[ -n "$latency" ]] || fail "no latency value read back"
awk -v l="$latency" 'BEGIN { exit !(l > 0 && l == int(l)) }' || fail "latency '$latency' is not a positive frame count"
input="$(value input_level)"; output="$(value output_level)"
awk -v i="$input" -v o="$output" 'BEGIN { exit !(i != "" && o != "" && i > -90 && o > -90) }' \
  || fail "no audio went through: input level '$input', output level '$output' dBFS"
echo "jalv ran 10 s at 48 kHz; latency port reads $latency frames; input $input dBFS, output $output dBFS"
