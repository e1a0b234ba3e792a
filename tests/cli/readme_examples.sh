# The README's examples for libraries, delivery and scripts run as written (the batch into a
# folder that does not exist yet included) and succeed.
source "$(dirname "$0")/common.bash"
need sox

drelvant() { "$DRELVANT" "$@"; }
mkdir music
for name in one two; do sox -n -r 44100 -c 2 -b 16 music/$name.wav synth 3 pinknoise vol 0.3; done
sox -n -r 44100 -c 2 -b 16 show.wav synth 6 sine 300 pinknoise vol 0.3
sox -n -r 44100 -c 2 -b 16 in.wav synth 3 pinknoise vol 0.3
"$DRELVANT" presets show F1 >my-preset.ini 2>/dev/null

# The lines that start with "drelvant" in the block after "Libraries, delivery and scripts:".
mapfile -t examples < <(awk '/^Libraries, delivery and scripts:/ { found = 1 } found && /^```sh/ { inside = 1; next }
                             inside && /^```/ { exit } inside && /^drelvant / { print }' "$SOURCE_DIR/README.md")
check "the README has the examples (${#examples[@]})" test "${#examples[@]}" -ge 4
for example in "${examples[@]}"; do
    eval "$example" >out.txt 2>err.txt
    status=$?
    check "README example, exit 0 ($status): $example" test $status -eq 0
done
check "the batch example wrote into its new folder" test -s processed/one.flac -a -s processed/two.flac
check "the podcast example wrote its output and report" test -s show.ogg -a -s show.json

finish
