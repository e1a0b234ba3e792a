# The program's commands around processing: version, help, presets, manual, demo, bench.
source "$(dirname "$0")/common.bash"
need python3

check "--version" test "$("$DRELVANT" --version)" = "Drelvant v1.20"
"$DRELVANT" --help >help.txt
check "--help lists the commands" grep -q "process INPUT OUTPUT" help.txt
for command in process presets response demo bench manual; do
    "$DRELVANT" "$command" --help >help.txt
    check "$command --help: exit 0" test $? -eq 0
    check "$command --help: usage line" grep -q "^Usage: drelvant $command" help.txt
done
"$DRELVANT" frobnicate 2>err.txt
check "unknown command: exit 2" test $? -eq 2
check "unknown command: message" grep -q "^drelvant: unknown command 'frobnicate'" err.txt
"$DRELVANT" 2>/dev/null
check "no command: exit 2" test $? -eq 2

# Presets: the factory list, a user slot, show and export.
mkdir settings
write_preset settings/DV_Preset07.ini "General.Name                   = Rock" "General.BaseFactoryPreset      = -2"
"$DRELVANT" presets --dir settings >list.txt
check "presets: F1 listed" grep -q "^  F1   FM Stereo 1  *(latency [0-9.]* ms)$" list.txt
check "presets: F7 listed" grep -q "^  F7   CD (No Proc)  *(latency 0.0 ms)$" list.txt
check "presets: seven factory presets" test "$(grep -c '^  F[0-9]' list.txt)" -eq 7
check "presets: user slot 7" grep -q "^  7    Rock  *(latency [0-9.]* ms)$" list.txt
check "presets: startup preset" grep -q "^Startup preset: F1$" list.txt

"$DRELVANT" presets show F3 >f3.txt
check "show F3: its name" grep -q "^General.Name                   = FM Stereo Loud$" f3.txt
check "show F3: its own number as base" grep -q "^General.BaseFactoryPreset      = -2$" f3.txt
check "show F3: the limiter drive of F3" grep -q "^FinalLimiter.Drive.dB          = -10.0$" f3.txt
"$DRELVANT" presets show 7 --dir settings >rock.txt
check "show user slot 7: its name" grep -q "^General.Name                   = Rock$" rock.txt
check "show user slot 7: F3's values under it" grep -q "^FinalLimiter.Drive.dB          = -10.0$" rock.txt

"$DRELVANT" presets export F1 exported.ini 2>/dev/null
# Header, name and base, and one line per parameter a preset stores (as the engine lists them).
preset_keys=$("$DRELVANT" params --json | grep -c '"storage": "preset"')
check "export: 4 header lines, name, base and every preset key" test "$(wc -l <exported.ini)" -eq $((6 + preset_keys))
check "export: CR LF line ends" test "$(grep -c $'\r$' exported.ini)" -eq $((6 + preset_keys))
check "export: the file name in the header" grep -q $'^Filename: exported.ini\r$' exported.ini
"$DRELVANT" presets show 12 --dir settings 2>err.txt >/dev/null
check "show of an empty slot fails" test $? -ne 0
check "show of an empty slot: message" grep -q "user preset slot 12 is empty" err.txt

"$DRELVANT" manual >manual.txt
check "manual: first line names the product" grep -q "Drelvant v1.2" <(head -1 manual.txt)
check "manual: Unix line ends" test "$(grep -c $'\r' manual.txt)" -eq 0

# Demo: a fresh home with no settings; before and after files; the report.
"$DRELVANT" demo --out demo >demo.txt 2>/dev/null
check "demo: succeeds" test $? -eq 0
check "demo: before.wav and after.wav" test -s demo/before.wav -a -s demo/after.wav
check "demo: same length before and after" test "$(stat -c %s demo/before.wav)" -eq "$(stat -c %s demo/after.wav)"
check "demo: report with loudness" grep -q "^Integrated loudness .*LUFS.*LUFS" demo.txt
check "demo: processed with F1" grep -q "^Preset  *F1:FM Stereo 1" demo.txt
check "demo: the user's settings folder is left alone" test ! -e "$XDG_CONFIG_HOME/drelvant/dsp_Drelvant.ini"
python3 - demo/before.wav demo/after.wav <<'PY' && pass "demo: F1 raises the loudness of the quiet passage" || fail "demo: F1 raises the loudness of the quiet passage"
import struct, sys, wave
def rms(path, start, end):
    w = wave.open(path)
    w.setpos(int(start * 44100))
    n = int((end - start) * 44100)
    v = struct.unpack('<%dh' % (2 * n), w.readframes(n))
    return (sum(x * x for x in v) / len(v)) ** 0.5
# 0.5 - 3.5 s is the quiet melody (peaks near -30 dBFS); the AGC and compressors lift it.
assert rms(sys.argv[2], 0.5, 3.5) > 4 * rms(sys.argv[1], 0.5, 3.5)
PY

"$DRELVANT" bench --preset F7 --seconds 1 >bench.txt
check "bench: one line per preset" test "$(grep -c 'x ' bench.txt)" -eq 1
check "bench: F7 named with its real-time factor" grep -q "^F7:CD (No Proc) .*[0-9]x" bench.txt

finish
