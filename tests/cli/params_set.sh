# `params` lists what the engine describes; `process --set` applies values as a preset file's keys.
source "$(dirname "$0")/common.bash"
need python3

"$DRELVANT" params --json >all.json
check "params --json: a JSON document" python3 -c 'import json, sys; json.load(open("all.json"))'
# Every key a preset stores is listed once, in the order of an exported preset's lines.
"$DRELVANT" presets export F2 f2.ini 2>/dev/null
python3 - all.json f2.ini <<'PY' && pass "params: the preset keys in a preset file's order" || fail "params: preset keys and order"
import json, sys
params = json.load(open(sys.argv[1]))["parameters"]
listed = [p["key"] for p in params if p["storage"] == "preset"]
lines = open(sys.argv[2], newline="").read().split("\r\n")
stored = [line.split(" = ")[0].rstrip() for line in lines[6:] if line]
assert listed == stored, (len(listed), len(stored))
assert len(set(p["key"] for p in params if p["key"])) == len([p for p in params if p["key"]])
for p in params:
    assert p["min"] <= p["default"] <= p["max"] or p["storage"] == "none", p
PY
"$DRELVANT" params --preset F3 --json >f3.json
python3 - f3.json <<'PY' && pass "params --preset: the preset's values" || fail "params --preset"
import json, sys
values = {p["key"]: p["value"] for p in json.load(open(sys.argv[1]))["parameters"]}
assert values["FinalLimiter.Drive.dB"] == -10.0 and values["Compressor.Gain7.dB"] == 18.0, values
PY
"$DRELVANT" params --window 10_band_limiter >limiter.txt
check "params --window: only that window" test "$(grep -vc ' 10_Band_Limiter ' limiter.txt)" -eq 1
"$DRELVANT" params --window Limiters 2>err.txt
check "params: an unknown window is a usage error" test $? -eq 2
check "params: the windows are named" grep -q "10_Band_Limiter" err.txt

# --set gives the bytes of a preset file with the same keys over the same base.
sox -n -r 44100 -c 2 -b 16 in.wav synth 3 pinknoise vol 0.5
cat >over.ini <<'INI'
Drelvant
x
x
----
General.BaseFactoryPreset = -3
Compressor.Ratio3 = 7.5
General.Expander.Active = 0
LowpassFilter.Cutoff.Hz = 9000
INI
"$DRELVANT" process in.wav file.wav --preset over.ini --seed 5 -q
"$DRELVANT" process in.wav set.wav --preset F4 --seed 5 -q --set Compressor.Ratio3=7.5 \
    --set General.Expander.Active=0 --set "LowpassFilter.Cutoff.Hz = 9000"
check "process --set: the bytes of the preset file" cmp -s file.wav set.wav
"$DRELVANT" process in.wav plain.wav --preset F4 --seed 5 -q
check "process --set: changes the output" bash -c "test -s set.wav && ! cmp -s plain.wav set.wav"
mkdir batch
"$DRELVANT" process in.wav -o batch --preset F4 --seed 5 -q --set Compressor.Ratio3=7.5 \
    --set General.Expander.Active=0 --set LowpassFilter.Cutoff.Hz=9000
check "process --set: a batch too" cmp -s file.wav batch/in.wav
"$DRELVANT" process in.wav bad.wav --set Compressor.Ration3=2 2>err.txt
check "process --set: an unknown key is a usage error" test $? -eq 2
check "process --set: the nearest keys are named" grep -q "Compressor.Ratio3" err.txt
check "process --set: nothing written" test ! -e bad.wav
"$DRELVANT" process in.wav bad.wav --set Compressor.Ratio3 2>/dev/null
check "process --set: a pair without a value is a usage error" test $? -eq 2

finish
