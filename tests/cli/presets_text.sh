# Preset files with LF, CR LF or a UTF-8 byte-order mark load alike; `presets show` prints a file
# `--preset` loads; reading presets and processing write nothing into the settings directory.
source "$(dirname "$0")/common.bash"
need python3

write_click in.raw 30000 12000
"$DRELVANT" process in.raw f3.raw --preset F3 --seed 2 --no-prime -q

# What `presets show` prints loads as the preset it shows.
"$DRELVANT" presets show F3 >shown.ini
check "presets show: Unix line ends" test "$(grep -c $'\r' shown.ini)" -eq 0
"$DRELVANT" process in.raw shown.raw --preset shown.ini --seed 2 --no-prime -q
check "presets show F3 > file; --preset file gives F3's bytes" cmp -s f3.raw shown.raw

# One small preset written three ways: CR LF, LF, LF with a byte-order mark, lone CR.
lines=("Drelvant" "This is a preset file for Drelvant v1.20" "Filename: hand.ini"
    "-----------------------------------------" "General.Name                   = Hand Made"
    "General.BaseFactoryPreset      = -2" "FinalLimiter.Drive.dB          = -4.0")
printf '%s\r\n' "${lines[@]}" >crlf.ini
printf '%s\n' "${lines[@]}" >lf.ini
{ printf '\xef\xbb\xbf'; printf '%s\n' "${lines[@]}"; } >bom.ini
printf '%s\r' "${lines[@]}" >cr.ini
"$DRELVANT" process in.raw crlf.raw --preset crlf.ini --seed 2 --no-prime -q
check "CR LF preset file loads" test $? -eq 0
check "the hand-made preset differs from its base F3" bash -c '! cmp -s crlf.raw f3.raw'
for kind in lf bom cr; do
    "$DRELVANT" process in.raw "$kind.raw" --preset "$kind.ini" --seed 2 --no-prime -q 2>err.txt
    check "$kind preset file loads" test $? -eq 0
    check "$kind preset file gives the bytes of the CR LF file" cmp -s crlf.raw "$kind.raw"
done
"$DRELVANT" process in.raw report.raw --preset lf.ini --seed 2 --no-prime >report.txt
check "the report names the LF file's preset and base" grep -q '^Preset  *lf.ini ("Hand Made", based on F3)$' report.txt

# A user slot saved with LF line ends is listed and loads; its settings are only read.
mkdir settings
cp lf.ini settings/DV_Preset07.ini
printf 'General.StartupPreset = 7\n' | sed 's/^/Drelvant\nThis is a settings file for Drelvant v1.20\nFilename: dsp_Drelvant.ini\n-----------------------------------------\n/' >settings/dsp_Drelvant.ini
( cd settings && find . -type f -exec md5sum {} + | sort ) >before.txt
"$DRELVANT" presets --dir settings >list.txt
check "LF user slot 7 listed by name" grep -q "^  7    Hand Made  *(latency [0-9.]* ms)$" list.txt
check "the list says which folder it read" grep -q "^User presets in settings/$" list.txt
check "LF settings file: startup preset 7" grep -q "^Startup preset: 7$" list.txt
"$DRELVANT" process in.raw slot.raw --preset 7 --dir settings --seed 2 --no-prime -q
check "LF user slot 7 loads as the file it holds" cmp -s crlf.raw slot.raw
"$DRELVANT" process in.raw startup.raw --dir settings --seed 2 --no-prime >startup.txt
check "the LF startup preset is used" cmp -s crlf.raw startup.raw
check "the report names the startup preset" grep -q "^Preset  *startup preset 07:Hand Made$" startup.txt
"$DRELVANT" presets show 7 --dir settings >/dev/null
"$DRELVANT" response --preset 7 --dir settings -q >/dev/null
"$DRELVANT" bench --preset 7 --dir settings --seconds 1 >/dev/null
( cd settings && find . -type f -exec md5sum {} + | sort ) >after.txt
check "processing and reading presets write nothing in the settings directory" cmp -s before.txt after.txt

# With no settings directory given the default folder is only read: nothing is created.
"$DRELVANT" process in.raw default.raw --preset F1 -q
"$DRELVANT" presets >/dev/null
check "no per-user settings folder is created" test ! -e "$XDG_CONFIG_HOME/drelvant"
check "nothing is written into the current directory" test -z "$(ls | grep -i -e '^dsp_' -e '^DV_')"

finish
