# Presets from the shell: names for --preset, save, default, check, diff, and the latency of each.
source "$(dirname "$0")/common.bash"
need sox
need cmp
DIR="$XDG_CONFIG_HOME/drelvant"

# presets check: a file with each kind of fault, reported by line.
{
    printf 'Drelvan\r\nThis is a preset file for Drelvant v1.20\r\nFilename: faulty.ini\r\n'
    printf -- '-----------------------------------------\r\n'
    printf 'General.BaseFactoryPreset      = 9\r\n'           # line 5: no such factory preset
    printf 'Compressor.Bogus3.dB           = 2.0\r\n'         # line 6: unknown key
    printf 'Compressor.Gain1.dB            = lots\r\n'        # line 7: not a number
    printf 'General.PostAmp.dB             = 40.0\r\n'        # line 8: outside -24 ... 24
    printf 'just some words\r\n'                             # line 9: not Key = value
    printf 'General.BaseFactoryPreset      = -2\r\n'          # line 10: a duplicate, never read
    for i in $(seq 1 500); do printf 'Compressor.Gain2.dB            = 1.0\r\n'; done   # lines 11 ... 510
    printf 'General.DensityDrive.dB        = 3.0\r\n'         # line 511
} >faulty.ini
# The first line that starts at byte 16,383 or later.
first_past=$(/usr/bin/python3 - <<'PY'
data = open('faulty.ini', 'rb').read()
start, line = 0, 1
while start < 16383:
    start, line = data.index(b'\n', start) + 1, line + 1
print(line)
PY
)
"$DRELVANT" presets check faulty.ini >check.txt 2>&1
check "check of a faulty file: status 1" test $? -eq 1
check "missing header, line 1" grep -q '^faulty.ini:1: missing header' check.txt
check "unknown key, line 6" grep -q "^faulty.ini:6: unknown key 'Compressor.Bogus3.dB'" check.txt
check "not a number, line 7" grep -q "^faulty.ini:7: Compressor.Gain1.dB: 'lots' is not a number" check.txt
check "outside the registered range, line 8" grep -q '^faulty.ini:8: General.PostAmp.dB = 40.0 is outside the registered range -24 ... 24' check.txt
check "not a Key = value line, line 9" grep -q "^faulty.ini:9: not a 'Key = value' line" check.txt
check "not a factory preset, line 5" grep -q '^faulty.ini:5: General.BaseFactoryPreset = 9 is not a factory preset' check.txt
check "a duplicate key, line 10" grep -q "^faulty.ini:10: duplicate key 'General.BaseFactoryPreset': the loader reads only the first, on line 5 (9)" check.txt
check "repeated filler lines: one fault" grep -q "^faulty.ini:12: duplicate key 'Compressor.Gain2.dB' (.* more times)" check.txt
check "past the readable size, from line $first_past: 511 - $first_past lines after it, 511 - $first_past + 1 keys" \
    grep -q "^faulty.ini:$first_past: past the readable size (16,383 bytes): this line and the $((511 - first_past)) after it ($((512 - first_past)) keys in all) are never read" check.txt
check "missing name" grep -q '^faulty.ini: missing name' check.txt
check "only ten faults (the lines in range are not reported)" test "$(wc -l <check.txt)" -le 10
"$DRELVANT" presets export F4 clean.ini 2>/dev/null
"$DRELVANT" presets check clean.ini >clean.txt
check "an exported preset: no faults, status 0" grep -q '^clean.ini: no faults found$' clean.txt
printf 'Drelvant\nGeneral.Name = LF lines\nGeneral.Compressor.Active = 1\n' >lf.ini
"$DRELVANT" presets check lf.ini >/dev/null
check "LF line ends and a switch: no faults" test $? -eq 0

