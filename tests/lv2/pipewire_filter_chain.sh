#!/usr/bin/env bash
# The README's PipeWire filter-chain config, as written there, loaded by a private PipeWire daemon
# (a dummy driver, no devices): the filter-chain module opens the plug-in and makes the "Drelvant"
# sink and its output stream. (Without a session manager nothing links streams, so no audio flows
# here; the other host tests run the audio.)
#   pipewire_filter_chain.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build="$1"; source_dir="$2"
export LV2_PATH="$build/lv2:/usr/lib/lv2"
work="$(mktemp -d /tmp/drelvant-pipewire-XXXXXX)"
mkdir -p "$work/pipewire.conf.d" "$work/run"
chmod 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run"
daemon_pid=""
cleanup() { [[ -n "$daemon_pid" ]] && kill "$daemon_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; grep -v acquire_rt "$work/daemon.log" | grep -E '\[[EW]\]' | tail -n 20; exit 1; }

# A minimal daemon: the native protocol, client access, the node factories and a dummy driver.
cat > "$work/pipewire.conf" <<'CONF'
context.properties = { core.daemon = true core.name = pipewire-0 default.clock.rate = 48000 }
context.spa-libs = { audio.convert.* = audioconvert/libspa-audioconvert support.* = support/libspa-support }
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-access args = { } }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-spa-node-factory }
    { name = libpipewire-module-link-factory }
]
context.objects = [
    { factory = spa-node-factory
      args = { factory.name = support.node.driver node.name = Dummy-Driver priority.driver = 20000 } }
]
CONF
# The config exactly as the README gives it.
awk '/^context.modules = \[/ { p = 1 } p { print } p && /^\]$/ { exit }' "$source_dir/README.md" \
  > "$work/pipewire.conf.d/drelvant.conf"
grep -q 'urn:drelvant:lv2:stereo' "$work/pipewire.conf.d/drelvant.conf" || fail "no filter-chain config in the README"

PIPEWIRE_CONFIG_DIR="$work" PIPEWIRE_DEBUG=3 pipewire > "$work/daemon.log" 2>&1 &
daemon_pid=$!
for _ in $(seq 50); do
  [[ -S "$work/run/pipewire-0" ]] && break
  sleep 0.1
done
[[ -S "$work/run/pipewire-0" ]] || fail "the daemon did not start"
sleep 1
grep -q "successfully opened 'urn:drelvant:lv2:stereo'" "$work/daemon.log" || fail "filter-chain did not open the plug-in"
nodes="$(timeout 10 pw-dump 2>/dev/null)"
grep -q '"node.name": "effect_input.drelvant"' <<<"$nodes" || fail "no effect_input.drelvant node"
grep -q '"node.name": "effect_output.drelvant"' <<<"$nodes" || fail "no effect_output.drelvant node"
grep -q 'using port 39 (.latency.) as notify' "$work/daemon.log" || fail "the latency port was not seen"
errors="$(grep -v acquire_rt "$work/daemon.log" | grep '\[E\]' || true)"
[[ -z "$errors" ]] || fail "the daemon reported errors: $errors"
echo "PipeWire filter-chain loaded the README config, opened the plug-in and made the Drelvant nodes"
