# The README's GNU parallel recipe, run as written with two "machines": this one (:) and a second
# login whose ssh is a stand-in that runs the command here, in a home folder of its own.
source "$(dirname "$0")/common.bash"
need parallel
need rsync
need jq
need sox
need cmp

mkdir -p bin library remote_home
ln -s "$DRELVANT" bin/drelvant
export PATH="$WORK/bin:$PATH"
# (Names without blanks: with rsync 3.2.4 and later, GNU parallel 20221122 quotes --return names
# twice and a name with a blank does not come back.)
for i in 1 2 3 4 5; do sox -n -r 44100 -c 2 -b 16 "library/song$i.wav" synth 2 pluck $((200 + 30 * i)) vol 0.6; done

cat >fake_ssh <<'SH'
#!/bin/bash
# ssh to the second machine: options skipped, the host logged, the command run in its home.
while [ $# -gt 0 ]; do
    case $1 in
        -l|-p|-o|-i|-F) shift 2 ;;
        -*) shift ;;
        *) break ;;
    esac
done
echo "$1" >>"$FAKE_SSH_LOG"
shift
[ "${1:-}" = -- ] && shift
cd "$FAKE_REMOTE_HOME" || exit 255
# A login through sshd has HOME and SHELL set; GNU parallel's remote side runs jobs with $SHELL
# (CI machines may start without one).
export HOME=$FAKE_REMOTE_HOME SHELL=/bin/bash
exec bash -c "$*"
SH
chmod +x fake_ssh
export FAKE_REMOTE_HOME="$WORK/remote_home" FAKE_SSH_LOG="$WORK/ssh.log"
# Options GNU parallel reads from the environment: the stand-in for ssh, no citation notice.
export PARALLEL="--ssh $WORK/fake_ssh --will-cite"

# The recipe's lines from the README, with the hosts of this test.
sed -n '/<!-- parallel recipe/,/^```$/p' "$SOURCE_DIR/README.md" | sed '1,2d;$d' >recipe.sh
check "the recipe is in the README" grep -q '^parallel --sshlogin "\$HOSTS"' recipe.sh
sed -i 's|^HOSTS=.*|HOSTS="1/:,1/studio2"|' recipe.sh
(cd "$WORK" && bash -e recipe.sh) >recipe_out.txt 2>&1
check "the recipe runs: status 0" test $? -eq 0
for i in 1 2 3 4 5; do
    check "song$i: output and report came back" test -s "library/song$i.flac" -a -s "library/song$i.json"
done
check "the second machine ran jobs (through its ssh)" grep -q '^studio2$' ssh.log
check "the second machine's copies were cleaned up" test -z "$(ls -A remote_home)"
[ "$failures" -eq 0 ] || { echo "--- what the recipe printed:"; cat recipe_out.txt; } >&2
for i in 1 2 3 4 5; do
    "$DRELVANT" process "library/song$i.wav" "single$i.flac" --preset F2 --target -16 --seed 1 -q
    check "song$i: the output equals a single run here" cmp -s "library/song$i.flac" "single$i.flac"
done
/usr/bin/python3 - library-report.json <<'PY' && pass "the gathered report: five processed files at -16 LUFS" || fail "the gathered report: five processed files at -16 LUFS"
import json, sys
doc = json.load(open(sys.argv[1]))
files = doc['files']
assert sorted(f['input'] for f in files) == ['song%d.wav' % i for i in range(1, 6)], files
assert all(f['status'] == 'processed' for f in files)
assert all(abs(f['output_loudness']['integrated_lufs'] + 16) < 0.5 for f in files)
PY
finish
