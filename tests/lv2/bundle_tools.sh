#!/usr/bin/env bash
# The bundle as the LV2 tools see it: lv2_validate reports nothing, lv2ls lists both plug-ins,
# lv2info shows the ports, the presets, the latency, the licence and the version.
#   bundle_tools.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
bundle="$build/drelvant.lv2"
export LV2_PATH="$build/lv2:/usr/lib/lv2"
fail() { echo "FAIL: $*"; exit 1; }

report="$(cd "$bundle" && lv2_validate manifest.ttl drelvant.ttl presets.ttl 2>&1)"
echo "$report" | grep -q '^Found 0 errors' || fail "lv2_validate: $report"
# Anything beyond the summary and the files it skips is a complaint.
complaints="$(echo "$report" | grep -v -e '^Found 0 errors' -e '^Skipping file' || true)"
[[ -z "$complaints" ]] || fail "lv2_validate says: $complaints"

listed="$(lv2ls 2>&1)"
grep -qx 'urn:drelvant:lv2:stereo' <<<"$listed" || fail "lv2ls: $listed"
grep -qx 'urn:drelvant:lv2:mono' <<<"$listed" || fail "lv2ls: $listed"

info="$(lv2info urn:drelvant:lv2:stereo 2>&1)"
for symbol in in_l in_r out_l out_r enabled preset agc density_drive post_amp input_level band10_gr latency control; do
  grep -q "Symbol: *$symbol\$" <<<"$info" || fail "lv2info shows no port '$symbol'"
done
grep -q 'reportsLatency' <<<"$info" || fail "lv2info shows no reportsLatency port"
grep -q 'Has latency: *yes' <<<"$info" || fail "lv2info shows no latency"
for n in 1 2 3 4 5 6 7; do
  name="$(sed -n 's/^General.Name *= *//p' "$2/resources/presets/F$n.txt" | tr -d '\r')"
  grep -qF "F$n $name" <<<"$info" || fail "lv2info shows no preset 'F$n $name'"
done
# lv2info's summary has no licence or version line; its Turtle description (-p) carries them.
for uri in urn:drelvant:lv2:stereo urn:drelvant:lv2:mono; do
  description="$(mktemp)"
  lv2info -p "$description" "$uri" >/dev/null 2>&1 || fail "lv2info -p $uri"
  grep -q 'doap:license <https://spdx.org/licenses/MIT>' "$description" || fail "lv2info -p $uri: no licence"
  grep -Eq 'lv2:minorVersion [0-9]+' "$description" || fail "lv2info -p $uri: no minor version"
  grep -Eq 'lv2:microVersion [0-9]+' "$description" || fail "lv2info -p $uri: no micro version"
  rm -f "$description"
done
echo "lv2_validate clean; lv2ls lists both plug-ins; lv2info shows ports, presets, latency, licence and version"
