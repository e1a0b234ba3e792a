#!/usr/bin/env bash
# `drelvant live` on a dummy JACK server of a private name: at 48 kHz (through the resampler pair)
# for DRELVANT_LIVE_SECONDS (default 60) with a metronome connected and the console asked
# throughout; the latency on its ports equals what /api/engine reports, also after a preset
# changes it; SIGTERM ends it with status 0; at 44.1 kHz mono it runs directly; losing the server
# ends it with a message and status 1. No xrun is asserted (the machine may be busy).
source "$(dirname "$0")/common.bash"
need jackd
need jack_metro
need jack_lsp
need curl
seconds=${DRELVANT_LIVE_SECONDS:-60}
export JACK_DEFAULT_SERVER="drelvant-console-test-$$"
export JACK_NO_AUDIO_RESERVATION=1
jackd_pid=""
others=()
cleanup_jack() {
    for pid in "${others[@]}"; do kill "$pid" 2>/dev/null; done
    [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
    jackd_pid=""
    others=()
}
trap 'cleanup_jack; rm -rf "$WORK"' EXIT

start_jack() {  # RATE
    jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r "$1" -p 1024 >"$WORK/jackd.log" 2>&1 &
    jackd_pid=$!
    for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && return 0; sleep 0.2; done
    echo "FAIL: the dummy JACK server did not start" >&2
    exit 1
}

console_port() {  # LOG: the port the console printed
    for _ in $(seq 100); do
        local port
        port=$(sed -n 's|.*console at http://127\.0\.0\.1:\([0-9]*\)/$|\1|p' "$1")
        [ -n "$port" ] && { echo "$port"; return 0; }
        sleep 0.1
    done
    return 1
}

engine_field() {  # PORT FIELD
    curl -s --max-time 5 "http://127.0.0.1:$1/api/engine" | python3 -c "import json,sys; print(json.load(sys.stdin)['$2'])"
}

# The frames between the client's input and output: its output's capture latency less its input's.
port_latency() {  # INPUT OUTPUT
    local in out
    in=$(jack_lsp -l "$1" | sed -n 's/.*capture latency = \[ \([0-9]*\) .*/\1/p')
    out=$(jack_lsp -l "$2" | sed -n 's/.*capture latency = \[ \([0-9]*\) .*/\1/p')
    echo $((out - in))
}

start_jack 48000
jack_metro -b 240 -f 440 -D 100 -n metro >"$WORK/metro.log" 2>&1 &
others+=($!)
for _ in $(seq 50); do jack_lsp | grep -q '^metro:' && break; sleep 0.1; done
metro=$(jack_lsp | grep '^metro:' | head -1)
"$DRELVANT" live --console 0 --dir "$WORK" --seed 1 --name dv --connect-in "$metro" --connect-in "$metro" \
    --connect-out system:playback_1 --connect-out system:playback_2 >"$WORK/live.log" 2>&1 &
live_pid=$!
port=$(console_port "$WORK/live.log") || { cat "$WORK/live.log"; echo "FAIL: no console address" >&2; exit 1; }
sleep 1
check "the client has its four ports" test "$(jack_lsp dv: | tr '\n' ' ')" = "dv:in_l dv:out_l dv:in_r dv:out_r "
answered=0 asked=0
for _ in $(seq "$seconds"); do
    asked=$((asked + 1))
    engine_field "$port" frames_processed >/dev/null 2>&1 && answered=$((answered + 1))
    sleep 1
done
check "the console answered throughout $seconds s ($answered of $asked)" test "$answered" -eq "$asked"
# How much of the run's wall time the server's cycles covered depends on the machine's load: the
# check is only that audio went through, not at what pace.
frames=$(engine_field "$port" frames_processed)
check "the client processed audio ($frames frames)" test "$frames" -gt 48000
reported=$(engine_field "$port" host_latency_frames)
check "the ports' latency ($(port_latency dv:in_l dv:out_l)) is what /api/engine reports ($reported)" \
    test "$(port_latency dv:in_l dv:out_l)" = "$reported"
curl -s -X POST -d '{"preset": "F7"}' "http://127.0.0.1:$port/api/preset" >/dev/null
sleep 0.5
reported_after=$(engine_field "$port" host_latency_frames)
check "a preset with other stages changes the latency ($reported -> $reported_after)" test "$reported_after" != "$reported"
check "and the ports follow it" test "$(port_latency dv:in_r dv:out_r)" = "$reported_after"
ceiling=$(curl -s -X PUT -d '{"on": true, "dBTP": -3}' "http://127.0.0.1:$port/api/ceiling")
check "PUT /api/ceiling answers the ceiling as it applies ($ceiling)" \
    python3 -c "import json,sys; sys.exit(json.loads(sys.argv[1]) != {'on': True, 'dBTP': -3})" "$ceiling"
sleep 0.5
shown=$(curl -s --max-time 5 "http://127.0.0.1:$port/api/engine")
check "/api/engine shows the ceiling on at -3 dBTP" \
    python3 -c "import json,sys; c=json.loads(sys.argv[1])['ceiling']; sys.exit(not (c['on'] and c['dBTP'] == -3))" "$shown"
reported_ceiling=$(engine_field "$port" host_latency_frames)
check "its look-ahead adds to the latency ($reported_after -> $reported_ceiling)" \
    test "$reported_ceiling" -gt "$reported_after"
check "and the ports follow it" test "$(port_latency dv:in_l dv:out_l)" = "$reported_ceiling"
metrics=$(curl -s "http://127.0.0.1:$port/metrics")
check "/metrics counts dropped cycles" grep -q '^drelvant_dropped_cycles_total ' <<<"$metrics"
kill -TERM "$live_pid"
wait "$live_pid"
check "SIGTERM ends it with status 0" test $? -eq 0
cleanup_jack

start_jack 44100
"$DRELVANT" live --channels 1 --console 0 --dir "$WORK" -q >"$WORK/mono.log" 2>&1 &
live_pid=$!
port=$(console_port "$WORK/mono.log") || { cat "$WORK/mono.log"; echo "FAIL: no console address" >&2; exit 1; }
sleep 1
check "mono: ports in and out" test "$(jack_lsp drelvant: | tr '\n' ' ')" = "drelvant:in drelvant:out "
check "at 44.1 kHz the ports' latency is the engine's own" \
    test "$(port_latency drelvant:in drelvant:out)" = "$(engine_field "$port" latency_frames)"
kill "$jackd_pid"
wait "$jackd_pid" 2>/dev/null
jackd_pid=""
for _ in $(seq 100); do kill -0 "$live_pid" 2>/dev/null || break; sleep 0.1; done
wait "$live_pid"
status=$?
check "losing the server ends it with status 1 (got $status)" test "$status" -eq 1
check "and says so" grep -q "lost the JACK server" "$WORK/mono.log"
finish