# save, names, default.
"$DRELVANT" presets save 3 --from F2 --name "My Rock" >save.txt
check "save --from --name: status 0" test $? -eq 0
check "save says where" grep -q "^Saved user preset 3 to $DIR/DV_Preset03.ini$" save.txt
check "the saved file carries the name" grep -q $'^General.Name  *= My Rock\r$' "$DIR/DV_Preset03.ini"
"$DRELVANT" presets save 4 clean.ini --name "fm stereo 1" >/dev/null
check "save SLOT FILE --name: status 0" test $? -eq 0
"$DRELVANT" presets show 4 2>/dev/null | grep -v '^Filename:\|^General.Name' >slot4.txt
"$DRELVANT" presets show F4 2>/dev/null | grep -v '^Filename:\|^General.Name' >f4.txt
check "the slot saved from a file holds its values" cmp -s slot4.txt f4.txt

sox -n -r 44100 -c 2 -b 16 in.wav synth 2 pluck 220 vol 0.7
"$DRELVANT" process in.wav by_name.wav --preset "MY ROCK" --seed 1 -q
check "--preset by name, case-insensitive: status 0" test $? -eq 0
"$DRELVANT" process in.wav by_slot.wav --preset 3 --seed 1 -q
check "--preset by name: the slot's output" cmp -s by_name.wav by_slot.wav
"$DRELVANT" process in.wav by_prefix.wav --preset "fm stereo l" --seed 1 -q
"$DRELVANT" process in.wav by_f3.wav --preset F3 --seed 1 -q
check "--preset by the start of one name (FM Stereo Loud = F3)" cmp -s by_prefix.wav by_f3.wav
"$DRELVANT" process in.wav x.wav --preset "fm stereo 1" -q 2>err.txt
check "an ambiguous name: status 1" test $? -eq 1
check "an ambiguous name: the candidates are listed" grep -q "fits several presets: F1:FM Stereo 1; 04:fm stereo 1" err.txt
"$DRELVANT" process in.wav x.wav --preset "no such preset" -q 2>err.txt
check "an unknown name: status 1" test $? -eq 1

printf 'Drelvant\r\nGeneral.Window.Left           = 12\r\nGeneral.StartupPreset          = 0\r\nGeneral.Other                  = x\r\n' \
    >"$DIR/dsp_Drelvant.ini"
"$DRELVANT" presets default "my rock" >default.txt
check "default: status 0, says where" grep -q "^Startup preset 3 written to $DIR/dsp_Drelvant.ini$" default.txt
check "default: the other lines are kept, the startup line changed" \
    test "$(cat "$DIR/dsp_Drelvant.ini")" = "$(printf 'Drelvant\r\nGeneral.Window.Left           = 12\r\nGeneral.StartupPreset          = 3\r\nGeneral.Other                  = x\r')"
"$DRELVANT" process in.wav startup.wav --seed 1 -q
check "default: process without --preset uses it" cmp -s startup.wav by_slot.wav
"$DRELVANT" presets default F7 >/dev/null
check "default F7 is written as -6" grep -q $'^General.StartupPreset          = -6\r$' "$DIR/dsp_Drelvant.ini"
"$DRELVANT" presets default clean.ini 2>err.txt
check "default: a file is refused" test $? -eq 1

# diff and latency.
"$DRELVANT" presets diff F1 "my rock" >diff.txt
check "diff: status 0" test $? -eq 0
check "diff: the base preset differs" grep -q '^General.BaseFactoryPreset  *0  *-1$' diff.txt
"$DRELVANT" presets diff F2 3 >same.txt
check "diff of a preset and its copy: only the name" grep -q '^1 key differs$' same.txt
"$DRELVANT" presets >list.txt
check "the list gives each factory preset's latency" test "$(grep -c '^  F[1-7] .*(latency [0-9.]* ms)$' list.txt)" -eq 7
check "the list gives the user presets' latency" grep -q '^  3    My Rock .*(latency [0-9.]* ms)$' list.txt
check "F7 (no processing) has no latency" grep -q '^  F7 .*(latency 0.0 ms)$' list.txt
"$DRELVANT" presets show F3 2>show_err.txt >/dev/null
check "show gives the latency on standard error" grep -q '^F3:FM Stereo Loud: latency [0-9.]* ms ([0-9]* frames)$' show_err.txt
finish
