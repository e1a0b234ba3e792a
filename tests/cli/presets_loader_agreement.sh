# `presets check` judges the text the loader reads, out-of-range values are named when used and
# refused when saved, and preset names hold no control characters.
source "$(dirname "$0")/common.bash"
need python3
need sox

header() { printf 'Drelvant\r\nThis is a preset file for Drelvant v1.20\r\nFilename: x.ini\r\n----\r\n'; }

# A NUL byte after a valid value: the loader stops there.
{ header; printf 'General.Name = Nul\r\nCompressor.Ratio1 = 4\0junk\r\nGeneral.BaseFactoryPreset = -1\r\n'; } >nul.ini
"$DRELVANT" presets check nul.ini >out.txt
check "NUL byte: a fault (exit 1)" test $? -eq 1
check "NUL byte: named with the keys lost" grep -q "nul.ini:6: a NUL byte: the loader stops there; .* 1 keys after it" out.txt

# Duplicate keys: the first wins, and the check says which.
{ header; printf 'General.Name = Dup\r\nGeneral.BaseFactoryPreset = 0\r\nGeneral.BaseFactoryPreset = -3\r\n'; } >dup.ini
"$DRELVANT" presets check dup.ini >out.txt
check "duplicate key: a fault naming the value read" \
    grep -q "dup.ini:7: duplicate key 'General.BaseFactoryPreset': the loader reads only the first, on line 6 (0)" out.txt

# An LF file under 16,383 bytes whose last key lies past the cut once its line ends are CR LF.
python3 - <<'PY'
lines = ['Drelvant', 'This is a preset file', 'Filename: lf.ini', '----', 'General.Name = Long']
lines += [''] * 8300 + ['General.BaseFactoryPreset = -2']
open('lf.ini', 'w', newline='\n').write('\n'.join(lines) + '\n')
PY
check "the LF file is under the cut as stored" test "$(stat -c %s lf.ini)" -lt 16383
"$DRELVANT" presets check lf.ini >out.txt
check "LF file: its last key is past the readable size" grep -q "lf.ini:8306: past the readable size" out.txt

# Out of range: warned on use (key, value, range, what is taken), refused on save.
{ header; printf 'General.Name = Hot\r\nGeneral.BaseFactoryPreset = 0\r\nCompressor.Ratio1 = 999\r\n'; } >hot.ini
sox -R -n -r 44100 -c 2 -b 16 tone.wav synth 1 sine 440 vol 0.3
"$DRELVANT" process tone.wav out.wav --preset hot.ini --json hot.json -q 2>err.txt
check "out-of-range value in use: exit 3" test $? -eq 3
check "out-of-range value in use: warned with its range" grep -q \
    "warning: preset 'Hot': Compressor.Ratio1 = 999.0 is outside the registered range 1 ... 10; the processor takes the value as it stands" err.txt
check "out-of-range value in use: in the JSON's warnings" python3 -c "
import json; e = json.load(open('hot.json'))['files'][0]; assert any('Compressor.Ratio1' in w for w in e['warnings']), e"
mkdir settings
"$DRELVANT" presets save 5 hot.ini --dir settings 2>err.txt
check "presets save of an out-of-range value: refused" test $? -eq 1 -a ! -e settings/DV_Preset05.ini
check "presets save: the check's own message" grep -q "Compressor.Ratio1 = 999.0 is outside the registered range 1 ... 10" err.txt

# Control characters in a name: refused on save.
"$DRELVANT" presets save 6 --from F1 --name "$(printf 'Bad\033[31mName')" --dir settings 2>err.txt
check "a name with an escape sequence: refused" test $? -ne 0 -a ! -e settings/DV_Preset06.ini
check "a name with an escape sequence: said why" grep -q "no control characters" err.txt
"$DRELVANT" presets save 6 --from F1 --name "Plain Name" --dir settings 2>err.txt
check "a plain name: saved" test -s settings/DV_Preset06.ini

# A name with an escape sequence saved before they were refused: listed escaped.
{ header; printf 'General.Name = Bad\033[31mName\r\nGeneral.BaseFactoryPreset = 0\r\n'; } >settings/DV_Preset07.ini
"$DRELVANT" presets --dir settings >list.txt 2>/dev/null
check "a stored name with an escape sequence: listed escaped" grep -qF 'Bad\x1b[31mName' list.txt
check "a stored name with an escape sequence: no raw escape printed" bash -c "! grep -q \$'\\033' list.txt"

finish
