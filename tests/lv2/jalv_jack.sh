#!/usr/bin/env bash
# jalv runs the plug-in as a JACK client for 30 s on a dummy JACK server at 48 kHz: no xrun is
# reported, and the latency port is read back (jalv's "monitors" command prints the output
# controls). The machine may be busy with other work: as in a JACK setup for real use, the server
# runs in real-time mode (its threads and jalv's process thread scheduled FIFO) with 1024-frame
# periods; where real-time scheduling is not permitted, it runs with --no-realtime at a raised
# priority instead (then the dummy driver's timer, 50 us slack, may itself report late cycles).
#   jalv_jack.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build="$1"
export LV2_PATH="$build/lv2:/usr/lib/lv2"
work="$(mktemp -d /tmp/drelvant-jalv-XXXXXX)"
# A private server name, so parallel runs and other JACK users never meet.
export JACK_DEFAULT_SERVER="drelvant-test-$$"
export JACK_NO_AUDIO_RESERVATION=1
priority=(nice -n -10)
mode=(--no-realtime)
if chrt -f 10 true 2>/dev/null; then priority=(); mode=(-R -P 20); fi
"${priority[@]}" jackd "${mode[@]}" -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 1024 > "$work/jackd.log" 2>&1 &
jackd_pid=$!
cleanup() { kill "$jackd_pid" 2>/dev/null; wait "$jackd_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 50); do
  jack_lsp > /dev/null 2>&1 && break
  sleep 0.2
done

# jalv runs while its standard input stays open; timeout ends it after 30 s (status 124). Near
# the end it is asked for the output controls.
{ sleep 28; echo monitors; sleep 10; } | timeout 30 "${priority[@]}" jalv -c preset=1 urn:drelvant:lv2:stereo > "$work/jalv.log" 2>&1
status=$?
fail() { echo "FAIL: $*"; echo "--- jalv"; tail -n 20 "$work/jalv.log"; echo "--- jackd"; tail -n 20 "$work/jackd.log"; exit 1; }
[[ $status -eq 124 ]] || fail "jalv ended with status $status before the 30 s"
if grep -qi 'xrun' "$work/jalv.log" "$work/jackd.log"; then fail "an xrun was reported"; fi
latency="$(grep -o 'latency = [0-9.]*' "$work/jalv.log" | tail -1 | sed 's/latency = //')"
[[ -n "$latency" ]] || fail "no latency value read back"
awk -v l="$latency" 'BEGIN { exit !(l > 0 && l == int(l)) }' || fail "latency '$latency' is not a positive frame count"
echo "jalv ran 30 s at 48 kHz without an xrun; latency port reads $latency frames"
